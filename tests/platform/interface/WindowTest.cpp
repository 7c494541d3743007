/*
 * Windows and views on the headless display: which thread runs which hook,
 * the close flow, input routing, focus and the first click.
 */
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include <AppDefs.h>
#include <Bitmap.h>
#include <Message.h>
#include <View.h>
#include <Window.h>

#include "../../support/KitTest.h"
#include "../../support/Watchdog.h"

using namespace std::chrono_literals;
using BPrivate::DisplayIdOf;
namespace Headless = BPrivate::Headless;
using BPrivate::PixelScale;

namespace {

struct Record {
	std::mutex lock;
	std::thread::id attachedOn;
	bool attachedBeforeShow = false;
	std::thread::id messageOn;
	std::thread::id destroyedOn;
	bool destroyed = false;
	std::vector<std::string> events;

	void Add(const std::string& event)
	{
		std::lock_guard<std::mutex> guard(lock);
		events.push_back(event);
	}
	std::vector<std::string> Events()
	{
		std::lock_guard<std::mutex> guard(lock);
		return events;
	}
};

class RecordingView : public BView {
public:
	RecordingView(BRect frame, const char* name, Record* record,
		uint32 flags = B_WILL_DRAW)
		:
		BView(frame, name, B_FOLLOW_LEFT | B_FOLLOW_TOP, flags),
		fRecord(record)
	{
	}

	~RecordingView() override
	{
		std::lock_guard<std::mutex> guard(fRecord->lock);
		fRecord->destroyedOn = std::this_thread::get_id();
		fRecord->destroyed = true;
	}

	void AttachedToWindow() override
	{
		fRecord->attachedOn = std::this_thread::get_id();
		fRecord->attachedBeforeShow = Window()->IsHidden();
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == 'ping') {
			std::lock_guard<std::mutex> guard(fRecord->lock);
			fRecord->messageOn = std::this_thread::get_id();
			fRecord->events.push_back(std::string(Name()) + " ping");
			return;
		}
		BView::MessageReceived(message);
	}

	void MouseDown(BPoint where) override
	{
		fRecord->Add(std::string(Name()) + " down "
			+ std::to_string(int(where.x)) + "," + std::to_string(int(where.y)));
	}

	void MouseUp(BPoint where) override
	{
		fRecord->Add(std::string(Name()) + " up "
			+ std::to_string(int(where.x)) + "," + std::to_string(int(where.y)));
	}

	void KeyDown(const char* bytes, int32 numBytes) override
	{
		fRecord->Add(std::string(Name()) + " key "
			+ std::string(bytes, numBytes));
	}

	void MakeFocus(bool focus) override
	{
		BView::MakeFocus(focus);
		if (focus)
			fRecord->Add(std::string(Name()) + " focus");
	}

private:
	Record* fRecord;
};

BWindow*
NewWindow(const char* title, uint32 flags = B_NOT_RESIZABLE)
{
	return new BWindow(BRect(100, 100, 230, 170), title, B_TITLED_WINDOW,
		flags);
}

bool
WaitUntil(const std::function<bool()>& condition)
{
	for (int i = 0; i < 1000; i++) {
		if (condition())
			return true;
		std::this_thread::sleep_for(5ms);
	}
	return condition();
}

} // namespace

// At scale 2 the window is twice as large on the display, at twice the
// position, and the pointer comes back in the window's own pixels; to the
// program nothing changes. At 1.5 the window's 131 pixels are 197 device
// pixels (rounded, halves away from zero), the pixels alternately one and
// two device pixels wide, and the icon is blown up by the next whole factor.
class ScaledWindowTest : public testing::TestWithParam<PixelScale> {
protected:
	void SetUp() override { Headless::SetScale(GetParam()); }
	void TearDown() override { Headless::SetScale(1); }
};
INSTANTIATE_TEST_SUITE_P(Scales, ScaledWindowTest, testing::Values(
	PixelScale(1), PixelScale(2), PixelScale::FromUnits(180)),
	[](const testing::TestParamInfo<PixelScale>& info) {
		return "Percent" + std::to_string(info.param.Units() * 100
			/ PixelScale::kUnit);
	});

TEST_P(ScaledWindowTest, FrameIsInclusiveAndBoundsStartAtZero)
{
	PixelScale scale = GetParam();
	BWindow* window = NewWindow("geometry");
	EXPECT_EQ(window->Bounds(), BRect(0, 0, 130, 70));
	EXPECT_EQ(window->Frame(), BRect(100, 100, 230, 170));
	Headless::Sync();
	Headless::WindowState state;
	ASSERT_TRUE(Headless::FindWindow("geometry", &state));
	EXPECT_FALSE(state.resizable);
	EXPECT_FALSE(state.visible) << "a window is hidden until Show()";
	int32 origin = scale.Start(100);
	EXPECT_EQ(state.frame, BRect(origin, origin,
		origin + scale.Length(131) - 1, origin + scale.Length(71) - 1));
	std::vector<uint32> pixels;
	int32 width = 0, height = 0;
	ASSERT_TRUE(Headless::Snapshot(state.id, &pixels, &width, &height));
	EXPECT_EQ(width, scale.Length(131));
	EXPECT_EQ(height, scale.Length(71));

	// Every device pixel shows the window, the last row and column too.
	BView* red = new BView(window->Bounds(), "red", B_FOLLOW_ALL_SIDES, 0);
	red->SetViewColor(255, 0, 0);
	window->AddChild(red);
	KitTest::Marker* marker = KitTest::AddMarker(window);
	window->Show();
	KitTest::Settle(window, marker);
	ASSERT_TRUE(Headless::Snapshot(state.id, &pixels, &width, &height));
	EXPECT_EQ(std::count_if(pixels.begin(), pixels.end(), [](uint32 pixel) {
		return (pixel & 0x00ffffff) != 0xff0000;
	}), 0);
	KitTest::RemoveMarker(window, marker);
	KitTest::QuitWindow(window);
	Headless::Sync();
	EXPECT_FALSE(Headless::FindWindow("geometry", nullptr));
}

TEST(WindowTest, AttachedToWindowRunsAtOnceOnTheCallingThread)
{
	Watchdog watchdog(20s, "AttachedToWindowRunsAtOnceOnTheCallingThread");
	Record record;
	BWindow* window = NewWindow("attach");
	window->AddChild(new RecordingView(BRect(0, 0, 10, 10), "v", &record));
	EXPECT_EQ(record.attachedOn, std::this_thread::get_id());
	EXPECT_TRUE(record.attachedBeforeShow);

	KitTest::Marker* marker = KitTest::AddMarker(window);
	window->Show();
	Headless::Sync();
	Headless::WindowState state;
	ASSERT_TRUE(Headless::FindWindow("attach", &state));
	EXPECT_TRUE(state.visible);

	// Messages to the view are handled on the window's own thread.
	BMessage ping('ping');
	ASSERT_EQ(window->PostMessage(&ping, window->FindView("v")), B_OK);
	KitTest::Settle(window, marker);
	{
		std::lock_guard<std::mutex> guard(record.lock);
		EXPECT_NE(record.messageOn, std::thread::id());
		EXPECT_NE(record.messageOn, std::this_thread::get_id());
	}
	KitTest::RemoveMarker(window, marker);
	KitTest::QuitWindow(window);
	EXPECT_TRUE(record.destroyed);
}

TEST(WindowTest, CloseFromTheWindowManagerDestroysTheViewsOnTheWindowThread)
{
	Watchdog watchdog(20s, "CloseFromTheWindowManager");
	Record record;
	BWindow* window = NewWindow("close");
	window->AddChild(new RecordingView(BRect(0, 0, 10, 10), "v", &record));
	window->Show();
	Headless::Sync();
	Headless::CloseRequested(DisplayIdOf(window));
	ASSERT_TRUE(WaitUntil([&] {
		std::lock_guard<std::mutex> guard(record.lock);
		return record.destroyed;
	}));
	{
		std::lock_guard<std::mutex> guard(record.lock);
		EXPECT_NE(record.destroyedOn, std::this_thread::get_id());
	}
	EXPECT_TRUE(WaitUntil([] {
		Headless::Sync();
		return !Headless::FindWindow("close", nullptr);
	}));
}

class RefusingWindow : public BWindow {
public:
	RefusingWindow() : BWindow(BRect(0, 0, 50, 50), "refusing",
		B_TITLED_WINDOW, 0) {}
	bool QuitRequested() override
	{
		asked++;
		return false;
	}
	std::atomic<int> asked{ 0 };
};

TEST(WindowTest, AWindowThatRefusesToQuitStays)
{
	Watchdog watchdog(20s, "AWindowThatRefusesToQuitStays");
	RefusingWindow* window = new RefusingWindow;
	KitTest::Marker* marker = KitTest::AddMarker(window);
	window->Show();
	Headless::Sync();
	Headless::CloseRequested(DisplayIdOf(window));
	KitTest::Settle(window, marker);
	EXPECT_EQ(window->asked.load(), 1);
	EXPECT_TRUE(Headless::FindWindow("refusing", nullptr));
	KitTest::RemoveMarker(window, marker);
	KitTest::QuitWindow(window);
}

TEST_P(ScaledWindowTest,
	MouseGoesToTheTopmostViewUnderThePointerInItsCoordinates)
{
	Watchdog watchdog(20s, "MouseRouting");
	// Presses land on the first device pixel of the window's pixel,
	// releases on its last.
	PixelScale scale = GetParam();
	auto first = [scale](int32 x) { return float(scale.Start(x)); };
	auto last = [scale](int32 x) { return float(scale.Start(x + 1) - 1); };
	Record record;
	BWindow* window = NewWindow("mouse", B_NOT_RESIZABLE
		| B_WILL_ACCEPT_FIRST_CLICK);
	BView* parent = new RecordingView(BRect(10, 10, 100, 60), "parent",
		&record);
	window->AddChild(parent);
	parent->AddChild(new RecordingView(BRect(5, 5, 30, 20), "lower",
		&record));
	parent->AddChild(new RecordingView(BRect(20, 5, 40, 20), "upper",
		&record));
	KitTest::Marker* marker = KitTest::AddMarker(window);
	window->Show();
	KitTest::Settle(window, marker);

	uint32 id = DisplayIdOf(window);
	Headless::MouseDown(id, first(12), first(12));   // parent only
	Headless::MouseUp(id, last(12), last(12));
	// Where lower and upper overlap.
	Headless::MouseDown(id, first(35), first(20));
	// Released far outside: still upper.
	Headless::MouseUp(id, last(200), last(200));
	Headless::MouseDown(id, first(16), first(16));   // lower alone
	Headless::MouseUp(id, last(16), last(16));
	KitTest::Settle(window, marker);

	std::vector<std::string> expected = { "parent down 2,2", "parent up 2,2",
		"upper down 5,5", "upper up 170,185", "lower down 1,1",
		"lower up 1,1" };
	EXPECT_EQ(record.Events(), expected);
	KitTest::RemoveMarker(window, marker);
	KitTest::QuitWindow(window);
}

TEST(WindowTest, FirstClickIntoAnInactiveWindowActsOnlyWhenTheWindowAcceptsIt)
{
	Watchdog watchdog(20s, "FirstClick");
	for (bool accepts : { false, true }) {
		Record record;
		BWindow* window = NewWindow(accepts ? "accepts" : "refuses",
			B_NOT_RESIZABLE | (accepts ? B_WILL_ACCEPT_FIRST_CLICK : 0));
		window->AddChild(new RecordingView(BRect(0, 0, 50, 50), "v",
			&record));
		KitTest::Marker* marker = KitTest::AddMarker(window);
		window->Show();
		KitTest::Settle(window, marker);
		uint32 id = DisplayIdOf(window);
		Headless::Activate(id, false);
		KitTest::Settle(window, marker);
		EXPECT_FALSE(window->IsActive());

		Headless::MouseDown(id, 5, 5);
		Headless::MouseUp(id, 5, 5);
		KitTest::Settle(window, marker);
		std::vector<std::string> events = record.Events();
		if (accepts) {
			EXPECT_EQ(events, (std::vector<std::string>{ "v down 5,5",
				"v up 5,5" }));
		} else {
			EXPECT_TRUE(std::find(events.begin(), events.end(), "v down 5,5")
				== events.end()) << "the activating click reached the view";
		}
		Headless::WindowState state;
		ASSERT_TRUE(Headless::FindWindow(window->Title(), &state));
		EXPECT_GE(state.raised, accepts ? 0 : 1)
			<< "the first click must bring the window forward";
		KitTest::RemoveMarker(window, marker);
		KitTest::QuitWindow(window);
	}
}

TEST(WindowTest, TabMovesTheFocusBetweenNavigableViewsAndKeysGoToTheFocus)
{
	Watchdog watchdog(20s, "TabNavigation");
	Record record;
	BWindow* window = NewWindow("focus");
	window->AddChild(new RecordingView(BRect(0, 0, 10, 10), "first", &record,
		B_WILL_DRAW | B_NAVIGABLE));
	window->AddChild(new RecordingView(BRect(20, 0, 30, 10), "plain",
		&record));
	window->AddChild(new RecordingView(BRect(40, 0, 50, 10), "second",
		&record, B_WILL_DRAW | B_NAVIGABLE));
	KitTest::Marker* marker = KitTest::AddMarker(window);
	window->Show();
	KitTest::Settle(window, marker);
	uint32 id = DisplayIdOf(window);

	Headless::KeyDown(id, "x");          // no focus yet: nobody gets it
	Headless::KeyDown(id, "\t");
	Headless::KeyDown(id, "a");
	Headless::KeyDown(id, "\t");
	Headless::KeyDown(id, "b");
	Headless::KeyDown(id, "\t");         // wraps to the first
	Headless::KeyDown(id, "\t", B_SHIFT_KEY);  // and back to the second
	Headless::KeyDown(id, "c");
	KitTest::Settle(window, marker);

	std::vector<std::string> expected = { "first focus", "first key a",
		"second focus", "second key b", "first focus", "second focus",
		"second key c" };
	EXPECT_EQ(record.Events(), expected);
	window->Lock();
	EXPECT_EQ(window->CurrentFocus(), window->FindView("second"));
	window->Unlock();
	KitTest::RemoveMarker(window, marker);
	KitTest::QuitWindow(window);
}

TEST(WindowTest, PostingToABusyWindowDoesNotWait)
{
	Watchdog watchdog(20s, "PostingToABusyWindowDoesNotWait");
	BWindow* window = NewWindow("busy");
	window->Show();
	// Hold the window's lock, as a long handler would; posting must still
	// return at once.
	ASSERT_TRUE(window->Lock());
	std::atomic<bool> posted{ false };
	std::thread poster([&] {
		for (int i = 0; i < 100; i++)
			window->PostMessage('noop');
		posted = true;
	});
	EXPECT_TRUE(WaitUntil([&] { return posted.load(); }));
	poster.join();
	window->Quit();
}

TEST_P(ScaledWindowTest, TheIconIsBlownUpWithTheWindow)
{
	BWindow* window = NewWindow("icon");
	BBitmap icon(BRect(0, 0, 31, 31), B_RGB32);
	ASSERT_TRUE(icon.IsValid());
	window->SetIcon(&icon);
	Headless::Sync();
	Headless::WindowState state;
	ASSERT_TRUE(Headless::FindWindow("icon", &state));
	EXPECT_EQ(state.iconWidth, 32 * GetParam().Ceiling());
	KitTest::QuitWindow(window);
}

TEST(WindowTest, TitleAndIconReachTheDisplay)
{
	BWindow* window = NewWindow("before");
	window->SetTitle("after");
	Headless::Sync();
	EXPECT_TRUE(Headless::FindWindow("after", nullptr));
	EXPECT_FALSE(Headless::FindWindow("before", nullptr));
	KitTest::QuitWindow(window);
}
