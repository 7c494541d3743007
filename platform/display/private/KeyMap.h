/*
 * From the window system's keys to what the kits hand KeyDown: the bytes
 * (a character in UTF-8, or one of the kits' key codes such as B_ENTER or
 * B_UP_ARROW) and, for function keys, which one. Keys are named by their
 * X keysyms, which xkbcommon gives on X11 and Wayland alike.
 *
 * The functions are pure: any thread. An XkbKeyboard belongs to its back
 * end's display thread.
 */
#ifndef _PRIVATE_KEY_MAP_H
#define _PRIVATE_KEY_MAP_H

#include <private/DisplayBackend.h>

#include <xkbcommon/xkbcommon.h>

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

// The keyboard as xkbcommon knows it: its keymap and the state of its
// modifiers, through the table of xkbcommon's functions a back end loaded
// (each has its own, with the loading calls its window system needs).
// The back end fills context, keymap and state in its own way; this
// releases them in order and reads keys through them.
template<class XkbFunctions>
struct XkbKeyboard {
	const XkbFunctions* xkb = nullptr;
	xkb_context* context = nullptr;
	xkb_keymap* keymap = nullptr;
	xkb_state* state = nullptr;

	XkbKeyboard() = default;
	XkbKeyboard(const XkbKeyboard&) = delete;
	XkbKeyboard& operator=(const XkbKeyboard&) = delete;
	~XkbKeyboard() { Release(); }

	// Takes a new keymap and its state in place of the ones held.
	void Adopt(xkb_keymap* newKeymap, xkb_state* newState)
	{
		if (state != nullptr)
			xkb->xkb_state_unref(state);
		if (keymap != nullptr)
			xkb->xkb_keymap_unref(keymap);
		keymap = newKeymap;
		state = newState;
	}

	void Release()
	{
		Adopt(nullptr, nullptr);
		if (context != nullptr)
			xkb->xkb_context_unref(context);
		context = nullptr;
	}

	// The modifiers and group as the window system last said them.
	void UpdateMask(uint32 depressed, uint32 latched, uint32 locked,
		uint32 group)
	{
		if (state != nullptr) {
			xkb->xkb_state_update_mask(state, depressed, latched, locked, 0, 0,
				group);
		}
	}

	// KeyBytesFor() for xkb's KEYCODE (X11's, evdev's + 8) in the state
	// held; false without a keymap yet.
	bool KeyBytes(uint32 keycode, DisplayEvent* event) const
	{
		if (state == nullptr)
			return false;
		xkb_keysym_t keysym = xkb->xkb_state_key_get_one_sym(state, keycode);
		return KeyBytesFor(keysym, xkb->xkb_keysym_to_utf32(keysym), event);
	}
};

} // namespace BPrivate

#endif // _PRIVATE_KEY_MAP_H
