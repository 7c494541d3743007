/*
 * What the Wayland back end works out on its own, apart from the
 * connection, so that it can be checked without a compositor: where a
 * pop-up's positioner anchors, what size a surface is for a buffer, which
 * scale a surface's buffers take.
 *
 * The kits place every window in screen coordinates of their own (device
 * pixels, as WindowSpec gives them); Wayland tells a client nothing of
 * where its windows are, and places a pop-up relative to its parent's
 * surface, in the surface's logical pixels (device pixels divided by the
 * buffer scale). These functions go between the two.
 *
 * Pure functions with no state: any thread. The back end calls them on the
 * display thread.
 */
#ifndef _PRIVATE_WAYLAND_GEOMETRY_H
#define _PRIVATE_WAYLAND_GEOMETRY_H

#include <vector>

#include <Point.h>
#include <Rect.h>
#include <private/Canvas.h>

namespace BPrivate {

// An xdg_positioner's rectangles, in the parent surface's logical pixels:
// the anchor rectangle (the menu field's control) and the pop-up's size.
// The pop-up opens below the anchor's bottom-left corner (anchor
// bottom-left, gravity bottom-right), which is where the kits put a menu
// (MenuWindow::FrameFor) when nothing is in the way.
struct PopupPositioner {
	int32 anchorX = 0;
	int32 anchorY = 0;
	int32 anchorWidth = 1;
	int32 anchorHeight = 1;
	int32 width = 1;
	int32 height = 1;
};

// The positioner for a pop-up whose frame is `popup`, opened from `anchor`
// of a parent whose content is at `parent`, all three in the kits' screen
// coordinates (device pixels, inclusive), at `scale`. Without a valid
// anchor the pop-up is anchored where its frame says, relative to the
// parent. The anchor rectangle is kept inside the parent, and no side is
// shorter than one pixel.
PopupPositioner PopupPositionerFor(const BRect& anchor, const BRect& popup,
	const BRect& parent, PixelScale scale);

// Where the kits' screen has a pop-up that the compositor put at x, y (its
// parent surface's logical pixels) from a parent at `parentLeftTop`
// (device pixels).
BPoint PopupLeftTopFor(BPoint parentLeftTop, int32 x, int32 y,
	PixelScale scale);

// The surface's size in logical pixels for a buffer of width x height
// device pixels at `scale`; false when the buffer is not what a window of
// whole logical pixels has at that scale (at a whole scale the compositor
// would refuse it; at a fractional one it is not PixelScale::Length of any
// size) or is empty.
bool SurfaceSizeFor(int32 bufferWidth, int32 bufferHeight, PixelScale scale,
	int32* width, int32* height);

// The scale for a surface's buffers: the compositor's preferred one where
// it sends one (`preferred` > 0), else the largest of the outputs' scales,
// 1 with no output; held within 1 and kMaxDesktopScale.
int32 SurfaceScaleFor(int32 preferred, const std::vector<int32>& outputScales);

} // namespace BPrivate

#endif // _PRIVATE_WAYLAND_GEOMETRY_H
