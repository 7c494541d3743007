/*
 * A rectangular part of a window that draws itself and handles the mouse
 * and keyboard within its frame. Views form a tree under their window; each
 * is clipped to its frame and to its parent's, and to the window.
 *
 * Coordinates are the view's own: (0, 0) is its top-left pixel, and
 * rectangles are inclusive, as everywhere in the kits. Pixel centres lie on
 * whole coordinates: FillRect(BRect(0, 0, 9, 9)) fills 10 x 10 pixels.
 *
 * The view's background is painted by the window before Draw() is called:
 * the view colour (unless it is B_TRANSPARENT_COLOR, which leaves what the
 * parent drew), then the view bitmap, if one is set.
 *
 * A view has no lock of its own: it belongs to its window's thread. Once it
 * is in a window, every call, Invalidate() included, must come from that
 * thread or from one holding the window's lock, because they walk the
 * parents' frames and the window's focus. The hooks run on the window's
 * thread with the window locked. Before it is added, one thread at a time
 * may set it up.
 */
#ifndef _VIEW_H
#define _VIEW_H

#include <vector>

#include <Font.h>
#include <GraphicsDefs.h>
#include <Handler.h>
#include <InterfaceDefs.h>
#include <Rect.h>

class BBitmap;
class BMessage;
class BWindow;

namespace BPrivate {
struct Canvas;
struct ClipBox;
class ViewPainter;
}

// Options of SetMouseEventMask.
enum {
	B_POINTER_EVENTS = 0x00000001,
	B_KEYBOARD_EVENTS = 0x00000002,
};

enum {
	B_LOCK_WINDOW_FOCUS = 0x00000001,
	B_SUSPEND_VIEW_FOCUS = 0x00000002,
	B_NO_POINTER_HISTORY = 0x00000008,
};

class BView : public BHandler {
public:
							BView(BRect frame, const char* name,
								uint32 resizingMode, uint32 flags);
	virtual					~BView();

	// Hooks.
	virtual	void			MessageReceived(BMessage* message);
	virtual	void			AttachedToWindow();
	virtual	void			AllAttached();
	virtual	void			DetachedFromWindow();
	virtual	void			Draw(BRect updateRect);
	virtual	void			MouseDown(BPoint where);
	virtual	void			MouseUp(BPoint where);
	virtual	void			MouseMoved(BPoint where, uint32 transit,
								const BMessage* dragMessage);
	virtual	void			KeyDown(const char* bytes, int32 numBytes);
	virtual	void			KeyUp(const char* bytes, int32 numBytes);
	virtual	void			MakeFocus(bool focus = true);
	virtual	void			WindowActivated(bool active);
	virtual	void			FrameMoved(BPoint newPosition);
	virtual	void			FrameResized(float newWidth, float newHeight);

	// The tree.
			void			AddChild(BView* child, BView* before = nullptr);
			bool			RemoveChild(BView* child);
			bool			RemoveSelf();
			int32			CountChildren() const;
			BView*			ChildAt(int32 index) const;
			BView*			Parent() const { return fParent; }
			BWindow*		Window() const { return fWindow; }
			BView*			FindView(const char* name) const;

	// Geometry.
			BRect			Frame() const { return fFrame; }
			BRect			Bounds() const;
			void			MoveTo(BPoint where);
			void			MoveTo(float x, float y);
			void			MoveBy(float dx, float dy);
			void			ResizeTo(float width, float height);
			void			ResizeBy(float dx, float dy);
			BPoint			ConvertToParent(BPoint point) const;
			BRect			ConvertToParent(BRect rect) const;
			BPoint			ConvertFromParent(BPoint point) const;
			BRect			ConvertFromParent(BRect rect) const;
			BPoint			ConvertToScreen(BPoint point) const;
			BRect			ConvertToScreen(BRect rect) const;
			BPoint			ConvertFromScreen(BPoint point) const;
			BRect			ConvertFromScreen(BRect rect) const;

			uint32			Flags() const { return fFlags; }
			void			SetFlags(uint32 flags) { fFlags = flags; }
			uint32			ResizingMode() const { return fResizingMode; }
			void			SetResizingMode(uint32 mode)
								{ fResizingMode = mode; }

			void			Hide();
			void			Show();
			bool			IsHidden() const;
			bool			IsFocus() const;

	// Colours and background.
			void			SetViewColor(rgb_color color);
			void			SetViewColor(uint8 r, uint8 g, uint8 b,
								uint8 a = 255);
			rgb_color		ViewColor() const { return fViewColor; }
			void			SetHighColor(rgb_color color);
			void			SetHighColor(uint8 r, uint8 g, uint8 b,
								uint8 a = 255);
			rgb_color		HighColor() const { return fHighColor; }
			void			SetLowColor(rgb_color color);
			void			SetLowColor(uint8 r, uint8 g, uint8 b,
								uint8 a = 255);
			rgb_color		LowColor() const { return fLowColor; }
			void			SetDrawingMode(drawing_mode mode)
								{ fDrawingMode = mode; }
			drawing_mode	DrawingMode() const { return fDrawingMode; }

			// The view keeps its own copy of the bitmap's pixels.
			void			SetViewBitmap(const BBitmap* bitmap,
								uint32 followFlags = B_FOLLOW_TOP
									| B_FOLLOW_LEFT,
								uint32 options = B_TILE_BITMAP);
			void			ClearViewBitmap();

	// Text.
			void			SetFont(const BFont* font);
			void			GetFont(BFont* font) const;
			void			SetFontSize(float size);
			float			StringWidth(const char* string) const;
			float			StringWidth(const char* string,
								int32 length) const;
			void			GetFontHeight(font_height* height) const;

	// Drawing, in the view's coordinates, clipped to what of the view
	// shows. Outside Draw() it draws at once and shows the result.
			void			MovePenTo(BPoint point) { fPen = point; }
			void			MovePenTo(float x, float y)
								{ fPen.Set(x, y); }
			void			MovePenBy(float dx, float dy)
								{ fPen.x += dx; fPen.y += dy; }
			BPoint			PenLocation() const { return fPen; }
			void			SetPenSize(float size) { fPenSize = size; }
			float			PenSize() const { return fPenSize; }

			void			StrokeLine(BPoint to,
								const pattern& fill = B_SOLID_HIGH);
			void			StrokeLine(BPoint from, BPoint to,
								const pattern& fill = B_SOLID_HIGH);
			void			StrokeRect(BRect rect,
								const pattern& fill = B_SOLID_HIGH);
			void			FillRect(BRect rect,
								const pattern& fill = B_SOLID_HIGH);
			void			StrokeTriangle(BPoint a, BPoint b, BPoint c,
								const pattern& fill = B_SOLID_HIGH);
			void			FillTriangle(BPoint a, BPoint b, BPoint c,
								const pattern& fill = B_SOLID_HIGH);
			// Anti-aliased, within the rectangle's pixels.
			void			FillEllipse(BRect rect,
								const pattern& fill = B_SOLID_HIGH);
			void			StrokeEllipse(BRect rect,
								const pattern& fill = B_SOLID_HIGH);
			void			DrawString(const char* string);
			void			DrawString(const char* string, BPoint where);
			void			DrawString(const char* string, int32 length,
								BPoint where);
			void			DrawBitmap(const BBitmap* bitmap);
			void			DrawBitmap(const BBitmap* bitmap, BPoint where);

			void			Invalidate();
			void			Invalidate(BRect rect);

	// Input.
			void			GetMouse(BPoint* location, uint32* buttons,
								bool checkMessageQueue = true);
			// With B_POINTER_EVENTS the view gets every pointer event, also
			// outside its frame, until the buttons are released.
			status_t		SetMouseEventMask(uint32 mask,
								uint32 options = 0);

private:
	friend class BWindow;
	friend class BPrivate::ViewPainter;

			void			_Attach(BWindow* window);
			void			_Detach();
			// For the window's update, which walks the tree: whether the
			// view itself is hidden (its parents aside), and how it is
			// drawn, into `box` of the window's canvas, given its frame in
			// window coordinates: the view colour, the view bitmap, then
			// Draw().
			bool			_IsHiddenItself() const { return fHidden > 0; }
			void			_DrawUpdate(BPrivate::Canvas& canvas,
								const BPrivate::ClipBox& box, BRect frame);
			BPoint			_WindowOrigin() const;
			// What of the view shows, in window pixels.
			BRect			_VisibleInWindow() const;

			BRect			fFrame;
			uint32			fResizingMode;
			uint32			fFlags;
			BView*			fParent;
			BWindow*		fWindow;
			std::vector<BView*> fChildren;
			int32			fHidden;

			rgb_color		fViewColor;
			rgb_color		fHighColor;
			rgb_color		fLowColor;
			drawing_mode	fDrawingMode;
			BBitmap*		fViewBitmap;
			uint32			fViewBitmapFollow;
			uint32			fViewBitmapOptions;
			BFont			fFont;
			BPoint			fPen;
			float			fPenSize;
};

#endif // _VIEW_H
