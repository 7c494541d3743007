/*
 * From the window system's keys to what the kits hand KeyDown: the bytes
 * (a character in UTF-8, or one of the kits' key codes such as B_ENTER or
 * B_UP_ARROW) and, for function keys, which one. Keys are named by their
 * X keysyms, which xkbcommon gives on X11 and Wayland alike.
 *
 * Pure functions: any thread; the X11 back end calls them on the display
 * thread.
 */
#ifndef _PRIVATE_KEY_MAP_H
#define _PRIVATE_KEY_MAP_H

#include <private/DisplayBackend.h>

namespace BPrivate {

// Fills event->bytes (and event->key for F1 to F12) for the key `keysym`,
// whose character, with the keyboard's shift level applied and the
// control key's not, is `codepoint` (0 for none). False for a key the kits
// hand nothing for (a modifier on its own, a dead key...).
bool KeyBytesFor(uint32 keysym, uint32 codepoint, DisplayEvent* event);

// The kits' modifiers (B_SHIFT_KEY ...) from X11's core modifier state.
uint32 ModifiersFromX11State(uint32 state);
// The kits' buttons (B_PRIMARY_MOUSE_BUTTON ...) from X11's core state.
uint32 ButtonsFromX11State(uint32 state);
// The kits' button for X11's button number; 0 for the wheel and the rest.
uint32 ButtonFromX11Button(uint32 button);

} // namespace BPrivate

#endif // _PRIVATE_KEY_MAP_H
