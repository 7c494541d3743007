/*
 * A window's end of the display thread: the window system's events for one
 * window, turned into messages on that window's queue, in the window's own
 * pixels: the device's divided by the scale.
 *
 * It runs on the display thread under the display's window lock, which
 * DestroyWindow() takes too, so the window is alive while an event is posted
 * to it. It only posts, and never locks the window.
 */
#ifndef _PRIVATE_WINDOW_DISPLAY_CLIENT_H
#define _PRIVATE_WINDOW_DISPLAY_CLIENT_H

#include <private/Display.h>

class BWindow;

namespace BPrivate {

class WindowDisplayClient : public DisplayClient {
public:
	WindowDisplayClient(BWindow* window, int32 scale)
		: fWindow(window), fScale(scale) {}

	// On the display thread: posts the event to the window.
	void DisplayEventArrived(const DisplayEvent& event) override;

private:
	BWindow* fWindow;
	int32 fScale;
};

} // namespace BPrivate

#endif // _PRIVATE_WINDOW_DISPLAY_CLIENT_H
