#include <private/WaylandCursor.h>

#include <cstdint>
#include <cstdlib>

namespace BPrivate {

void
WaylandCursor::Set(wl_pointer* pointer, uint32_t serial, PixelScale scale,
	wl_compositor* compositor, wl_shm* shm)
{
	if (!fTried) {
		fTried = true;
		_Load(scale, compositor, shm);
	}
	if (fSurface == nullptr || pointer == nullptr)
		return;
	wl_pointer_set_cursor(pointer, serial, fSurface,
		int32_t(fImage->hotspot_x) / fScale,
		int32_t(fImage->hotspot_y) / fScale);
}

void
WaylandCursor::Forget()
{
	if (fSurface != nullptr)
		wl_surface_destroy(fSurface);
	if (fTheme != nullptr)
		fLibrary->wl_cursor_theme_destroy(fTheme);
	fSurface = nullptr;
	fTheme = nullptr;
	fImage = nullptr;
	fTried = false;
}

void
WaylandCursor::_Load(PixelScale scale, wl_compositor* compositor, wl_shm* shm)
{
	fLibrary = LoadWaylandCursorLibrary();
	if (fLibrary == nullptr)
		return;
	const char* theme = getenv("XCURSOR_THEME");
	const char* sizeText = getenv("XCURSOR_SIZE");
	int size = sizeText != nullptr ? atoi(sizeText) : 0;
	if (size <= 0 || size > 256)
		size = 24;
	// Themes come in whole sizes: the next whole scale's, shown at a
	// buffer scale where the image divides by it.
	fTheme = fLibrary->wl_cursor_theme_load(
		theme != nullptr && theme[0] != '\0' ? theme : nullptr,
		size * scale.Ceiling(), shm);
	if (fTheme == nullptr)
		return;
	static const char* const kNames[] = { "left_ptr", "default", "arrow" };
	for (const char* name : kNames) {
		wl_cursor* cursor = fLibrary->wl_cursor_theme_get_cursor(fTheme, name);
		if (cursor != nullptr && cursor->image_count > 0) {
			fImage = cursor->images[0];
			break;
		}
	}
	if (fImage == nullptr)
		return;
	wl_buffer* buffer = fLibrary->wl_cursor_image_get_buffer(fImage);
	fScale = scale.Ceiling();
	if (fImage->width % uint32_t(fScale) != 0
		|| fImage->height % uint32_t(fScale) != 0) {
		fScale = 1;
	}
	fSurface = wl_compositor_create_surface(compositor);
	if (fScale > 1)
		wl_surface_set_buffer_scale(fSurface, fScale);
	wl_surface_attach(fSurface, buffer, 0, 0);
	wl_surface_damage(fSurface, 0, 0, INT32_MAX, INT32_MAX);
	wl_surface_commit(fSurface);
}

} // namespace BPrivate
