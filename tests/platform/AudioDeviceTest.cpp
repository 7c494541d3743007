// What the sound back ends decide without a server: which back end plays
// (the first that opens, on a thread of its own), what the stream is called,
// how much PulseAudio is asked to buffer, and how ALSA is written to.

#include <private/AlsaBuffer.h>
#include <private/AudioDevice.h>
#include <private/PulseBuffer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "../support/Watchdog.h"

namespace {

using namespace std::chrono_literals;
using BPrivate::AudioDevice;

// A back end whose Open() answers as it is told: at once with success or
// failure, or only once it is cancelled.
enum class Answer { kOpens, kFails, kHangsUntilCancelled };

struct FakeLog {
	std::mutex lock;
	std::condition_variable changed;
	std::vector<std::string> events;

	void Add(const std::string& event)
	{
		std::lock_guard<std::mutex> guard(lock);
		events.push_back(event);
		changed.notify_all();
	}

	bool WaitFor(const std::string& event)
	{
		std::unique_lock<std::mutex> guard(lock);
		return changed.wait_for(guard, 5s, [&] {
			return std::find(events.begin(), events.end(), event) != events.end();
		});
	}
};

FakeLog* sLog = nullptr;

template<Answer kAnswer, char kName>
class FakeDevice : public AudioDevice {
public:
	static std::unique_ptr<AudioDevice> Create()
	{
		return std::unique_ptr<AudioDevice>(new FakeDevice);
	}

	status_t Open(const char*, RenderFunc, void*, media_raw_audio_format*) override
	{
		sLog->Add(std::string("open ") + kName);
		if (kAnswer == Answer::kHangsUntilCancelled) {
			std::unique_lock<std::mutex> guard(fLock);
			fCancel.wait(guard, [this] { return fCancelled; });
			return B_ERROR;
		}
		return kAnswer == Answer::kOpens ? B_OK : B_ERROR;
	}
	void Start() override { sLog->Add(std::string("start ") + kName); }
	void Stop() override { sLog->Add(std::string("stop ") + kName); }
	void Close() override {}
	void Cancel() override
	{
		std::lock_guard<std::mutex> guard(fLock);
		fCancelled = true;
		fCancel.notify_all();
	}

private:
	std::mutex fLock;
	std::condition_variable fCancel;
	bool fCancelled = false;
};

void
IgnoreRender(void*, void*, size_t, const media_raw_audio_format&)
{
}

class ChosenAudioDeviceTest : public ::testing::Test {
protected:
	void SetUp() override { sLog = &fLog; }
	void TearDown() override { sLog = nullptr; }

	FakeLog fLog;
};

TEST_F(ChosenAudioDeviceTest, PlaysThroughTheFirstBackEndThatOpens)
{
	Watchdog watchdog(30s, "chosen device fallback");
	std::unique_ptr<AudioDevice> device = BPrivate::CreateChosenAudioDevice({
		&FakeDevice<Answer::kFails, 'a'>::Create,
		&FakeDevice<Answer::kOpens, 'b'>::Create,
		&FakeDevice<Answer::kOpens, 'c'>::Create });
	media_raw_audio_format format;
	// Open does not wait for the back ends, and promises what they ask for.
	ASSERT_EQ(device->Open("Kesto", &IgnoreRender, nullptr, &format), B_OK);
	EXPECT_EQ(format.format, uint32(media_raw_audio_format::B_AUDIO_FLOAT));
	EXPECT_EQ(format.frame_rate, 44100.0f);
	// A start asked before any back end opened reaches the one that did.
	device->Start();
	ASSERT_TRUE(fLog.WaitFor("start b"));
	device->Stop();
	device->Close();

	std::lock_guard<std::mutex> guard(fLog.lock);
	EXPECT_EQ(fLog.events,
		(std::vector<std::string>{ "open a", "open b", "start b", "stop b" }));
}

TEST_F(ChosenAudioDeviceTest, CloseCutsShortABackEndStillWaitingForItsServer)
{
	Watchdog watchdog(30s, "chosen device close while opening");
	std::unique_ptr<AudioDevice> device = BPrivate::CreateChosenAudioDevice({
		&FakeDevice<Answer::kHangsUntilCancelled, 'a'>::Create,
		&FakeDevice<Answer::kOpens, 'b'>::Create });
	media_raw_audio_format format;
	ASSERT_EQ(device->Open("Kesto", &IgnoreRender, nullptr, &format), B_OK);
	device->Start();
	ASSERT_TRUE(fLog.WaitFor("open a"));
	device->Close();

	// Nothing after the one being opened is tried once closing has begun.
	std::lock_guard<std::mutex> guard(fLog.lock);
	EXPECT_EQ(fLog.events, (std::vector<std::string>{ "open a" }));
}

TEST(AudioBackendOrderTest, AllThreeInOrderUnlessOneIsNamed)
{
	using BPrivate::AudioDeviceFactory;
	const AudioDeviceFactory all[] = { &BPrivate::CreatePipeWireAudioDevice,
		&BPrivate::CreatePulseAudioDevice, &BPrivate::CreateAlsaAudioDevice };
	const struct {
		const char* forced;
		std::vector<AudioDeviceFactory> order;
	} cases[] = {
		{ nullptr, { all[0], all[1], all[2] } },
		{ "", { all[0], all[1], all[2] } },
		{ "jack", { all[0], all[1], all[2] } },
		// The back end that is gone: a name like any unknown one.
		{ "sdl", { all[0], all[1], all[2] } },
		{ "ALSA", { all[0], all[1], all[2] } },
		{ "pipewire", { all[0] } },
		{ "pulse", { all[1] } },
		{ "alsa", { all[2] } },
	};
	for (const auto& testCase : cases) {
		EXPECT_EQ(BPrivate::AudioBackendOrder(testCase.forced), testCase.order)
			<< (testCase.forced != nullptr ? testCase.forced : "(unset)");
	}
}

TEST(StreamPropertiesTest, NameIconAndRoleAsTheVolumeControlsShowThem)
{
	// The executable's name stands for the program's: the desktop entry
	// calls the program by it with a capital, and its icon by it as it is.
	std::string icon = program_invocation_short_name;
	std::string name = icon;
	name[0] = char(toupper(name[0]));
	for (BPrivate::RoleSpelling spelling
			: { BPrivate::kPipeWireRole, BPrivate::kPulseAudioRole }) {
		std::map<std::string, std::string> properties;
		for (const auto& property : BPrivate::StreamProperties("Kesto", spelling))
			properties[property.first] = property.second;
		EXPECT_EQ(properties["media.name"], "Kesto");
		EXPECT_EQ(properties["application.name"], name);
		EXPECT_EQ(properties["application.icon_name"], icon);
		EXPECT_EQ(properties["media.role"],
			spelling == BPrivate::kPipeWireRole ? "Music" : "music");
		if (spelling == BPrivate::kPipeWireRole) {
			EXPECT_EQ(properties["application.icon-name"], icon);
		}
	}
}

TEST(PipeWireClientConfigTest, RealTimeConfigurationOnlyWhereTheLibraryHasOne)
{
	const struct {
		const char* version;
		const char* config;
	} cases[] = {
		{ "0.3.65", "client-rt.conf" },
		{ "1.0.0", "client.conf" },
		{ "1.4.2", "client.conf" },
		{ "10.1", "client.conf" },
		{ "", "client.conf" },
		{ "garbage", "client.conf" },
		{ nullptr, "client.conf" },
	};
	for (const auto& testCase : cases) {
		EXPECT_STREQ(BPrivate::PipeWireClientConfig(testCase.version),
			testCase.config) << (testCase.version != nullptr ? testCase.version : "(null)");
	}
}

TEST(PulseBufferAttributesTest, ShortEnoughToHearAPickYetLeavingTheSinkItsShare)
{
	for (uint32 channels : { 1u, 2u, 6u }) {
		uint32 frameBytes = channels * sizeof(float);
		double msPerByte = 1000.0 / (44100.0 * frameBytes);
		uint32 previous = 0;
		for (uint32 underruns : { 0u, 1u, 2u, 3u, 1000u }) {
			pa_buffer_attr attributes = BPrivate::PulseBufferAttributes(44100,
				channels, underruns);
			SCOPED_TRACE(testing::Message() << channels << " channels, "
				<< underruns << " underruns");
			EXPECT_EQ(attributes.tlength % frameBytes, 0u);
			EXPECT_EQ(attributes.minreq % frameBytes, 0u);
			// The server sets two requests aside before giving the sink
			// its latency; much more than a quarter leaves the sink
			// nothing, and wakes the server all the time.
			EXPECT_LE(attributes.minreq * 4, attributes.tlength);
			EXPECT_GT(attributes.minreq, 0u);
			EXPECT_LE(attributes.prebuf, attributes.tlength);
			// A new level waits behind the queue: heard within 50 ms until
			// the stream has run dry; then the queue grows, but not past
			// a fifth of a second.
			double target = attributes.tlength * msPerByte;
			if (underruns == 0) {
				EXPECT_LE(target, 50.0);
			}
			EXPECT_GE(attributes.tlength, previous);
			EXPECT_LE(target, 200.0);
			previous = attributes.tlength;
		}
	}
}

// The engine glides each level by a step per render call; the time
// constant of n-frame calls is -n / ln(1 - n / 11025) frames.
double
GlideSeconds(size_t frames)
{
	return -double(frames) / std::log(1.0 - double(frames) / 11025.0) / 44100.0;
}

TEST(AlsaWriteFramesTest, WholePeriodsThatKeepTheGlideAndLeaveOnePlaying)
{
	// What is asked for glides as the engine is meant to, a quarter second.
	size_t asked = BPrivate::AlsaWriteFrames(BPrivate::kAlsaPeriodFrames,
		BPrivate::kAlsaBufferFrames);
	EXPECT_EQ(asked, BPrivate::kAlsaPeriodFrames);
	EXPECT_NEAR(GlideSeconds(asked), 0.24, 0.005);

	const struct {
		size_t period;
		size_t buffer;
		size_t frames;
	} cases[] = {
		{ 1024, 2048, 1024 },
		{ 256, 4096, 256 },
		// A device's long period is written in pieces no longer than a
		// render call: the glide stays as it is.
		{ 4096, 16384, 1024 },
		// A buffer of one period: half of it at a time.
		{ 1024, 1024, 512 },
		{ 940, 1881, 940 },
		// Nothing sensible granted: never a write of nothing.
		{ 0, 0, 1 },
		{ 1, 1, 1 },
	};
	for (const auto& testCase : cases) {
		size_t frames = BPrivate::AlsaWriteFrames(testCase.period,
			testCase.buffer);
		EXPECT_EQ(frames, testCase.frames)
			<< testCase.period << "-frame periods, " << testCase.buffer
			<< "-frame buffer";
		// Never quicker than render calls of the longest length glide.
		EXPECT_GE(GlideSeconds(frames),
			GlideSeconds(BPrivate::kMaxRenderFrames) - 1e-9);
		EXPECT_LE(GlideSeconds(frames), 0.25);
	}
}

TEST(AlsaFloatToS16Test, FullScaleClippedAndNaNSilent)
{
	const float in[] = { 0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -7.0f,
		1e-6f, NAN, INFINITY, -INFINITY };
	const int16 expected[] = { 0, 16384, -16384, 32767, -32767, 32767, -32767,
		0, 0, 32767, -32767 };
	const size_t count = sizeof(in) / sizeof(in[0]);
	int16 out[count + 1];
	out[count] = 12345;
	BPrivate::AlsaFloatToS16(in, out, count);
	for (size_t i = 0; i < count; i++)
		EXPECT_EQ(out[i], expected[i]) << "sample " << i << " (" << in[i] << ")";
	// Nothing written past the count.
	EXPECT_EQ(out[count], 12345);
}

} // namespace
