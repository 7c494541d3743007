/*
 * A window on the screen, with its own thread once shown. The frame given
 * to the constructor is the content area in screen coordinates, inclusive:
 * (100, 100, 230, 170) is a 131 x 71 area whose top-left pixel is at
 * (100, 100). Views are drawn in software into the window's own pixels;
 * only what was invalidated is drawn again, and the display thread shows
 * the boxes that changed.
 *
 * Input arrives as messages on the window's thread: B_MOUSE_DOWN,
 * B_MOUSE_MOVED and B_MOUSE_UP ("where" in window coordinates, "buttons",
 * "clicks", "modifiers", "when"), B_KEY_DOWN ("bytes", "byte", "key",
 * "modifiers"), B_WINDOW_ACTIVATED ("active"), and B_QUIT_REQUESTED when
 * the window manager's close button is used. The window passes mouse
 * events to the view under the pointer (or the one that asked for all
 * pointer events), keys to the focus view, moves the focus between
 * B_NAVIGABLE views on Tab and Shift-Tab, and turns F1 into the system's
 * about request (B_ABOUT_REQUESTED to the application), which Linux
 * desktops have no command of their own for.
 *
 * Threads: the thread that makes the window has it to itself until the
 * first Show(); from then on the window's own thread dispatches its
 * messages, holding its lock, and deletes it at the end. PostMessage() is
 * safe from any thread. Everything else (views, geometry, title, Show,
 * Hide, UpdateIfNeeded, Quit from outside) wants the window's lock, which
 * Quit() gives up before it waits.
 */
#ifndef _WINDOW_H
#define _WINDOW_H

#include <memory>
#include <string>

#include <InterfaceDefs.h>
#include <Looper.h>
#include <Rect.h>

class BBitmap;
class BView;
class BWindow;

namespace BPrivate {
struct Canvas;
struct ClipBox;
class Display;
class PixelScale;
class WindowDisplayClient;
struct WindowSurface;
class ViewPainter;
class AccessibleViews;
uint32 DisplayIdOf(const BWindow* window);
void SetMenuOwner(BWindow* window, BView* owner);

// For the kits' own windows: the window one belongs to (a pop-up menu's
// opener, an alert's window), by the display's name for it (DisplayIdOf;
// 0: none), and for a pop-up the part of it (a menu field's control,
// screen coordinates) that it opens from. Where the window system places
// pop-ups itself (Wayland), it places them by these.
struct WindowPlacement {
	uint32 parent = 0;
	BRect anchor;
};
}

class BWindow : public BLooper {
public:
							BWindow(BRect frame, const char* title,
								window_type type, uint32 flags,
								uint32 workspace = B_CURRENT_WORKSPACE);
	virtual					~BWindow();

	virtual	void			Show();
	virtual	void			Hide();
			bool			IsHidden() const;
	virtual	void			Quit();
	virtual	bool			QuitRequested();

	virtual	void			DispatchMessage(BMessage* message,
								BHandler* handler);
	virtual	void			MessageReceived(BMessage* message);
	virtual	void			WindowActivated(bool active);
	virtual	void			FrameMoved(BPoint newPosition);

			void			AddChild(BView* child, BView* before = nullptr);
			bool			RemoveChild(BView* child);
			int32			CountChildren() const;
			BView*			ChildAt(int32 index) const;
			BView*			FindView(const char* name) const;
			BView*			FindView(BPoint point) const;
			BView*			CurrentFocus() const { return fFocus; }

			BRect			Bounds() const;
			BRect			Frame() const;
			const char*		Title() const { return fTitle.c_str(); }
			void			SetTitle(const char* title);
			window_type		Type() const { return fType; }
			uint32			Flags() const { return fFlags; }
			uint32			Workspaces() const { return fWorkspaces; }

			void			MoveTo(BPoint where);
			void			MoveTo(float x, float y);
			void			MoveBy(float dx, float dy);
			void			Activate(bool active = true);
			bool			IsActive() const { return fActive; }

			BPoint			ConvertToScreen(BPoint point) const;
			BRect			ConvertToScreen(BRect rect) const;
			BPoint			ConvertFromScreen(BPoint point) const;
			BRect			ConvertFromScreen(BRect rect) const;

			// Draws what is invalid now, on the calling thread (which must
			// hold the window's lock).
			void			UpdateIfNeeded();
			// Waits until the screen shows everything drawn so far.
			void			Sync() const;
			void			Flush() const {}

			// The picture the window manager shows for the window; a copy
			// is kept. B_CMAP8 icons use the system palette.
			void			SetIcon(const BBitmap* icon);

protected:
	// For the kits' own windows (menus, alerts): one that belongs to
	// another, on the current workspace.
							BWindow(BRect frame, const char* title,
								window_type type, uint32 flags,
								const BPrivate::WindowPlacement& placement);

private:
	friend class BView;
	friend class BPrivate::ViewPainter;
	friend class BPrivate::AccessibleViews;
	friend uint32 BPrivate::DisplayIdOf(const BWindow* window);
	friend void BPrivate::SetMenuOwner(BWindow* window, BView* owner);

			BPrivate::Display* _Display() const;
			void			_SetApplicationIcon();
			bool			_HandleUpdate(BMessage* message);
			bool			_HandleInput(BMessage* message);
			// `box` in the window's pixels, before scaling.
			void			_Invalidate(const BPrivate::ClipBox& box);
			void			_DrawTree(BView* view, BPoint origin,
								const BPrivate::ClipBox& clip,
								const BPrivate::ClipBox& update);
			// Shows `box` of the canvas (device pixels).
			void			_Present(const BPrivate::ClipBox& box);
			void			_ViewRemoved(BView* view);
			// For views: where they draw now. False while the window has
			// no pixels. During an update `limit` is the box being drawn
			// again, which shows when the update ends; outside one it is
			// the whole canvas, and what is drawn must be shown through
			// _Present().
			bool			_DrawingArea(BPrivate::Canvas* canvas,
								BPrivate::ClipBox* limit,
								bool* inUpdate) const;
			// Device pixels to one of the window's on each side.
			// How large the window's pixel is on the device.
			BPrivate::PixelScale _Scale() const;
			void			_SizeSurface();
			void			_Rescale(BPrivate::PixelScale scale);
			void			_SetFocus(BView* view) { fFocus = view; }
			// The view that gets the pointer's events until the buttons
			// are released.
			void			_SetMouseView(BView* view)
								{ fMouseView = view; }
			// Where the pointer was last, in window coordinates, and its
			// buttons.
			void			_GetMouse(BPoint* where, uint32* buttons) const;
			void			_HandleMouse(BMessage* message);
			void			_HandleKey(BMessage* message);
			void			_MoveFocus(bool forward);
			BView*			_ViewAt(BView* view, BPoint point,
								BPoint origin) const;

			std::string		fTitle;
			window_type		fType;
			uint32			fFlags;
			uint32			fWorkspaces;
			BRect			fFrame;
			BView*			fRoot;
			BView*			fFocus;
			BView*			fMouseView;       // gets the pointer while down
			BView*			fLastMouseView;   // for entered/exited
			BView*			fMenuOwner;       // has a menu open: gets all input
			BPoint			fLastMouse;
			uint32			fLastButtons;
			int32			fShowLevel;
			bool			fShownOnce;
			bool			fActive;
			int32			fScaleUnits;

			std::unique_ptr<BPrivate::WindowSurface> fSurface;

			uint32			fDisplayId;
			std::shared_ptr<BPrivate::WindowDisplayClient> fDisplayClient;
			// What names the window's objects to screen readers.
			uint32			fAccessibleKey;
};

#endif // _WINDOW_H
