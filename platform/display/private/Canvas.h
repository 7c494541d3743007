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
#include <cstdlib>

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

// How large the kits' pixel is on the device, on each side: a whole factor
// (at 2 each is a square of 2 x 2 device pixels), or a fractional one in
// 120ths, the unit compositors announce it in (180 is 1.5). The kits' pixel
// x covers the device pixels Start(x) to Start(x + 1) - 1, where Start(x)
// is x times the scale rounded down: at 1.5 the kits' pixels are alternately
// one and two device pixels wide, so a line one pixel wide stays solid
// instead of being blended into its neighbours. Whole scales give exactly
// the squares they always did.
class PixelScale {
public:
	static const int32 kUnit = 120;
	static const int32 kMost = 8;

	// Implicitly from a whole factor; below 1 counts as 1.
	constexpr PixelScale(int32 whole = 1)
		:
		fUnits(std::min(std::max<int32>(whole, 1), kMost) * kUnit)
	{
	}
	static constexpr PixelScale FromUnits(int32 units)
	{
		PixelScale scale;
		scale.fUnits = std::min(std::max(units, kUnit), kMost * kUnit);
		return scale;
	}

	int32 Units() const { return fUnits; }
	bool IsWhole() const { return fUnits % kUnit == 0; }
	// The factor rounded up: what a client without fractional scales draws
	// at.
	int32 Ceiling() const { return (fUnits + kUnit - 1) / kUnit; }
	double Factor() const { return fUnits / double(kUnit); }

	// The first device pixel of the kits' pixel x. Held well inside int32,
	// so that the coordinates of far-off drawing cannot overflow.
	int32 Start(int64 x) const
	{
		const int64 limit = int64(1) << 29;
		int64 scaled = _FloorDivide(int64(x) * fUnits, kUnit);
		return int32(std::max(-limit, std::min(limit, scaled)));
	}
	// The kits' pixel that device pixel d belongs to: the last x whose
	// Start(x) is not beyond d.
	int32 PixelAt(int32 d) const
	{
		return int32(_FloorDivide((int64(d) + 1) * kUnit + fUnits - 1,
			fUnits) - 1);
	}
	// A length of the kits' pixels on the device, rounded to the nearest
	// device pixel, halves away from zero (a window's buffer: 131 at 1.5
	// is 197).
	int32 Length(int32 length) const
	{
		int64 twice = 2 * int64(length) * fUnits;
		int64 rounded = (std::abs(twice) + kUnit) / (2 * kUnit);
		return int32(twice < 0 ? -rounded : rounded);
	}

	bool operator==(const PixelScale& other) const
		{ return fUnits == other.fUnits; }
	bool operator!=(const PixelScale& other) const
		{ return fUnits != other.fUnits; }

private:
	static constexpr int64 _FloorDivide(int64 value, int64 divisor)
	{
		int64 quotient = value / divisor;
		return quotient * divisor > value ? quotient - 1 : quotient;
	}

	int32 fUnits;
};

// The device pixels that a box of the kits' pixels covers at `scale`.
inline ClipBox
ScaledBox(const ClipBox& box, PixelScale scale)
{
	if (scale.Units() == PixelScale::kUnit)
		return box;
	return ClipBox{ scale.Start(box.left), scale.Start(box.top),
		scale.Start(int64(box.right) + 1) - 1,
		scale.Start(int64(box.bottom) + 1) - 1 };
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
