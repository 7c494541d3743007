// Dropouts must be told from the tone's own silence: a scenario that took a
// glide-out for a dropout would fail a correct program, and one that missed
// a dropout would pass a stream that underruns.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "Dropouts.h"

using namespace e2e;

namespace {

std::vector<float>
Sine(size_t frames, float amplitude, double hz = 440)
{
	std::vector<float> samples(frames);
	for (size_t i = 0; i < frames; i++)
		samples[i] = float(amplitude * sin(2 * M_PI * hz * (i + 1) / 44100));
	return samples;
}

} // namespace

TEST(Dropouts, AToneHasNone)
{
	std::vector<float> tone = Sine(44100, 0.5f);
	DropoutReport report = FindDropouts(tone);
	EXPECT_TRUE(report.dropouts.empty());
	EXPECT_NEAR(2 * 0.5 * sin(M_PI * 440 / 44100), report.largestStep, 1e-4);
}

TEST(Dropouts, SilenceInsideTheToneIsOneHoweverShort)
{
	// 13 frames is a run a stream running dry has left; one frame the
	// shortest there is.
	for (size_t frames : { size_t(1), size_t(13), size_t(127) }) {
		std::vector<float> tone = Sine(44100, 0.5f);
		std::fill(tone.begin() + 1000, tone.begin() + 1000 + frames, 0.0f);
		DropoutReport report = FindDropouts(tone);
		ASSERT_EQ(1u, report.dropouts.size()) << frames << " frames";
		EXPECT_EQ(1000u, report.dropouts[0].at) << frames << " frames";
		EXPECT_EQ(frames, report.dropouts[0].frames);
		// Its edges jump, but the tone's own steps are what is left.
		EXPECT_LT(report.largestStep, 0.032) << frames << " frames";
	}
}

TEST(Dropouts, TakenOutTheyLeaveTheStreamAsWritten)
{
	// The program's stream ran dry twice: the server played zeros, and the
	// stream went on where it had stopped. The stretch asked for begins
	// inside the first dropout and ends at the end of the second.
	std::vector<float> written = Sine(13230, 0.5f);
	std::vector<float> heard(written.begin(), written.begin() + 1000);
	heard.insert(heard.end(), 300, 0.0f);
	heard.insert(heard.end(), written.begin() + 1000, written.begin() + 6000);
	heard.insert(heard.end(), 500, 0.0f);
	heard.insert(heard.end(), written.begin() + 6000, written.end());
	DropoutReport report = FindDropouts(heard);
	ASSERT_EQ(2u, report.dropouts.size());
	EXPECT_EQ(std::vector<float>(written.begin() + 1000, written.begin() + 6000),
		WithoutDropouts(heard, 1100, 6800, report));
	// Past the end is clamped; a stretch without dropouts is left whole.
	EXPECT_EQ(std::vector<float>(written.begin() + 6000, written.end()),
		WithoutDropouts(heard, 6800, 99999, report));

}

TEST(Dropouts, AStepOutsideADropoutIsKept)
{
	// Out of the dropout's reach, a jump is the tone's own again.
	std::vector<float> tone = Sine(8820, 0.5f);
	std::fill(tone.begin() + 3000, tone.begin() + 3100, 0.0f);
	tone[3000 - kDropoutReach / 2] += 0.4f;
	tone[3100 + kDropoutReach / 2] += 0.4f;
	EXPECT_LT(FindDropouts(tone).largestStep, 0.032);
	tone[7000] += 0.4f;
	DropoutReport report = FindDropouts(tone);
	EXPECT_EQ(1u, report.dropouts.size());
	EXPECT_GT(report.largestStep, 0.3);
}
TEST(Dropouts, QuietSidesAreNone)
{
	// Glided out to nothing, then back: quiet on the left.
	std::vector<float> glide = Sine(8820, 0.5f);
	for (size_t i = 2000; i < 4000; i++)
		glide[i] *= float(std::pow(0.9, double(i - 2000)));
	std::fill(glide.begin() + 4000, glide.begin() + 6000, 0.0f);
	EXPECT_TRUE(FindDropouts(glide).dropouts.empty());

	// A stream that ends: nothing after.
	std::vector<float> ending = Sine(4410, 0.5f);
	std::fill(ending.begin() + 3000, ending.end(), 0.0f);
	EXPECT_TRUE(FindDropouts(ending).dropouts.empty());
}

TEST(Dropouts, NonFiniteSamplesAreNoStep)
{
	std::vector<float> tone = Sine(4410, 0.5f);
	tone[200] = NAN;
	tone[300] = INFINITY;
	DropoutReport report = FindDropouts(tone);
	EXPECT_TRUE(std::isfinite(report.largestStep));
	EXPECT_LT(report.largestStep, 0.032);
}

TEST(Dropouts, EmptyAndSilentRecordings)
{
	EXPECT_TRUE(FindDropouts({}).dropouts.empty());
	EXPECT_EQ(0, FindDropouts({}).largestStep);
	std::vector<float> silence(1000, 0.0f);
	EXPECT_TRUE(FindDropouts(silence).dropouts.empty());
}

TEST(Dropouts, AStepOneRecorderLostIsNotHeardByTheOther)
{
	// The sink played a 587 Hz tone whole; one recorder was late for a
	// 1024-frame cycle and lost it, the other heard everything.
	std::vector<float> played = Sine(44100, 0.5f, 587);
	std::vector<float> lost(played.begin(), played.begin() + 5000);
	lost.insert(lost.end(), played.begin() + 6024, played.end());
	size_t at = 0;
	LargestStepWithin(lost, 0, lost.size(), FindDropouts(lost), &at);
	ASSERT_EQ(5000u, at);
	EXPECT_FALSE(StepHeardIn(lost, at, played, 5000, 2000));

	// A click in what the sink played is in every recording of it, found
	// where it is expected give or take the slack.
	played[19000] += 0.3f;
	std::vector<float> later(played.begin() + 777, played.end());
	EXPECT_TRUE(StepHeardIn(played, 19000, later, 19000 - 777 + 1500, 2000));
	EXPECT_FALSE(StepHeardIn(played, 19000, later, 19000 - 777 + 3000, 2000));
	// Where the other recording does not reach, it cannot tell.
	EXPECT_TRUE(StepHeardIn(lost, at, played, 1000, 2000));
	EXPECT_TRUE(StepHeardIn(lost, at, std::vector<float>(6000, 0.0f), 5000, 2000));
}
