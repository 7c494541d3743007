/*
 * Input: the display thread's events become messages on the window's queue
 * (WindowDisplayClient, on the display thread), and the window's thread
 * routes them: the mouse to the view under the pointer or the one holding
 * it, keys to the focus view or the open menu's owner, Tab between
 * navigable views, F1 to the application.
 */
#include <Window.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <AppDefs.h>
#include <Application.h>
#include <Message.h>
#include <View.h>
#include <private/AppPrivate.h>
#include <private/WindowDisplayClient.h>
#include <private/WindowPrivate.h>
#include <private/WindowSurface.h>

namespace {

// Private message codes of the window's own input.
enum {
	kFrameMovedMessage = '_WMV',
	kMouseExitedMessage = '_MEX',
	kScaleChangedMessage = '_SCL',
};

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

WindowDisplayClient::WindowDisplayClient(BWindow* window, PixelScale scale)
	:
	fWindow(nullptr, window),
	fScale(scale)
{
}

void
WindowDisplayClient::DisplayEventArrived(const DisplayEvent& displayEvent)
{
	DisplayEvent event = displayEvent;
	if (event.type == DisplayEvent::kScaleChanged) {
		// The events after this one come at the new scale.
		fScale = PixelScale::FromUnits(event.scaleUnits);
		BMessage message(kScaleChangedMessage);
		message.AddInt32("units", event.scaleUnits);
		fWindow.SendMessage(&message);
		return;
	}
	if (fScale.IsWhole() && fScale != PixelScale()) {
		int32 scale = fScale.Ceiling();
		if (event.type == DisplayEvent::kFrameMoved) {
			event.x /= scale;
			event.y /= scale;
		} else {
			// The pointer is on the window's pixel whose square of device
			// pixels holds it.
			event.x = std::floor(event.x / scale);
			event.y = std::floor(event.y / scale);
		}
	} else if (!fScale.IsWhole()) {
		// On the window's pixel whose device pixels hold it (a frame, on
		// the pixel its corner's device pixel belongs to).
		event.x = fScale.PixelAt(int32(std::floor(event.x)));
		event.y = fScale.PixelAt(int32(std::floor(event.y)));
	}
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
	fWindow.SendMessage(&message);
}

void
SetMenuOwner(BWindow* window, BView* owner)
{
	if (window != nullptr)
		window->fMenuOwner = owner;
}

} // namespace BPrivate

// The window system's messages and the application's request to come
// forward; false for any other message.
bool
BWindow::_HandleInput(BMessage* message)
{
	switch (message->what) {
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

		case kScaleChangedMessage:
		{
			int32 units = 0;
			if (message->FindInt32("units", &units) == B_OK)
				_Rescale(BPrivate::PixelScale::FromUnits(units));
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
			return false;
	}
	return true;
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
		be_app_messenger.SendMessage(B_ABOUT_REQUESTED);
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
BWindow::_GetMouse(BPoint* where, uint32* buttons) const
{
	*where = fLastMouse;
	*buttons = fLastButtons;
}
