// The painter on its own, with no window: each kind of shape cut at each
// edge of the clip and of the canvas, and shapes that draw nothing (inverted,
// without area, into an empty clip or a canvas of no size). Every case checks
// the exact box of pixels that changed, that no guard word outside the
// canvas was written, and that the painter counted as touched all it
// changed (what drawing outside an update shows).

#include <private/Painter.h>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include <Bitmap.h>

#include "../../support/GuardedCanvas.h"

namespace {

using BPrivate::ClipBox;
using BPrivate::Painter;
using TestCanvas::GuardedCanvas;
using TestCanvas::kBackground;

const ClipBox kNothing = { 0, 0, -1, -1 };
const ClipBox kEverything = { -1000, -1000, 1000, 1000 };
const ClipBox kInner = { 4, 3, 14, 11 };

struct Case {
	const char* what;
	int32 width;
	int32 height;
	ClipBox clip;
	std::function<void(Painter&)> draw;
	ClipBox changed;  // the box of the pixels that change; kNothing: none
	bool solid;       // every pixel of `changed` changes
};

void
DrawSquare(Painter& painter, BPoint where)
{
	BBitmap bitmap(BRect(0, 0, 5, 5), B_RGB32);
	memset(bitmap.Bits(), 0xff, size_t(bitmap.BitsLength()));
	painter.DrawBitmap(bitmap, where);
}

const Case kCases[] = {
	{ "rect over the clip's left edge", 20, 16, kInner,
		[](Painter& p) { p.FillRect(BRect(0, 5, 6, 7), B_SOLID_HIGH); },
		{ 4, 5, 6, 7 }, true },
	{ "rect over the clip's top edge", 20, 16, kInner,
		[](Painter& p) { p.FillRect(BRect(6, 0, 8, 4), B_SOLID_HIGH); },
		{ 6, 3, 8, 4 }, true },
	{ "rect over the clip's right edge", 20, 16, kInner,
		[](Painter& p) { p.FillRect(BRect(12, 5, 30, 6), B_SOLID_HIGH); },
		{ 12, 5, 14, 6 }, true },
	{ "rect over the clip's bottom edge", 20, 16, kInner,
		[](Painter& p) { p.FillRect(BRect(6, 9, 7, 40), B_SOLID_HIGH); },
		{ 6, 9, 7, 11 }, true },
	{ "patterned rect over every edge of the canvas", 20, 16, kEverything,
		[](Painter& p) {
			p.SetDrawingMode(B_OP_INVERT);
			p.FillRect(BRect(-100, -100, 100, 100), B_SOLID_HIGH);
		},
		{ 0, 0, 19, 15 }, true },
	{ "stroked rect around the clip", 20, 16, kInner,
		[](Painter& p) { p.StrokeRect(BRect(2, 1, 16, 13), B_SOLID_HIGH); },
		kNothing, false },
	{ "line across the canvas", 20, 16, kEverything,
		[](Painter& p) {
			p.StrokeLine(BPoint(-50, 7), BPoint(70, 7), B_SOLID_HIGH);
		},
		{ 0, 7, 19, 7 }, true },
	{ "line through the clip's top and bottom", 20, 16, kInner,
		[](Painter& p) {
			p.StrokeLine(BPoint(9, -20), BPoint(9, 40), B_SOLID_HIGH);
		},
		{ 9, 3, 9, 11 }, true },
	{ "triangle over the whole clip", 20, 16, kInner,
		[](Painter& p) {
			p.FillTriangle(BPoint(-40, -40), BPoint(80, -40), BPoint(10, 80),
				B_SOLID_HIGH);
		},
		kInner, true },
	{ "ellipse over the canvas's right and bottom edges", 20, 16,
		kEverything, [](Painter& p) { p.FillEllipse(BRect(10, 8, 29, 23)); },
		{ 10, 8, 19, 15 }, false },
	{ "ellipse rim over the canvas's left and top edges", 20, 16,
		kEverything,
		[](Painter& p) { p.StrokeEllipse(BRect(-10, -8, 9, 7)); },
		{ 0, 0, 9, 7 }, false },
	{ "bitmap over the clip's top-left corner", 20, 16, kInner,
		[](Painter& p) { DrawSquare(p, BPoint(2, 1)); },
		{ 4, 3, 7, 6 }, true },
	{ "bitmap over the canvas's bottom-right corner", 20, 16, kEverything,
		[](Painter& p) { DrawSquare(p, BPoint(17, 13)); },
		{ 17, 13, 19, 15 }, true },
	{ "one-pixel rect", 20, 16, kEverything,
		[](Painter& p) { p.FillRect(BRect(5, 5, 5, 5), B_SOLID_HIGH); },
		{ 5, 5, 5, 5 }, true },
	{ "inverted rect", 20, 16, kEverything,
		[](Painter& p) {
			p.FillRect(BRect(8, 8, 7, 7), B_SOLID_HIGH);
			p.StrokeRect(BRect(8, 8, 7, 7), B_SOLID_HIGH);
		},
		kNothing, false },
	{ "inverted ellipse", 20, 16, kEverything,
		[](Painter& p) {
			p.FillEllipse(BRect(9, 9, 3, 3));
			p.StrokeEllipse(BRect(9, 3, 3, 9));
		},
		kNothing, false },
	{ "triangle without area", 20, 16, kEverything,
		[](Painter& p) {
			p.FillTriangle(BPoint(1, 1), BPoint(5, 5), BPoint(9, 9),
				B_SOLID_HIGH);
		},
		kNothing, false },
	{ "empty clip", 20, 16, { 6, 6, 5, 5 },
		[](Painter& p) {
			p.FillRect(BRect(-5, -5, 30, 30), B_SOLID_HIGH);
			p.StrokeLine(BPoint(0, 0), BPoint(19, 15), B_SOLID_HIGH);
		},
		kNothing, false },
	{ "clip beside the canvas", 20, 16, { 20, 0, 40, 15 },
		[](Painter& p) {
			p.FillRect(BRect(-5, -5, 30, 30), B_SOLID_HIGH);
			DrawSquare(p, BPoint(18, 2));
		},
		kNothing, false },
	{ "canvas of no size", 0, 0, kEverything,
		[](Painter& p) {
			p.FillRect(BRect(-5, -5, 30, 30), B_SOLID_HIGH);
			p.FillEllipse(BRect(0, 0, 3, 3));
			p.FillTriangle(BPoint(-4, -4), BPoint(4, -4), BPoint(0, 4),
				B_SOLID_HIGH);
		},
		kNothing, false },
};

TEST(Painter, ClipsEveryShapeAndDrawsNothingForEmptyOnes)
{
	for (const Case& test : kCases) {
		SCOPED_TRACE(test.what);
		GuardedCanvas canvas(test.width, test.height);
		Painter painter(canvas.Get(), test.clip);
		painter.SetHighColor(make_color(255, 0, 0));
		test.draw(painter);

		EXPECT_TRUE(canvas.GuardsIntact());
		ClipBox changed = kNothing;
		bool solid = true;
		for (int32 y = 0; y < test.height; y++) {
			for (int32 x = 0; x < test.width; x++) {
				bool differs = canvas.At(x, y) != kBackground;
				if (test.changed.Contains(x, y))
					solid = solid && differs;
				if (!differs)
					continue;
				EXPECT_TRUE(painter.Touched().Contains(x, y))
					<< x << "," << y;
				ClipBox pixel = { x, y, x, y };
				changed = changed.IsEmpty() ? pixel : changed.Union(pixel);
			}
		}
		if (test.changed.IsEmpty()) {
			EXPECT_TRUE(changed.IsEmpty());
		} else {
			EXPECT_EQ(changed.left, test.changed.left);
			EXPECT_EQ(changed.top, test.changed.top);
			EXPECT_EQ(changed.right, test.changed.right);
			EXPECT_EQ(changed.bottom, test.changed.bottom);
		}
		EXPECT_TRUE(solid || !test.solid);
	}
}

// At 1.5 the kits' pixels are alternately one and two device pixels wide:
// a frame one pixel thick is one or two solid device pixels, never blended
// into the background, and a bitmap's pixels land on the same device pixels
// as the kits' pixels they are drawn on. Whole scales keep their squares.
TEST(Painter, FractionalScalesMapEachPixelToWholeDevicePixels)
{
	using BPrivate::PixelScale;
	const PixelScale half = PixelScale::FromUnits(180);
	const struct {
		PixelScale scale;
		int32 logical, start, length;
	} kLengths[] = {
		{ PixelScale(2), 131, 262, 262 },
		{ half, 131, 196, 197 },   // halves away from zero
		{ half, 71, 106, 107 },
		{ PixelScale::FromUnits(150), 131, 163, 164 },
		{ half, -3, -5, -5 },
	};
	for (const auto& row : kLengths) {
		EXPECT_EQ(row.scale.Start(row.logical), row.start) << row.logical;
		EXPECT_EQ(row.scale.Length(row.logical), row.length) << row.logical;
	}
	for (int32 device = -7; device < 40; device++) {
		int32 pixel = half.PixelAt(device);
		EXPECT_LE(half.Start(pixel), device);
		EXPECT_GT(half.Start(pixel + 1), device);
		EXPECT_EQ(PixelScale(3).PixelAt(device), (device + 30) / 3 - 10);
	}

	// At the scales desktops offer, every pixel has a device pixel or two
	// of its own, and boxes side by side meet with no gap or overlap.
	for (int32 units : { 150, 180, 210, 240, 270 }) {
		const PixelScale scale = PixelScale::FromUnits(units);
		for (int32 x = -40; x < 300; x++) {
			int32 width = scale.Start(x + 1) - scale.Start(x);
			ASSERT_GE(width, 1) << units << " at " << x;
			ASSERT_LE(width, scale.Ceiling()) << units << " at " << x;
			ClipBox left = BPrivate::ScaledBox(ClipBox{ x - 7, x, x, x + 3 },
				scale);
			ClipBox right = BPrivate::ScaledBox(
				ClipBox{ x + 1, x, x + 5, x + 3 }, scale);
			ASSERT_EQ(left.right + 1, right.left) << units << " at " << x;
			ASSERT_EQ(left.top, right.top);
			ASSERT_EQ(left.bottom, right.bottom);
		}
	}

	GuardedCanvas canvas(40, 30);
	Painter painter(canvas.Get(), ClipBox{ 0, 0, 39, 29 }, 0, 0, half);
	painter.SetHighColor(make_color(255, 0, 0));
	painter.StrokeRect(BRect(3, 2, 12, 9), B_SOLID_HIGH);
	BBitmap bitmap(BRect(0, 0, 2, 0), B_RGB32);
	uint32* bits = static_cast<uint32*>(bitmap.Bits());
	bits[0] = 0xff0000ffu;
	bits[1] = 0xff00ff00u;
	bits[2] = 0xff0000ffu;
	painter.DrawBitmap(bitmap, BPoint(5, 5));
	EXPECT_TRUE(canvas.GuardsIntact());

	const uint32 red = 0xffff0000u;
	for (int32 y = 0; y < 30; y++) {
		for (int32 x = 0; x < 40; x++) {
			int32 px = half.PixelAt(x), py = half.PixelAt(y);
			bool onFrame = px >= 3 && px <= 12 && py >= 2 && py <= 9
				&& (px == 3 || px == 12 || py == 2 || py == 9);
			uint32 expected = onFrame ? red : kBackground;
			if (py == 5 && px >= 5 && px <= 7)
				expected = px == 6 ? 0xff00ff00u : 0xff0000ffu;
			ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
		}
	}
	// The frame's left side, the kits' column 3, is device columns 4 and 5;
	// its right side, column 12, is device column 18 alone.
	EXPECT_EQ(half.Start(3), 4);
	EXPECT_EQ(half.Start(4) - half.Start(3), 2);
	EXPECT_EQ(half.Start(13) - half.Start(12), 1);
}

} // namespace
