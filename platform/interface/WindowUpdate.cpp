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

} // namespace

void
BWindow::_Invalidate(const BPrivate::ClipBox& box)
{
	BPrivate::ClipBox clipped = BPrivate::ScaledBox(box, fScale).Intersect(
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
		fScale).Intersect(clip);
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
	if (BPrivate::Display* display = _Display())
		display->Present(fDisplayId, fSurface->canvas, box);
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
