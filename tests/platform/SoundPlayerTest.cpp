// BSoundPlayer over the ALSA device on ALSA's "null" PCM, which every
// libasound has and which takes whatever it is given at once: enough to see
// the hook called on the device's own thread, with buffers of the format and
// length the device is meant to hand it, and that thread gone once the
// player is. The sound servers' back ends are kept out (BELVO_AUDIO), so
// that the tests hear the same on every machine. What the player decides
// for each buffer (data or silence, playing or stopped) is seen on a device
// the test renders through by hand, where nothing happens unless asked.

#include <SoundPlayer.h>

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <private/AudioDevice.h>

#include "../support/ManualAudioDevice.h"
#include "../support/Watchdog.h"

namespace {

using namespace std::chrono_literals;

struct HookLog {
	std::atomic<int> calls{0};
	std::atomic<bool> wrongFormat{false};
	std::atomic<bool> onCallerThread{false};
	std::atomic<size_t> largestBytes{0};
	std::thread::id caller = std::this_thread::get_id();
};

void
CountingHook(void* cookie, void* buffer, size_t size,
	const media_raw_audio_format& format)
{
	HookLog* log = static_cast<HookLog*>(cookie);
	if (format.format != media_raw_audio_format::B_AUDIO_FLOAT
		|| format.frame_rate != 44100.0f || format.channel_count == 0
		|| size % (format.channel_count * sizeof(float)) != 0) {
		log->wrongFormat = true;
	}
	if (std::this_thread::get_id() == log->caller)
		log->onCallerThread = true;
	if (size > log->largestBytes)
		log->largestBytes = size;
	memset(buffer, 0, size);
	log->calls++;
}

std::atomic<int> sStarted{0};
std::atomic<int> sStopped{0};

void
CountingNotifier(void*, BSoundPlayer::sound_player_notification what, ...)
{
	if (what == BSoundPlayer::B_STARTED)
		sStarted++;
	else if (what == BSoundPlayer::B_STOPPED)
		sStopped++;
}

bool
WaitForCalls(const HookLog& log, int count)
{
	for (int i = 0; i < 500 && log.calls.load() < count; i++)
		std::this_thread::sleep_for(10ms);
	return log.calls.load() >= count;
}

// How many of the process's threads have this name: once the ALSA
// device's thread is gone, nothing can call the hook any more.
int
ThreadsNamed(const char* name)
{
	int count = 0;
	DIR* tasks = opendir("/proc/self/task");
	if (tasks == nullptr)
		return -1;
	while (dirent* entry = readdir(tasks)) {
		if (entry->d_name[0] == '.')
			continue;
		std::ifstream comm(std::string("/proc/self/task/") + entry->d_name
			+ "/comm");
		std::string threadName;
		if (std::getline(comm, threadName) && threadName == name)
			count++;
	}
	closedir(tasks);
	return count;
}

const char kAlsaThread[] = "belvo-alsa";

// An output that is never there.
class FailingDevice : public BPrivate::AudioDevice {
public:
	static std::atomic<int> sOpens;
	static std::unique_ptr<BPrivate::AudioDevice> Create()
	{
		return std::unique_ptr<BPrivate::AudioDevice>(new FailingDevice);
	}
	status_t Open(const char*, RenderFunc, void*, media_raw_audio_format*) override
	{
		sOpens++;
		return B_ERROR;
	}
	void Start() override {}
	void Stop() override {}
	void Close() override {}
};

std::atomic<int> FailingDevice::sOpens{0};

// A player on a device that renders only when the test says so.
class ManualPlayer {
public:
	explicit ManualPlayer(HookLog* log)
	{
		fPrevious = BPrivate::SetAudioDeviceFactory(&ManualAudioDevice::Create);
		fPlayer.reset(new BSoundPlayer("Kesto", CountingHook, nullptr, log));
		fDevice = ManualAudioDevice::Current();
	}
	~ManualPlayer()
	{
		fPlayer.reset();
		BPrivate::SetAudioDeviceFactory(fPrevious);
	}
	BSoundPlayer& Player() { return *fPlayer; }
	ManualAudioDevice& Device() { return *fDevice; }

private:
	BPrivate::AudioDeviceFactory fPrevious;
	std::unique_ptr<BSoundPlayer> fPlayer;
	ManualAudioDevice* fDevice;
};

class SoundPlayerTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		setenv("BELVO_AUDIO", "alsa", 1);
		setenv("BELVO_ALSA_DEVICE", "null", 1);
	}
	void TearDown() override
	{
		unsetenv("BELVO_ALSA_DEVICE");
		unsetenv("BELVO_AUDIO");
	}
};

TEST_F(SoundPlayerTest, HookGetsFloatBuffersAtOurRateOnItsOwnThread)
{
	Watchdog watchdog(30s, "sound player hook test");
	HookLog log;
	BSoundPlayer* player = new BSoundPlayer("Kesto", CountingHook, nullptr, &log);
	ASSERT_EQ(player->InitCheck(), B_OK);
	player->SetHasData(true);
	EXPECT_EQ(player->Start(), B_OK);
	EXPECT_TRUE(player->IsPlaying());

	ASSERT_TRUE(WaitForCalls(log, 5)) << "the hook was never called";
	EXPECT_FALSE(log.wrongFormat.load());
	EXPECT_FALSE(log.onCallerThread.load());
	// Buffers of at most 1024 frames, or the glide would run faster than a
	// quarter second.
	media_raw_audio_format format = player->Format();
	EXPECT_LE(log.largestBytes.load(), 1024 * format.channel_count * sizeof(float));

	EXPECT_EQ(ThreadsNamed(kAlsaThread), 1);
	delete player;
	// Its thread is gone with it: no call can follow.
	EXPECT_EQ(ThreadsNamed(kAlsaThread), 0);
}

TEST_F(SoundPlayerTest, WithoutDataTheBuffersAreSilentAndTheHookIsNotCalled)
{
	HookLog log;
	ManualPlayer manual(&log);
	BSoundPlayer& player = manual.Player();
	ASSERT_EQ(player.InitCheck(), B_OK);
	player.Start();
	for (int i = 0; i < 3; i++) {
		std::vector<float> buffer = manual.Device().Render(512);
		ASSERT_EQ(buffer.size(), 1024u);
		for (float sample : buffer)
			ASSERT_EQ(sample, 0.0f);
	}
	EXPECT_EQ(log.calls.load(), 0);

	player.SetHasData(true);
	manual.Device().Render(512);
	EXPECT_EQ(log.calls.load(), 1);
}

TEST_F(SoundPlayerTest, StopStopsTheDeviceAndStartResumes)
{
	HookLog log;
	ManualPlayer manual(&log);
	BSoundPlayer& player = manual.Player();
	player.SetHasData(true);
	player.Start();
	manual.Device().Render(512);
	ASSERT_EQ(log.calls.load(), 1);

	player.Stop();
	EXPECT_FALSE(player.IsPlaying());
	EXPECT_TRUE(manual.Device().Render(512).empty());
	EXPECT_EQ(log.calls.load(), 1);

	player.Start();
	manual.Device().Render(512);
	EXPECT_EQ(log.calls.load(), 2);
}

TEST_F(SoundPlayerTest, MadeOnOneThreadAndDestroyedOnAnother)
{
	Watchdog watchdog(30s, "sound player across threads");
	HookLog log;
	BSoundPlayer* player = new BSoundPlayer("Kesto", CountingHook, nullptr, &log);
	player->SetHasData(true);
	player->Start();
	ASSERT_TRUE(WaitForCalls(log, 2));

	std::thread other([player] { delete player; });
	other.join();
	EXPECT_EQ(ThreadsNamed(kAlsaThread), 0);
}

TEST_F(SoundPlayerTest, NoOutputDeviceStaysSilentAndClosesPromptly)
{
	// The output is looked for in the background, and looked for again
	// while there is none; the player plays nowhere meanwhile, and letting
	// go of it does not wait for the search.
	Watchdog watchdog(30s, "sound player without a device");
	BPrivate::AudioDeviceFactory previous = BPrivate::SetAudioDeviceFactory(
		[] { return BPrivate::CreateChosenAudioDevice({ &FailingDevice::Create }); });
	HookLog log;
	FailingDevice::sOpens = 0;
	{
		BSoundPlayer player("Kesto", CountingHook, nullptr, &log);
		player.SetHasData(true);
		player.Start();
		// Let go of only once it has looked, and found nothing.
		for (int i = 0; i < 500 && FailingDevice::sOpens.load() == 0; i++)
			std::this_thread::sleep_for(10ms);
		ASSERT_GT(FailingDevice::sOpens.load(), 0);
	}
	BPrivate::SetAudioDeviceFactory(previous);
	EXPECT_EQ(log.calls.load(), 0);
}

TEST_F(SoundPlayerTest, NotifierHearsStartAndStop)
{
	Watchdog watchdog(30s, "sound player notifier");
	sStarted = 0;
	sStopped = 0;
	{
		HookLog log;
		BSoundPlayer player("Kesto", CountingHook, CountingNotifier, &log);
		player.Start();
		player.Start();
		EXPECT_EQ(sStarted.load(), 1);
	}
	EXPECT_EQ(sStopped.load(), 1);
}

} // namespace
