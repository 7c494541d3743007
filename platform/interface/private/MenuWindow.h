/*
 * An open menu: a pop-up window of its own, with its own thread, showing a
 * copy of the menu's items as they were when it opened. It talks to the
 * field that opened it only through messages, each side through a
 * messenger to the other, so neither ever posts to a looper or a view that
 * is gone. Every word from the menu carries the field's generation for
 * that opening: the field ignores what a menu it has let go of says.
 *
 * Threads: the menu window is built on the field's window thread and then
 * runs on its own. A messenger only posts, taking the queue lock of the
 * looper posted to and never the looper's own, so neither window can hold
 * the other up.
 */
#ifndef _PRIVATE_MENU_WINDOW_H
#define _PRIVATE_MENU_WINDOW_H

#include <string>
#include <vector>

#include <Messenger.h>
#include <Window.h>

class BHandler;
class BLooper;
class BMessage;

namespace BPrivate {

enum {
	// menu -> field: "index", "generation"
	kMenuItemChosen = '_MSL',
	// menu -> field: "generation"; closed without a choice
	kMenuClosed = '_MCL',
	// field -> menu: "where" (screen), "up" (bool), "on_field" (bool)
	kMenuTrack = '_MTR',
	// field -> menu: "bytes"
	kMenuKey = '_MKY',
	// field -> menu: close at once, without a word back
	kMenuQuit = '_MQT',
	// menu -> field: "index" (-1 for none), "generation"; the highlight
	// moved, told only while a screen reader may be listening
	kMenuHighlighted = '_MHL',
};

struct MenuRow {
	std::string label;
	bool marked = false;
	bool enabled = true;
};

class MenuWindow : public BWindow {
public:
							MenuWindow(BRect frame,
								const std::vector<MenuRow>& rows,
								int32 highlight,
								BMessenger field, uint32 generation,
								const WindowPlacement& placement
									= WindowPlacement());
	virtual					~MenuWindow();

	virtual	void			MessageReceived(BMessage* message);
	// Closed from outside (the program is ending): the field hears of it.
	virtual	bool			QuitRequested();

	// The frame a menu of these rows needs, placed below (or, near the
	// screen's bottom, above) the control at `control` (screen
	// coordinates), and kept on the screen.
	static	BRect			FrameFor(const std::vector<MenuRow>& rows,
								BRect control, BRect screen);
	// Where row `index` of a menu at `frame` lies, in the same terms.
	static	BRect			RowFrame(BRect frame, int32 index);

private:
	class MenuView;
			MenuView*		fView;
};

} // namespace BPrivate

#endif // _PRIVATE_MENU_WINDOW_H
