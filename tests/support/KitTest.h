/*
 * Helpers for tests that run windows on the headless display: waiting until
 * a window has handled everything sent to it and the display shows the
 * result, and reading what it shows.
 */
#ifndef TESTS_SUPPORT_KIT_TEST_H
#define TESTS_SUPPORT_KIT_TEST_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <thread>
#include <mutex>
#include <string>
#include <vector>

#include <Handler.h>
#include <Looper.h>
#include <Message.h>
#include <Window.h>
#include <private/Display.h>
#include <private/HeadlessDisplay.h>
#include <private/WindowPrivate.h>

namespace KitTest {

// Answers one marker message, so that a test can tell that its looper has
// worked through everything queued before it.
class Marker : public BHandler {
public:
	Marker() : BHandler("test marker") {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what != 'mark') {
			BHandler::MessageReceived(message);
			return;
		}
		std::lock_guard<std::mutex> lock(fLock);
		fSeen++;
		fChanged.notify_all();
	}

	// Posts a marker and waits for it; false if the looper is gone.
	bool RoundTrip(BLooper* looper)
	{
		int expected;
		{
			std::lock_guard<std::mutex> lock(fLock);
			expected = fSeen + 1;
		}
		BMessage marker('mark');
		if (looper->PostMessage(&marker, this) != B_OK)
			return false;
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, std::chrono::seconds(10),
			[&] { return fSeen >= expected; });
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	int fSeen = 0;
};

// Lets a window settle: its events handled, what they invalidated drawn and
// shown. A few round trips cover the chain event -> redraw -> present.
inline void
Settle(BWindow* window, Marker* marker, int rounds = 3)
{
	for (int i = 0; i < rounds; i++) {
		BPrivate::Headless::Sync();
		if (!marker->RoundTrip(window))
			break;
	}
	BPrivate::Headless::Sync();
}

// Adds a marker to a window (before or after Show).
inline Marker*
AddMarker(BWindow* window)
{
	Marker* marker = new Marker;
	window->Lock();
	window->AddHandler(marker);
	window->Unlock();
	return marker;
}

// Takes the marker off the window again, before the window quits.
inline void
RemoveMarker(BWindow* window, Marker* marker)
{
	if (window->Lock()) {
		window->RemoveHandler(marker);
		window->Unlock();
	}
	delete marker;
}

// Quits a window from the test's thread and waits until it is gone.
inline void
QuitWindow(BWindow* window)
{
	if (window->Lock())
		window->Quit();
}

// Polls `condition`, letting the display catch up each time, for up to
// about five seconds.
inline bool
WaitUntil(const std::function<bool()>& condition)
{
	for (int i = 0; i < 1000; i++) {
		BPrivate::Headless::Sync();
		if (condition())
			return true;
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	return condition();
}

inline uint32
Pixel(BWindow* window, int32 x, int32 y)
{
	return BPrivate::Headless::PixelAt(BPrivate::DisplayIdOf(window), x, y)
		& 0x00ffffff;
}

inline uint32
Rgb(uint8 r, uint8 g, uint8 b)
{
	return (uint32(r) << 16) | (uint32(g) << 8) | b;
}

} // namespace KitTest

#endif // TESTS_SUPPORT_KIT_TEST_H
