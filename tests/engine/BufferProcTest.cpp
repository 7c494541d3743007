// What BufferProc writes: layouts, the glide, buffers it must leave alone,
// and buffers that do not hold whole frames.

#include <cstring>
#include <memory>

#include "EngineFixture.h"

using namespace engine;

namespace {

TEST_F(EngineTest, EveryChannelOfAFrameCarriesTheSameSample)
{
	HoldFullGain();
	std::vector<float> mono = Render(256, 1);

	for (uint32 channels : { 2u, 3u, 6u }) {
		delete fPlayer;
		fPlayer = new TonePlayer;
		HoldFullGain();
		std::vector<float> out = Render(256, channels);
		ASSERT_EQ(out.size(), 256 * channels);
		for (size_t frame = 0; frame < 256; frame++) {
			for (uint32 c = 0; c < channels; c++) {
				ASSERT_EQ(out[frame * channels + c], mono[frame])
					<< channels << " channels, frame " << frame;
			}
		}
		EXPECT_EQ(ChannelCount, channels);
		EXPECT_EQ(NumSamples, 256 * channels);
	}
}

TEST_F(EngineTest, ThePlayersStreamIsFilledByBufferProc)
{
	ManualAudioDevice* device = ManualAudioDevice::Current();
	ASSERT_NE(device, nullptr);
	EXPECT_EQ(device->StreamName(), "Kesto");
	EXPECT_TRUE(device->IsStarted());
	EXPECT_EQ(fPlayer->InitCheck(), B_OK);

	HoldFullGain();
	std::vector<float> out = device->Render(128);
	ASSERT_EQ(out.size(), 256u);
	EXPECT_EQ(out[0], 0.0f);
	EXPECT_NEAR(out[2], sin(0.06268937721449021), 1e-6);
	EXPECT_EQ(out[2], out[3]);
}

TEST_F(EngineTest, GlideWithShortBuffersClosesAFixedShareOfTheGap)
{
	fPlayer->SetLevel(0);
	Render(1024, 2);
	EXPECT_NEAR(ToneLevel, 1024.0 / 11025, 1e-6);
	EXPECT_NEAR(ToneLevel, 0.0929, 0.0001);

	// Each further buffer closes about 9.3 % of what is left.
	float gap = 1.0f - ToneLevel;
	Render(1024, 2);
	EXPECT_NEAR((gap - (1.0f - ToneLevel)) / gap, 1024.0 / 11025, 1e-4);
}

TEST_F(EngineTest, GlideSettlesJustShortOfItsTarget)
{
	fPlayer->SetLevel(0);
	for (int i = 0; i < 2000; i++)
		Render(1024, 2);
	EXPECT_NEAR(ToneLevel, 0.9997217f, 1e-7);

	// The step has fallen below the gain's rounding: it moves no further.
	float settled = ToneLevel;
	Render(1024, 2);
	EXPECT_EQ(ToneLevel, settled);
}

TEST_F(EngineTest, GlideTimeConstantIsAboutAQuarterSecond)
{
	fPlayer->SetLevel(0);
	size_t frames = 0;
	while (ToneLevel < 1 - exp(-1.0)) {
		Render(256, 2);
		frames += 256;
	}
	// Some 10896 frames for 256-frame buffers.
	EXPECT_NEAR(double(frames), 10896, 256);
}

TEST_F(EngineTest, GainStepsAfterEachFrameAndTheFrameUsesTheOldGain)
{
	HoldFullGain();
	engine::ToneLevel = 0.5f;
	std::vector<float> out = Render(3, 1);

	float step = float((1.0 - 0.5) / 11025);
	EXPECT_EQ(ToneIncrement, step);
	float gain = 0.5f;
	EXPECT_EQ(out[0], 0.0f);
	gain += step;
	EXPECT_NEAR(out[1], gain * sin(0.06268937721449021), 1e-8);
	gain += step;
	EXPECT_NEAR(out[2], gain * sin(2 * 0.06268937721449021), 1e-8);
	gain += step;
	EXPECT_EQ(ToneLevel, gain);
}

TEST_F(EngineTest, ABufferOfRampFramesReachesItsTargetWithoutPassingIt)
{
	// Without a bound, rounding would end this glide at about 1.0000457.
	fPlayer->SetLevel(0);
	std::vector<float> out = Render(RampFrames, 1);
	EXPECT_EQ(ToneLevel, 1.0f);
	for (float sample : out)
		ASSERT_LE(std::fabs(sample), 1.0f);
}

TEST_F(EngineTest, ShorterBuffersGlideUnbounded)
{
	fPlayer->SetLevel(0);
	Render(RampFrames - 1, 1);
	EXPECT_LT(ToneLevel, 1.0f);
	EXPECT_NEAR(ToneLevel, double(RampFrames - 1) / RampFrames, 1e-4);
}

TEST_F(EngineTest, LongBuffersNeverSwingPastTheTarget)
{
	for (size_t frames : { 16000u, 22050u, 44100u, 100000u }) {
		delete fPlayer;
		fPlayer = new TonePlayer;
		fPlayer->SetNoise(false);
		fPlayer->SetLevel(0);
		for (int i = 0; i < 6; i++) {
			std::vector<float> out = Render(frames, 1);
			ASSERT_LE(ToneLevel, 1.0f) << frames << " frames";
			for (float sample : out)
				ASSERT_LE(std::fabs(sample), 1.0f) << frames << " frames";
		}
		EXPECT_EQ(ToneLevel, 1.0f) << frames << " frames";

		// And downwards: from full scale to -20 dB, never below it.
		fPlayer->SetLevel(-20);
		for (int i = 0; i < 6; i++) {
			Render(frames, 1);
			ASSERT_GE(ToneLevel, 0.1f) << frames << " frames";
		}
		EXPECT_EQ(ToneLevel, 0.1f) << frames << " frames";
	}
}

TEST_F(EngineTest, EmptyBufferComputesTheStepsAndWritesNothing)
{
	fPlayer->SetLevel(0);
	float sentinel = 3.0f;
	BufferProc(nullptr, &sentinel, 0, FloatFormat(2));
	EXPECT_EQ(sentinel, 3.0f);
	EXPECT_EQ(ToneIncrement, float(1.0 / 11025));
	EXPECT_EQ(NumSamples, 0u);
	EXPECT_EQ(ToneLevel, 0.0f);
}

TEST_F(EngineTest, ForeignBuffersAreLeftAloneAndChangeNoState)
{
	HoldFullGain();
	Render(100, 2);
	fPlayer->SetLevel(-10);
	fPlayer->SetFrequency(587);

	struct Case { uint32 format; float rate; uint32 channels; };
	const Case cases[] = {
		{ media_raw_audio_format::B_AUDIO_SHORT, 44100, 2 },
		{ media_raw_audio_format::B_AUDIO_INT, 44100, 2 },
		{ media_raw_audio_format::B_AUDIO_UCHAR, 44100, 1 },
		{ media_raw_audio_format::B_AUDIO_FLOAT, 48000, 2 },
		{ media_raw_audio_format::B_AUDIO_FLOAT, 44100.004f, 2 },
		{ media_raw_audio_format::B_AUDIO_FLOAT, 22050, 1 },
		{ media_raw_audio_format::B_AUDIO_FLOAT, 0, 2 },
		// No channels: no frame to fill, and no end to stepping through.
		{ media_raw_audio_format::B_AUDIO_FLOAT, 44100, 0 },
	};
	for (const Case& c : cases) {
		EngineSnapshot before = EngineSnapshot::Take();
		std::vector<uint8> buffer(4096, 0xa5);
		media_raw_audio_format format = FloatFormat(c.channels, c.rate);
		format.format = c.format;
		BufferProc(nullptr, buffer.data(), buffer.size(), format);
		for (uint8 byte : buffer)
			ASSERT_EQ(byte, 0xa5) << "format " << c.format << " at " << c.rate;
		EXPECT_TRUE(EngineSnapshot::Take() == before)
			<< "format " << c.format << " at " << c.rate << " Hz, "
			<< c.channels << " channels";
	}

	// The retune and the new level were kept for the next buffer of ours.
	std::vector<float> out = RenderMono(43, 512);
	EXPECT_NEAR(MeasureFrequency(out), 587, 0.1);
	EXPECT_LT(ToneLevel, 0.99f);
}

TEST_F(EngineTest, APartialFrameIsFilledUpToTheBuffersEnd)
{
	HoldFullGain();
	// Three whole stereo frames and one sample of a fourth, in a buffer of
	// exactly that size with a guard behind it.
	const size_t samples = 7;
	std::unique_ptr<float[]> memory(new float[samples + 4]);
	for (size_t i = 0; i < samples + 4; i++)
		memory[i] = 9.0f;
	BufferProc(nullptr, memory.get(), samples * sizeof(float), FloatFormat(2));

	for (size_t i = samples; i < samples + 4; i++)
		ASSERT_EQ(memory[i], 9.0f) << "wrote past the end at " << i;
	EXPECT_EQ(memory[0], memory[1]);
	EXPECT_EQ(memory[4], memory[5]);
	EXPECT_NEAR(memory[6], sin(3 * 0.06268937721449021), 1e-6);

	// The partial frame took one oscillator step, like a whole one.
	std::vector<float> next = Render(1, 1);
	EXPECT_NEAR(next[0], sin(4 * 0.06268937721449021), 1e-6);
}

TEST_F(EngineTest, TrailingBytesShortOfASampleAreNotWritten)
{
	HoldFullGain();
	Render(1, 1);
	uint8 bytes[16];
	memset(bytes, 0xee, sizeof(bytes));
	BufferProc(nullptr, bytes, 10, FloatFormat(1));
	EXPECT_EQ(NumSamples, 2u);
	for (size_t i = 8; i < sizeof(bytes); i++)
		ASSERT_EQ(bytes[i], 0xee) << "byte " << i;
	float second;
	memcpy(&second, bytes + 4, sizeof(second));
	EXPECT_NEAR(second, sin(2 * 0.06268937721449021), 1e-6);
}

TEST_F(EngineTest, ManyChannelsAndOddSizesStayInsideTheBuffer)
{
	HoldFullGain();
	for (uint32 channels : { 1u, 2u, 5u, 7u, 64u, 1000u }) {
		for (size_t bytes : { 4u, 12u, 13u, 4000u, 4097u, 65535u }) {
			size_t samples = bytes / 4;
			std::vector<float> memory(samples + 8, 9.0f);
			BufferProc(nullptr, memory.data(), bytes, FloatFormat(channels));
			for (size_t i = samples; i < memory.size(); i++) {
				ASSERT_EQ(memory[i], 9.0f)
					<< channels << " channels, " << bytes << " bytes";
			}
			for (size_t i = 0; i < samples; i++)
				ASSERT_LE(std::fabs(memory[i]), 1.0f);
		}
	}
}

} // namespace
