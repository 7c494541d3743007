/*
 * Windows: the view tree's root, input routing, and the update cycle that
 * redraws the invalidated boxes and hands them to the display thread.
 */
#include <Window.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <AppDefs.h>
#include <Application.h>
#include <Bitmap.h>
#include <Message.h>
#include <View.h>
#include <Resources.h>
#include <private/BitmapPainter.h>
#include <private/ResourceData.h>
#include <private/Display.h>
#include <private/WindowPrivate.h>
#include <private/WindowRegistry.h>
#include <private/WindowSurface.h>
#include <private/AppPrivate.h>

namespace {

// Private message codes of the window's own.
enum {
	kUpdateMessage = '_UPD',
	kFrameMovedMessage = '_WMV',
	kMouseExitedMessage = '_MEX',
};

// Dirty boxes are merged when they overlap or touch; beyond this many the
// window simply redraws their union.
const size_t kMaxDirtyBoxes = 8;

BPrivate::ClipBox
Union(const BPrivate::ClipBox& a, const BPrivate::ClipBox& b)
{
	return BPrivate::ClipBox{ std::min(a.left, b.left), std::min(a.top, b.top),
		std::max(a.right, b.right), std::max(a.bottom, b.bottom) };
}

bool
Touches(const BPrivate::ClipBox& a, const BPrivate::ClipBox& b)
{
	return a.left <= b.right + 1 && b.left <= a.right + 1
		&& a.top <= b.bottom + 1 && b.top <= a.bottom + 1;
}

BPrivate::ClipBox
BoxOf(const BRect& rect)
{
	return BPrivate::ClipBox{ int32(std::floor(rect.left + 0.5f)),
		int32(std::floor(rect.top + 0.5f)), int32(std::floor(rect.right + 0.5f)),
		int32(std::floor(rect.bottom + 0.5f)) };
}

void
CollectNavigable(BView* view, std::vector<BView*>* list)
{
	for (int32 i = 0; i < view->CountChildren(); i++) {
		BView* child = view->ChildAt(i);
		if (child->IsHidden())
			continue;
		if ((child->Flags() & B_NAVIGABLE) != 0)
			list->push_back(child);
		CollectNavigable(child, list);
	}
}

} // namespace

namespace BPrivate {

// Turns the display thread's events into messages on the window's queue.
class WindowDisplayClient : public DisplayClient {
public:
	explicit WindowDisplayClient(BWindow* window) : fWindow(window) {}

	void DisplayEventArrived(const DisplayEvent& event) override
	{
		BMessage message;
		switch (event.type) {
			case DisplayEvent::kMouseDown:
				message.what = B_MOUSE_DOWN;
				break;
			case DisplayEvent::kMouseUp:
				message.what = B_MOUSE_UP;
				break;
			case DisplayEvent::kMouseMoved:
				message.what = B_MOUSE_MOVED;
				break;
			case DisplayEvent::kMouseExited:
				message.what = kMouseExitedMessage;
				break;
			case DisplayEvent::kKeyDown:
				message.what = B_KEY_DOWN;
				break;
			case DisplayEvent::kKeyUp:
				message.what = B_KEY_UP;
				break;
			case DisplayEvent::kCloseRequested:
				message.what = B_QUIT_REQUESTED;
				break;
			case DisplayEvent::kActivated:
			case DisplayEvent::kDeactivated:
				message.what = B_WINDOW_ACTIVATED;
				message.AddBool("active",
					event.type == DisplayEvent::kActivated);
				break;
			case DisplayEvent::kFrameMoved:
				message.what = kFrameMovedMessage;
				message.AddPoint("where", BPoint(event.x, event.y));
				break;
			default:
				return;
		}
		message.AddInt64("when", event.when);
		switch (event.type) {
			case DisplayEvent::kMouseDown:
			case DisplayEvent::kMouseUp:
			case DisplayEvent::kMouseMoved:
				message.AddPoint("where", BPoint(event.x, event.y));
				message.AddInt32("buttons", int32(event.buttons));
				message.AddInt32("modifiers", int32(event.modifiers));
				if (event.type == DisplayEvent::kMouseDown) {
					message.AddInt32("clicks", event.clicks);
					message.AddBool("be:was_active", event.wasActive);
				}
				break;
			case DisplayEvent::kKeyDown:
			case DisplayEvent::kKeyUp:
				message.AddString("bytes", event.bytes);
				message.AddInt8("byte", int8(event.bytes[0]));
				message.AddInt32("key", event.key);
				message.AddInt32("modifiers", int32(event.modifiers));
				break;
			default:
				break;
		}
		fWindow->PostMessage(&message);
	}

private:
	BWindow* fWindow;
};

uint32
DisplayIdOf(const BWindow* window)
{
	return window != nullptr ? window->fDisplayId : 0;
}

void
SetMenuOwner(BWindow* window, BView* owner)
{
	if (window != nullptr)
		window->fMenuOwner = owner;
}

} // namespace BPrivate

BWindow::BWindow(BRect frame, const char* title, window_type type,
	uint32 flags, uint32 workspace)
	:
	BLooper(title),
	fTitle(title != nullptr ? title : ""),
	fType(type),
	fFlags(flags),
	fWorkspaces(workspace),
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
	fSurface(new BPrivate::WindowSurface),
	fDisplayId(0),
	fDisplayClient(nullptr)
{
	// Keep the pixel buffer within reason whatever frame we are handed.
	if (!std::isfinite(fFrame.left) || !std::isfinite(fFrame.top)
		|| !std::isfinite(fFrame.right) || !std::isfinite(fFrame.bottom)
		|| !fFrame.IsValid())
		fFrame = BRect(0, 0, 0, 0);
	fFrame.right = std::min(fFrame.right, fFrame.left + 8191);
	fFrame.bottom = std::min(fFrame.bottom, fFrame.top + 8191);

	int32 width = int32(fFrame.Width()) + 1;
	int32 height = int32(fFrame.Height()) + 1;
	fSurface->pixels.assign(size_t(width) * height, 0xffd8d8d8u);
	fSurface->canvas.pixels = fSurface->pixels.data();
	fSurface->canvas.width = width;
	fSurface->canvas.height = height;
	fSurface->canvas.stride = width;

	fRoot = new BView(Bounds(), "top view", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
	fRoot->SetViewColor(ui_color(B_PANEL_BACKGROUND_COLOR));
	fRoot->_Attach(this);

	BPrivate::Display* display = BPrivate::Display::Default();
	if (display == nullptr) {
		std::string error;
		if (BPrivate::Display::Start(&error))
			display = BPrivate::Display::Default();
	}
	if (display != nullptr) {
		BPrivate::WindowSpec spec;
		spec.frame = fFrame;
		spec.title = fTitle;
		spec.resizable = (flags & B_NOT_RESIZABLE) == 0
			&& (flags & (B_NOT_H_RESIZABLE | B_NOT_V_RESIZABLE))
				!= (B_NOT_H_RESIZABLE | B_NOT_V_RESIZABLE)
			&& type != BPrivate::kPopUpMenuWindow
			&& type != BPrivate::kAlertWindow && type != B_MODAL_WINDOW;
		spec.popup = type == BPrivate::kPopUpMenuWindow;
		spec.utility = type == BPrivate::kAlertWindow
			|| type == B_MODAL_WINDOW;
		// A window manager shows "Unnamed Window" for an empty title, as an
		// alert's usually is; the program's name is the better caption.
		if (spec.title.empty() && !spec.popup) {
			spec.title = program_invocation_short_name;
			if (!spec.title.empty())
				spec.title[0] = char(toupper((unsigned char)spec.title[0]));
		}
		fDisplayClient = new BPrivate::WindowDisplayClient(this);
		fDisplayId = display->CreateWindow(spec, fDisplayClient);
		if (!spec.popup)
			_SetApplicationIcon();
	}
	_Invalidate(BoxOf(Bounds()));

	BPrivate::WindowRegistry::Add(this);
}

BWindow::~BWindow()
{
	if (BPrivate::Display* display = _Display())
		display->DestroyWindow(fDisplayId);
	fDisplayId = 0;
	delete fDisplayClient;
	fDisplayClient = nullptr;

	// Views go with their window, on the thread that destroys it.
	BView* root = fRoot;
	root->_Detach();
	fRoot = nullptr;
	delete root;

	BPrivate::WindowRegistry::Remove(this);
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
		Run();
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
BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message == nullptr)
		return;
	if (handler != nullptr && handler != this) {
		BLooper::DispatchMessage(message, handler);
		return;
	}
	switch (message->what) {
		case kUpdateMessage:
			UpdateIfNeeded();
			break;

		case BPrivate::kMsgActivateWindows:
			if (!IsHidden() && fType != BPrivate::kPopUpMenuWindow)
				Activate(true);
			break;

		case B_MOUSE_DOWN:
		case B_MOUSE_UP:
		case B_MOUSE_MOVED:
		case kMouseExitedMessage:
			_HandleMouse(message);
			break;

		case B_KEY_DOWN:
			_HandleKey(message);
			break;

		case B_KEY_UP:
		{
			const char* bytes = nullptr;
			if (fFocus != nullptr && message->FindString("bytes", &bytes)
					== B_OK && bytes != nullptr)
				fFocus->KeyUp(bytes, int32(strlen(bytes)));
			break;
		}

		case B_WINDOW_ACTIVATED:
		{
			bool active = false;
			if (message->FindBool("active", &active) != B_OK
				|| active == fActive)
				break;
			fActive = active;
			WindowActivated(active);
			std::vector<BView*> views{ fRoot };
			for (size_t i = 0; i < views.size(); i++) {
				BView* view = views[i];
				view->WindowActivated(active);
				for (int32 j = 0; j < view->CountChildren(); j++)
					views.push_back(view->ChildAt(j));
			}
			break;
		}

		case kFrameMovedMessage:
		{
			BPoint where;
			if (message->FindPoint("where", &where) == B_OK) {
				fFrame.OffsetTo(where);
				FrameMoved(where);
			}
			break;
		}

		default:
			BLooper::DispatchMessage(message, handler);
			break;
	}
}

BView*
BWindow::_ViewAt(BView* view, BPoint point, BPoint origin) const
{
	for (int32 i = view->CountChildren() - 1; i >= 0; i--) {
		BView* child = view->ChildAt(i);
		if (child->_IsHiddenItself())
			continue;
		BRect frame = child->Frame().OffsetByCopy(origin);
		if (frame.Contains(point))
			return _ViewAt(child, point, frame.LeftTop());
	}
	return view;
}

BView*
BWindow::FindView(BPoint point) const
{
	if (!Bounds().Contains(point))
		return nullptr;
	return _ViewAt(fRoot, point, B_ORIGIN);
}

void
BWindow::_HandleMouse(BMessage* message)
{
	if (message->what == kMouseExitedMessage) {
		if (fLastMouseView != nullptr && fMouseView == nullptr) {
			BView* view = fLastMouseView;
			fLastMouseView = nullptr;
			view->MouseMoved(fLastMouse - view->_WindowOrigin(),
				B_EXITED_VIEW, nullptr);
		}
		return;
	}

	BPoint where;
	if (message->FindPoint("where", &where) != B_OK)
		return;
	int32 buttons = 0;
	message->FindInt32("buttons", &buttons);
	fLastMouse = where;
	fLastButtons = message->what == B_MOUSE_UP ? 0 : uint32(buttons);

	if (message->what == B_MOUSE_DOWN) {
		bool wasActive = true;
		message->FindBool("be:was_active", &wasActive);
		if (!fActive && !wasActive && (fFlags & B_WILL_ACCEPT_FIRST_CLICK) == 0
			&& fType != BPrivate::kPopUpMenuWindow) {
			// The click only brings the window forward.
			Activate(true);
			return;
		}
		BView* view = fMenuOwner != nullptr ? fMenuOwner : FindView(where);
		if (view == nullptr)
			return;
		fMouseView = nullptr;
		BView* target = view;
		target->MouseDown(where - target->_WindowOrigin());
		// Unless the view asked for something else, the pointer stays with
		// the view that was pressed until the button is released.
		if (fMouseView == nullptr && target->Window() == this)
			fMouseView = target;
		return;
	}

	BView* target = fMouseView != nullptr ? fMouseView : FindView(where);
	if (message->what == B_MOUSE_UP) {
		fMouseView = nullptr;
		if (target != nullptr)
			target->MouseUp(where - target->_WindowOrigin());
		return;
	}

	// B_MOUSE_MOVED: tell views when the pointer enters or leaves them.
	if (target != fLastMouseView && fMouseView == nullptr) {
		if (fLastMouseView != nullptr) {
			BView* previous = fLastMouseView;
			previous->MouseMoved(where - previous->_WindowOrigin(),
				B_EXITED_VIEW, nullptr);
		}
		fLastMouseView = target;
		if (target != nullptr) {
			target->MouseMoved(where - target->_WindowOrigin(),
				B_ENTERED_VIEW, nullptr);
		}
		return;
	}
	if (target != nullptr) {
		BPoint local = where - target->_WindowOrigin();
		uint32 transit = target->Bounds().Contains(local)
			? B_INSIDE_VIEW : B_OUTSIDE_VIEW;
		target->MouseMoved(local, transit, nullptr);
	}
}

void
BWindow::_HandleKey(BMessage* message)
{
	const char* bytes = nullptr;
	if (message->FindString("bytes", &bytes) != B_OK || bytes == nullptr
		|| bytes[0] == '\0')
		return;
	int32 modifiers = 0;
	message->FindInt32("modifiers", &modifiers);
	int32 key = 0;
	message->FindInt32("key", &key);

	if (fMenuOwner != nullptr) {
		fMenuOwner->KeyDown(bytes, int32(strlen(bytes)));
		return;
	}
	if (bytes[0] == B_FUNCTION_KEY && key == B_F1_KEY
		&& fType != BPrivate::kPopUpMenuWindow) {
		if (be_app != nullptr)
			be_app->PostMessage(B_ABOUT_REQUESTED);
		return;
	}
	if (bytes[0] == B_TAB
		&& (modifiers & (B_CONTROL_KEY | B_COMMAND_KEY | B_OPTION_KEY)) == 0) {
		_MoveFocus((modifiers & B_SHIFT_KEY) == 0);
		return;
	}
	if (fFocus != nullptr)
		fFocus->KeyDown(bytes, int32(strlen(bytes)));
}

void
BWindow::_MoveFocus(bool forward)
{
	std::vector<BView*> navigable;
	CollectNavigable(fRoot, &navigable);
	if (navigable.empty())
		return;
	auto current = std::find(navigable.begin(), navigable.end(), fFocus);
	BView* next;
	if (current == navigable.end())
		next = forward ? navigable.front() : navigable.back();
	else {
		size_t index = size_t(current - navigable.begin());
		size_t count = navigable.size();
		next = navigable[forward ? (index + 1) % count
			: (index + count - 1) % count];
	}
	next->MakeFocus(true);
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
		display->MoveWindow(fDisplayId, int32(x), int32(y));
}

void
BWindow::MoveBy(float dx, float dy)
{
	MoveTo(fFrame.left + dx, fFrame.top + dy);
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

void
BWindow::_Invalidate(const BPrivate::ClipBox& box)
{
	BPrivate::ClipBox clipped = box.Intersect(fSurface->canvas.Bounds());
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
			clipped = Union(clipped, *touching);
			dirty.erase(touching);
		}
		dirty.push_back(clipped);
		if (dirty.size() > kMaxDirtyBoxes) {
			BPrivate::ClipBox all = dirty.front();
			for (const BPrivate::ClipBox& other : dirty)
				all = Union(all, other);
			dirty.assign(1, all);
		}
		if (!fSurface->updatePosted) {
			fSurface->updatePosted = true;
			post = true;
		}
	}
	if (post)
		PostMessage(kUpdateMessage);
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
	BPrivate::ClipBox viewBox = BoxOf(frame).Intersect(clip);
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
BWindow::_GetMouse(BPoint* where, uint32* buttons) const
{
	*where = fLastMouse;
	*buttons = fLastButtons;
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

void
BWindow::_SetApplicationIcon()
{
	// The window shows the program's own large icon, when it has one.
	BResources* resources = BPrivate::AppResources();
	if (resources == nullptr)
		return;
	size_t size = 0;
	const void* data = resources->LoadResource('ICON', 1, &size);
	if (data == nullptr || size != 32 * 32)
		return;
	BBitmap icon(BRect(0, 0, 31, 31), B_CMAP8);
	if (icon.InitCheck() != B_OK)
		return;
	icon.SetBits(data, int32(size), 0, B_CMAP8);
	SetIcon(&icon);
}

void
BWindow::SetIcon(const BBitmap* icon)
{
	BPrivate::Display* display = _Display();
	if (icon == nullptr || !icon->IsValid() || display == nullptr)
		return;
	BRect bounds = icon->Bounds();
	int32 width = int32(bounds.Width()) + 1;
	int32 height = int32(bounds.Height()) + 1;
	std::vector<uint32> pixels(size_t(width) * height, 0);
	BPrivate::Canvas canvas;
	canvas.pixels = pixels.data();
	canvas.width = width;
	canvas.height = height;
	canvas.stride = width;
	BPrivate::DrawBitmap(canvas, canvas.Bounds(), *icon, 0, 0);
	// What the painter left untouched stays transparent (alpha 0).
	display->SetIcon(fDisplayId, std::move(pixels), width, height);
}
