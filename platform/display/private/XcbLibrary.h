/*
 * The X11 client libraries the X11 back end speaks through (XCB, its
 * shared-memory and keyboard extensions, and xkbcommon for the keymap),
 * loaded at run time: a session on another window system never loads them,
 * and a machine without them still runs the program's other paths.
 *
 * Each library is loaded once, on first use, behind a function-local static,
 * and its table never changes afterwards, so asking for it is safe from any
 * thread. Only the display thread calls into the libraries.
 */
#ifndef _PRIVATE_XCB_LIBRARY_H
#define _PRIVATE_XCB_LIBRARY_H

#include <xcb/xcb.h>
#include <xcb/shm.h>
// xkb.h names a member `explicit`, which C++ keeps for itself.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon.h>
#include <xkbcommon/xkbcommon-x11.h>

#include <private/RuntimeLibrary.h>

namespace BPrivate {

#define BELVO_XCB_FUNCTIONS(X) \
	X(xcb_connect) \
	X(xcb_disconnect) \
	X(xcb_connection_has_error) \
	X(xcb_get_file_descriptor) \
	X(xcb_get_setup) \
	X(xcb_setup_roots_iterator) \
	X(xcb_screen_allowed_depths_iterator) \
	X(xcb_depth_visuals_iterator) \
	X(xcb_depth_next) \
	X(xcb_setup_pixmap_formats_iterator) \
	X(xcb_format_next) \
	X(xcb_screen_next) \
	X(xcb_get_extension_data) \
	X(xcb_get_maximum_request_length) \
	X(xcb_generate_id) \
	X(xcb_flush) \
	X(xcb_poll_for_event) \
	X(xcb_request_check) \
	X(xcb_intern_atom) \
	X(xcb_intern_atom_reply) \
	X(xcb_get_property) \
	X(xcb_get_property_reply) \
	X(xcb_get_property_value) \
	X(xcb_get_property_value_length) \
	X(xcb_change_property) \
	X(xcb_create_window) \
	X(xcb_destroy_window) \
	X(xcb_map_window) \
	X(xcb_unmap_window) \
	X(xcb_configure_window) \
	X(xcb_send_event) \
	X(xcb_create_gc) \
	X(xcb_free_gc) \
	X(xcb_put_image) \
	X(xcb_grab_pointer) \
	X(xcb_grab_keyboard) \
	X(xcb_ungrab_pointer) \
	X(xcb_ungrab_keyboard) \
	X(xcb_set_input_focus) \
	X(xcb_get_input_focus) \
	X(xcb_get_input_focus_reply) \
	X(xcb_translate_coordinates) \
	X(xcb_translate_coordinates_reply)

#define BELVO_XCB_SHM_FUNCTIONS(X) \
	X(xcb_shm_id) \
	X(xcb_shm_attach_checked) \
	X(xcb_shm_detach) \
	X(xcb_shm_put_image)

#define BELVO_XCB_XKB_FUNCTIONS(X) \
	X(xcb_xkb_per_client_flags) \
	X(xcb_xkb_per_client_flags_reply)

#define BELVO_XKBCOMMON_FUNCTIONS(X) \
	X(xkb_context_new) \
	X(xkb_context_unref) \
	X(xkb_keymap_unref) \
	X(xkb_state_unref) \
	X(xkb_state_update_mask) \
	X(xkb_state_key_get_one_sym) \
	X(xkb_keysym_to_utf32)

#define BELVO_XKBCOMMON_X11_FUNCTIONS(X) \
	X(xkb_x11_setup_xkb_extension) \
	X(xkb_x11_get_core_keyboard_device_id) \
	X(xkb_x11_keymap_new_from_device) \
	X(xkb_x11_state_new_from_device)

struct XcbLibrary {
	BELVO_XCB_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

// Optional: without it every frame goes over the connection itself.
struct XcbShmLibrary {
	BELVO_XCB_SHM_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

// The keyboard: XKB for the keymap and for key repeat without the fake key
// releases in between, xkbcommon to read the keymap.
struct XkbLibrary {
	BELVO_XCB_XKB_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
	BELVO_XKBCOMMON_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
	BELVO_XKBCOMMON_X11_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

// Each loaded once per process, on first use; null when missing.
const XcbLibrary* LoadXcbLibrary();
const XcbShmLibrary* LoadXcbShmLibrary();
const XkbLibrary* LoadXkbLibrary();

} // namespace BPrivate

#endif // _PRIVATE_XCB_LIBRARY_H
