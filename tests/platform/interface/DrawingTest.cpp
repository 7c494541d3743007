/*
 * What windows show, read back pixel by pixel from the headless display:
 * backgrounds, clipping to the parent and the window, tiled view bitmaps,
 * transparency, drawing calls, text placement and partial redraws.
 */
#include <atomic>
#include <chrono>
#include <cstring>

#include <gtest/gtest.h>

#include <Bitmap.h>
#include <View.h>
#include <Window.h>

#include "../../support/KitTest.h"
#include "../../support/Watchdog.h"

using namespace std::chrono_literals;
using KitTest::Pixel;
using KitTest::Rgb;

namespace {

class ColorView : public BView {
public:
	ColorView(BRect frame, rgb_color color, uint32 flags = B_WILL_DRAW)
		:
		BView(frame, "color", B_FOLLOW_LEFT | B_FOLLOW_TOP, flags)
	{
		SetViewColor(color);
	}
};

// Draws a fixed picture and remembers what it was asked to redraw.
class PaintingView : public BView {
public:
	explicit PaintingView(BRect frame)
		:
		BView(frame, "painting", B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW)
	{
		SetViewColor(make_color(255, 255, 255));
	}

	void Draw(BRect update) override
	{
		draws++;
		lastUpdate = update;
		SetHighColor(255, 0, 0);
		FillRect(BRect(2, 2, 5, 4));
		SetHighColor(0, 0, 255);
		StrokeRect(BRect(10, 2, 14, 6));
		SetHighColor(0, 128, 0);
		StrokeLine(BPoint(20, 2), BPoint(24, 2));
		SetHighColor(0, 0, 0);
		FillTriangle(BPoint(30, 2), BPoint(38, 2), BPoint(34, 6));
		SetHighColor(0, 0, 0);
		DrawString("Ag", BPoint(2, 18));
	}

	void MouseDown(BPoint where) override { lastDown = where; }

	std::atomic<int> draws{ 0 };
	BPoint lastDown;
	BRect lastUpdate;
};

struct Shown {
	BWindow* window;
	KitTest::Marker* marker;
};

Shown
ShowWindow(BWindow* window)
{
	KitTest::Marker* marker = KitTest::AddMarker(window);
	window->Show();
	KitTest::Settle(window, marker);
	return Shown{ window, marker };
}

void
Close(Shown shown)
{
	KitTest::RemoveMarker(shown.window, shown.marker);
	KitTest::QuitWindow(shown.window);
}

BWindow*
NewWindow(const char* title)
{
	return new BWindow(BRect(100, 100, 230, 170), title, B_TITLED_WINDOW,
		B_NOT_RESIZABLE);
}

} // namespace

TEST(DrawingTest, ChildrenAreClippedToTheirParentAndTheWindow)
{
	Watchdog watchdog(20s, "Clipping");
	BWindow* window = NewWindow("clip");
	BView* parent = new ColorView(BRect(10, 10, 59, 39),
		make_color(0, 0, 255));
	window->AddChild(parent);
	// Reaches past the parent on the right and below.
	parent->AddChild(new ColorView(BRect(40, 20, 80, 60),
		make_color(255, 0, 0)));
	// Reaches far past the window's right and bottom edges.
	window->AddChild(new ColorView(BRect(120, 60, 400, 300),
		make_color(0, 255, 0)));
	Shown shown = ShowWindow(window);

	uint32 panel = Rgb(216, 216, 216);
	EXPECT_EQ(Pixel(window, 5, 5), panel);
	EXPECT_EQ(Pixel(window, 10, 10), Rgb(0, 0, 255));
	EXPECT_EQ(Pixel(window, 59, 39), Rgb(255, 0, 0));   // child, inside
	EXPECT_EQ(Pixel(window, 50, 30), Rgb(255, 0, 0));   // child's top-left
	EXPECT_EQ(Pixel(window, 49, 30), Rgb(0, 0, 255));
	EXPECT_EQ(Pixel(window, 60, 35), panel) << "child drawn past its parent";
	EXPECT_EQ(Pixel(window, 55, 40), panel) << "child drawn past its parent";
	EXPECT_EQ(Pixel(window, 130, 70), Rgb(0, 255, 0));
	EXPECT_EQ(Pixel(window, 119, 70), panel);
	Close(shown);
}

TEST(DrawingTest, TransparentViewColorShowsTheParent)
{
	Watchdog watchdog(20s, "Transparent");
	BWindow* window = NewWindow("transparent");
	BView* parent = new ColorView(BRect(0, 0, 130, 70),
		make_color(255, 255, 255));
	window->AddChild(parent);
	parent->AddChild(new ColorView(BRect(10, 10, 50, 50),
		B_TRANSPARENT_COLOR));
	Shown shown = ShowWindow(window);
	EXPECT_EQ(Pixel(window, 20, 20), Rgb(255, 255, 255));
	Close(shown);
}

TEST(DrawingTest, ViewBitmapTilesFromTheViewsTopLeft)
{
	Watchdog watchdog(20s, "Tiling");
	BWindow* window = NewWindow("tile");
	BView* view = new ColorView(BRect(5, 5, 40, 30), make_color(0, 0, 0));
	window->AddChild(view);
	// A 3 x 2 picture with a different colour in every pixel.
	BBitmap bitmap(BRect(0, 0, 2, 1), B_RGB32);
	ASSERT_TRUE(bitmap.IsValid());
	for (int32 y = 0; y < 2; y++) {
		uint32* row = reinterpret_cast<uint32*>(
			static_cast<uint8*>(bitmap.Bits()) + y * bitmap.BytesPerRow());
		for (int32 x = 0; x < 3; x++)
			row[x] = 0xff000000u | Rgb(uint8(x * 100), uint8(y * 200), 7);
	}
	window->Lock();
	view->SetViewBitmap(&bitmap, B_FOLLOW_TOP | B_FOLLOW_LEFT,
		B_TILE_BITMAP);
	window->Unlock();
	Shown shown = ShowWindow(window);
	for (int32 y = 5; y <= 30; y += 5) {
		for (int32 x = 5; x <= 40; x += 3) {
			int32 bx = (x - 5) % 3, by = (y - 5) % 2;
			EXPECT_EQ(Pixel(window, x, y), Rgb(uint8(bx * 100),
				uint8(by * 200), 7)) << "at " << x << "," << y;
		}
	}
	EXPECT_EQ(Pixel(window, 41, 10), Rgb(216, 216, 216));
	Close(shown);
}

TEST(DrawingTest, ABitmapWiderThanItsViewShowsItsFirstColumns)
{
	Watchdog watchdog(20s, "WideBitmap");
	BWindow* window = NewWindow("wide");
	BView* view = new ColorView(BRect(0, 0, 130, 70), make_color(0, 0, 0));
	window->AddChild(view);
	BBitmap bitmap(BRect(0, 0, 134, 70), B_RGB32);
	ASSERT_TRUE(bitmap.IsValid());
	for (int32 y = 0; y <= 70; y++) {
		uint32* row = reinterpret_cast<uint32*>(
			static_cast<uint8*>(bitmap.Bits()) + y * bitmap.BytesPerRow());
		for (int32 x = 0; x <= 134; x++)
			row[x] = 0xff000000u | Rgb(uint8(x), uint8(y), 0);
	}
	window->Lock();
	view->SetViewBitmap(&bitmap);
	window->Unlock();
	Shown shown = ShowWindow(window);
	EXPECT_EQ(Pixel(window, 0, 0), Rgb(0, 0, 0));
	EXPECT_EQ(Pixel(window, 130, 70), Rgb(130, 70, 0));
	EXPECT_EQ(Pixel(window, 64, 33), Rgb(64, 33, 0));
	Close(shown);
}

// At scale 2 each of the window's pixels is a square of 2 x 2 on the
// display: shapes cover their doubled area exactly.
using ScaledDrawingTest = KitTest::AtScale;
INSTANTIATE_TEST_SUITE_P(Scales, ScaledDrawingTest, testing::Values(1, 2));

TEST_P(ScaledDrawingTest, ShapesCoverTheirInclusivePixels)
{
	Watchdog watchdog(20s, "Shapes");
	int32 scale = GetParam();
	BWindow* window = NewWindow("shapes");
	PaintingView* view = new PaintingView(BRect(10, 10, 60, 30));
	window->AddChild(view);
	Shown shown = ShowWindow(window);
	KitTest::Shot shot(window, scale);
	EXPECT_EQ(shot.Width(), 131 * scale);
	EXPECT_EQ(shot.Height(), 71 * scale);
	EXPECT_EQ(window->Bounds(), BRect(0, 0, 130, 70));
	auto at = [&](int32 x, int32 y) { return shot.At(10 + x, 10 + y); };
	uint32 white = Rgb(255, 255, 255);

	EXPECT_EQ(at(2, 2), Rgb(255, 0, 0));
	EXPECT_EQ(at(5, 4), Rgb(255, 0, 0));
	EXPECT_EQ(at(6, 4), white);
	EXPECT_EQ(at(5, 5), white);
	EXPECT_EQ(at(10, 2), Rgb(0, 0, 255));
	EXPECT_EQ(at(14, 6), Rgb(0, 0, 255));
	EXPECT_EQ(at(12, 4), white) << "StrokeRect filled the inside";
	EXPECT_EQ(at(20, 2), Rgb(0, 128, 0));
	EXPECT_EQ(at(24, 2), Rgb(0, 128, 0));
	EXPECT_EQ(at(25, 2), white);
	EXPECT_EQ(at(30, 2), Rgb(0, 0, 0));
	EXPECT_EQ(at(38, 2), Rgb(0, 0, 0));
	EXPECT_EQ(at(34, 6), Rgb(0, 0, 0));
	EXPECT_EQ(at(31, 4), white);
	EXPECT_EQ(at(34, 7), white);
	Close(shown);
}

// The desktop's scale changing under a shown window (another output, or
// the user's setting): the window is drawn again exactly as one made at the
// new scale, the pointer comes in the new scale's device pixels, and the
// windows made afterwards take it too.
TEST(DrawingTest, AShownWindowFollowsTheDesktopsScale)
{
	Watchdog watchdog(30s, "Rescale");
	using BPrivate::PixelScale;
	namespace Headless = BPrivate::Headless;
	const PixelScale kOneAndAHalf = PixelScale::FromUnits(180);
	Headless::SetScale(PixelScale(1));
	BWindow* window = NewWindow("rescaled");
	PaintingView* view = new PaintingView(BRect(10, 10, 60, 30));
	window->AddChild(view);
	Shown shown = ShowWindow(window);
	uint32 id = BPrivate::DisplayIdOf(window);
	for (PixelScale scale : { PixelScale(2), kOneAndAHalf }) {
		Headless::ChangeScale(id, scale);
		KitTest::Settle(window, shown.marker);
		Headless::Sync();
		BWindow* fresh = NewWindow("fresh");
		fresh->AddChild(new PaintingView(BRect(10, 10, 60, 30)));
		Shown made = ShowWindow(fresh);
		std::vector<uint32> got, want;
		int32 width = 0, height = 0, freshWidth = 0, freshHeight = 0;
		ASSERT_TRUE(Headless::Snapshot(id, &got, &width, &height));
		ASSERT_TRUE(Headless::Snapshot(BPrivate::DisplayIdOf(fresh), &want,
			&freshWidth, &freshHeight));
		EXPECT_EQ(width, scale.Length(131));
		EXPECT_EQ(freshWidth, width) << "a new window missed the new scale";
		EXPECT_EQ(freshHeight, height);
		EXPECT_TRUE(got == want) << "at " << scale.Units() << "/120";
		Close(made);

		Headless::Activate(id, true);
		Headless::MouseDown(id, float(scale.Start(10 + 7)),
			float(scale.Start(10 + 3)));
		Headless::MouseUp(id, float(scale.Start(10 + 7)),
			float(scale.Start(10 + 3)));
		KitTest::Settle(window, shown.marker);
		EXPECT_EQ(view->lastDown, BPoint(7, 3));
	}
	Close(shown);
	Headless::SetScale(PixelScale(1));
}

TEST(DrawingTest, OnlyTheInvalidatedBoxIsRedrawn)
{
	Watchdog watchdog(20s, "PartialRedraw");
	BWindow* window = NewWindow("partial");
	PaintingView* view = new PaintingView(BRect(10, 10, 60, 30));
	window->AddChild(view);
	Shown shown = ShowWindow(window);
	int before = view->draws.load();
	EXPECT_GE(before, 1);

	window->Lock();
	view->Invalidate(BRect(3, 3, 4, 4));
	window->Unlock();
	KitTest::Settle(window, shown.marker);
	EXPECT_EQ(view->draws.load(), before + 1);
	EXPECT_TRUE(BRect(3, 3, 4, 4).Contains(view->lastUpdate))
		<< "update rect " << view->lastUpdate.left << ","
		<< view->lastUpdate.top << " - " << view->lastUpdate.right << ","
		<< view->lastUpdate.bottom;
	// Nothing asks for a redraw: the window stays idle.
	KitTest::Settle(window, shown.marker);
	EXPECT_EQ(view->draws.load(), before + 1);
	Close(shown);
}

TEST_P(ScaledDrawingTest, TextSitsOnItsBaselineFromItsStartingPoint)
{
	Watchdog watchdog(20s, "Text");
	int32 scale = GetParam();
	class TextView : public BView {
	public:
		TextView() : BView(BRect(0, 0, 130, 70), "text", B_FOLLOW_ALL_SIDES,
			B_WILL_DRAW) {}
		void Draw(BRect) override
		{
			SetHighColor(0, 0, 0);
			DrawString("Volume:", BPoint(20, 30));
			width = StringWidth("Volume:");
			GetFontHeight(&height);
		}
		float width = 0;
		font_height height = {};
	};
	BWindow* window = NewWindow("text");
	TextView* view = new TextView;
	window->AddChild(view);
	Shown shown = ShowWindow(window);
	ASSERT_GT(view->width, 20);

	// The ink's box on the display, and in the window's pixels (rounded
	// down; the text is rendered at the device's size, so its edges need
	// not fall on the squares' edges).
	KitTest::Shot shot(window, scale);
	int32 inkLeft = 100000, inkRight = -1, inkTop = 100000, inkBottom = -1;
	for (int32 y = 0; y < shot.Height(); y++) {
		for (int32 x = 0; x < shot.Width(); x++) {
			if (shot.Device(x, y) != Rgb(255, 255, 255)) {
				inkLeft = std::min(inkLeft, x);
				inkRight = std::max(inkRight, x);
				inkTop = std::min(inkTop, y);
				inkBottom = std::max(inkBottom, y);
			}
		}
	}
	EXPECT_GE(inkLeft / scale, 19);
	EXPECT_LE(inkLeft / scale, 21);
	EXPECT_LE(inkRight / scale, 20 + int32(view->width) + 1);
	EXPECT_GE(inkRight / scale, 20 + int32(view->width) - 3);
	EXPECT_GE(inkTop / scale, 30 - int32(view->height.ascent) - 1);
	EXPECT_LE(inkBottom / scale, 30) << "\"Volume:\" has no descenders";
	EXPECT_GE(inkBottom / scale, 29);
	// Rendered at the device's size: the capital's foot stands on the
	// baseline square's bottom row.
	EXPECT_EQ(inkBottom % scale, scale - 1);
	Close(shown);
}
