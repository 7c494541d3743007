/*
 * Views: the tree, the drawing state and the software painting.
 */
#include <View.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <Bitmap.h>
#include <Message.h>
#include <Window.h>
#include <private/BitmapPainter.h>
#include <private/FontEngine.h>
#include <private/WindowPrivate.h>

namespace BPrivate {

// Finds where and how a view may paint right now.
class ViewPainter {
public:
	explicit ViewPainter(BView* view)
		:
		fView(view),
		fWindow(view->fWindow),
		fValid(false),
		fDirect(false)
	{
		if (fWindow == nullptr || fWindow->fCanvas.pixels == nullptr)
			return;
		BPoint origin = view->_WindowOrigin();
		fOriginX = int32(std::floor(origin.x + 0.5f));
		fOriginY = int32(std::floor(origin.y + 0.5f));
		BRect visible = view->_VisibleInWindow();
		if (!visible.IsValid())
			return;
		fClip = ClipBox{ int32(visible.left), int32(visible.top),
			int32(visible.right), int32(visible.bottom) };
		if (fWindow->fInUpdate)
			fClip = fClip.Intersect(sUpdateClip);
		else
			fDirect = true;
		fClip = fClip.Intersect(fWindow->fCanvas.Bounds());
		fValid = !fClip.IsEmpty();
	}

	~ViewPainter()
	{
		// Drawing outside an update shows at once.
		if (fValid && fDirect && !fTouched.IsEmpty())
			fWindow->_Present(fTouched);
	}

	bool IsValid() const { return fValid; }
	// Drawing outside an update: what is touched is shown at once.
	bool IsDirect() const { return fDirect; }
	Canvas& Target() { return fWindow->fCanvas; }
	const ClipBox& Clip() const { return fClip; }
	int32 X(float x) const { return int32(std::floor(x + 0.5f)) + fOriginX; }
	int32 Y(float y) const { return int32(std::floor(y + 0.5f)) + fOriginY; }
	float WindowX(float x) const { return x + fOriginX; }
	float WindowY(float y) const { return y + fOriginY; }

	void Touch(ClipBox box)
	{
		box = box.Intersect(fClip);
		if (box.IsEmpty())
			return;
		if (fTouched.IsEmpty())
			fTouched = box;
		else {
			fTouched = ClipBox{ std::min(fTouched.left, box.left),
				std::min(fTouched.top, box.top),
				std::max(fTouched.right, box.right),
				std::max(fTouched.bottom, box.bottom) };
		}
	}

	// One pixel of a pattern fill, in window coordinates.
	void Plot(int32 x, int32 y, const pattern& fill)
	{
		if (!fClip.Contains(x, y))
			return;
		bool high = (fill.data[y & 7] & (0x80 >> (x & 7))) != 0;
		drawing_mode mode = fView->fDrawingMode;
		if (!high && mode == B_OP_OVER)
			return;
		rgb_color color = high ? fView->fHighColor : fView->fLowColor;
		uint32* pixel = Target().Row(y) + x;
		if (mode == B_OP_ALPHA)
			*pixel = BlendPixel(*pixel, color, color.alpha);
		else if (mode == B_OP_INVERT)
			*pixel = (*pixel ^ 0x00ffffffu) | 0xff000000u;
		else
			*pixel = PackColor(color);
	}

	void FillBox(ClipBox box, const pattern& fill)
	{
		box = box.Intersect(fClip);
		if (box.IsEmpty())
			return;
		Touch(box);
		bool solidHigh = memcmp(&fill, &B_SOLID_HIGH, sizeof(pattern)) == 0;
		drawing_mode mode = fView->fDrawingMode;
		if (solidHigh && (mode == B_OP_COPY || mode == B_OP_OVER)) {
			uint32 value = PackColor(fView->fHighColor);
			for (int32 y = box.top; y <= box.bottom; y++)
				std::fill(Target().Row(y) + box.left,
					Target().Row(y) + box.right + 1, value);
			return;
		}
		for (int32 y = box.top; y <= box.bottom; y++) {
			for (int32 x = box.left; x <= box.right; x++)
				Plot(x, y, fill);
		}
	}

	static thread_local ClipBox sUpdateClip;

private:
	BView* fView;
	BWindow* fWindow;
	bool fValid;
	bool fDirect;
	ClipBox fClip = { 0, 0, -1, -1 };
	ClipBox fTouched = { 0, 0, -1, -1 };
	int32 fOriginX = 0;
	int32 fOriginY = 0;
};

// Only the window's own thread draws, one update at a time, and it holds the
// window's lock while it does; the clip of the update running is kept here.
thread_local ClipBox ViewPainter::sUpdateClip = { 0, 0, -1, -1 };

void
SetUpdateClip(const ClipBox& box)
{
	ViewPainter::sUpdateClip = box;
}

} // namespace BPrivate

using BPrivate::ClipBox;
using BPrivate::ViewPainter;

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
	BView* previous = fWindow->fFocus;
	if (focus) {
		if (previous == this)
			return;
		fWindow->fFocus = this;
		if (previous != nullptr)
			previous->MakeFocus(false);
		Invalidate();
	} else if (previous == this) {
		fWindow->fFocus = nullptr;
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
		if (fWindow->fFocus == this)
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
	return fWindow != nullptr && fWindow->fFocus == this;
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
	if (!painter.IsValid())
		return;
	int32 x0 = painter.X(from.x), y0 = painter.Y(from.y);
	int32 x1 = painter.X(to.x), y1 = painter.Y(to.y);
	painter.Touch(ClipBox{ std::min(x0, x1), std::min(y0, y1),
		std::max(x0, x1), std::max(y0, y1) });
	// Lines far outside the window are clipped to it before stepping, so a
	// huge coordinate cannot make us walk millions of pixels.
	const ClipBox& clip = painter.Clip();
	if (std::max(x0, x1) < clip.left || std::min(x0, x1) > clip.right
		|| std::max(y0, y1) < clip.top || std::min(y0, y1) > clip.bottom)
		return;
	int64 dx = std::abs(int64(x1) - x0), dy = -std::abs(int64(y1) - y0);
	int32 sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
	int64 error = dx + dy;
	int64 steps = std::max(dx, -dy);
	if (steps > 65536)
		return;
	for (;;) {
		painter.Plot(x0, y0, fill);
		if (x0 == x1 && y0 == y1)
			break;
		int64 twice = 2 * error;
		if (twice >= dy) {
			error += dy;
			x0 += sx;
		}
		if (twice <= dx) {
			error += dx;
			y0 += sy;
		}
	}
}

void
BView::StrokeRect(BRect rect, const pattern& fill)
{
	if (!rect.IsValid())
		return;
	ViewPainter painter(this);
	if (!painter.IsValid())
		return;
	int32 left = painter.X(rect.left), top = painter.Y(rect.top);
	int32 right = painter.X(rect.right), bottom = painter.Y(rect.bottom);
	painter.FillBox(ClipBox{ left, top, right, top }, fill);
	painter.FillBox(ClipBox{ left, bottom, right, bottom }, fill);
	painter.FillBox(ClipBox{ left, top, left, bottom }, fill);
	painter.FillBox(ClipBox{ right, top, right, bottom }, fill);
}

void
BView::FillRect(BRect rect, const pattern& fill)
{
	if (!rect.IsValid())
		return;
	ViewPainter painter(this);
	if (!painter.IsValid())
		return;
	painter.FillBox(ClipBox{ painter.X(rect.left), painter.Y(rect.top),
		painter.X(rect.right), painter.Y(rect.bottom) }, fill);
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
	if (!painter.IsValid())
		return;
	// Pixel centres lie on whole coordinates; a pixel is filled when its
	// centre is inside the triangle or on its edges.
	double ax = painter.WindowX(a.x), ay = painter.WindowY(a.y);
	double bx = painter.WindowX(b.x), by = painter.WindowY(b.y);
	double cx = painter.WindowX(c.x), cy = painter.WindowY(c.y);
	double area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
	if (area == 0 || !std::isfinite(area))
		return;
	ClipBox box = ClipBox{
		int32(std::max<double>(std::floor(std::min({ ax, bx, cx })), -1e6)),
		int32(std::max<double>(std::floor(std::min({ ay, by, cy })), -1e6)),
		int32(std::min<double>(std::ceil(std::max({ ax, bx, cx })), 1e6)),
		int32(std::min<double>(std::ceil(std::max({ ay, by, cy })), 1e6)) }
		.Intersect(painter.Clip());
	if (box.IsEmpty())
		return;
	painter.Touch(box);
	const double epsilon = 1e-6 * std::fabs(area);
	for (int32 y = box.top; y <= box.bottom; y++) {
		for (int32 x = box.left; x <= box.right; x++) {
			double w0 = (bx - ax) * (y - ay) - (by - ay) * (x - ax);
			double w1 = (cx - bx) * (y - by) - (cy - by) * (x - bx);
			double w2 = (ax - cx) * (y - cy) - (ay - cy) * (x - cx);
			if (area < 0) {
				w0 = -w0;
				w1 = -w1;
				w2 = -w2;
			}
			if (w0 >= -epsilon && w1 >= -epsilon && w2 >= -epsilon)
				painter.Plot(x, y, fill);
		}
	}
}

namespace {

// Coverage, 0 to 255, of the pixel centred at (x, y) by the ellipse (filled,
// or only its one-pixel rim), from 4 x 4 samples.
uint32
EllipseCoverage(double x, double y, double cx, double cy, double rx,
	double ry, bool rimOnly)
{
	int inside = 0;
	for (int sy = 0; sy < 4; sy++) {
		for (int sx = 0; sx < 4; sx++) {
			double px = x - 0.375 + sx * 0.25 - cx;
			double py = y - 0.375 + sy * 0.25 - cy;
			double outer = (px * px) / (rx * rx) + (py * py) / (ry * ry);
			if (outer > 1)
				continue;
			if (rimOnly && rx > 1 && ry > 1) {
				double inner = (px * px) / ((rx - 1) * (rx - 1))
					+ (py * py) / ((ry - 1) * (ry - 1));
				if (inner < 1)
					continue;
			}
			inside++;
		}
	}
	return uint32(inside * 255 / 16);
}

} // namespace

static void
PaintEllipse(BView* view, ViewPainter& painter, BRect rect, bool rimOnly)
{
	if (!rect.IsValid() || !painter.IsValid())
		return;
	// The ellipse covers the rectangle's pixels: from the left edge of its
	// first pixel to the right edge of its last.
	double left = painter.WindowX(rect.left) - 0.5;
	double top = painter.WindowY(rect.top) - 0.5;
	double right = painter.WindowX(rect.right) + 0.5;
	double bottom = painter.WindowY(rect.bottom) + 0.5;
	double cx = (left + right) / 2, cy = (top + bottom) / 2;
	double rx = (right - left) / 2, ry = (bottom - top) / 2;
	ClipBox box = ClipBox{ painter.X(rect.left), painter.Y(rect.top),
		painter.X(rect.right), painter.Y(rect.bottom) }
		.Intersect(painter.Clip());
	if (box.IsEmpty())
		return;
	painter.Touch(box);
	rgb_color color = view->HighColor();
	for (int32 y = box.top; y <= box.bottom; y++) {
		uint32* row = painter.Target().Row(y);
		for (int32 x = box.left; x <= box.right; x++) {
			uint32 coverage = EllipseCoverage(x, y, cx, cy, rx, ry, rimOnly);
			if (coverage > 0)
				row[x] = BPrivate::BlendPixel(row[x], color, coverage);
		}
	}
}

void
BView::FillEllipse(BRect rect, const pattern&)
{
	ViewPainter painter(this);
	PaintEllipse(this, painter, rect, false);
}

void
BView::StrokeEllipse(BRect rect, const pattern&)
{
	ViewPainter painter(this);
	PaintEllipse(this, painter, rect, true);
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
			advance = BPrivate::DrawString(painter.Target(), painter.Clip(),
				fFont, string, length, painter.WindowX(where.x),
				painter.WindowY(where.y), fHighColor);
			if (painter.IsDirect()) {
				font_height height;
				fFont.GetHeight(&height);
				painter.Touch(ClipBox{ painter.X(where.x) - 2,
					painter.Y(where.y - height.ascent) - 2,
					painter.X(where.x + advance) + 2,
					painter.Y(where.y + height.descent) + 2 });
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
	if (!painter.IsValid())
		return;
	int32 x = painter.X(where.x), y = painter.Y(where.y);
	BRect bounds = bitmap->Bounds();
	painter.Touch(ClipBox{ x, y, x + int32(bounds.Width()),
		y + int32(bounds.Height()) });
	BPrivate::DrawBitmap(painter.Target(), painter.Clip(), *bitmap, x, y);
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
	if (location != nullptr)
		*location = fWindow->fLastMouse - _WindowOrigin();
	if (buttons != nullptr)
		*buttons = fWindow->fLastButtons;
}

status_t
BView::SetMouseEventMask(uint32 mask, uint32)
{
	if (fWindow == nullptr)
		return B_ERROR;
	if ((mask & B_POINTER_EVENTS) != 0) {
		fWindow->fMouseView = this;
		fWindow->fMouseEventMask = mask;
	}
	return B_OK;
}
