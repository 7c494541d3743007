/*
 * What the Wayland back end decides on its own: where a menu's pop-up is
 * anchored against its field, the surface's size for a buffer, the scale
 * a surface's buffers take.
 */
#include <gtest/gtest.h>

#include <private/WaylandGeometry.h>

using namespace BPrivate;

namespace {

// The main window's content at (100, 100), 131 x 71, and its volume
// field's control, at the kits' scale `scale`: each pixel x as the device
// pixels from scale.Start(x) on.
BRect
Scaled(const BRect& rect, PixelScale scale)
{
	return BRect(scale.Start(int32(rect.left)), scale.Start(int32(rect.top)),
		scale.Start(int32(rect.right) + 1) - 1,
		scale.Start(int32(rect.bottom) + 1) - 1);
}

const BRect kParent(100, 100, 230, 170);
const BRect kControl(146, 110, 206, 127);
const BRect kMenu(146, 128, 216, 216);

} // namespace

TEST(WaylandGeometryTest, MenuOpensBelowItsFieldInTheParentsSurface)
{
	// Whole scales, and the fractional ones desktops offer.
	for (int32 units : { 120, 240, 360, 150, 180, 210, 270 }) {
		PixelScale scale = PixelScale::FromUnits(units);
		SCOPED_TRACE(testing::Message() << "scale " << scale.Factor());
		PopupPositioner positioner = PopupPositionerFor(
			Scaled(kControl, scale), Scaled(kMenu, scale),
			Scaled(kParent, scale), scale);
		// Logical pixels of the parent's surface, whatever the scale.
		EXPECT_EQ(positioner.anchorX, 46);
		EXPECT_EQ(positioner.anchorY, 10);
		EXPECT_EQ(positioner.anchorWidth, 61);
		EXPECT_EQ(positioner.anchorHeight, 18);
		EXPECT_EQ(positioner.width, 71);
		EXPECT_EQ(positioner.height, 89);
		// Anchored at the bottom-left corner, the menu's top-left is where
		// the kits put it: one row below the control.
		EXPECT_EQ(positioner.anchorX, kMenu.left - kParent.left);
		EXPECT_EQ(positioner.anchorY + positioner.anchorHeight,
			kMenu.top - kParent.top);
	}
}

TEST(WaylandGeometryTest, WithoutAnAnchorThePopupGoesWhereItsFrameSays)
{
	PopupPositioner positioner = PopupPositionerFor(BRect(), kMenu, kParent,
		1);
	EXPECT_EQ(positioner.anchorX, 46);
	EXPECT_EQ(positioner.anchorY + positioner.anchorHeight, 28);
	EXPECT_EQ(positioner.anchorWidth, 1);
	EXPECT_EQ(positioner.anchorHeight, 1);
}

TEST(WaylandGeometryTest, TheAnchorStaysInsideTheParent)
{
	// A control reaching past the window's right and bottom edges, and
	// one wholly outside it.
	PopupPositioner wide = PopupPositionerFor(BRect(200, 150, 400, 300),
		kMenu, kParent, 1);
	EXPECT_EQ(wide.anchorX, 100);
	EXPECT_EQ(wide.anchorY, 50);
	EXPECT_EQ(wide.anchorWidth, 31);
	EXPECT_EQ(wide.anchorHeight, 21);
	PopupPositioner outside = PopupPositionerFor(BRect(0, 0, 10, 10), kMenu,
		kParent, 1);
	EXPECT_EQ(outside.anchorX, 0);
	EXPECT_EQ(outside.anchorY, 0);
	EXPECT_GE(outside.anchorWidth, 1);
	EXPECT_GE(outside.anchorHeight, 1);
}

TEST(WaylandGeometryTest, WhereTheCompositorPutsAPopupIsWhereTheKitsHaveIt)
{
	BPoint leftTop = PopupLeftTopFor(BPoint(200, 200), 46, 28, 2);
	EXPECT_EQ(leftTop.x, 292);
	EXPECT_EQ(leftTop.y, 256);
	// At 1.5, where the kits draw the pixel the compositor names.
	leftTop = PopupLeftTopFor(BPoint(200, 200), 46, 29,
		PixelScale::FromUnits(180));
	EXPECT_EQ(leftTop.x, 269);
	EXPECT_EQ(leftTop.y, 243);
	// Flipped above its field, or slid left past the window's edge.
	leftTop = PopupLeftTopFor(BPoint(100, 100), -20, -79, 1);
	EXPECT_EQ(leftTop.x, 80);
	EXPECT_EQ(leftTop.y, 21);
}

TEST(WaylandGeometryTest, SurfaceSizeIsTheBufferOverTheScale)
{
	int32 width = 0, height = 0;
	ASSERT_TRUE(SurfaceSizeFor(131, 71, 1, &width, &height));
	EXPECT_EQ(width, 131);
	EXPECT_EQ(height, 71);
	ASSERT_TRUE(SurfaceSizeFor(262, 142, 2, &width, &height));
	EXPECT_EQ(width, 131);
	EXPECT_EQ(height, 71);
	ASSERT_TRUE(SurfaceSizeFor(393, 213, 3, &width, &height));
	EXPECT_EQ(width, 131);
	// At 1.5 the window's buffer is 197 x 107, its size times the scale
	// rounded; at 1.25, 164 x 89.
	ASSERT_TRUE(SurfaceSizeFor(197, 107, PixelScale::FromUnits(180), &width,
		&height));
	EXPECT_EQ(width, 131);
	EXPECT_EQ(height, 71);
	ASSERT_TRUE(SurfaceSizeFor(164, 89, PixelScale::FromUnits(150), &width,
		&height));
	EXPECT_EQ(width, 131);
	EXPECT_EQ(height, 71);
	// Not a whole number of logical pixels, not what any size comes to at
	// 1.5, or empty.
	EXPECT_FALSE(SurfaceSizeFor(263, 142, 2, &width, &height));
	EXPECT_FALSE(SurfaceSizeFor(196, 107, PixelScale::FromUnits(180), &width,
		&height));
	EXPECT_FALSE(SurfaceSizeFor(0, 142, 2, &width, &height));
}

TEST(WaylandGeometryTest, ScaleIsThePreferredOneElseTheLargestOutputs)
{
	EXPECT_EQ(SurfaceScaleFor(0, {}), 1);
	EXPECT_EQ(SurfaceScaleFor(0, { 1 }), 1);
	EXPECT_EQ(SurfaceScaleFor(0, { 1, 2 }), 2);
	EXPECT_EQ(SurfaceScaleFor(3, { 1, 2 }), 3);
	EXPECT_EQ(SurfaceScaleFor(1, { 2 }), 1);
	// Held to what the kits draw at.
	EXPECT_EQ(SurfaceScaleFor(0, { 8 }), 4);
	EXPECT_EQ(SurfaceScaleFor(0, { -1, 0 }), 1);
}
