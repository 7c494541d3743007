/*
 * The update cycle: views invalidate boxes on the window's thread or with
 * the window locked (the list of dirty boxes has a lock of its own as
 * well); the first box posts one update message, and the
 * window's thread, holding its lock, draws every dirty box through the view
 * tree into the window's pixels and hands those boxes to the display
 * thread to show. Views invalidate in their own pixels; the dirty boxes
 * are the canvas's, in device pixels at the desktop's scale.
 */
#include <Window.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include <Message.h>
#include <View.h>
#include <private/Display.h>
#include <private/WindowSurface.h>

namespace {

// Dirty boxes are merged when they overlap or touch; beyond this many the
// window simply redraws their union.
const size_t kMaxDirtyBoxes = 8;

bool
Touches(const BPrivate::ClipBox& a, const BPrivate::ClipBox& b)
{
	return a.left <= b.right + 1 && b.left <= a.right + 1
		&& a.top <= b.bottom + 1 && b.top <= a.bottom + 1;
}

// At a fractional scale the window's buffer is its size times the scale
// rounded (131 pixels at 1.5 are 197 device pixels), while its last pixel
// ends a little before that (at 196): the device pixels past it show that
// last pixel again. Returns the box with them, where it reaches them.
BPrivate::ClipBox
FillPastTheLastPixel(BPrivate::Canvas& canvas, BPrivate::PixelScale scale,
	int32 width, int32 height, BPrivate::ClipBox box)
{
	const int32 drawnWidth = std::min(canvas.width, scale.Start(width));
	const int32 drawnHeight = std::min(canvas.height, scale.Start(height));
	if (drawnWidth < canvas.width && box.right >= drawnWidth - 1
		&& drawnWidth > 0) {
		for (int32 y = std::max(box.top, 0);
				y <= std::min(box.bottom, canvas.height - 1); y++) {
			uint32* row = canvas.Row(y);
			std::fill(row + drawnWidth, row + canvas.width,
				row[drawnWidth - 1]);
		}
		box.right = canvas.width - 1;
	}
	if (drawnHeight < canvas.height && box.bottom >= drawnHeight - 1
		&& drawnHeight > 0) {
		const uint32* last = canvas.Row(drawnHeight - 1);
		int32 left = std::max(box.left, 0);
		int32 right = std::min(box.right, canvas.width - 1);
		for (int32 y = drawnHeight; y < canvas.height; y++) {
			std::copy(last + left, last + right + 1, canvas.Row(y) + left);
		}
		box.bottom = canvas.height - 1;
	}
	return box;
}

} // namespace

void
BWindow::_Invalidate(const BPrivate::ClipBox& box)
{
	BPrivate::ClipBox clipped = BPrivate::ScaledBox(box, _Scale()).Intersect(
		fSurface->canvas.Bounds());
	if (clipped.IsEmpty())
		return;
	bool post = false;
	{
		std::lock_guard<std::mutex> lock(fSurface->dirtyLock);
		std::vector<BPrivate::ClipBox>& dirty = fSurface->dirty;
		for (;;) {
			auto touching = std::find_if(dirty.begin(), dirty.end(),
				[&](const BPrivate::ClipBox& other) {
					return Touches(other, clipped);
				});
			if (touching == dirty.end())
				break;
			clipped = clipped.Union(*touching);
			dirty.erase(touching);
		}
		dirty.push_back(clipped);
		if (dirty.size() > kMaxDirtyBoxes) {
			BPrivate::ClipBox all = dirty.front();
			for (const BPrivate::ClipBox& other : dirty)
				all = all.Union(other);
			dirty.assign(1, all);
		}
		if (!fSurface->updatePosted) {
			fSurface->updatePosted = true;
			post = true;
		}
	}
	if (post)
		PostMessage(BPrivate::kUpdateMessage);
}

void
BWindow::UpdateIfNeeded()
{
	std::vector<BPrivate::ClipBox> boxes;
	{
		std::lock_guard<std::mutex> lock(fSurface->dirtyLock);
		boxes.swap(fSurface->dirty);
		fSurface->updatePosted = false;
	}
	if (boxes.empty() || fRoot == nullptr)
		return;
	fSurface->inUpdate = true;
	for (const BPrivate::ClipBox& box : boxes)
		_DrawTree(fRoot, B_ORIGIN, fSurface->canvas.Bounds(), box);
	fSurface->inUpdate = false;
	for (const BPrivate::ClipBox& box : boxes)
		_Present(box);
}

void
BWindow::_DrawTree(BView* view, BPoint origin, const BPrivate::ClipBox& clip,
	const BPrivate::ClipBox& update)
{
	if (view->_IsHiddenItself())
		return;
	BRect frame = view->Frame().OffsetByCopy(origin);
	BPrivate::ClipBox viewBox = BPrivate::ScaledBox(BPrivate::PixelBoxOf(frame),
		_Scale()).Intersect(clip);
	BPrivate::ClipBox box = viewBox.Intersect(update);
	if (box.IsEmpty())
		return;

	fSurface->updating = box;
	view->_DrawUpdate(fSurface->canvas, box, frame);
	// Drawing may have removed views; walk a copy of the list.
	std::vector<BView*> children;
	for (int32 i = 0; i < view->CountChildren(); i++)
		children.push_back(view->ChildAt(i));
	for (BView* child : children) {
		if (child->Parent() == view)
			_DrawTree(child, frame.LeftTop(), viewBox, update);
	}
}

bool
BWindow::_DrawingArea(BPrivate::Canvas* canvas, BPrivate::ClipBox* limit,
	bool* inUpdate) const
{
	const BPrivate::WindowSurface& surface = *fSurface;
	if (surface.canvas.pixels == nullptr)
		return false;
	*canvas = surface.canvas;
	*limit = surface.inUpdate ? surface.updating : surface.canvas.Bounds();
	*inUpdate = surface.inUpdate;
	return true;
}

void
BWindow::_Present(const BPrivate::ClipBox& box)
{
	BPrivate::ClipBox shown = box;
	if (!_Scale().IsWhole()) {
		shown = FillPastTheLastPixel(fSurface->canvas, _Scale(),
			int32(fFrame.Width()) + 1, int32(fFrame.Height()) + 1, box);
	}
	if (BPrivate::Display* display = _Display())
		display->Present(fDisplayId, fSurface->canvas, shown);
}

void
BWindow::Sync() const
{
	if (BPrivate::Display* display = BPrivate::Display::Default())
		display->Sync();
}

// The update message that the first dirty box posted; false for any other.
bool
BWindow::_HandleUpdate(BMessage* message)
{
	if (message->what != BPrivate::kUpdateMessage)
		return false;
	UpdateIfNeeded();
	return true;
}
