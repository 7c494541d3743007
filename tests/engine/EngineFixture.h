/*
 * A TonePlayer on a device that never plays by itself, so that each test
 * drives BufferProc directly and sees exactly the buffers it asks for.
 */
#ifndef TESTS_ENGINE_ENGINE_FIXTURE_H
#define TESTS_ENGINE_ENGINE_FIXTURE_H

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "TonePlayer.h"
#include "../support/ManualAudioDevice.h"

inline media_raw_audio_format
FloatFormat(uint32 channels = 2, float rate = 44100)
{
	media_raw_audio_format format = {};
	format.frame_rate = rate;
	format.channel_count = channels;
	format.format = media_raw_audio_format::B_AUDIO_FLOAT;
	format.byte_order = B_MEDIA_HOST_ENDIAN;
	return format;
}

// Every engine variable, to tell whether a call moved any of them.
struct EngineSnapshot {
	double p, q0, q1, q2;
	float toneLevel, toneIncrement, noiseLevel, noiseIncrement;
	uint32 channelCount, numSamples;

	static EngineSnapshot Take()
	{
		using namespace engine;
		return { engine::p, engine::q0, engine::q1, engine::q2, ToneLevel,
			ToneIncrement, NoiseLevel,
			NoiseIncrement, ChannelCount, NumSamples };
	}

	bool operator==(const EngineSnapshot& other) const
	{
		// Bitwise, so that NaN and -0.0 count as changes too.
		return memcmp(this, &other, sizeof(*this)) == 0;
	}
};

class EngineTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		fPreviousFactory = BPrivate::SetAudioDeviceFactory(
			&ManualAudioDevice::Create);
		fPlayer = new TonePlayer;
		// TargetLevel and Noise outlive players, as process-wide state does;
		// start every test from the same place.
		fPlayer->SetNoise(false);
		fPlayer->SetLevel(-120);
		fPlayer->SetNoise(false);
		Render(0);
		engine::ToneLevel = 0;
	}

	void TearDown() override
	{
		delete fPlayer;
		BPrivate::SetAudioDeviceFactory(fPreviousFactory);
	}

	// One buffer of frames frames through BufferProc.
	std::vector<float> Render(size_t frames, uint32 channels = 2)
	{
		std::vector<float> buffer(frames * channels, 7.0f);
		media_raw_audio_format format = FloatFormat(channels);
		BufferProc(nullptr, buffer.data(), buffer.size() * sizeof(float),
			format);
		return buffer;
	}

	// Mono buffers joined into one run of samples.
	std::vector<float> RenderMono(size_t buffers, size_t frames)
	{
		std::vector<float> all;
		for (size_t i = 0; i < buffers; i++) {
			std::vector<float> one = Render(frames, 1);
			all.insert(all.end(), one.begin(), one.end());
		}
		return all;
	}

	// Holds the tone at full gain with no glide, to see the raw oscillator.
	void HoldFullGain()
	{
		fPlayer->SetNoise(false);
		fPlayer->SetLevel(0);
		engine::ToneLevel = 1.0f;
	}

	TonePlayer* fPlayer = nullptr;
	BPrivate::AudioDeviceFactory fPreviousFactory = nullptr;
};

// Frequency from upward zero crossings, interpolated, over a run of samples.
inline double
MeasureFrequency(const std::vector<float>& samples, double rate = 44100)
{
	double first = -1;
	double last = -1;
	int crossings = 0;
	for (size_t i = 1; i < samples.size(); i++) {
		if (samples[i - 1] < 0 && samples[i] >= 0) {
			double t = (i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
			if (first < 0)
				first = t;
			else
				crossings++;
			last = t;
		}
	}
	if (crossings == 0)
		return 0;
	return crossings * rate / (last - first);
}

#endif // TESTS_ENGINE_ENGINE_FIXTURE_H
