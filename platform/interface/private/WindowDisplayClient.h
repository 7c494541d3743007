/*
 * A window's end of the display thread: the window system's events for one
 * window, turned into messages on that window's queue, in the window's own
 * pixels: the device's divided by the scale.
 *
 * It runs on the display thread, outside the display's locks, and may be
 * handed an event just after its window is gone: it reaches the window
 * only through a messenger, which then finds nobody, and never locks it.
 */
#ifndef _PRIVATE_WINDOW_DISPLAY_CLIENT_H
#define _PRIVATE_WINDOW_DISPLAY_CLIENT_H

#include <Messenger.h>
#include <private/Display.h>

class BWindow;

namespace BPrivate {

class WindowDisplayClient : public DisplayClient {
public:
	WindowDisplayClient(BWindow* window, PixelScale scale);

	// On the display thread: posts the event to the window.
	void DisplayEventArrived(const DisplayEvent& event) override;

private:
	BMessenger fWindow;
	PixelScale fScale;
};

} // namespace BPrivate

#endif // _PRIVATE_WINDOW_DISPLAY_CLIENT_H
