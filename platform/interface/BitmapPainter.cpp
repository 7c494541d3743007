#include <private/BitmapPainter.h>

#include <algorithm>

#include <InterfaceDefs.h>

namespace BPrivate {

namespace {

struct PackedPalette {
	uint32 colors[256];

	PackedPalette()
	{
		const color_map* map = system_colors();
		for (int i = 0; i < 256; i++)
			colors[i] = PackColor(map->color_list[i]);
	}
};

const PackedPalette&
Palette()
{
	static const PackedPalette sPalette;
	return sPalette;
}

// Puts `count` pixels of one bitmap row, from column `column` on, at
// `target`.
void
PaintSpan(uint32* target, const uint8* row, color_space space, int32 column,
	int32 count)
{
	switch (space) {
		case B_RGB32:
		{
			const uint8* from = row + size_t(column) * 4;
			for (int32 i = 0; i < count; i++, from += 4) {
				target[i] = 0xff000000u | uint32(from[2]) << 16
					| uint32(from[1]) << 8 | from[0];
			}
			break;
		}
		case B_RGBA32:
		{
			const uint8* from = row + size_t(column) * 4;
			for (int32 i = 0; i < count; i++, from += 4) {
				uint8 alpha = from[3];
				if (alpha == 0)
					continue;
				target[i] = BlendPixel(target[i],
					rgb_color{ from[2], from[1], from[0], 255 }, alpha);
			}
			break;
		}
		case B_CMAP8:
		{
			const uint32* colors = Palette().colors;
			const uint8* from = row + column;
			for (int32 i = 0; i < count; i++) {
				if (from[i] != B_TRANSPARENT_MAGIC_CMAP8)
					target[i] = colors[from[i]];
			}
			break;
		}
		default:
			break;
	}
}

// The remainder of `value` by `divisor` (> 0), always from 0 to divisor - 1.
int64
FloorMod(int64 value, int64 divisor)
{
	int64 remainder = value % divisor;
	return remainder < 0 ? remainder + divisor : remainder;
}

// At a fractional scale the bitmap's pixels are one or two canvas pixels
// wide, so each canvas pixel is traced back to the kits' pixel it belongs
// to, and that one to the bitmap's: the copy starts at the kits' pixel
// whose device pixels begin at the origin.
void
TileFractional(Canvas& canvas, const ClipBox& area, const BBitmap& bitmap,
	int32 originX, int32 originY, uint32 options, PixelScale scale)
{
	const int64 width = bitmap.Bounds().IntegerWidth() + 1;
	const int64 height = bitmap.Bounds().IntegerHeight() + 1;
	const bool tileX = (options & B_TILE_BITMAP_X) != 0;
	const bool tileY = (options & B_TILE_BITMAP_Y) != 0;
	const uint8* bits = static_cast<const uint8*>(bitmap.Bits());
	const int32 bytesPerRow = bitmap.BytesPerRow();
	const color_space space = bitmap.ColorSpace();
	const int64 firstX = scale.PixelAt(originX);
	const int64 firstY = scale.PixelAt(originY);

	int64 left = area.left;
	int64 right = area.right;
	if (!tileX) {
		left = std::max(left, int64(scale.Start(firstX)));
		right = std::min(right, int64(scale.Start(firstX + width)) - 1);
		if (left > right)
			return;
	}
	for (int32 y = area.top; y <= area.bottom; y++) {
		int64 bitmapY = scale.PixelAt(y) - firstY;
		if (tileY)
			bitmapY = FloorMod(bitmapY, height);
		else if (bitmapY < 0 || bitmapY >= height)
			continue;
		const uint8* row = bits + bitmapY * bytesPerRow;
		uint32* target = canvas.Row(y);
		for (int64 x = left; x <= right; x++) {
			int64 bitmapX = scale.PixelAt(int32(x)) - firstX;
			if (tileX)
				bitmapX = FloorMod(bitmapX, width);
			PaintSpan(target + x, row, space, int32(bitmapX), 1);
		}
	}
}

} // namespace

void
DrawBitmap(Canvas& canvas, const ClipBox& clip, const BBitmap& bitmap,
	int32 destX, int32 destY, PixelScale scale)
{
	TileBitmap(canvas, clip, bitmap, destX, destY, 0, scale);
}

void
TileBitmap(Canvas& canvas, const ClipBox& clip, const BBitmap& bitmap,
	int32 originX, int32 originY, uint32 options, PixelScale pixelScale)
{
	if (!bitmap.IsValid() || canvas.pixels == nullptr || canvas.width <= 0
		|| canvas.height <= 0 || canvas.stride < canvas.width) {
		return;
	}
	ClipBox area = clip.Intersect(canvas.Bounds());
	if (area.IsEmpty())
		return;

	if (!pixelScale.IsWhole()) {
		TileFractional(canvas, area, bitmap, originX, originY, options,
			pixelScale);
		return;
	}
	// In canvas pixels: each of the bitmap's is `scale` of them across.
	const int32 scale = pixelScale.Ceiling();
	const int64 width = (bitmap.Bounds().IntegerWidth() + 1) * int64(scale);
	const int64 height = (bitmap.Bounds().IntegerHeight() + 1)
		* int64(scale);
	const bool tileX = (options & B_TILE_BITMAP_X) != 0;
	const bool tileY = (options & B_TILE_BITMAP_Y) != 0;
	const uint8* bits = static_cast<const uint8*>(bitmap.Bits());
	const int32 bytesPerRow = bitmap.BytesPerRow();
	const color_space space = bitmap.ColorSpace();

	// Without horizontal tiling only the columns of the one copy are drawn.
	int64 left = area.left;
	int64 right = area.right;
	if (!tileX) {
		left = std::max(left, int64(originX));
		right = std::min(right, int64(originX) + width - 1);
		if (left > right)
			return;
	}

	for (int32 y = area.top; y <= area.bottom; y++) {
		int64 offsetY = int64(y) - originY;
		if (tileY)
			offsetY = FloorMod(offsetY, height);
		else if (offsetY < 0 || offsetY >= height)
			continue;
		const uint8* row = bits + (offsetY / scale) * bytesPerRow;
		uint32* target = canvas.Row(y);

		int64 x = left;
		int64 column = FloorMod(x - originX, width);
		if (scale == 1) {
			while (x <= right) {
				int64 count = std::min(width - column, right - x + 1);
				PaintSpan(target + x, row, space, int32(column),
					int32(count));
				x += count;
				column = 0;
			}
			continue;
		}
		for (; x <= right; x++) {
			PaintSpan(target + x, row, space, int32(column / scale), 1);
			if (++column == width)
				column = 0;
		}
	}
}

} // namespace BPrivate
