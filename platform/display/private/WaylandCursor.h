/*
 * The pointer's image over the Wayland back end's windows: the cursor
 * theme's arrow (XCURSOR_THEME and XCURSOR_SIZE, as the desktop sets
 * them), at the windows' scale, in a surface of its own. libwayland-cursor
 * is loaded the first time the pointer enters a window; without it, or
 * without a theme, the compositor's own image stays.
 *
 * Display thread only, as every Wayland object of the back end.
 */
#ifndef _PRIVATE_WAYLAND_CURSOR_H
#define _PRIVATE_WAYLAND_CURSOR_H

#include <private/Canvas.h>
#include <private/WaylandProtocols.h>

namespace BPrivate {

class WaylandCursor {
public:
	WaylandCursor() = default;
	WaylandCursor(const WaylandCursor&) = delete;
	WaylandCursor& operator=(const WaylandCursor&) = delete;

	// Shows the arrow for the pointer's enter with SERIAL, loaded at
	// SCALE the first time (or the first time since Forget()).
	void Set(wl_pointer* pointer, uint32_t serial, PixelScale scale,
		wl_compositor* compositor, wl_shm* shm);
	// Lets the theme and the surface go: when the scale changes, so that
	// the next Set() loads them at the new one, and before the connection
	// closes.
	void Forget();

private:
	void _Load(PixelScale scale, wl_compositor* compositor, wl_shm* shm);

	const WaylandCursorLibrary* fLibrary = nullptr;
	bool fTried = false;
	wl_cursor_theme* fTheme = nullptr;
	wl_cursor_image* fImage = nullptr;
	wl_surface* fSurface = nullptr;
	int32 fScale = 1;
};

} // namespace BPrivate

#endif // _PRIVATE_WAYLAND_CURSOR_H
