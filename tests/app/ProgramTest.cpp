/*
 * The whole program on the headless display, with a sound device that
 * renders only when the test asks: what the window shows at start, what
 * picking from the menus does to the sound, the About alert, and closing.
 */
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <csignal>
#include <unistd.h>

#include <gtest/gtest.h>

#include <MenuField.h>
#include <View.h>
#include <Window.h>
#include <private/AudioDevice.h>
#include <private/Display.h>
#include <private/MenuLook.h>
#include <private/WindowRegistry.h>

#include "KestoApp.h"

#include "../support/KitTest.h"
#include "../support/ManualAudioDevice.h"
#include "../support/Watchdog.h"

using namespace std::chrono_literals;
namespace Headless = BPrivate::Headless;
using KitTest::WaitUntil;

namespace {

struct Sound {
	double peak = 0;
	double frequency = 0;
};

// Renders `seconds` of sound and measures the last half second of it.
Sound
Listen(double seconds)
{
	Sound sound;
	ManualAudioDevice* device = ManualAudioDevice::Current();
	if (device == nullptr)
		return sound;
	std::vector<float> mono;
	int buffers = int(seconds * 44100 / 512);
	for (int i = 0; i < buffers; i++) {
		std::vector<float> buffer = device->Render(512);
		for (size_t frame = 0; frame + 1 < buffer.size(); frame += 2)
			mono.push_back(buffer[frame]);
	}
	size_t from = mono.size() > 22050 ? mono.size() - 22050 : 0;
	int crossings = 0;
	for (size_t i = from; i < mono.size(); i++) {
		sound.peak = std::max(sound.peak, double(std::fabs(mono[i])));
		if (i > from && mono[i - 1] < 0 && mono[i] >= 0)
			crossings++;
	}
	sound.frequency = crossings / ((mono.size() - from) / 44100.0);
	return sound;
}

double
Decibels(double gain)
{
	return 20 * std::log10(std::max(gain, 1e-12));
}

class ProgramTest : public testing::Test {
protected:
	void SetUp() override
	{
		// The program runs once per user; a private runtime directory of the
		// test's own keeps test processes (and a real instance) apart.
		char directory[] = "/tmp/program-test.XXXXXX";
		ASSERT_NE(mkdtemp(directory), nullptr);
		fRuntimeDirectory = directory;
		setenv("XDG_RUNTIME_DIR", directory, 1);
		// The clicks below are at scale 1's pixels, whatever the desktop
		// running the tests says.
		unsetenv("GDK_SCALE");
		fPreviousFactory = BPrivate::SetAudioDeviceFactory(
			&ManualAudioDevice::Create);
		fApp = new KestoApp;
		fRun = std::thread([this] { fApp->Run(); fRunReturned = true; });
		ASSERT_TRUE(WaitUntil([this] {
			return Headless::FindWindow("Belvo v0.6", &fState)
				&& fState.visible;
		}));
		fWindow = nullptr;
		for (const BMessenger& messenger : BPrivate::WindowRegistry::Windows()) {
			BLooper* looper = nullptr;
			messenger.Target(&looper);
			if (BWindow* window = dynamic_cast<BWindow*>(looper))
				fWindow = window;
		}
		ASSERT_NE(fWindow, nullptr);
		fWindow->Lock();
		BView* view = fWindow->ChildAt(0);
		fVolume = dynamic_cast<BMenuField*>(view->ChildAt(0));
		fNote = dynamic_cast<BMenuField*>(view->ChildAt(1));
		fWindow->Unlock();
		ASSERT_NE(fVolume, nullptr);
		ASSERT_NE(fNote, nullptr);
		fRowHeight = BPrivate::MenuRowHeight(*be_plain_font);
	}

	void TearDown() override
	{
		if (!fRunReturned) {
			Headless::CloseRequested(fState.id);
			EXPECT_TRUE(WaitUntil([this] { return fRunReturned.load(); }));
		}
		fRun.join();
		delete fApp;
		BPrivate::SetAudioDeviceFactory(fPreviousFactory);
		EXPECT_EQ(rmdir(fRuntimeDirectory.c_str()), 0)
			<< "the single-launch socket was left behind";
	}

	std::string Shown(BMenuField* field)
	{
		fWindow->Lock();
		std::string shown = field->ShownLabel();
		fWindow->Unlock();
		return shown;
	}

	// Picks the item at `index` by clicking the field, then the item.
	void Pick(BMenuField* field, int32 index)
	{
		float y = field == fVolume ? 15 : 45;
		Headless::MouseDown(fState.id, 55, y);
		Headless::MouseUp(fState.id, 55, y);
		Headless::WindowState popup;
		ASSERT_TRUE(WaitUntil([&] { return Headless::FindPopup(&popup); }));
		float rowY = 2 + index * fRowHeight + fRowHeight / 2;
		Headless::MouseDown(popup.id, 20, rowY);
		Headless::MouseUp(popup.id, 20, rowY);
		ASSERT_TRUE(WaitUntil([] { return !Headless::FindPopup(nullptr); }));
		// The choice reaches the engine on the window's thread.
		KitTest::Marker* marker = KitTest::AddMarker(fWindow);
		KitTest::Settle(fWindow, marker);
		KitTest::RemoveMarker(fWindow, marker);
	}

	std::string fRuntimeDirectory;
	BPrivate::AudioDeviceFactory fPreviousFactory = nullptr;
	KestoApp* fApp = nullptr;
	std::thread fRun;
	std::atomic<bool> fRunReturned{ false };
	Headless::WindowState fState;
	BWindow* fWindow = nullptr;
	BMenuField* fVolume = nullptr;
	BMenuField* fNote = nullptr;
	float fRowHeight = 0;
};

} // namespace

TEST_F(ProgramTest, StartsMutedAt440WithTheFieldsReadingTheirTitles)
{
	Watchdog watchdog(60s, "ProgramStart");
	EXPECT_EQ(fState.frame, BRect(100, 100, 230, 170));
	EXPECT_FALSE(fState.resizable);
	EXPECT_TRUE(fState.hasIcon);
	EXPECT_EQ(Shown(fVolume), "Mute");
	EXPECT_EQ(Shown(fNote), "A(440)");

	// The background from the resources: the grey strip, white beyond it,
	// and the captions' ink in the strip.
	EXPECT_EQ(KitTest::Pixel(fWindow, 0, 0), KitTest::Rgb(205, 205, 205));
	EXPECT_EQ(KitTest::Pixel(fWindow, 42, 69), KitTest::Rgb(205, 205, 205));
	EXPECT_EQ(KitTest::Pixel(fWindow, 43, 5), KitTest::Rgb(255, 255, 255));
	EXPECT_EQ(KitTest::Pixel(fWindow, 100, 65), KitTest::Rgb(255, 255, 255));
	int ink = 0;
	for (int32 y = 17; y <= 23; y++) {
		for (int32 x = 5; x <= 38; x++)
			ink += (KitTest::Pixel(fWindow, x, y) & 0xff) < 110;
	}
	EXPECT_GT(ink, 20) << "no \"Volume:\" caption";

	Sound sound = Listen(1.0);
	EXPECT_NEAR(sound.frequency, 440, 3);
	EXPECT_LT(Decibels(sound.peak), -119);
}

TEST_F(ProgramTest, PickingDrivesTheTone)
{
	Watchdog watchdog(60s, "ProgramPicks");
	Listen(0.2);
	Pick(fVolume, 0);  // Unity
	EXPECT_EQ(Shown(fVolume), "Unity");
	Sound loud = Listen(3.0);
	EXPECT_GT(Decibels(loud.peak), -0.1);
	EXPECT_NEAR(loud.frequency, 440, 3);

	Pick(fNote, 3);    // D (guitar)
	EXPECT_EQ(Shown(fNote), "D");
	EXPECT_NEAR(Listen(1.0).frequency, 587, 4);

	Pick(fNote, 8);    // Bass: a heading, silence
	EXPECT_EQ(Shown(fNote), "Bass");
	EXPECT_LT(Decibels(Listen(4.0).peak), -60);

	Pick(fVolume, 2);  // -10 dB, still silent
	EXPECT_LT(Decibels(Listen(2.0).peak), -60);

	Pick(fNote, 9);    // E (Bass)
	Sound bass = Listen(4.0);
	EXPECT_NEAR(bass.frequency, 164, 3);
	EXPECT_NEAR(Decibels(bass.peak), -10, 0.3);

	Pick(fNote, 7);    // the empty row
	EXPECT_EQ(Shown(fNote), "");
	EXPECT_LT(Decibels(Listen(4.0).peak), -60);
}

TEST_F(ProgramTest, F1ShowsTheAboutAlertAndClosingEndsTheProgram)
{
	Watchdog watchdog(60s, "ProgramAbout");
	Headless::KeyDown(fState.id, "\x10", 0, B_F1_KEY);
	Headless::WindowState alert;
	auto findAlert = [&] {
		for (const Headless::WindowState& window : Headless::Windows()) {
			if (window.utility && window.visible) {
				alert = window;
				return true;
			}
		}
		return false;
	};
	ASSERT_TRUE(WaitUntil(findAlert));
	Headless::KeyDown(alert.id, "\n");
	EXPECT_TRUE(WaitUntil([&] { return !findAlert(); }));

	Headless::CloseRequested(fState.id);
	EXPECT_TRUE(WaitUntil([this] { return fRunReturned.load(); }));
	EXPECT_EQ(ManualAudioDevice::Current(), nullptr)
		<< "the sound device is still open after the window closed";
}

TEST_F(ProgramTest, SigtermEndsTheProgramEvenWithTheAboutAlertOpen)
{
	Watchdog watchdog(60s, "ProgramSigterm");
	Headless::KeyDown(fState.id, "\x10", 0, B_F1_KEY);
	ASSERT_TRUE(WaitUntil([] {
		for (const Headless::WindowState& window : Headless::Windows()) {
			if (window.utility && window.visible)
				return true;
		}
		return false;
	}));
	// The application's thread waits in the alert's Go(); the signal must
	// still end everything.
	kill(getpid(), SIGTERM);
	EXPECT_TRUE(WaitUntil([this] { return fRunReturned.load(); }));
	EXPECT_EQ(ManualAudioDevice::Current(), nullptr);
}

// The display going away (the X server ended) must end the program through
// its usual quit path, the sound device closed, with one line and status 1,
// not with Xlib's exit() under running threads. The alert case is the hard
// one: the application's thread is held in the alert's Go().
class DisplayLostTest : public ProgramTest,
	public testing::WithParamInterface<bool> {
};

TEST_P(DisplayLostTest, EndsTheProgramWithOneLineAndStatusOne)
{
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	bool withAlert = GetParam();
	EXPECT_EXIT({
		Watchdog watchdog(20s, "DisplayLost");
		if (withAlert) {
			Headless::KeyDown(fState.id, "\x10", 0, B_F1_KEY);
			WaitUntil([] {
				for (const Headless::WindowState& window
						: Headless::Windows()) {
					if (window.utility && window.visible)
						return true;
				}
				return false;
			});
		}
		BPrivate::Display::Default()->RunOnDisplayThread(
			[](BPrivate::DisplayBackend&) { BPrivate::Display::Lost(); });
		if (WaitUntil([this] { return fRunReturned.load(); })
			&& ManualAudioDevice::Current() == nullptr) {
			fprintf(stderr, "wound down\n");
		}
		fRun.join();
		// Ends the process, since the display thread cannot be joined.
		delete fApp;
		fprintf(stderr, "still running after the application was deleted\n");
		exit(2);
	}, testing::ExitedWithCode(1),
		"lost the connection to the display\nwound down\n$");
}

INSTANTIATE_TEST_SUITE_P(ProgramTest, DisplayLostTest, testing::Bool(),
	[](const testing::TestParamInfo<bool>& info) {
		return std::string(info.param ? "WithTheAboutAlertOpen" : "Playing");
	});
