/*
 * A small window with a message, an icon and up to three buttons, centred
 * on the screen. Go() shows it and blocks only the calling thread until a
 * button is pressed; the alert's own thread keeps drawing and handling
 * input, and so do all other windows. Enter presses the default button
 * (the rightmost one), Escape the only button when there is just one;
 * closing the alert from the window manager counts as pressing its last
 * button.
 *
 * Go() waits on the calling thread, so from a window's thread it holds that
 * window up until the alert closes. The pressed button passes between the
 * two threads through a small result under its own lock, so Go() touches
 * nothing of the alert once it is shown. With Go(invoker), the invoker is
 * used on the alert's thread: keep it alive, and leave it alone, until the
 * alert is gone.
 */
#ifndef _ALERT_H
#define _ALERT_H

#include <memory>
#include <string>

#include <Window.h>

class BInvoker;

enum alert_type {
	B_EMPTY_ALERT = 0,
	B_INFO_ALERT,
	B_IDEA_ALERT,
	B_WARNING_ALERT,
	B_STOP_ALERT,
};

enum button_width {
	B_WIDTH_AS_USUAL,
	B_WIDTH_FIXED,
	B_WIDTH_FROM_WIDEST,
	B_WIDTH_FROM_LABEL,
};

namespace BPrivate {
struct AlertResult;
}

class BAlert : public BWindow {
public:
							BAlert(const char* title, const char* text,
								const char* button0,
								const char* button1 = nullptr,
								const char* button2 = nullptr,
								button_width width = B_WIDTH_AS_USUAL,
								alert_type type = B_INFO_ALERT);
	virtual					~BAlert();

	// Shows the alert, waits for a button and returns its index; the alert
	// deletes itself. Returns -1 if it could not be shown.
			int32			Go();
	// Shows the alert and returns at once; the pressed button's index is
	// sent to the invoker (field "which"), if one is given.
			status_t		Go(BInvoker* invoker);

	virtual	void			MessageReceived(BMessage* message);
	virtual	bool			QuitRequested();

			const char*		Text() const { return fText.c_str(); }
			int32			CountButtons() const { return fButtonCount; }
			alert_type		Type() const { return fAlertType; }

private:
			void			_Pressed(int32 index);

			std::string		fText;
			int32			fButtonCount;
			alert_type		fAlertType;
			std::shared_ptr<BPrivate::AlertResult> fResult;
			BInvoker*		fInvoker;
};

#endif // _ALERT_H
