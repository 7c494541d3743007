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

#include <gtest/gtest.h>

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

// A test run at each desktop scale it is given: the windows it makes are
// that many device pixels to their one on each side.
class AtScale : public testing::TestWithParam<int32> {
protected:
	void SetUp() override { BPrivate::Headless::SetScale(GetParam()); }
	void TearDown() override { BPrivate::Headless::SetScale(1); }
};

// What a window shows, read once, by the window's own pixels at a scale.
class Shot {
public:
	Shot(BWindow* window, int32 scale)
		:
		fScale(scale)
	{
		BPrivate::Headless::Snapshot(BPrivate::DisplayIdOf(window), &fPixels,
			&fWidth, &fHeight);
	}

	int32 Width() const { return fWidth; }
	int32 Height() const { return fHeight; }

	// The colour of the window's pixel (x, y) when its whole square of
	// device pixels shows it, else kMixed.
	static constexpr uint32 kMixed = 0xff000000u;
	uint32 At(int32 x, int32 y) const
	{
		uint32 color = Device(x * fScale, y * fScale);
		for (int32 dy = 0; dy < fScale; dy++) {
			for (int32 dx = 0; dx < fScale; dx++) {
				if (Device(x * fScale + dx, y * fScale + dy) != color)
					return kMixed;
			}
		}
		return color;
	}

	// A device pixel's colour, 0 outside the window.
	uint32 Device(int32 x, int32 y) const
	{
		if (x < 0 || y < 0 || x >= fWidth || y >= fHeight)
			return 0;
		return fPixels[size_t(y) * fWidth + x] & 0x00ffffff;
	}

private:
	int32 fScale;
	std::vector<uint32> fPixels;
	int32 fWidth = 0;
	int32 fHeight = 0;
};

} // namespace KitTest

#endif // TESTS_SUPPORT_KIT_TEST_H
