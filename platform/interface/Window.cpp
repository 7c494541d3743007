/*
 * Windows: making one and its place on the display, showing and hiding it,
 * its geometry and title, and the root of its view tree. The constructor
 * runs on the thread that makes the window; the rest on any thread that
 * holds the window's lock, mostly the window's own.
 *
 * Elsewhere: WindowInput.cpp routes events to views, WindowUpdate.cpp
 * redraws what was invalidated, WindowIcon.cpp sets the window's icon.
 */
#include <Window.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include <Application.h>
#include <Font.h>
#include <View.h>
#include <private/AccessibilityBridge.h>
#include <private/AppPrivate.h>
#include <private/Display.h>
#include <private/FontEngine.h>
#include <private/MenuWindow.h>
#include <private/ThreadId.h>
#include <private/WindowAccessible.h>
#include <private/WindowDisplayClient.h>
#include <private/WindowPrivate.h>
#include <private/WindowRegistry.h>
#include <private/WindowSurface.h>

namespace BPrivate {

uint32
DisplayIdOf(const BWindow* window)
{
	return window != nullptr ? window->fDisplayId : 0;
}

} // namespace BPrivate

namespace {

// Reading fontconfig's configuration and opening the two faces are the
// larger part of the way to a window's first frame; the application has
// them done while it connects to the display.
void
LoadStartupFonts()
{
	font_height height;
	BPrivate::GetFontHeight(*be_plain_font, &height);
	BPrivate::GetFontHeight(*be_bold_font, &height);
	// Every window's text is in these two: nothing is left to look up.
	BPrivate::ReleaseFontLookups();
}

const bool sStartupFontsAsked
	= (BPrivate::SetStartupWarmUp(&LoadStartupFonts), true);

} // namespace

namespace {

// Where a screen coordinate of the kits' falls on the device: times a whole
// scale, or on the first device pixel of its pixel at a fractional one.
float
DeviceCoordinate(float coordinate, BPrivate::PixelScale scale)
{
	if (scale.IsWhole())
		return coordinate * scale.Ceiling();
	return scale.Start(int32(std::floor(coordinate)));
}

} // namespace

BWindow::BWindow(BRect frame, const char* title, window_type type,
	uint32 flags, uint32 workspace)
	:
	BWindow(frame, title, type, flags, BPrivate::WindowPlacement())
{
	fWorkspaces = workspace;
}

BWindow::BWindow(BRect frame, const char* title, window_type type,
	uint32 flags, const BPrivate::WindowPlacement& placement)
	:
	BLooper(title),
	fTitle(title != nullptr ? title : ""),
	fType(type),
	fFlags(flags),
	fWorkspaces(B_CURRENT_WORKSPACE),
	fFrame(frame),
	fRoot(nullptr),
	fFocus(nullptr),
	fMouseView(nullptr),
	fLastMouseView(nullptr),
	fMenuOwner(nullptr),
	fLastButtons(0),
	fShowLevel(1),
	fShownOnce(false),
	fActive(false),
	fScaleUnits(BPrivate::PixelScale::kUnit),
	fSurface(new BPrivate::WindowSurface),
	fDisplayId(0),
	fAccessibleKey(BPrivate::AccessibilityBridge::NewWindowKey())
{
	// The application has started the display; a window made without one
	// asks the application kit for it all the same.
	std::string error;
	BPrivate::Display* display = BPrivate::StartDisplay(&error);
	if (display == nullptr) {
		// The window goes on without a place on the screen: it draws into
		// its own pixels and handles its messages, and every request to the
		// display is dropped.
		fprintf(stderr, "%s: window \"%s\" will not be shown: %s\n",
			program_invocation_short_name, fTitle.c_str(),
			error.empty() ? "no display" : error.c_str());
	}
	// The window's pixels are the device's: the frame times the scale.
	if (display != nullptr)
		fScaleUnits = display->Scale().Units();

	// Keep the pixel buffer within reason whatever frame we are handed.
	if (!std::isfinite(fFrame.left) || !std::isfinite(fFrame.top)
		|| !std::isfinite(fFrame.right) || !std::isfinite(fFrame.bottom)
		|| !fFrame.IsValid())
		fFrame = BRect(0, 0, 0, 0);
	const int32 kMaxSide = 8192;
	const BPrivate::PixelScale scale = _Scale();
	fFrame.right = std::min(fFrame.right,
		fFrame.left + kMaxSide / scale.Ceiling() - 1);
	fFrame.bottom = std::min(fFrame.bottom,
		fFrame.top + kMaxSide / scale.Ceiling() - 1);

	_SizeSurface();
	const int32 width = fSurface->canvas.width;
	const int32 height = fSurface->canvas.height;

	fRoot = new BView(Bounds(), "top view", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
	fRoot->SetViewColor(ui_color(B_PANEL_BACKGROUND_COLOR));
	fRoot->_Attach(this);

	if (display != nullptr) {
		BPrivate::WindowSpec spec;
		spec.frame = fFrame;
		if (scale != BPrivate::PixelScale()) {
			float left = DeviceCoordinate(fFrame.left, scale);
			float top = DeviceCoordinate(fFrame.top, scale);
			spec.frame = BRect(left, top, left + width - 1, top + height - 1);
		}
		spec.title = fTitle;
		spec.resizable = (flags & B_NOT_RESIZABLE) == 0
			&& (flags & (B_NOT_H_RESIZABLE | B_NOT_V_RESIZABLE))
				!= (B_NOT_H_RESIZABLE | B_NOT_V_RESIZABLE)
			&& type != BPrivate::kPopUpMenuWindow
			&& type != BPrivate::kAlertWindow && type != B_MODAL_WINDOW;
		spec.popup = type == BPrivate::kPopUpMenuWindow;
		spec.utility = type == BPrivate::kAlertWindow
			|| type == B_MODAL_WINDOW;
		spec.parent = placement.parent;
		if (placement.anchor.IsValid()) {
			const BRect& anchor = placement.anchor;
			spec.anchor = BRect(DeviceCoordinate(anchor.left, scale),
				DeviceCoordinate(anchor.top, scale),
				DeviceCoordinate(anchor.right + 1, scale) - 1,
				DeviceCoordinate(anchor.bottom + 1, scale) - 1);
		}
		// A window manager shows "Unnamed Window" for an empty title, as an
		// alert's usually is; the program's name is the better caption.
		if (spec.title.empty() && !spec.popup) {
			spec.title = program_invocation_short_name;
			if (!spec.title.empty())
				spec.title[0] = char(toupper((unsigned char)spec.title[0]));
		}
		fDisplayClient = std::make_shared<BPrivate::WindowDisplayClient>(
			this, scale);
		fDisplayId = display->CreateWindow(spec, fDisplayClient);
		if (!spec.popup)
			_SetApplicationIcon();
	}
	_Invalidate(BPrivate::PixelBoxOf(Bounds()));

	BPrivate::WindowRegistry::Add(this);
}

BWindow::~BWindow()
{
	if (BPrivate::Display* display = _Display())
		display->DestroyWindow(fDisplayId);
	fDisplayId = 0;
	fDisplayClient.reset();
	BPrivate::AccessibilityBridge::Withdraw(fAccessibleKey);

	// Views go with their window, on the thread that destroys it.
	BView* root = fRoot;
	root->_Detach();
	fRoot = nullptr;
	delete root;

	BPrivate::WindowRegistry::Remove(this);
}

// The window's pixels at its scale: at a fractional one the size is
// rounded to whole device pixels, halves away from zero, as compositors
// expect of a window's buffer.
void
BWindow::_SizeSurface()
{
	const BPrivate::PixelScale scale = _Scale();
	int32 width = scale.Length(int32(fFrame.Width()) + 1);
	int32 height = scale.Length(int32(fFrame.Height()) + 1);
	fSurface->pixels.assign(size_t(width) * height, 0xffd8d8d8u);
	fSurface->canvas.pixels = fSurface->pixels.data();
	fSurface->canvas.width = width;
	fSurface->canvas.height = height;
	fSurface->canvas.stride = width;
}

// The desktop's scale changed under the window (the user set another, or
// the window went to an output of another): the same window, drawn again
// at the new scale. An open menu has been closed by the display first.
void
BWindow::_Rescale(BPrivate::PixelScale scale)
{
	if (scale == _Scale())
		return;
	// Too large a window for the new scale keeps the old one.
	const int32 kMaxSide = 8192;
	if (scale.Length(int32(fFrame.Width()) + 1) > kMaxSide
		|| scale.Length(int32(fFrame.Height()) + 1) > kMaxSide)
		return;
	fScaleUnits = scale.Units();
	_SizeSurface();
	if (fDisplayClient != nullptr) {
		BPrivate::Display* display = _Display();
		if (display != nullptr) {
			display->ResizeWindow(fDisplayId, fSurface->canvas.width,
				fSurface->canvas.height, scale);
		}
		if (fType != BPrivate::kPopUpMenuWindow)
			_SetApplicationIcon();
	}
	_Invalidate(BPrivate::PixelBoxOf(Bounds()));
}

BPrivate::PixelScale
BWindow::_Scale() const
{
	return BPrivate::PixelScale::FromUnits(fScaleUnits);
}

// The display, while the window has a place on it.
BPrivate::Display*
BWindow::_Display() const
{
	return fDisplayId != 0 ? BPrivate::Display::Default() : nullptr;
}

void
BWindow::Show()
{
	bool wasHidden = IsHidden();
	fShowLevel--;
	if (!wasHidden || IsHidden())
		return;

	BPrivate::Display* display = _Display();
	if (!fShownOnce) {
		fShownOnce = true;
		// Draw before the window appears, so that it never shows empty.
		bool locked = Lock();
		UpdateIfNeeded();
		if (locked)
			Unlock();
		if (display != nullptr)
			display->ShowWindow(fDisplayId, true);
		fThreadName = "w>" + fTitle;
		// Screen readers hear of the program once its first window is
		// up, on a thread of their own: nothing here waits for them. Asked
		// before Run(), after which the window may already be gone.
		bool listen = be_app != nullptr
			&& dynamic_cast<BPrivate::MenuWindow*>(this) == nullptr;
		Run();
		if (listen)
			BPrivate::AccessibleViews::StartListening();
		return;
	}
	if (display != nullptr)
		display->ShowWindow(fDisplayId, true);
}

void
BWindow::Hide()
{
	bool wasHidden = IsHidden();
	fShowLevel++;
	if (wasHidden)
		return;
	if (BPrivate::Display* display = _Display())
		display->ShowWindow(fDisplayId, false);
}

bool
BWindow::IsHidden() const
{
	return fShowLevel > 0;
}

void
BWindow::Quit()
{
	// Take the window off the screen at once; the rest of the tear-down
	// happens on the window's own thread.
	BPrivate::Display* display = _Display();
	if (display != nullptr && !IsHidden())
		display->ShowWindow(fDisplayId, false);
	BLooper::Quit();
}

bool
BWindow::QuitRequested()
{
	return true;
}

void
BWindow::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}

void
BWindow::WindowActivated(bool)
{
}

void
BWindow::FrameMoved(BPoint)
{
}

void
BWindow::AddChild(BView* child, BView* before)
{
	fRoot->AddChild(child, before);
}

bool
BWindow::RemoveChild(BView* child)
{
	return fRoot->RemoveChild(child);
}

int32
BWindow::CountChildren() const
{
	return fRoot->CountChildren();
}

BView*
BWindow::ChildAt(int32 index) const
{
	return fRoot->ChildAt(index);
}

BView*
BWindow::FindView(const char* name) const
{
	return fRoot->FindView(name);
}

void
BWindow::_ViewRemoved(BView* view)
{
	if (fFocus == view)
		fFocus = nullptr;
	if (fMouseView == view)
		fMouseView = nullptr;
	if (fLastMouseView == view)
		fLastMouseView = nullptr;
	if (fMenuOwner == view)
		fMenuOwner = nullptr;
}

BRect
BWindow::Bounds() const
{
	return BRect(0, 0, fFrame.Width(), fFrame.Height());
}

BRect
BWindow::Frame() const
{
	return fFrame;
}

void
BWindow::SetTitle(const char* title)
{
	fTitle = title != nullptr ? title : "";
	SetName(fTitle.c_str());
	// Called on the window's thread or with it locked, so a running
	// thread is there to be named; one not started yet takes the title
	// when Show() runs it.
	if (Thread() >= 0)
		BPrivate::NameThread(Thread(), ("w>" + fTitle).c_str());
	if (BPrivate::Display* display = _Display())
		display->SetTitle(fDisplayId, fTitle);
}

void
BWindow::MoveTo(BPoint where)
{
	MoveTo(where.x, where.y);
}

void
BWindow::MoveTo(float x, float y)
{
	fFrame.OffsetTo(x, y);
	if (BPrivate::Display* display = _Display())
		display->MoveWindow(fDisplayId, int32(DeviceCoordinate(x, _Scale())),
			int32(DeviceCoordinate(y, _Scale())));
}

void
BWindow::MoveBy(float dx, float dy)
{
	MoveTo(fFrame.left + dx, fFrame.top + dy);
}

void
BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message == nullptr)
		return;
	// The update cycle (WindowUpdate.cpp), input (WindowInput.cpp), then a
	// screen reader's requests (WindowAccessible.cpp).
	if (handler != nullptr && handler != this)
		BLooper::DispatchMessage(message, handler);
	else if (!_HandleUpdate(message) && !_HandleInput(message)
		&& !BPrivate::AccessibleViews::Perform(this, message))
		BLooper::DispatchMessage(message, handler);
	// Whatever the message changed, a screen reader may hear of.
	BPrivate::AccessibleViews::Publish(this);
}

void
BWindow::Activate(bool active)
{
	BPrivate::Display* display = _Display();
	if (active && display != nullptr)
		display->RaiseWindow(fDisplayId);
}

BPoint
BWindow::ConvertToScreen(BPoint point) const
{
	return point + fFrame.LeftTop();
}

BRect
BWindow::ConvertToScreen(BRect rect) const
{
	return rect.OffsetByCopy(fFrame.LeftTop());
}

BPoint
BWindow::ConvertFromScreen(BPoint point) const
{
	return point - fFrame.LeftTop();
}

BRect
BWindow::ConvertFromScreen(BRect rect) const
{
	return rect.OffsetByCopy(-fFrame.left, -fFrame.top);
}

