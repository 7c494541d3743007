/*
 * A labelled pop-up control. The label (if any) is drawn left of the
 * divider; from the divider on, at the top of the frame, a one-line control
 * shows the menu's marked item (or the menu's title) with a pop-up mark.
 * The rest of the frame is transparent. The field owns its menu.
 *
 * Mouse: pressing the control opens the menu below it; the item under the
 * pointer is chosen on release (press, drag, release), or, if the button
 * is released over the control, by a later click (click, then click). A
 * press elsewhere, or Escape, closes the menu without choosing.
 * Keyboard, once focused (the field is B_NAVIGABLE): Space, Enter or Down
 * opens the menu on the marked item; Up and Down move (and wrap), Home and
 * End jump, a letter moves to the next item starting with it, Enter
 * chooses and Escape closes.
 *
 * Threads: the field is its window's, like any view: every call on the
 * window's thread or with the window locked. The open menu runs on its own
 * window's thread and reaches the field only through messages, over a link
 * whose pointers are kept under a lock of its own.
 */
#ifndef _MENU_FIELD_H
#define _MENU_FIELD_H

#include <memory>
#include <string>

#include <Messenger.h>
#include <View.h>

class BMenu;
class BMenuItem;

namespace BPrivate {
class AccessibleViews;
}

class BMenuField : public BView {
public:
							BMenuField(BRect frame, const char* name,
								const char* label, BMenu* menu,
								uint32 resizingMode = B_FOLLOW_LEFT
									| B_FOLLOW_TOP,
								uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
	virtual					~BMenuField();

	virtual	void			AttachedToWindow();
	virtual	void			DetachedFromWindow();
	virtual	void			Draw(BRect updateRect);
	virtual	void			MouseDown(BPoint where);
	virtual	void			MouseMoved(BPoint where, uint32 transit,
								const BMessage* dragMessage);
	virtual	void			MouseUp(BPoint where);
	virtual	void			KeyDown(const char* bytes, int32 numBytes);
	virtual	void			MakeFocus(bool focus = true);
	virtual	void			WindowActivated(bool active);
	virtual	void			MessageReceived(BMessage* message);

			BMenu*			Menu() const { return fMenu; }
			const char*		Label() const { return fLabel.c_str(); }
			void			SetLabel(const char* label);
			void			SetDivider(float divider);
			float			Divider() const { return fDivider; }
			void			SetEnabled(bool enabled);
			bool			IsEnabled() const { return fEnabled; }

			// What the control shows now.
			const char*		ShownLabel() const;
			// The control's rectangle, in the field's coordinates.
			BRect			ControlFrame() const;
			bool			IsMenuOpen() const { return fMenuOpen; }

private:
	friend class BMenu;
	friend class BPrivate::AccessibleViews;

			void			_Open(bool fromKeyboard);
			void			_Close();
			void			_Chosen(int32 index);
			void			_PostToMenu(BMessage* message);
			void			_LabelsChanged();

			BMenu*			fMenu;
			std::string		fLabel;
			float			fDivider;
			bool			fEnabled;
			bool			fPressedOnControl;
			bool			fDragged;
			uint32			fGeneration;
	mutable	float			fWidestLabel;     // < 0 until measured
			bool			fMenuOpen;
			// The open menu's window; it may be gone before the field
			// hears that it closed.
			BMessenger		fMenuWindow;
			// Where the open menu is on the screen and which row it
			// highlights (-1 for none), for screen readers.
			BRect			fMenuFrame;
			int32			fHighlight;
};

#endif // _MENU_FIELD_H
