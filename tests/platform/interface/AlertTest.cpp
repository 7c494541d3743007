/*
 * Alerts: Go() blocks only its caller, the keys and the close box press the
 * right buttons, and the window is laid out around its text.
 */
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include <Alert.h>
#include <Message.h>
#include <View.h>
#include <Window.h>
#include <private/WindowAccessible.h>

#include "../../support/KitTest.h"
#include "../../support/Watchdog.h"

using namespace std::chrono_literals;
namespace Headless = BPrivate::Headless;
using KitTest::WaitUntil;

namespace {

bool
FindAlert(Headless::WindowState* state)
{
	for (const Headless::WindowState& window : Headless::Windows()) {
		if (window.utility && window.visible) {
			*state = window;
			return true;
		}
	}
	return false;
}

// Runs Go() on a thread of its own, as the application's thread would.
std::future<int32>
GoInBackground(BAlert* alert)
{
	return std::async(std::launch::async, [alert] { return alert->Go(); });
}

} // namespace

TEST(AlertTest, GoBlocksOnlyItsCallerAndEnterPressesTheRightmostButton)
{
	Watchdog watchdog(30s, "AlertGo");
	BWindow* other = new BWindow(BRect(10, 10, 60, 60), "other",
		B_TITLED_WINDOW, B_NOT_RESIZABLE);
	KitTest::Marker* marker = KitTest::AddMarker(other);
	other->Show();

	BAlert* alert = new BAlert("", "Something to say", "Cancel", "OK");
	std::future<int32> result = GoInBackground(alert);
	Headless::WindowState state;
	ASSERT_TRUE(WaitUntil([&] { return FindAlert(&state); }));
	EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);

	// Meanwhile the other window goes on handling its messages.
	EXPECT_TRUE(marker->RoundTrip(other));

	Headless::KeyDown(state.id, "\n");
	ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
	EXPECT_EQ(result.get(), 1);
	EXPECT_TRUE(WaitUntil([&] { return !FindAlert(&state); }));

	KitTest::RemoveMarker(other, marker);
	KitTest::QuitWindow(other);
}

TEST(AlertTest, EscapePressesTheOnlyButtonAndClickingPressesAButton)
{
	Watchdog watchdog(30s, "AlertKeys");
	{
		BAlert* alert = new BAlert("", "One way out", "by Ardley");
		std::future<int32> result = GoInBackground(alert);
		Headless::WindowState state;
		ASSERT_TRUE(WaitUntil([&] { return FindAlert(&state); }));
		Headless::KeyDown(state.id, "\x1b");
		ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
		EXPECT_EQ(result.get(), 0);
		ASSERT_TRUE(WaitUntil([&] { return !FindAlert(&state); }));
	}
	{
		// With two buttons Escape is no answer; a click on the left one is.
		BAlert* alert = new BAlert("", "Two ways", "Left", "Right");
		std::future<int32> result = GoInBackground(alert);
		Headless::WindowState state;
		ASSERT_TRUE(WaitUntil([&] { return FindAlert(&state); }));
		Headless::KeyDown(state.id, "\x1b");
		EXPECT_EQ(result.wait_for(200ms), std::future_status::timeout);

		// The buttons sit at the bottom right; find the left one's label by
		// scanning the bottom band for the leftmost button outline.
		std::vector<uint32> pixels;
		int32 width = 0, height = 0;
		ASSERT_TRUE(Headless::Snapshot(state.id, &pixels, &width, &height));
		int32 y = height - 12;
		int32 leftmost = -1;
		for (int32 x = 0; x < width; x++) {
			if ((pixels[size_t(y) * width + x] & 0xffffff) == 0x606060) {
				leftmost = x;
				break;
			}
		}
		ASSERT_GE(leftmost, 0) << "no button outline found";
		Headless::MouseDown(state.id, leftmost + 10, y);
		Headless::MouseUp(state.id, leftmost + 10, y);
		ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
		EXPECT_EQ(result.get(), 0);
		ASSERT_TRUE(WaitUntil([&] { return !FindAlert(&state); }));
	}
}

TEST(AlertTest, ClosingTheAlertCountsAsItsLastButton)
{
	Watchdog watchdog(30s, "AlertClose");
	BAlert* alert = new BAlert("", "Close me", "A", "B", "C");
	std::future<int32> result = GoInBackground(alert);
	Headless::WindowState state;
	ASSERT_TRUE(WaitUntil([&] { return FindAlert(&state); }));
	Headless::CloseRequested(state.id);
	ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
	EXPECT_EQ(result.get(), 2);
	EXPECT_TRUE(WaitUntil([&] { return !FindAlert(&state); }));
}

TEST(AlertTest, TheAlertIsCentredAndGrowsWithItsText)
{
	Watchdog watchdog(30s, "AlertLayout");
	BAlert* shortAlert = new BAlert("", "Short", "OK");
	BAlert* longAlert = new BAlert("", "Belvo v0.6 10/05/01\nBased on Kesto "
		"v1.0 2/25/01 and a good many more words that cannot possibly fit "
		"on one line of an alert of the usual width", "OK");
	BRect screen = BPrivate::Display::Default()->ScreenFrame();
	for (BAlert* alert : { shortAlert, longAlert }) {
		BRect frame = alert->Frame();
		EXPECT_NEAR((frame.left + frame.right) / 2,
			(screen.left + screen.right) / 2, 1);
		EXPECT_TRUE(screen.Contains(frame));
	}
	EXPECT_GT(longAlert->Frame().Height(), shortAlert->Frame().Height() + 20);
	EXPECT_EQ(longAlert->Frame().Width(), shortAlert->Frame().Width());
	KitTest::QuitWindow(shortAlert);
	KitTest::QuitWindow(longAlert);
}

// A screen reader reads the alert's text line by line and its buttons, the
// default one (the rightmost) marked so, and "click" presses a button.
TEST(AlertTest, AScreenReaderReadsTheAlertAndClicksItsButton)
{
	Watchdog watchdog(30s, "AlertAccessible");
	using namespace BPrivate;
	BAlert* alert = new BAlert("", "Line one\nLine two", "Cancel", "OK");
	std::shared_ptr<AccessibleSnapshot> snapshot
		= AccessibleViews::Snapshot(alert);
	ASSERT_EQ(snapshot->nodes.size(), 5u);
	EXPECT_EQ(snapshot->nodes[0].role, kRoleAlert);
	EXPECT_FALSE(snapshot->nodes[0].name.empty())
		<< "an alert without a title is named as its window is captioned";
	const char* const kSaid[] = { "Line one", "Line two", "Cancel", "OK" };
	const uint32 kRoles[] = { kRoleLabel, kRoleLabel, kRolePushButton,
		kRolePushButton };
	for (int32 i = 0; i < 4; i++) {
		EXPECT_EQ(snapshot->nodes[i + 1].role, kRoles[i]);
		EXPECT_EQ(snapshot->nodes[i + 1].name, kSaid[i]);
		EXPECT_EQ(snapshot->nodes[i + 1].parent, 0);
	}
	EXPECT_EQ(snapshot->nodes[3].states & StateBit(kStateIsDefault), 0u);
	EXPECT_NE(snapshot->nodes[4].states & StateBit(kStateIsDefault), 0u);

	std::future<int32> result = GoInBackground(alert);
	Headless::WindowState state;
	ASSERT_TRUE(WaitUntil([&] { return FindAlert(&state); }));
	BMessage click(kMsgAccessibleAction);
	click.AddInt32("node", 3);
	click.AddInt32("action", 0);
	alert->PostMessage(&click);
	ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
	EXPECT_EQ(result.get(), 0) << "\"click\" on Cancel presses it";
	EXPECT_TRUE(WaitUntil([&] { return !FindAlert(&state); }));
}
