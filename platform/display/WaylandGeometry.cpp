#include <private/WaylandGeometry.h>

#include <algorithm>
#include <cmath>

#include <private/DesktopScale.h>

namespace BPrivate {

namespace {

// The logical pixel that holds device pixel `device`.
int32
Logical(float device, PixelScale scale)
{
	return scale.PixelAt(int32(std::floor(device)));
}

// A length of device pixels in logical ones: the length whose
// PixelScale::Length it is (nearest, as Length rounds).
int32
LogicalLength(float device, PixelScale scale)
{
	int64 length = int64(std::floor(device));
	return int32((length * PixelScale::kUnit + scale.Units() / 2)
		/ scale.Units());
}

} // namespace

PopupPositioner
PopupPositionerFor(const BRect& anchor, const BRect& popup,
	const BRect& parent, PixelScale scale)
{
	PopupPositioner result;
	result.width = std::max<int32>(1, LogicalLength(popup.Width() + 1, scale));
	result.height = std::max<int32>(1,
		LogicalLength(popup.Height() + 1, scale));
	int32 parentWidth = std::max<int32>(1,
		LogicalLength(parent.Width() + 1, scale));
	int32 parentHeight = std::max<int32>(1,
		LogicalLength(parent.Height() + 1, scale));

	// Inclusive device rectangle to the parent's logical pixels.
	int32 left, top, right, bottom;
	if (anchor.IsValid()) {
		left = Logical(anchor.left - parent.left, scale);
		top = Logical(anchor.top - parent.top, scale);
		right = Logical(anchor.right + 1 - parent.left, scale) - 1;
		bottom = Logical(anchor.bottom + 1 - parent.top, scale) - 1;
	} else {
		// The row of one pixel just above where the frame puts the pop-up.
		left = Logical(popup.left - parent.left, scale);
		top = Logical(popup.top - parent.top, scale) - 1;
		right = left;
		bottom = top;
	}
	left = std::max<int32>(0, std::min(left, parentWidth - 1));
	top = std::max<int32>(0, std::min(top, parentHeight - 1));
	right = std::max(left, std::min(right, parentWidth - 1));
	bottom = std::max(top, std::min(bottom, parentHeight - 1));
	result.anchorX = left;
	result.anchorY = top;
	result.anchorWidth = right - left + 1;
	result.anchorHeight = bottom - top + 1;
	return result;
}

BPoint
PopupLeftTopFor(BPoint parentLeftTop, int32 x, int32 y, PixelScale scale)
{
	return BPoint(parentLeftTop.x + float(scale.Start(x)),
		parentLeftTop.y + float(scale.Start(y)));
}

bool
SurfaceSizeFor(int32 bufferWidth, int32 bufferHeight, PixelScale scale,
	int32* width, int32* height)
{
	if (bufferWidth <= 0 || bufferHeight <= 0)
		return false;
	int32 logicalWidth = LogicalLength(float(bufferWidth), scale);
	int32 logicalHeight = LogicalLength(float(bufferHeight), scale);
	if (logicalWidth < 1 || logicalHeight < 1
		|| scale.Length(logicalWidth) != bufferWidth
		|| scale.Length(logicalHeight) != bufferHeight) {
		return false;
	}
	*width = logicalWidth;
	*height = logicalHeight;
	return true;
}

int32
SurfaceScaleFor(int32 preferred, const std::vector<int32>& outputScales)
{
	int32 scale = preferred;
	if (scale <= 0) {
		scale = 1;
		for (int32 output : outputScales)
			scale = std::max(scale, output);
	}
	return std::max<int32>(1, std::min(scale, kMaxDesktopScale));
}

} // namespace BPrivate
