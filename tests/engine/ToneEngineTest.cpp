// The oscillator's seeding and retuning, levels, and the routing between
// the tone and noise channels.

#include "EngineFixture.h"

using namespace engine;

namespace {

const double kOmega440 = 0.06268937721449021;

double
Omega(double hz)
{
	return 6.283185307179586 * hz / 44100.0;
}

// The largest step a unit sine at hz can take from one frame to the next.
double
SlopeBound(double hz)
{
	return 2 * sin(Omega(hz) / 2);
}

TEST_F(EngineTest, NewPlayerStartsA440SineAtPhaseZero)
{
	// A fresh player, before the owner's settings arrive.
	delete fPlayer;
	fPlayer = new TonePlayer;
	HoldFullGain();

	std::vector<float> out = Render(200, 1);
	for (size_t n = 0; n < out.size(); n++)
		ASSERT_NEAR(out[n], sin(n * kOmega440), 1e-6) << "frame " << n;
	EXPECT_EQ(out[0], 0.0f);
}

TEST_F(EngineTest, FirstBufferBeforeSettingsIsSilentWithSignedZeros)
{
	delete fPlayer;
	fPlayer = new TonePlayer;

	std::vector<float> out = Render(1024, 1);
	int negativeZeros = 0;
	for (size_t n = 0; n < out.size(); n++) {
		ASSERT_EQ(out[n], 0.0f);
		// The oscillator's sign survives the zero gain.
		bool negative = sin(n * kOmega440) < 0;
		ASSERT_EQ(std::signbit(out[n]), negative) << "frame " << n;
		negativeZeros += negative;
	}
	EXPECT_GT(negativeZeros, 0);
}

TEST_F(EngineTest, MutedStartIsATinyToneNotSilence)
{
	delete fPlayer;
	fPlayer = new TonePlayer;
	fPlayer->SetNoise(false);
	fPlayer->SetFrequency(440);
	fPlayer->SetLevel(-120);

	EXPECT_FLOAT_EQ(TargetToneLevel, 0.000001f);
	std::vector<float> out = Render(1024, 1);
	EXPECT_NEAR(ToneIncrement, 9.07e-11, 0.01e-11);
	EXPECT_EQ(out[0], 0.0f);
	float largest = 0;
	for (float sample : out)
		largest = std::max(largest, std::fabs(sample));
	EXPECT_GT(largest, 0.0f);
	EXPECT_LT(largest, 1e-7f);
}

TEST_F(EngineTest, LevelsInDecibelsGiveTheirGains)
{
	const struct { short dB; float gain; } levels[] = {
		{ 0, 1.0f }, { -3, 0.70794576f }, { -10, 0.31622776f },
		{ -20, 0.1f }, { -120, 0.000001f },
	};
	for (const auto& level : levels) {
		fPlayer->SetLevel(level.dB);
		EXPECT_EQ(TargetLevel, level.gain) << level.dB << " dB";
		EXPECT_EQ(TargetToneLevel, level.gain) << level.dB << " dB";
	}

	// Nothing bounds a level: above 0 dB the gain passes 1.
	fPlayer->SetLevel(6);
	EXPECT_GT(TargetToneLevel, 1.99f);
}

TEST_F(EngineTest, NoiseModeRoutesTheLevelAwayFromTheTone)
{
	fPlayer->SetLevel(-10);
	fPlayer->SetNoise(true);
	EXPECT_EQ(TargetToneLevel, 0.0f);
	EXPECT_EQ(TargetNoiseLevel, 0.31622776f);

	// In noise mode a new level moves only the noise target.
	fPlayer->SetLevel(-20);
	EXPECT_EQ(TargetToneLevel, 0.0f);
	EXPECT_EQ(TargetNoiseLevel, 0.1f);

	// Leaving noise mode restores the last level without a new SetLevel.
	fPlayer->SetNoise(false);
	EXPECT_EQ(TargetToneLevel, 0.1f);
	EXPECT_EQ(TargetNoiseLevel, 0.0f);

	fPlayer->SetNoiseMix();
	EXPECT_EQ(TargetToneLevel, 0.1f);
	EXPECT_EQ(TargetNoiseLevel, 0.0f);
}

TEST_F(EngineTest, NoiseModeGlidesTheToneOutWhileTheOscillatorRuns)
{
	HoldFullGain();
	Render(512, 1);
	double pBefore = p;

	fPlayer->SetNoise(true);
	std::vector<float> out = RenderMono(40, 512);
	EXPECT_EQ(p, pBefore);
	// The gain glides down, never jumps: the first frames are still loud.
	EXPECT_GT(std::fabs(out[10]) + std::fabs(out[30]), 0.01f);
	EXPECT_LT(ToneLevel, 0.2f);
	// The noise channel glides up to the level but is never heard.
	EXPECT_GT(NoiseLevel, 0.8f);
	float tail = 0;
	for (size_t n = out.size() - 512; n < out.size(); n++)
		tail = std::max(tail, std::fabs(out[n]));
	EXPECT_LT(tail, 0.2f);
	EXPECT_NEAR(MeasureFrequency(out), 440, 1);
}

TEST_F(EngineTest, RetuneContinuesFromTheLastSample)
{
	HoldFullGain();
	for (int hz : { 587, 164, 1318, 783, 220 }) {
		std::vector<float> before = Render(300, 1);
		double last = q1;
		fPlayer->SetFrequency(hz);
		std::vector<float> after = Render(300, 1);

		// The first sample after the retune steps from the last one as a
		// rising sine at the new pitch would, with no jump.
		double phi = asin(last);
		EXPECT_NEAR(after[0], sin(phi + Omega(hz)), 1e-6) << hz << " Hz";
		EXPECT_LE(std::fabs(after[0] - before.back()), SlopeBound(hz) + 1e-6)
			<< hz << " Hz";
	}
}

TEST_F(EngineTest, RetuneWhileFallingTurnsTheWaveRound)
{
	HoldFullGain();
	// Find a buffer that ends on the falling half of the wave.
	std::vector<float> before;
	do
		before = Render(37, 1);
	while (!(before[before.size() - 1] < before[before.size() - 2]
		&& std::fabs(before.back()) < 0.9f));

	fPlayer->SetFrequency(440);
	std::vector<float> after = Render(2, 1);
	EXPECT_GT(after[0], before.back());
	EXPECT_GT(after[1], after[0]);
}

TEST_F(EngineTest, RetunedWaveHasTheNewPitchAndFullAmplitude)
{
	HoldFullGain();
	for (int hz : { 329, 587, 987, 1318, 164 }) {
		fPlayer->SetFrequency(hz);
		std::vector<float> out = RenderMono(86, 512);
		EXPECT_NEAR(MeasureFrequency(out), hz, 0.05) << hz << " Hz";
		float peak = 0;
		for (float sample : out)
			peak = std::max(peak, std::fabs(sample));
		EXPECT_NEAR(peak, 1.0f, 1e-3) << hz << " Hz";
	}
}

TEST_F(EngineTest, SameNoteTwiceKeepsThePitch)
{
	HoldFullGain();
	fPlayer->SetFrequency(587);
	Render(257, 1);
	fPlayer->SetFrequency(587);
	std::vector<float> out = RenderMono(43, 512);
	EXPECT_NEAR(MeasureFrequency(out), 587, 0.05);
}

TEST_F(EngineTest, RetuneTo440RightAfterConstructionKeepsTheSeed)
{
	delete fPlayer;
	fPlayer = new TonePlayer;
	double seededQ0 = q0;
	fPlayer->SetFrequency(440);
	Render(0, 2);
	EXPECT_NEAR(q0, seededQ0, 1e-15);
	EXPECT_NEAR(q0, sin(-2 * kOmega440), 1e-15);
	EXPECT_NEAR(p, 2 * cos(kOmega440), 1e-15);
}

TEST_F(EngineTest, ExtremeFrequencies)
{
	HoldFullGain();
	Render(100, 1);

	// Half the frame rate: a wave that alternates in sign every frame.
	fPlayer->SetFrequency(22050);
	std::vector<float> nyquist = Render(64, 1);
	EXPECT_EQ(p, -2.0);
	for (size_t n = 1; n < nyquist.size(); n++) {
		if (std::fabs(nyquist[n]) > 1e-3f) {
			ASSERT_NE(std::signbit(nyquist[n]), std::signbit(nyquist[n - 1]));
		}
	}

	// 0 Hz holds the last sample value.
	fPlayer->SetFrequency(0);
	float held = Render(1, 1)[0];
	EXPECT_EQ(p, 2.0);
	std::vector<float> flat = Render(1000, 1);
	for (float sample : flat)
		ASSERT_NEAR(sample, held, 1e-6);

	// A negative frequency sounds at its absolute value, heading down.
	fPlayer->SetFrequency(440);
	Render(30, 1);
	fPlayer->SetFrequency(-440);
	double last = q1;
	std::vector<float> down = Render(2, 1);
	EXPECT_LT(down[0], last);
	EXPECT_NEAR(MeasureFrequency(RenderMono(43, 512)), 440, 0.05);
}

TEST_F(EngineTest, RetuneSurvivesASampleRoundedJustPastFullScale)
{
	HoldFullGain();
	// After very long running, rounding can leave q1 a hair above 1.
	q1 = 1.0000000000000004;
	q0 = 0.9999;
	fPlayer->SetFrequency(587);
	std::vector<float> out = RenderMono(20, 512);
	for (float sample : out)
		ASSERT_FALSE(std::isnan(sample));
	EXPECT_NEAR(MeasureFrequency(out), 587, 0.5);

	q1 = -1.0000000000000004;
	fPlayer->SetFrequency(440);
	out = RenderMono(20, 512);
	for (float sample : out)
		ASSERT_FALSE(std::isnan(sample));
}

TEST_F(EngineTest, StaleSettingsDoNotReachANewPlayer)
{
	fPlayer->SetLevel(0);
	fPlayer->SetFrequency(1318);
	delete fPlayer;
	fPlayer = new TonePlayer;

	// The new player starts at 440 Hz with zero targets, whatever its
	// predecessor was last asked.
	Render(0, 1);
	EXPECT_NEAR(p, 2 * cos(kOmega440), 1e-15);
	std::vector<float> out = Render(512, 1);
	for (float sample : out)
		ASSERT_EQ(sample, 0.0f);
}

} // namespace
