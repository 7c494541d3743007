// The application object: its loop on the calling thread, its hooks, and
// quitting through the windows, with loopers standing in for windows the
// way real windows register themselves.

#include <Application.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <Message.h>

#include "../../support/Watchdog.h"
#include "AppTestSupport.h"
#include <private/WindowRegistry.h>

namespace {

using namespace std::chrono_literals;
using BPrivate::WindowRegistry;

const char* const kSignature = "application/x-vnd.Vantry.Kesto";
const uint32 kPing = 'ping';

struct Event {
	uint32 what;
	thread_id thread;
};

class TestApp : public BApplication {
public:
	TestApp() : BApplication(kSignature) {}

	void ReadyToRun() override
	{
		fEvents.Add({B_READY_TO_RUN, gettid()});
	}

	void AboutRequested() override
	{
		fEvents.Add({B_ABOUT_REQUESTED, gettid()});
		PostMessage(B_QUIT_REQUESTED);
	}

	void MessageReceived(BMessage* message) override
	{
		fEvents.Add({message->what, gettid()});
		if (message->what == 'quit')
			PostMessage(B_QUIT_REQUESTED);
		BApplication::MessageReceived(message);
	}

	Log<Event> fEvents;
};

struct WindowFate {
	Gate destroyed;
	std::atomic<thread_id> destroyedOn{-1};
	Log<thread_id> asks;
};

// Registers itself like a window and leaves the registry as it is destroyed.
class FakeWindow : public BLooper {
public:
	FakeWindow(WindowFate* fate, bool agree = true)
		:
		BLooper("fake window"),
		fAgree(agree),
		fFate(fate)
	{
		WindowRegistry::Add(this);
	}

	~FakeWindow() override
	{
		fFate->destroyedOn = gettid();
		fFate->destroyed.Open();
		WindowRegistry::Remove(this);
	}

	bool QuitRequested() override
	{
		// Decided before the ask is logged: a test that changes its mind on
		// seeing the ask means the next one.
		bool agree = fAgree.load();
		fFate->asks.Add(gettid());
		return agree;
	}

	std::atomic<bool> fAgree;

private:
	WindowFate* fFate;
};

// Posts kPing to the application and waits until its loop has handled it:
// proof that the loop is still running.
void
PingApplication(TestApp& app)
{
	size_t before = app.fEvents.Count();
	ASSERT_EQ(app.PostMessage(kPing), B_OK);
	app.fEvents.WaitFor(before + 1);
}

bool
IsBlocked(int signal)
{
	sigset_t current;
	pthread_sigmask(SIG_BLOCK, NULL, &current);
	return sigismember(&current, signal) == 1;
}

TEST(ApplicationTest, AQuitRequestWithNoWindowsEndsRunAtOnce)
{
	Watchdog watchdog(30s, "AQuitRequestWithNoWindowsEndsRunAtOnce");
	ASSERT_EQ(be_app, nullptr);
	{
		BApplication app(kSignature);
		ASSERT_EQ(app.InitCheck(), B_OK);
		EXPECT_EQ(be_app, &app);
		EXPECT_STREQ(app.Signature(), kSignature);
		EXPECT_EQ(app.Thread(), B_ERROR);

		ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
		EXPECT_EQ(app.Run(), gettid());
		EXPECT_EQ(app.Thread(), gettid());
		// Over for good.
		EXPECT_EQ(app.PostMessage(kPing), B_BAD_PORT_ID);
		EXPECT_EQ(app.Run(), B_ALREADY_RUNNING);
	}
	EXPECT_EQ(be_app, nullptr);
}

TEST(ApplicationTest, ReadyToRunComesOnceOnTheAppThreadBeforeAnyMessage)
{
	Watchdog watchdog(30s, "ReadyToRunComesOnce");
	TestApp app;
	ASSERT_EQ(app.PostMessage(kPing), B_OK);
	ASSERT_EQ(app.PostMessage(B_READY_TO_RUN), B_OK);
	ASSERT_EQ(app.PostMessage('quit'), B_OK);
	app.Run();

	std::vector<Event> events = app.fEvents.Values();
	ASSERT_EQ(events.size(), 3u);
	EXPECT_EQ(events[0].what, uint32(B_READY_TO_RUN));
	EXPECT_EQ(events[1].what, kPing);
	EXPECT_EQ(events[2].what, uint32('quit'));
	for (const Event& event : events)
		EXPECT_EQ(event.thread, gettid());
}

TEST(ApplicationTest, AboutRequestedRunsOnTheAppThread)
{
	Watchdog watchdog(30s, "AboutRequestedRunsOnTheAppThread");
	TestApp app;
	std::thread sender([] {
		ASSERT_NE(be_app, nullptr);
		EXPECT_EQ(be_app->PostMessage(B_ABOUT_REQUESTED), B_OK);
	});
	app.Run();
	sender.join();

	std::vector<Event> events = app.fEvents.Values();
	ASSERT_EQ(events.size(), 2u);
	EXPECT_EQ(events[1].what, uint32(B_ABOUT_REQUESTED));
	EXPECT_EQ(events[1].thread, gettid());
}

TEST(ApplicationTest, TheBaseHooksDoNothingHarmful)
{
	Watchdog watchdog(30s, "TheBaseHooksDoNothingHarmful");
	BApplication app(kSignature);
	BMessage custom('cstm');
	custom.AddInt16("freq", 440);
	ASSERT_EQ(app.PostMessage(&custom), B_OK);
	ASSERT_EQ(app.PostMessage(B_ABOUT_REQUESTED), B_OK);
	ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
	EXPECT_EQ(app.Run(), gettid());
}

TEST(ApplicationTest, RunReturnsOnlyAfterEveryRunningWindowIsGone)
{
	Watchdog watchdog(30s, "RunReturnsOnlyAfterEveryRunningWindowIsGone");
	TestApp app;
	WindowFate fates[3];
	thread_id threads[3];
	for (int i = 0; i < 3; i++)
		threads[i] = (new FakeWindow(&fates[i]))->Run();
	EXPECT_EQ(WindowRegistry::Count(), 3);

	ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
	app.Run();

	EXPECT_EQ(WindowRegistry::Count(), 0);
	for (int i = 0; i < 3; i++) {
		EXPECT_TRUE(fates[i].destroyed.IsOpen());
		// Asked and destroyed on the window's own thread.
		std::vector<thread_id> asks = fates[i].asks.Values();
		ASSERT_EQ(asks.size(), 1u);
		EXPECT_EQ(asks[0], threads[i]);
		EXPECT_EQ(fates[i].destroyedOn.load(), threads[i]);
	}
}

TEST(ApplicationTest, ARefusingWindowKeepsTheApplicationRunningUntilAskedAgain)
{
	Watchdog watchdog(30s, "ARefusingWindowKeepsTheApplicationRunning");
	TestApp app;
	WindowFate stubbornFate;
	WindowFate willingFate;
	FakeWindow* stubborn = new FakeWindow(&stubbornFate, false);
	stubborn->Run();
	(new FakeWindow(&willingFate))->Run();

	std::thread driver([&] {
		ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
		stubbornFate.asks.WaitFor(1);
		willingFate.destroyed.Wait();
		// (A window leaves the registry at the very end of its destructor,
		// just after the gate opens.)
		while (WindowRegistry::Count() != 1)
			std::this_thread::sleep_for(1ms);

		// The willing window is gone, the stubborn one stays, and the
		// application is still handling messages.
		PingApplication(app);
		EXPECT_TRUE(WindowRegistry::IsListed(stubborn));
		EXPECT_FALSE(stubbornFate.destroyed.IsOpen());

		stubborn->fAgree = true;
		ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
	});
	app.Run();
	driver.join();

	EXPECT_TRUE(stubbornFate.destroyed.IsOpen());
	EXPECT_EQ(stubbornFate.asks.Count(), 2u);
	EXPECT_EQ(willingFate.asks.Count(), 1u);
	EXPECT_EQ(WindowRegistry::Count(), 0);
}

TEST(ApplicationTest, AfterARefusalTheLastWindowClosingEndsTheApplication)
{
	Watchdog watchdog(30s, "AfterARefusalTheLastWindowClosing");
	TestApp app;
	WindowFate fate;
	FakeWindow* window = new FakeWindow(&fate, false);
	window->Run();

	std::thread driver([&] {
		ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
		fate.asks.WaitFor(1);
		PingApplication(app);
		// The user closes the window later; the quit asked for before still
		// holds once nothing is left open.
		window->fAgree = true;
		ASSERT_EQ(window->PostMessage(B_QUIT_REQUESTED), B_OK);
	});
	app.Run();
	driver.join();
	EXPECT_TRUE(fate.destroyed.IsOpen());
	EXPECT_EQ(WindowRegistry::Count(), 0);
}

TEST(ApplicationTest, AWindowThatNeverRanIsAskedOnTheAppThread)
{
	Watchdog watchdog(30s, "AWindowThatNeverRanIsAskedOnTheAppThread");
	TestApp app;
	WindowFate hiddenFate;
	WindowFate stubbornFate;
	new FakeWindow(&hiddenFate);
	FakeWindow* stubborn = new FakeWindow(&stubbornFate, false);

	std::thread driver([&] {
		ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
		stubbornFate.asks.WaitFor(1);
		PingApplication(app);
		// Asked with its lock held, and let go of after refusing.
		EXPECT_EQ(stubborn->LockWithTimeout(0), B_OK);
		stubborn->fAgree = true;
		stubborn->Unlock();
		ASSERT_EQ(app.PostMessage(B_QUIT_REQUESTED), B_OK);
	});
	app.Run();
	driver.join();

	ASSERT_EQ(hiddenFate.asks.Count(), 1u);
	EXPECT_EQ(hiddenFate.asks.Values()[0], gettid());
	EXPECT_EQ(hiddenFate.destroyedOn.load(), gettid());
	EXPECT_EQ(stubbornFate.asks.Values()[0], gettid());
	EXPECT_EQ(stubbornFate.destroyedOn.load(), gettid());
	EXPECT_EQ(WindowRegistry::Count(), 0);
}

// Quits the way the program's main window does: it tells the application
// and lets itself close.
class ClosingWindow : public FakeWindow {
public:
	ClosingWindow(WindowFate* fate) : FakeWindow(fate) {}

	bool QuitRequested() override
	{
		FakeWindow::QuitRequested();
		be_app->PostMessage(B_QUIT_REQUESTED);
		return true;
	}
};

TEST(ApplicationTest, ClosingTheOnlyWindowEndsTheProgram)
{
	Watchdog watchdog(60s, "ClosingTheOnlyWindowEndsTheProgram");
	// Over and over, since the window's end and the application's quit
	// handling race each other.
	for (int round = 0; round < 25; round++) {
		WindowFate fate;
		{
			BApplication app(kSignature);
			ASSERT_EQ(app.InitCheck(), B_OK);
			ClosingWindow* window = new ClosingWindow(&fate);
			window->Run();
			// The user closes the window.
			ASSERT_EQ(window->PostMessage(B_QUIT_REQUESTED), B_OK);
			app.Run();
			EXPECT_TRUE(fate.destroyed.IsOpen());
			EXPECT_EQ(WindowRegistry::Count(), 0);
		}
	}
}

TEST(ApplicationTest, QuitFromAnotherThreadOrBeforeRunEndsRun)
{
	Watchdog watchdog(30s, "QuitFromAnotherThreadOrBeforeRunEndsRun");
	{
		TestApp app;
		std::thread quitter([&app] {
			PingApplication(app);
			app.Quit();
		});
		EXPECT_EQ(app.Run(), gettid());
		quitter.join();
	}
	{
		BApplication app(kSignature);
		app.Quit();
		EXPECT_EQ(app.Run(), gettid());
	}
}

TEST(ApplicationTest, ASecondApplicationIsRefused)
{
	Watchdog watchdog(30s, "ASecondApplicationIsRefused");
	BApplication first(kSignature);
	ASSERT_EQ(first.InitCheck(), B_OK);

	testing::internal::CaptureStderr();
	status_t error = B_OK;
	BApplication* second = new BApplication("application/x-vnd.Other",
		&error);
	std::string complaint = testing::internal::GetCapturedStderr();
	EXPECT_EQ(error, B_ALREADY_RUNNING);
	EXPECT_EQ(second->InitCheck(), B_ALREADY_RUNNING);
	EXPECT_EQ(be_app, &first);
	EXPECT_LT(second->Run(), 0);
	// One line, and nothing else.
	ASSERT_FALSE(complaint.empty());
	EXPECT_EQ(complaint.find('\n'), complaint.size() - 1);
	delete second;
	EXPECT_EQ(be_app, &first);

	ASSERT_EQ(first.PostMessage(B_QUIT_REQUESTED), B_OK);
	EXPECT_EQ(first.Run(), gettid());
}

TEST(ApplicationTest, ABadSignatureIsRefused)
{
	const char* bad[] = {NULL, "", "application/", "text/plain",
		"x-vnd.Vantry.Kesto", "application/x vnd", "application/a/b"};
	for (const char* signature : bad) {
		testing::internal::CaptureStderr();
		BApplication app(signature);
		std::string complaint = testing::internal::GetCapturedStderr();
		EXPECT_EQ(app.InitCheck(), B_BAD_VALUE) << (signature ? signature : "NULL");
		EXPECT_EQ(be_app, nullptr);
		EXPECT_LT(app.Run(), 0);
		EXPECT_FALSE(complaint.empty());
	}
	BApplication upper("APPLICATION/x-vnd.Vantry.Kesto");
	EXPECT_EQ(upper.InitCheck(), B_OK);
}

TEST(ApplicationTest, SigtermEndsRunThroughTheWindows)
{
	bool wasBlocked = IsBlocked(SIGTERM);
	{
		TestApp app;
		ASSERT_EQ(app.InitCheck(), B_OK);
		// Started after the application, so it inherits the blocked
		// signals and the kernel cannot hand SIGTERM to it.
		Watchdog watchdog(30s, "SigtermEndsRunThroughTheWindows");
		EXPECT_TRUE(IsBlocked(SIGTERM));
		EXPECT_TRUE(IsBlocked(SIGINT));

		WindowFate fate;
		thread_id windowThread = (new FakeWindow(&fate))->Run();
		ASSERT_EQ(kill(getpid(), SIGTERM), 0);
		app.Run();
		EXPECT_TRUE(fate.destroyed.IsOpen());
		ASSERT_EQ(fate.asks.Count(), 1u);
		EXPECT_EQ(fate.asks.Values()[0], windowThread);
	}
	EXPECT_EQ(IsBlocked(SIGTERM), wasBlocked);
}

TEST(ApplicationTest, SigintEndsRunWhileItIsRunning)
{
	bool wasBlocked = IsBlocked(SIGINT);
	{
		TestApp app;
		Watchdog watchdog(30s, "SigintEndsRunWhileItIsRunning");
		std::thread sender([&app] {
			PingApplication(app);
			kill(getpid(), SIGINT);
		});
		EXPECT_EQ(app.Run(), gettid());
		sender.join();
	}
	EXPECT_EQ(IsBlocked(SIGINT), wasBlocked);
}

TEST(ApplicationTest, AWindowOutlivingTheApplicationCanStillGo)
{
	WindowFate fate;
	FakeWindow* window;
	{
		BApplication app(kSignature);
		window = new FakeWindow(&fate);
	}
	EXPECT_EQ(be_app, nullptr);
	EXPECT_EQ(WindowRegistry::Count(), 1);
	window->Lock();
	window->Quit();
	EXPECT_TRUE(fate.destroyed.IsOpen());
	EXPECT_EQ(WindowRegistry::Count(), 0);
}

TEST(ApplicationTest, WithoutADisplayItDoesNotRunAndTheProcessGoesOn)
{
	Watchdog watchdog(30s, "WithoutADisplayItDoesNotRunAndTheProcessGoesOn");
	// The window system's back end, with no window system to reach.
	setenv("BELVO_DISPLAY", "window-system", 1);
	unsetenv("DISPLAY");
	unsetenv("WAYLAND_DISPLAY");
	testing::internal::CaptureStderr();
	status_t error = B_OK;
	{
		BApplication app(kSignature, &error);
		EXPECT_EQ(app.InitCheck(), B_ERROR);
		EXPECT_EQ(be_app, nullptr);
		EXPECT_EQ(app.Run(), B_ERROR);
	}
	std::string complaint = testing::internal::GetCapturedStderr();
	EXPECT_EQ(error, B_ERROR);
	ASSERT_FALSE(complaint.empty());
	EXPECT_EQ(complaint.find('\n'), complaint.size() - 1) << complaint;

	// Nothing of the failed one is left in the way of the next.
	setenv("BELVO_DISPLAY", "headless", 1);
	BApplication next(kSignature);
	EXPECT_EQ(next.InitCheck(), B_OK);
	EXPECT_EQ(be_app, &next);
}

} // namespace
