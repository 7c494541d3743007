#include <private/KeyMap.h>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <InterfaceDefs.h>

namespace BPrivate {

namespace {

// X11's core modifier and button bits (the protocol's, fixed).
enum {
	kShiftMask = 1 << 0,
	kLockMask = 1 << 1,
	kControlMask = 1 << 2,
	kMod1Mask = 1 << 3,
	kButton1Mask = 1 << 8,
	kButton2Mask = 1 << 9,
	kButton3Mask = 1 << 10,
};

char
ControlKeyFor(uint32 keysym)
{
	switch (keysym) {
		case XKB_KEY_Return:
		case XKB_KEY_KP_Enter:
			return B_ENTER;
		case XKB_KEY_Tab:
		case XKB_KEY_ISO_Left_Tab:
		case XKB_KEY_KP_Tab:
			return B_TAB;
		case XKB_KEY_Escape:
			return B_ESCAPE;
		case XKB_KEY_BackSpace:
			return B_BACKSPACE;
		case XKB_KEY_Delete:
		case XKB_KEY_KP_Delete:
			return B_DELETE;
		case XKB_KEY_Up:
		case XKB_KEY_KP_Up:
			return B_UP_ARROW;
		case XKB_KEY_Down:
		case XKB_KEY_KP_Down:
			return B_DOWN_ARROW;
		case XKB_KEY_Left:
		case XKB_KEY_KP_Left:
			return B_LEFT_ARROW;
		case XKB_KEY_Right:
		case XKB_KEY_KP_Right:
			return B_RIGHT_ARROW;
		case XKB_KEY_Home:
		case XKB_KEY_KP_Home:
			return B_HOME;
		case XKB_KEY_End:
		case XKB_KEY_KP_End:
			return B_END;
		case XKB_KEY_Page_Up:
		case XKB_KEY_KP_Page_Up:
			return B_PAGE_UP;
		case XKB_KEY_Page_Down:
		case XKB_KEY_KP_Page_Down:
			return B_PAGE_DOWN;
		case XKB_KEY_Insert:
		case XKB_KEY_KP_Insert:
			return B_INSERT;
		default:
			return 0;
	}
}

} // namespace

bool
KeyBytesFor(uint32 keysym, uint32 codepoint, DisplayEvent* event)
{
	event->key = 0;
	if (char control = ControlKeyFor(keysym)) {
		event->bytes[0] = control;
		event->bytes[1] = '\0';
		return true;
	}
	if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F12) {
		event->bytes[0] = B_FUNCTION_KEY;
		event->bytes[1] = '\0';
		event->key = B_F1_KEY + int32(keysym - XKB_KEY_F1);
		return true;
	}
	// A character: UTF-8, of at most four bytes. Control characters and
	// what is no character at all are not keys the kits know.
	char* bytes = event->bytes;
	if (codepoint < 0x20 || codepoint == 0x7f
		|| (codepoint >= 0x80 && codepoint < 0xa0) || codepoint > 0x10ffff
		|| (codepoint >= 0xd800 && codepoint <= 0xdfff)) {
		return false;
	}
	if (codepoint < 0x80) {
		bytes[0] = char(codepoint);
		bytes[1] = '\0';
	} else if (codepoint < 0x800) {
		bytes[0] = char(0xc0 | (codepoint >> 6));
		bytes[1] = char(0x80 | (codepoint & 0x3f));
		bytes[2] = '\0';
	} else if (codepoint < 0x10000) {
		bytes[0] = char(0xe0 | (codepoint >> 12));
		bytes[1] = char(0x80 | ((codepoint >> 6) & 0x3f));
		bytes[2] = char(0x80 | (codepoint & 0x3f));
		bytes[3] = '\0';
	} else {
		bytes[0] = char(0xf0 | (codepoint >> 18));
		bytes[1] = char(0x80 | ((codepoint >> 12) & 0x3f));
		bytes[2] = char(0x80 | ((codepoint >> 6) & 0x3f));
		bytes[3] = char(0x80 | (codepoint & 0x3f));
		bytes[4] = '\0';
	}
	return true;
}

uint32
ModifiersFromX11State(uint32 state)
{
	uint32 modifiers = 0;
	if (state & kShiftMask)
		modifiers |= B_SHIFT_KEY;
	if (state & kControlMask)
		modifiers |= B_CONTROL_KEY | B_COMMAND_KEY;
	if (state & kMod1Mask)
		modifiers |= B_OPTION_KEY;
	if (state & kLockMask)
		modifiers |= B_CAPS_LOCK;
	return modifiers;
}

uint32
ButtonsFromX11State(uint32 state)
{
	uint32 buttons = 0;
	if (state & kButton1Mask)
		buttons |= B_PRIMARY_MOUSE_BUTTON;
	if (state & kButton2Mask)
		buttons |= B_TERTIARY_MOUSE_BUTTON;
	if (state & kButton3Mask)
		buttons |= B_SECONDARY_MOUSE_BUTTON;
	return buttons;
}

uint32
ButtonFromX11Button(uint32 button)
{
	switch (button) {
		case 1:
			return B_PRIMARY_MOUSE_BUTTON;
		case 2:
			return B_TERTIARY_MOUSE_BUTTON;
		case 3:
			return B_SECONDARY_MOUSE_BUTTON;
		default:
			return 0;
	}
}

} // namespace BPrivate
