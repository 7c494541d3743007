// Putting bitmaps into a canvas: where the pixels land, what each colour
// space does to what is there, and that nothing is written outside the
// clip or the canvas. The canvas sits inside a larger guarded buffer with a
// stride wider than its rows, so a stray write shows up as a changed guard.

#include <private/BitmapPainter.h>

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <InterfaceDefs.h>

#include <private/SystemPalette.h>

#include "../../support/GuardedCanvas.h"

namespace {

using BPrivate::Canvas;
using BPrivate::ClipBox;
using BPrivate::DrawBitmap;
using BPrivate::TileBitmap;
using TestCanvas::GuardedCanvas;
using TestCanvas::kBackground;

// A B_RGB32 bitmap whose pixel (x, y) is 0xff00XXYY, so that every drawn
// pixel tells which source pixel it came from.
BBitmap*
NumberedBitmap(int32 width, int32 height)
{
	BBitmap* bitmap = new BBitmap(BRect(0, 0, float(width - 1),
		float(height - 1)), B_RGB32);
	uint8_t* bits = static_cast<uint8_t*>(bitmap->Bits());
	for (int32 y = 0; y < height; y++) {
		for (int32 x = 0; x < width; x++) {
			uint8_t* at = bits + size_t(y) * bitmap->BytesPerRow()
				+ size_t(x) * 4;
			at[0] = uint8_t(y);
			at[1] = uint8_t(x);
			at[2] = 0;
			at[3] = 0;		// the unused byte must not make it transparent
		}
	}
	return bitmap;
}

uint32_t
Numbered(int32 x, int32 y)
{
	return 0xff000000u | uint32_t(x) << 8 | uint32_t(y);
}

const ClipBox kEverything = { -1000, -1000, 1000, 1000 };

TEST(BitmapPainter, DrawsUnscaledAtTheDestination)
{
	GuardedCanvas canvas(20, 15);
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(5, 4));
	DrawBitmap(canvas.Get(), kEverything, *bitmap, 3, 6);
	for (int32 y = 0; y < 15; y++) {
		for (int32 x = 0; x < 20; x++) {
			bool inside = x >= 3 && x < 8 && y >= 6 && y < 10;
			uint32_t expected = inside ? Numbered(x - 3, y - 6) : kBackground;
			ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
		}
	}
	EXPECT_TRUE(canvas.GuardsIntact());
}

TEST(BitmapPainter, ClipHoldsAtEveryEdge)
{
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(10, 10));
	const ClipBox kClips[] = {
		{ 4, 0, 19, 19 },	// left edge through the bitmap
		{ 0, 4, 19, 19 },	// top
		{ 0, 0, 6, 19 },	// right
		{ 0, 0, 19, 6 },	// bottom
		{ 4, 4, 6, 6 },		// all four
		{ 5, 5, 5, 5 },		// one pixel
	};
	for (const ClipBox& clip : kClips) {
		GuardedCanvas canvas(20, 20);
		DrawBitmap(canvas.Get(), clip, *bitmap, 2, 2);
		ClipBox drawn = clip.Intersect(ClipBox{ 2, 2, 11, 11 });
		for (int32 y = 0; y < 20; y++) {
			for (int32 x = 0; x < 20; x++) {
				uint32_t expected = drawn.Contains(x, y)
					? Numbered(x - 2, y - 2) : kBackground;
				ASSERT_EQ(canvas.At(x, y), expected) << "clip " << clip.left
					<< "," << clip.top << "," << clip.right << ","
					<< clip.bottom << " at " << x << "," << y;
			}
		}
		EXPECT_TRUE(canvas.GuardsIntact());
	}
}

TEST(BitmapPainter, BitmapHangingOffTheCanvasIsCut)
{
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(6, 6));
	const int32 kOrigins[][2] = { { -3, -3 }, { 7, -2 }, { -4, 6 }, { 8, 8 },
		{ -6, 0 }, { 10, 0 }, { -100000, 5 }, { INT32_MAX, INT32_MAX },
		{ INT32_MIN, INT32_MIN } };
	for (const auto& origin : kOrigins) {
		GuardedCanvas canvas(10, 10);
		DrawBitmap(canvas.Get(), kEverything, *bitmap, origin[0], origin[1]);
		EXPECT_TRUE(canvas.GuardsIntact()) << origin[0] << "," << origin[1];
		for (int32 y = 0; y < 10; y++) {
			for (int32 x = 0; x < 10; x++) {
				int64_t sx = int64_t(x) - origin[0];
				int64_t sy = int64_t(y) - origin[1];
				bool inside = sx >= 0 && sx < 6 && sy >= 0 && sy < 6;
				uint32_t expected = inside ? Numbered(int32(sx), int32(sy))
					: kBackground;
				ASSERT_EQ(canvas.At(x, y), expected) << origin[0] << ","
					<< origin[1] << " at " << x << "," << y;
			}
		}
	}
}

TEST(BitmapPainter, TilingRepeatsFromTheOriginInBothDirections)
{
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(3, 4));
	// Origins inside, before and after the canvas, which must all give the
	// same phase of the pattern.
	const int32 kOrigins[][2] = { { 0, 0 }, { 2, 1 }, { -7, -9 }, { 25, 30 } };
	for (const auto& origin : kOrigins) {
		GuardedCanvas canvas(11, 13);
		TileBitmap(canvas.Get(), kEverything, *bitmap, origin[0], origin[1],
			B_TILE_BITMAP);
		for (int32 y = 0; y < 13; y++) {
			for (int32 x = 0; x < 11; x++) {
				int32 sx = ((x - origin[0]) % 3 + 3) % 3;
				int32 sy = ((y - origin[1]) % 4 + 4) % 4;
				ASSERT_EQ(canvas.At(x, y), Numbered(sx, sy)) << origin[0]
					<< "," << origin[1] << " at " << x << "," << y;
			}
		}
		EXPECT_TRUE(canvas.GuardsIntact());
	}
}

TEST(BitmapPainter, TilingAlongOneAxisKeepsToTheOthersBand)
{
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(3, 2));
	{
		GuardedCanvas canvas(10, 8);
		TileBitmap(canvas.Get(), kEverything, *bitmap, 1, 4, B_TILE_BITMAP_X);
		for (int32 y = 0; y < 8; y++) {
			for (int32 x = 0; x < 10; x++) {
				bool band = y == 4 || y == 5;
				uint32_t expected = band
					? Numbered(((x - 1) % 3 + 3) % 3, y - 4) : kBackground;
				ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
			}
		}
		EXPECT_TRUE(canvas.GuardsIntact());
	}
	{
		GuardedCanvas canvas(10, 8);
		TileBitmap(canvas.Get(), kEverything, *bitmap, 6, 1, B_TILE_BITMAP_Y);
		for (int32 y = 0; y < 8; y++) {
			for (int32 x = 0; x < 10; x++) {
				bool band = x >= 6 && x <= 8;
				uint32_t expected = band
					? Numbered(x - 6, ((y - 1) % 2 + 2) % 2) : kBackground;
				ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
			}
		}
		EXPECT_TRUE(canvas.GuardsIntact());
	}
}

TEST(BitmapPainter, NoTilingDrawsOnce)
{
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(3, 3));
	GuardedCanvas canvas(12, 12);
	TileBitmap(canvas.Get(), kEverything, *bitmap, 4, 5, 0);
	EXPECT_TRUE(canvas.ChangesWithin(ClipBox{ 4, 5, 6, 7 }));
	EXPECT_EQ(canvas.At(4, 5), Numbered(0, 0));
	EXPECT_EQ(canvas.At(6, 7), Numbered(2, 2));
}

TEST(BitmapPainter, TilingStaysInsideTheClip)
{
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(4, 4));
	const ClipBox kClip = { 3, 2, 9, 6 };
	for (uint32 options : { 0u, uint32(B_TILE_BITMAP_X),
			uint32(B_TILE_BITMAP_Y), uint32(B_TILE_BITMAP) }) {
		GuardedCanvas canvas(14, 10);
		TileBitmap(canvas.Get(), kClip, *bitmap, 0, 0, options);
		EXPECT_TRUE(canvas.ChangesWithin(kClip)) << options;
		EXPECT_TRUE(canvas.GuardsIntact()) << options;
	}
	// Full tiling covers the whole clip, with the pattern's phase unmoved
	// by where the clip starts.
	GuardedCanvas canvas(14, 10);
	TileBitmap(canvas.Get(), kClip, *bitmap, 0, 0, B_TILE_BITMAP);
	for (int32 y = kClip.top; y <= kClip.bottom; y++) {
		for (int32 x = kClip.left; x <= kClip.right; x++)
			ASSERT_EQ(canvas.At(x, y), Numbered(x % 4, y % 4)) << x << "," << y;
	}
}

TEST(BitmapPainter, ClipOutsideTheCanvasWritesNothing)
{
	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(4, 4));
	const ClipBox kClips[] = { { -50, -50, -1, 100 }, { 10, 0, 100, 100 },
		{ 0, 10, 9, 100 }, { 5, 5, 4, 4 }, { INT32_MIN, INT32_MIN, -1, -1 } };
	for (const ClipBox& clip : kClips) {
		GuardedCanvas canvas(10, 10);
		TileBitmap(canvas.Get(), clip, *bitmap, 0, 0, B_TILE_BITMAP);
		EXPECT_TRUE(canvas.ChangesWithin(ClipBox{ 0, 0, -1, -1 }));
		EXPECT_TRUE(canvas.GuardsIntact());
	}
	// A clip far larger than the canvas is cut to it.
	GuardedCanvas canvas(10, 10);
	TileBitmap(canvas.Get(), ClipBox{ INT32_MIN, INT32_MIN, INT32_MAX,
		INT32_MAX }, *bitmap, 0, 0, B_TILE_BITMAP);
	EXPECT_EQ(canvas.At(9, 9), Numbered(1, 1));
	EXPECT_TRUE(canvas.GuardsIntact());
}

TEST(BitmapPainter, AlphaBlendsOverTheCanvas)
{
	BBitmap bitmap(BRect(0, 0, 3, 0), B_RGBA32);
	const uint8_t pixels[] = {
		0, 0, 255, 0,		// fully transparent red
		0, 0, 255, 255,		// opaque red
		255, 255, 255, 128,	// half white
		0x77, 0x74, 0x77, 0,	// the transparent magic colour
	};
	bitmap.SetBits(pixels, sizeof(pixels), 0, B_RGBA32);
	GuardedCanvas canvas(4, 1);
	DrawBitmap(canvas.Get(), kEverything, bitmap, 0, 0);
	EXPECT_EQ(canvas.At(0, 0), kBackground);
	EXPECT_EQ(canvas.At(1, 0), 0xffff0000u);
	// Half way from 0x10, 0x20, 0x30 to white, rounded.
	EXPECT_EQ(canvas.At(2, 0), 0xff889098u);
	EXPECT_EQ(canvas.At(3, 0), kBackground);
}

TEST(BitmapPainter, PaletteBitmapSkipsTransparentPixels)
{
	BBitmap bitmap(BRect(0, 0, 2, 0), B_CMAP8);
	const uint8_t indices[] = { 0, 255, 32 + 36 * 5 + 6 * 5 };
	bitmap.SetBits(indices, 3, 0, B_CMAP8);
	GuardedCanvas canvas(3, 1);
	DrawBitmap(canvas.Get(), kEverything, bitmap, 0, 0);
	EXPECT_EQ(canvas.At(0, 0), 0xff000000u);
	EXPECT_EQ(canvas.At(1, 0), kBackground);
	EXPECT_EQ(canvas.At(2, 0), 0xffffff00u);
}

TEST(BitmapPainter, InvalidBitmapOrCanvasDrawsNothing)
{
	BBitmap invalid(BRect(), B_RGB32);
	GuardedCanvas canvas(5, 5);
	TileBitmap(canvas.Get(), kEverything, invalid, 0, 0, B_TILE_BITMAP);
	EXPECT_TRUE(canvas.ChangesWithin(ClipBox{ 0, 0, -1, -1 }));

	std::unique_ptr<BBitmap> bitmap(NumberedBitmap(2, 2));
	Canvas empty;
	TileBitmap(empty, kEverything, *bitmap, 0, 0, B_TILE_BITMAP);
	Canvas narrow = canvas.Get();
	narrow.stride = narrow.width - 1;	// rows would overlap
	TileBitmap(narrow, kEverything, *bitmap, 0, 0, B_TILE_BITMAP);
	EXPECT_TRUE(canvas.ChangesWithin(ClipBox{ 0, 0, -1, -1 }));
	EXPECT_TRUE(canvas.GuardsIntact());
}

} // namespace
