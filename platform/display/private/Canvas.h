/*
 * The pixels a window draws into: 32-bit words 0xAARRGGBB, which is
 * B_RGB32's blue, green, red, alpha byte order in memory on the little-endian
 * machines we run on. Everything that paints (views, text, bitmaps) writes
 * through a Canvas and a clip box, and never outside both.
 *
 * A Canvas only points at pixels it does not own, and has no lock: whoever
 * owns the pixels says who writes them (a window's belong to its thread, or
 * to one holding its lock). ClipBox is a plain value.
 */
#ifndef _PRIVATE_CANVAS_H
#define _PRIVATE_CANVAS_H

#include <algorithm>
#include <cmath>

#include <GraphicsDefs.h>
#include <Rect.h>

namespace BPrivate {

// An inclusive box of whole pixels; empty when left > right or top > bottom.
struct ClipBox {
	int32 left;
	int32 top;
	int32 right;
	int32 bottom;

	bool IsEmpty() const { return left > right || top > bottom; }
	bool Contains(int32 x, int32 y) const
		{ return x >= left && x <= right && y >= top && y <= bottom; }
	ClipBox Intersect(const ClipBox& other) const
	{
		return ClipBox{ std::max(left, other.left), std::max(top, other.top),
			std::min(right, other.right), std::min(bottom, other.bottom) };
	}
	// The smallest box holding both (neither may be empty).
	ClipBox Union(const ClipBox& other) const
	{
		return ClipBox{ std::min(left, other.left), std::min(top, other.top),
			std::max(right, other.right), std::max(bottom, other.bottom) };
	}
};

// The whole pixel a coordinate falls on: pixel centres lie on whole
// coordinates, and halves go to the right and down.
inline int32
PixelOf(float coordinate)
{
	return int32(std::floor(coordinate + 0.5f));
}

// The pixels whose centres a rectangle's corners fall on.
inline ClipBox
PixelBoxOf(const BRect& rect)
{
	return ClipBox{ PixelOf(rect.left), PixelOf(rect.top), PixelOf(rect.right),
		PixelOf(rect.bottom) };
}

// The device pixels that a box of the kits' pixels covers at `scale`
// (device pixels to the kits' one on each side). Held well inside int32,
// so that the coordinates of far-off drawing cannot overflow.
inline ClipBox
ScaledBox(const ClipBox& box, int32 scale)
{
	if (scale == 1)
		return box;
	const int64 limit = int64(1) << 29;
	auto scaled = [&](int32 value, int32 extra) {
		return int32(std::max(-limit, std::min(limit,
			int64(value) * scale + extra)));
	};
	return ClipBox{ scaled(box.left, 0), scaled(box.top, 0),
		scaled(box.right, scale - 1), scaled(box.bottom, scale - 1) };
}

struct Canvas {
	uint32* pixels = nullptr;
	int32 width = 0;
	int32 height = 0;
	int32 stride = 0;  // in pixels, >= width

	ClipBox Bounds() const { return ClipBox{ 0, 0, width - 1, height - 1 }; }
	uint32* Row(int32 y) const { return pixels + size_t(y) * size_t(stride); }
};

inline uint32
PackColor(rgb_color color)
{
	return 0xff000000u | (uint32(color.red) << 16) | (uint32(color.green) << 8)
		| uint32(color.blue);
}

inline rgb_color
UnpackColor(uint32 pixel)
{
	return rgb_color{ uint8(pixel >> 16), uint8(pixel >> 8), uint8(pixel),
		uint8(pixel >> 24) };
}

// Mixes `color` over `pixel` with coverage 0..255 (255 is opaque).
inline uint32
BlendPixel(uint32 pixel, rgb_color color, uint32 coverage)
{
	if (coverage >= 255)
		return PackColor(color);
	uint32 inverse = 255 - coverage;
	uint32 r = (((pixel >> 16) & 0xff) * inverse + color.red * coverage + 127)
		/ 255;
	uint32 g = (((pixel >> 8) & 0xff) * inverse + color.green * coverage
		+ 127) / 255;
	uint32 b = ((pixel & 0xff) * inverse + color.blue * coverage + 127) / 255;
	return 0xff000000u | (r << 16) | (g << 8) | b;
}

} // namespace BPrivate

#endif // _PRIVATE_CANVAS_H
