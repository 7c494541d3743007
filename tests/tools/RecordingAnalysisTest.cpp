// The end-to-end tests trust these measures, so they are checked here on
// recordings made to order.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "Recording.h"

namespace {

const double kRate = 44100;
const double kPi = 3.141592653589793;

// Writes frames of channels samples (channel c of frame n is wave[n] times
// c + 1) as a WAV file, float or 16-bit.
std::string
WriteWav(const std::vector<float>& wave, unsigned channels, bool asFloat,
	bool leaveSizesZero = false)
{
	static int counter = 0;
	std::string path = testing::TempDir() + "/analysis-" + std::to_string(getpid())
		+ "-" + std::to_string(counter++) + ".wav";
	std::vector<uint8_t> data;
	for (float sample : wave) {
		for (unsigned c = 0; c < channels; c++) {
			float value = sample * (c + 1);
			if (asFloat) {
				uint8_t bytes[4];
				memcpy(bytes, &value, 4);
				data.insert(data.end(), bytes, bytes + 4);
			} else {
				int16_t integer = int16_t(lrint(std::max(-1.0f, std::min(value, 0.99997f)) * 32768));
				data.push_back(uint8_t(integer & 0xff));
				data.push_back(uint8_t((integer >> 8) & 0xff));
			}
		}
	}
	auto put32 = [](std::vector<uint8_t>& out, uint32_t v) {
		for (int i = 0; i < 4; i++)
			out.push_back(uint8_t(v >> (8 * i)));
	};
	auto put16 = [](std::vector<uint8_t>& out, uint16_t v) {
		out.push_back(uint8_t(v));
		out.push_back(uint8_t(v >> 8));
	};
	unsigned bits = asFloat ? 32 : 16;
	std::vector<uint8_t> file = { 'R', 'I', 'F', 'F' };
	put32(file, leaveSizesZero ? 0 : uint32_t(36 + data.size()));
	file.insert(file.end(), { 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ' });
	put32(file, 16);
	put16(file, asFloat ? 3 : 1);
	put16(file, uint16_t(channels));
	put32(file, uint32_t(kRate));
	put32(file, uint32_t(kRate * channels * bits / 8));
	put16(file, uint16_t(channels * bits / 8));
	put16(file, uint16_t(bits));
	file.insert(file.end(), { 'd', 'a', 't', 'a' });
	put32(file, leaveSizesZero ? 0 : uint32_t(data.size()));
	file.insert(file.end(), data.begin(), data.end());
	std::ofstream(path, std::ios::binary).write(
		reinterpret_cast<const char*>(file.data()), file.size());
	return path;
}

std::vector<float>
Sine(double hz, double amplitude, double seconds, double phase = 0)
{
	std::vector<float> wave(size_t(seconds * kRate));
	for (size_t n = 0; n < wave.size(); n++)
		wave[n] = float(amplitude * sin(phase + 2 * kPi * hz * n / kRate));
	return wave;
}

TEST(RecordingAnalysis, ReadsFloatAndShortFilesByChannel)
{
	std::vector<float> wave = Sine(440, 0.25, 0.5);
	for (bool asFloat : { true, false }) {
		analysis::Recording recording;
		std::string error;
		ASSERT_TRUE(analysis::ReadWav(WriteWav(wave, 2, asFloat), 1, &recording,
			&error)) << error;
		EXPECT_EQ(recording.channels, 2u);
		EXPECT_EQ(recording.rate, kRate);
		ASSERT_EQ(recording.samples.size(), wave.size());
		// Channel 1 carries twice the wave.
		EXPECT_NEAR(recording.samples[100], 2 * wave[100], 1e-4);
	}
}

TEST(RecordingAnalysis, ReadsARecordingWhoseSizesWereNeverWritten)
{
	analysis::Recording recording;
	std::string error;
	ASSERT_TRUE(analysis::ReadWav(WriteWav(Sine(440, 0.5, 0.2), 2, true, true), 0,
		&recording, &error)) << error;
	EXPECT_EQ(recording.samples.size(), size_t(0.2 * kRate));
}

TEST(RecordingAnalysis, RefusesWhatItCannotRead)
{
	analysis::Recording recording;
	std::string error;
	EXPECT_FALSE(analysis::ReadWav("/nonexistent/rec.wav", 0, &recording, &error));
	EXPECT_FALSE(error.empty());

	std::string junk = testing::TempDir() + "/analysis-junk.wav";
	std::ofstream(junk) << "RIFF....WAVEnothing here";
	EXPECT_FALSE(analysis::ReadWav(junk, 0, &recording, &error));

	EXPECT_FALSE(analysis::ReadWav(WriteWav(Sine(440, 0.5, 0.1), 2, true), 2,
		&recording, &error));
	EXPECT_NE(error.find("channel"), std::string::npos);
}

TEST(RecordingAnalysis, MeasuresPitchToAHundredthOfAHertz)
{
	for (double hz : { 164.8, 329.0, 440.0, 587.0, 1318.0 }) {
		analysis::Measures m = analysis::Measure(Sine(hz, 0.5, 1.0, 0.3), kRate);
		EXPECT_NEAR(m.frequency, hz, 0.005) << hz;

		// What a stalling sound server leaves: a buffer lost (the phase
		// jumps) and a buffer of silence. Neither moves the pitch.
		std::vector<float> glitched = Sine(hz, 0.5, 1.0, 0.3);
		glitched.erase(glitched.begin() + 10000, glitched.begin() + 11024);
		std::fill(glitched.begin() + 30000, glitched.begin() + 31024, 0.0f);
		EXPECT_NEAR(analysis::Measure(glitched, kRate).frequency, hz, 0.005) << hz;
	}
}

TEST(RecordingAnalysis, MeasuresLevelsInDbfs)
{
	analysis::Measures full = analysis::Measure(Sine(440, 1.0, 0.5), kRate);
	EXPECT_NEAR(full.peakDbfs, 0, 0.01);
	EXPECT_NEAR(full.toneDbfs, 0, 0.01);

	analysis::Measures quiet = analysis::Measure(Sine(440, 0.31622776, 0.5), kRate);
	EXPECT_NEAR(quiet.toneDbfs, -10, 0.01);

	analysis::Measures muted = analysis::Measure(Sine(440, 0.000001, 0.5), kRate);
	EXPECT_NEAR(muted.toneDbfs, -120, 0.01);

	std::vector<float> silence(4410, 0.0f);
	EXPECT_EQ(analysis::Measure(silence, kRate).peakDbfs, -999);
}

TEST(RecordingAnalysis, TellsACleanSineFromAClick)
{
	std::vector<float> wave = Sine(587, 0.8, 0.5);
	analysis::Measures clean = analysis::Measure(wave, kRate);
	EXPECT_LE(clean.largestStep, clean.allowedStep * 1.0001);

	// A jump of a third of full scale, as a phase jump would make.
	for (size_t n = 10000; n < wave.size(); n++)
		wave[n] = float(0.8 * sin(2 * kPi * 587 * n / kRate + 1.0));
	analysis::Measures clicked = analysis::Measure(wave, kRate);
	EXPECT_GT(clicked.largestStep, clicked.allowedStep * 2);
}

TEST(RecordingAnalysis, CountsNanAndInf)
{
	std::vector<float> wave = Sine(440, 0.5, 0.1);
	wave[5] = NAN;
	wave[50] = INFINITY;
	wave[51] = -INFINITY;
	analysis::Measures m = analysis::Measure(wave, kRate);
	EXPECT_EQ(m.nonFinite, 3u);
	EXPECT_NEAR(m.peak, 0.5, 1e-3);
}

TEST(RecordingAnalysis, GlideTimeConstantWhereverTheGlideStarts)
{
	for (double tau : { 0.1, 0.25, 0.4 }) {
		for (double delay : { 0.0, 0.37 }) {
			// Rising from silence towards 0.5 after delay seconds.
			std::vector<float> wave = Sine(440, 1.0, 3.0);
			for (size_t n = 0; n < wave.size(); n++) {
				double t = n / kRate - delay;
				double gain = t < 0 ? 0 : 0.5 * (1 - exp(-t / tau));
				wave[n] *= float(gain);
			}
			EXPECT_NEAR(analysis::GlideTimeConstant(wave, kRate), tau, 0.02 * tau + 0.005)
				<< "tau " << tau << " delay " << delay;
		}
	}

	// And falling, at once or after a while; a low note's level read in
	// 10 ms blocks ripples by more than the 2 % that marks the onset.
	for (double hz : { 587.0, 164.0 }) {
		for (double delay : { 0.0, 0.16 }) {
			std::vector<float> fall = Sine(hz, 1.0, 2.5);
			for (size_t n = 0; n < fall.size(); n++) {
				double t = n / kRate - delay;
				fall[n] *= float(0.316 * (t < 0 ? 1 : exp(-t / 0.25)));
			}
			EXPECT_NEAR(analysis::GlideTimeConstant(fall, kRate), 0.25, 0.01)
				<< hz << " Hz, delay " << delay;
		}
	}

	EXPECT_LT(analysis::GlideTimeConstant(Sine(440, 0.5, 1.0), kRate), 0);
}

TEST(RecordingAnalysis, StretchesAreClampedToTheRecording)
{
	analysis::Recording recording;
	recording.rate = kRate;
	recording.samples = Sine(440, 0.5, 1.0);
	EXPECT_EQ(analysis::Stretch(recording, 0.5, 0.75).size(), size_t(0.25 * kRate));
	EXPECT_EQ(analysis::Stretch(recording, 0.5, 9).size(), size_t(0.5 * kRate));
	EXPECT_EQ(analysis::Stretch(recording, 2, 3).size(), 0u);
	EXPECT_EQ(analysis::Stretch(recording, 0.7, 0.2).size(), 0u);
}

} // namespace
