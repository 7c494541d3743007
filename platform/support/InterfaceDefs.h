/*
 * Constants of the Interface Kit: resizing modes, view and window flags,
 * key codes, modifiers and mouse buttons.
 */
#ifndef _INTERFACE_DEFS_H
#define _INTERFACE_DEFS_H

#include <GraphicsDefs.h>

// A resizing mode holds one rule per edge: top edge in bits 12-15, left in
// 8-11, bottom in 4-7 and right in 0-3, each naming the parent's edge the
// view's edge keeps its distance to.
enum {
	_VIEW_TOP_ = 1,
	_VIEW_LEFT_ = 2,
	_VIEW_BOTTOM_ = 3,
	_VIEW_RIGHT_ = 4,
	_VIEW_CENTER_ = 5,
};

#define _rule_(top, left, bottom, right) \
	(((top) << 12) | ((left) << 8) | ((bottom) << 4) | (right))

enum {
	B_FOLLOW_NONE = 0,
	B_FOLLOW_LEFT = _rule_(0, _VIEW_LEFT_, 0, _VIEW_LEFT_),
	B_FOLLOW_RIGHT = _rule_(0, _VIEW_RIGHT_, 0, _VIEW_RIGHT_),
	B_FOLLOW_LEFT_RIGHT = _rule_(0, _VIEW_LEFT_, 0, _VIEW_RIGHT_),
	B_FOLLOW_H_CENTER = _rule_(0, _VIEW_CENTER_, 0, _VIEW_CENTER_),
	B_FOLLOW_TOP = _rule_(_VIEW_TOP_, 0, _VIEW_TOP_, 0),
	B_FOLLOW_BOTTOM = _rule_(_VIEW_BOTTOM_, 0, _VIEW_BOTTOM_, 0),
	B_FOLLOW_TOP_BOTTOM = _rule_(_VIEW_TOP_, 0, _VIEW_BOTTOM_, 0),
	B_FOLLOW_V_CENTER = _rule_(_VIEW_CENTER_, 0, _VIEW_CENTER_, 0),
	B_FOLLOW_ALL_SIDES = _rule_(_VIEW_TOP_, _VIEW_LEFT_, _VIEW_BOTTOM_,
		_VIEW_RIGHT_),
	B_FOLLOW_ALL = B_FOLLOW_ALL_SIDES,
};

// View flags.
enum {
	B_FULL_UPDATE_ON_RESIZE = 0x80000000,
	B_WILL_DRAW = 0x20000000,
	B_PULSE_NEEDED = 0x10000000,
	B_NAVIGABLE_JUMP = 0x08000000,
	B_FRAME_EVENTS = 0x04000000,
	B_NAVIGABLE = 0x02000000,
	B_SUBPIXEL_PRECISE = 0x01000000,
	B_DRAW_ON_CHILDREN = 0x00800000,
};

// Options of BView::SetViewBitmap.
enum {
	B_TILE_BITMAP_X = 0x00010000,
	B_TILE_BITMAP_Y = 0x00020000,
	B_TILE_BITMAP = 0x00030000,
};

enum window_type {
	B_UNTYPED_WINDOW = 0,
	B_TITLED_WINDOW = 1,
	B_MODAL_WINDOW = 3,
	B_DOCUMENT_WINDOW = 11,
	B_BORDERED_WINDOW = 20,
	B_FLOATING_WINDOW = 21,
};

// Window flags.
enum {
	B_NOT_MOVABLE = 0x00000001,
	B_NOT_RESIZABLE = 0x00000002,
	B_NOT_H_RESIZABLE = 0x00000004,
	B_NOT_V_RESIZABLE = 0x00000008,
	B_WILL_ACCEPT_FIRST_CLICK = 0x00000010,
	B_NOT_CLOSABLE = 0x00000020,
	B_NOT_ZOOMABLE = 0x00000040,
	B_AVOID_FRONT = 0x00000080,
	B_AVOID_FOCUS = 0x00002000,
	B_NOT_MINIMIZABLE = 0x00004000,
	B_QUIT_ON_WINDOW_CLOSE = 0x00100000,
};

// Workspaces.
const uint32 B_CURRENT_WORKSPACE = 0;
const uint32 B_ALL_WORKSPACES = 0xffffffff;

// Key codes delivered as the bytes of KeyDown.
enum {
	B_BACKSPACE = 0x08,
	B_RETURN = 0x0a,
	B_ENTER = 0x0a,
	B_SPACE = 0x20,
	B_TAB = 0x09,
	B_ESCAPE = 0x1b,
	B_LEFT_ARROW = 0x1c,
	B_RIGHT_ARROW = 0x1d,
	B_UP_ARROW = 0x1e,
	B_DOWN_ARROW = 0x1f,
	B_INSERT = 0x05,
	B_DELETE = 0x7f,
	B_HOME = 0x01,
	B_END = 0x04,
	B_PAGE_UP = 0x0b,
	B_PAGE_DOWN = 0x0c,
	B_FUNCTION_KEY = 0x10,
};

// The "key" field of a B_FUNCTION_KEY message.
enum {
	B_F1_KEY = 0x02,
	B_F2_KEY = 0x03,
	B_F3_KEY = 0x04,
	B_F4_KEY = 0x05,
	B_F5_KEY = 0x06,
	B_F6_KEY = 0x07,
	B_F7_KEY = 0x08,
	B_F8_KEY = 0x09,
	B_F9_KEY = 0x0a,
	B_F10_KEY = 0x0b,
	B_F11_KEY = 0x0c,
	B_F12_KEY = 0x0d,
};

// Modifier keys.
enum {
	B_SHIFT_KEY = 0x00000001,
	B_COMMAND_KEY = 0x00000002,
	B_CONTROL_KEY = 0x00000004,
	B_CAPS_LOCK = 0x00000008,
	B_OPTION_KEY = 0x00000040,
	B_MENU_KEY = 0x00000080,
};

// Mouse buttons.
enum {
	B_PRIMARY_MOUSE_BUTTON = 0x01,
	B_SECONDARY_MOUSE_BUTTON = 0x02,
	B_TERTIARY_MOUSE_BUTTON = 0x04,
};

// Transit codes of BView::MouseMoved.
enum {
	B_ENTERED_VIEW = 0,
	B_INSIDE_VIEW,
	B_EXITED_VIEW,
	B_OUTSIDE_VIEW,
};

enum color_which {
	B_PANEL_BACKGROUND_COLOR = 1,
	B_MENU_BACKGROUND_COLOR = 2,
	B_WINDOW_TAB_COLOR = 3,
	B_KEYBOARD_NAVIGATION_COLOR = 4,
	B_DESKTOP_COLOR = 5,
	B_MENU_SELECTION_BACKGROUND_COLOR = 6,
	B_MENU_ITEM_TEXT_COLOR = 7,
	B_MENU_SELECTED_ITEM_TEXT_COLOR = 8,
	B_PANEL_TEXT_COLOR = 10,
	B_CONTROL_BACKGROUND_COLOR = 11,
	B_CONTROL_BORDER_COLOR = 12,
};

// The look's colours: BeOS light grey panels and menus, black text, and
// the blue of keyboard navigation.
rgb_color ui_color(color_which which);

#endif // _INTERFACE_DEFS_H
