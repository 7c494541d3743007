/*
 * Xlib's own way with trouble does not suit a program of several threads:
 * its default handlers print and call exit() for a protocol error as well as
 * for a broken connection, which runs the static destructors under threads
 * still at work. These handlers replace them on the Xlib that SDL loaded.
 * Also the one question about the X server that SDL cannot answer.
 */
#ifndef _PRIVATE_X11_GUARD_H
#define _PRIVATE_X11_GUARD_H

#include <string>

namespace BPrivate {

// Before SDL's X11 driver starts, whenever DISPLAY names an X server.
// Protocol errors are not fatal: an error about a window that has just been
// destroyed is expected, since SDL wakes its event loop through a second
// connection that may still name a window the first one destroyed. A broken
// connection ends the program through Display::Lost(). Returns false when
// libX11 cannot be loaded, which leaves Xlib's handlers in place.
bool InstallX11Handlers();

// Whether a window manager runs on the X display (an Xlib Display*): one
// that announces itself through _NET_SUPPORTING_WM_CHECK. Without one,
// nothing ever gives a window the keyboard focus but the window itself.
bool X11WindowManagerRunning(void* xdisplay);

// The X server's resource string (RESOURCE_MANAGER, what xrdb loaded), or
// an empty one when there is none or libX11 cannot be loaded. Asked over a
// connection of its own, opened and closed here, since SDL shows its own
// only through a window.
std::string X11ResourceString();

} // namespace BPrivate

#endif // _PRIVATE_X11_GUARD_H
