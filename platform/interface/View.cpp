/*
 * Views: the tree, the drawing state, and the drawing calls, which a
 * painter on the window's canvas carries out.
 */
#include <View.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include <Bitmap.h>
#include <Message.h>
#include <Window.h>
#include <private/BitmapPainter.h>
#include <private/Painter.h>

namespace BPrivate {

// A painter for a view as it is now: on its window's canvas, with the
// view's top-left pixel as the origin, clipped to what of the view shows
// and, during an update, to the box the window is drawing. Drawing outside
// an update shows at once, when this goes.
class ViewPainter {
public:
	explicit ViewPainter(BView* view)
		:
		fWindow(view->fWindow),
		fDirect(false)
	{
		ClipBox limit = { 0, 0, -1, -1 };
		bool inUpdate = false;
		if (fWindow == nullptr
			|| !fWindow->_DrawingArea(&fCanvas, &limit, &inUpdate))
			return;
		BPoint origin = view->_WindowOrigin();
		BRect visible = view->_VisibleInWindow();
		if (!visible.IsValid())
			return;
		PixelScale scale = fWindow->_Scale();
		ClipBox clip = ScaledBox(ClipBox{ int32(visible.left),
			int32(visible.top), int32(visible.right), int32(visible.bottom) },
			scale);
		clip = clip.Intersect(limit);
		fDirect = !inUpdate;
		fPainter.emplace(fCanvas, clip, PixelOf(origin.x), PixelOf(origin.y),
			scale);
		fPainter->SetHighColor(view->fHighColor);
		fPainter->SetLowColor(view->fLowColor);
		fPainter->SetDrawingMode(view->fDrawingMode);
	}

	~ViewPainter()
	{
		if (IsValid() && fDirect && !fPainter->Touched().IsEmpty())
			fWindow->_Present(fPainter->Touched());
	}

	bool IsValid() const { return fPainter && fPainter->IsValid(); }
	// Drawing outside an update: what is touched is shown at once.
	bool IsDirect() const { return fDirect; }
	Painter* operator->() { return &*fPainter; }

private:
	BWindow* fWindow;
	bool fDirect;
	Canvas fCanvas;
	std::optional<Painter> fPainter;
};

} // namespace BPrivate

using BPrivate::ClipBox;
using BPrivate::ViewPainter;

namespace {

bool
IsTransparent(rgb_color color)
{
	return color.red == B_TRANSPARENT_COLOR.red
		&& color.green == B_TRANSPARENT_COLOR.green
		&& color.blue == B_TRANSPARENT_COLOR.blue;
}

} // namespace

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
	:
	BHandler(name),
	fFrame(frame),
	fResizingMode(resizingMode),
	fFlags(flags),
	fParent(nullptr),
	fWindow(nullptr),
	fHidden(0),
	fViewColor(make_color(255, 255, 255)),
	fHighColor(make_color(0, 0, 0)),
	fLowColor(make_color(255, 255, 255)),
	fDrawingMode(B_OP_COPY),
	fViewBitmap(nullptr),
	fViewBitmapFollow(B_FOLLOW_TOP | B_FOLLOW_LEFT),
	fViewBitmapOptions(0),
	fFont(*be_plain_font),
	fPenSize(1)
{
}

BView::~BView()
{
	if (fWindow != nullptr || fParent != nullptr)
		RemoveSelf();
	std::vector<BView*> children;
	children.swap(fChildren);
	for (BView* child : children) {
		child->fParent = nullptr;
		delete child;
	}
	delete fViewBitmap;
}

void
BView::MessageReceived(BMessage* message)
{
	BHandler::MessageReceived(message);
}

void BView::AttachedToWindow() {}
void BView::AllAttached() {}
void BView::DetachedFromWindow() {}
void BView::Draw(BRect) {}
void BView::MouseDown(BPoint) {}
void BView::MouseUp(BPoint) {}
void BView::MouseMoved(BPoint, uint32, const BMessage*) {}
void BView::KeyUp(const char*, int32) {}
void BView::WindowActivated(bool) {}
void BView::FrameMoved(BPoint) {}
void BView::FrameResized(float, float) {}

void
BView::KeyDown(const char* bytes, int32 numBytes)
{
	// Keys a view does not want go up the tree, as BeOS views pass them on.
	if (fParent != nullptr && numBytes > 0)
		fParent->KeyDown(bytes, numBytes);
}

void
BView::MakeFocus(bool focus)
{
	if (fWindow == nullptr)
		return;
	BView* previous = fWindow->CurrentFocus();
	if (focus) {
		if (previous == this)
			return;
		fWindow->_SetFocus(this);
		if (previous != nullptr)
			previous->MakeFocus(false);
		Invalidate();
	} else if (previous == this) {
		fWindow->_SetFocus(nullptr);
		Invalidate();
	} else {
		// The view that just lost the focus to another one.
		Invalidate();
	}
}

void
BView::AddChild(BView* child, BView* before)
{
	if (child == nullptr || child == this || child->fParent != nullptr
		|| child->fWindow != nullptr)
		return;
	auto position = std::find(fChildren.begin(), fChildren.end(), before);
	fChildren.insert(position, child);
	child->fParent = this;
	if (fWindow != nullptr) {
		child->_Attach(fWindow);
		child->Invalidate();
	}
}

bool
BView::RemoveChild(BView* child)
{
	if (child == nullptr || child->fParent != this)
		return false;
	return child->RemoveSelf();
}

bool
BView::RemoveSelf()
{
	if (fWindow != nullptr) {
		Invalidate();
		_Detach();
	}
	if (fParent != nullptr) {
		auto& siblings = fParent->fChildren;
		siblings.erase(std::remove(siblings.begin(), siblings.end(), this),
			siblings.end());
		fParent = nullptr;
		return true;
	}
	return false;
}

int32
BView::CountChildren() const
{
	return int32(fChildren.size());
}

BView*
BView::ChildAt(int32 index) const
{
	if (index < 0 || index >= CountChildren())
		return nullptr;
	return fChildren[index];
}

BView*
BView::FindView(const char* name) const
{
	if (name == nullptr)
		return nullptr;
	for (BView* child : fChildren) {
		if (child->Name() != nullptr && strcmp(child->Name(), name) == 0)
			return child;
		if (BView* found = child->FindView(name))
			return found;
	}
	return nullptr;
}

void
BView::_Attach(BWindow* window)
{
	fWindow = window;
	window->AddHandler(this);
	AttachedToWindow();
	for (BView* child : fChildren)
		child->_Attach(window);
	AllAttached();
}

void
BView::_Detach()
{
	for (BView* child : fChildren)
		child->_Detach();
	DetachedFromWindow();
	if (fWindow != nullptr) {
		fWindow->_ViewRemoved(this);
		fWindow->RemoveHandler(this);
	}
	fWindow = nullptr;
}

BRect
BView::Bounds() const
{
	return BRect(0, 0, fFrame.Width(), fFrame.Height());
}

void
BView::MoveTo(BPoint where)
{
	MoveTo(where.x, where.y);
}

void
BView::MoveTo(float x, float y)
{
	if (x == fFrame.left && y == fFrame.top)
		return;
	Invalidate();
	fFrame.OffsetTo(x, y);
	Invalidate();
	FrameMoved(fFrame.LeftTop());
}

void
BView::MoveBy(float dx, float dy)
{
	MoveTo(fFrame.left + dx, fFrame.top + dy);
}

void
BView::ResizeTo(float width, float height)
{
	if (width == fFrame.Width() && height == fFrame.Height())
		return;
	Invalidate();
	fFrame.right = fFrame.left + width;
	fFrame.bottom = fFrame.top + height;
	Invalidate();
	FrameResized(width, height);
}

void
BView::ResizeBy(float dx, float dy)
{
	ResizeTo(fFrame.Width() + dx, fFrame.Height() + dy);
}

BPoint
BView::ConvertToParent(BPoint point) const
{
	return point + fFrame.LeftTop();
}

BRect
BView::ConvertToParent(BRect rect) const
{
	return rect.OffsetByCopy(fFrame.LeftTop());
}

BPoint
BView::ConvertFromParent(BPoint point) const
{
	return point - fFrame.LeftTop();
}

BRect
BView::ConvertFromParent(BRect rect) const
{
	return rect.OffsetByCopy(-fFrame.left, -fFrame.top);
}

BPoint
BView::_WindowOrigin() const
{
	BPoint origin = fFrame.LeftTop();
	for (const BView* parent = fParent; parent != nullptr;
			parent = parent->fParent)
		origin += parent->fFrame.LeftTop();
	return origin;
}

BRect
BView::_VisibleInWindow() const
{
	if (fWindow == nullptr || IsHidden())
		return BRect();
	BPoint origin = _WindowOrigin();
	BRect visible = Bounds().OffsetByCopy(origin);
	for (const BView* parent = fParent; parent != nullptr;
			parent = parent->fParent) {
		visible = visible & parent->Bounds().OffsetByCopy(
			parent->_WindowOrigin());
	}
	return visible & fWindow->Bounds();
}

void
BView::_DrawUpdate(BPrivate::Canvas& canvas, const ClipBox& box, BRect frame)
{
	// `box` is in the canvas's pixels, `frame` in the view's own terms.
	BPrivate::PixelScale scale = fWindow != nullptr
		? fWindow->_Scale() : BPrivate::PixelScale();
	BPrivate::Painter background(canvas, box);
	if (!IsTransparent(fViewColor)) {
		background.SetHighColor(fViewColor);
		background.FillBox(box, B_SOLID_HIGH);
	}
	if (fViewBitmap != nullptr) {
		BRect size = fViewBitmap->Bounds();
		int32 originX = BPrivate::PixelOf(frame.left);
		int32 originY = BPrivate::PixelOf(frame.top);
		uint32 horizontal = fViewBitmapFollow & 0x0f0f;
		uint32 vertical = fViewBitmapFollow & 0xf0f0;
		if (horizontal == B_FOLLOW_RIGHT)
			originX += int32(frame.Width() - size.Width());
		else if (horizontal == B_FOLLOW_H_CENTER)
			originX += int32((frame.Width() - size.Width()) / 2);
		if (vertical == B_FOLLOW_BOTTOM)
			originY += int32(frame.Height() - size.Height());
		else if (vertical == B_FOLLOW_V_CENTER)
			originY += int32((frame.Height() - size.Height()) / 2);
		BPrivate::TileBitmap(canvas, box, *fViewBitmap, scale.Start(originX),
			scale.Start(originY), fViewBitmapOptions, scale);
	}
	if ((fFlags & B_WILL_DRAW) != 0) {
		BRect updateRect(scale.PixelAt(box.left) - frame.left,
			scale.PixelAt(box.top) - frame.top,
			scale.PixelAt(box.right) - frame.left,
			scale.PixelAt(box.bottom) - frame.top);
		Draw(updateRect);
	}
}

BPoint
BView::ConvertToScreen(BPoint point) const
{
	point += _WindowOrigin();
	return fWindow != nullptr ? fWindow->ConvertToScreen(point) : point;
}

BRect
BView::ConvertToScreen(BRect rect) const
{
	BPoint offset = ConvertToScreen(B_ORIGIN);
	return rect.OffsetByCopy(offset);
}

BPoint
BView::ConvertFromScreen(BPoint point) const
{
	return point - ConvertToScreen(B_ORIGIN);
}

BRect
BView::ConvertFromScreen(BRect rect) const
{
	BPoint offset = ConvertToScreen(B_ORIGIN);
	return rect.OffsetByCopy(-offset.x, -offset.y);
}

void
BView::Hide()
{
	if (fHidden++ == 0 && fWindow != nullptr) {
		fHidden--;
		Invalidate();
		fHidden++;
		if (fWindow->CurrentFocus() == this)
			MakeFocus(false);
	}
}

void
BView::Show()
{
	if (fHidden > 0 && --fHidden == 0)
		Invalidate();
}

bool
BView::IsHidden() const
{
	for (const BView* view = this; view != nullptr; view = view->fParent) {
		if (view->fHidden > 0)
			return true;
	}
	return false;
}

bool
BView::IsFocus() const
{
	return fWindow != nullptr && fWindow->CurrentFocus() == this;
}

void
BView::SetViewColor(rgb_color color)
{
	fViewColor = color;
	Invalidate();
}

void
BView::SetViewColor(uint8 r, uint8 g, uint8 b, uint8 a)
{
	SetViewColor(make_color(r, g, b, a));
}

void
BView::SetHighColor(rgb_color color)
{
	fHighColor = color;
}

void
BView::SetHighColor(uint8 r, uint8 g, uint8 b, uint8 a)
{
	fHighColor = make_color(r, g, b, a);
}

void
BView::SetLowColor(rgb_color color)
{
	fLowColor = color;
}

void
BView::SetLowColor(uint8 r, uint8 g, uint8 b, uint8 a)
{
	fLowColor = make_color(r, g, b, a);
}

void
BView::SetViewBitmap(const BBitmap* bitmap, uint32 followFlags,
	uint32 options)
{
	delete fViewBitmap;
	fViewBitmap = nullptr;
	if (bitmap != nullptr && bitmap->IsValid()) {
		fViewBitmap = new BBitmap(bitmap->Bounds(), bitmap->ColorSpace());
		if (fViewBitmap->IsValid()) {
			memcpy(fViewBitmap->Bits(), bitmap->Bits(),
				std::min(fViewBitmap->BitsLength(), bitmap->BitsLength()));
		} else {
			delete fViewBitmap;
			fViewBitmap = nullptr;
		}
	}
	fViewBitmapFollow = followFlags;
	fViewBitmapOptions = options;
	Invalidate();
}

void
BView::ClearViewBitmap()
{
	SetViewBitmap(nullptr);
}

void
BView::SetFont(const BFont* font)
{
	if (font != nullptr) {
		fFont = *font;
		Invalidate();
	}
}

void
BView::GetFont(BFont* font) const
{
	if (font != nullptr)
		*font = fFont;
}

void
BView::SetFontSize(float size)
{
	fFont.SetSize(size);
	Invalidate();
}

float
BView::StringWidth(const char* string) const
{
	return string != nullptr ? fFont.StringWidth(string) : 0;
}

float
BView::StringWidth(const char* string, int32 length) const
{
	return string != nullptr ? fFont.StringWidth(string, length) : 0;
}

void
BView::GetFontHeight(font_height* height) const
{
	if (height != nullptr)
		fFont.GetHeight(height);
}

void
BView::StrokeLine(BPoint to, const pattern& fill)
{
	StrokeLine(fPen, to, fill);
}

void
BView::StrokeLine(BPoint from, BPoint to, const pattern& fill)
{
	fPen = to;
	ViewPainter painter(this);
	if (painter.IsValid())
		painter->StrokeLine(from, to, fill);
}

void
BView::StrokeRect(BRect rect, const pattern& fill)
{
	if (!rect.IsValid())
		return;
	ViewPainter painter(this);
	if (painter.IsValid())
		painter->StrokeRect(rect, fill);
}

void
BView::FillRect(BRect rect, const pattern& fill)
{
	if (!rect.IsValid())
		return;
	ViewPainter painter(this);
	if (painter.IsValid())
		painter->FillRect(rect, fill);
}

void
BView::StrokeTriangle(BPoint a, BPoint b, BPoint c, const pattern& fill)
{
	BPoint pen = fPen;
	StrokeLine(a, b, fill);
	StrokeLine(b, c, fill);
	StrokeLine(c, a, fill);
	fPen = pen;
}

void
BView::FillTriangle(BPoint a, BPoint b, BPoint c, const pattern& fill)
{
	ViewPainter painter(this);
	if (painter.IsValid())
		painter->FillTriangle(a, b, c, fill);
}

void
BView::FillEllipse(BRect rect, const pattern&)
{
	ViewPainter painter(this);
	if (painter.IsValid())
		painter->FillEllipse(rect);
}

void
BView::StrokeEllipse(BRect rect, const pattern&)
{
	ViewPainter painter(this);
	if (painter.IsValid())
		painter->StrokeEllipse(rect);
}

void
BView::DrawString(const char* string)
{
	DrawString(string, -1, fPen);
}

void
BView::DrawString(const char* string, BPoint where)
{
	DrawString(string, -1, where);
}

void
BView::DrawString(const char* string, int32 length, BPoint where)
{
	if (string == nullptr)
		return;
	float advance = 0;
	{
		ViewPainter painter(this);
		if (painter.IsValid()) {
			advance = painter->DrawString(fFont, string, length, where);
			if (painter.IsDirect()) {
				font_height height;
				fFont.GetHeight(&height);
				painter->Touch(painter->DeviceBox(ClipBox{
					painter->X(where.x) - 2,
					painter->Y(where.y - height.ascent) - 2,
					painter->X(where.x + advance) + 2,
					painter->Y(where.y + height.descent) + 2 }));
			}
		} else
			advance = fFont.StringWidth(string, length);
	}
	fPen.Set(where.x + advance, where.y);
}

void
BView::DrawBitmap(const BBitmap* bitmap)
{
	DrawBitmap(bitmap, fPen);
}

void
BView::DrawBitmap(const BBitmap* bitmap, BPoint where)
{
	if (bitmap == nullptr || !bitmap->IsValid())
		return;
	ViewPainter painter(this);
	if (painter.IsValid())
		painter->DrawBitmap(*bitmap, where);
}

void
BView::Invalidate()
{
	Invalidate(Bounds());
}

void
BView::Invalidate(BRect rect)
{
	if (fWindow == nullptr || !rect.IsValid())
		return;
	BRect visible = _VisibleInWindow();
	BRect box = rect.OffsetByCopy(_WindowOrigin()) & visible;
	if (!box.IsValid())
		return;
	fWindow->_Invalidate(ClipBox{ int32(std::floor(box.left)),
		int32(std::floor(box.top)), int32(std::ceil(box.right)),
		int32(std::ceil(box.bottom)) });
}

void
BView::GetMouse(BPoint* location, uint32* buttons, bool)
{
	if (fWindow == nullptr) {
		if (location != nullptr)
			*location = B_ORIGIN;
		if (buttons != nullptr)
			*buttons = 0;
		return;
	}
	BPoint where;
	uint32 pressed = 0;
	fWindow->_GetMouse(&where, &pressed);
	if (location != nullptr)
		*location = where - _WindowOrigin();
	if (buttons != nullptr)
		*buttons = pressed;
}

status_t
BView::SetMouseEventMask(uint32 mask, uint32)
{
	if (fWindow == nullptr)
		return B_ERROR;
	// The pointer's events come to this view until the buttons go up;
	// keyboard events go to the focus view in any case.
	if ((mask & B_POINTER_EVENTS) != 0)
		fWindow->_SetMouseView(this);
	return B_OK;
}
