/*
 * libdecor, loaded at run time like the other Wayland libraries (see
 * WaylandLibrary.h), apart from them because its header includes the core
 * protocol's: the back end includes this after the redirections of
 * WaylandProtocols.h, the loader without them (the protocol's inline
 * functions it then sees are not used there).
 */
#ifndef _PRIVATE_WAYLAND_DECOR_LIBRARY_H
#define _PRIVATE_WAYLAND_DECOR_LIBRARY_H

#include <libdecor.h>

#include <private/RuntimeLibrary.h>

namespace BPrivate {

#define BELVO_WAYLAND_DECOR_FUNCTIONS(X) \
	X(libdecor_new) \
	X(libdecor_unref) \
	X(libdecor_decorate) \
	X(libdecor_frame_unref) \
	X(libdecor_frame_set_parent) \
	X(libdecor_frame_set_title) \
	X(libdecor_frame_set_app_id) \
	X(libdecor_frame_unset_capabilities) \
	X(libdecor_frame_set_min_content_size) \
	X(libdecor_frame_set_max_content_size) \
	X(libdecor_frame_popup_grab) \
	X(libdecor_frame_popup_ungrab) \
	X(libdecor_frame_commit) \
	X(libdecor_frame_map) \
	X(libdecor_frame_get_xdg_surface) \
	X(libdecor_frame_get_xdg_toplevel) \
	X(libdecor_state_new) \
	X(libdecor_state_free)

// Optional, and only where the compositor does not draw decorations
// itself (GNOME): the title bar libdecor's plug-in draws. Without it such
// a window has none.
struct WaylandDecorLibrary {
	BELVO_WAYLAND_DECOR_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

const WaylandDecorLibrary* LoadWaylandDecorLibrary();

} // namespace BPrivate

#endif // _PRIVATE_WAYLAND_DECOR_LIBRARY_H
