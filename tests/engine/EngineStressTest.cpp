// Setters and the callback on different threads at once, as the window
// thread and the audio thread meet. Run under ThreadSanitizer, this also
// proves the two sides share nothing unsynchronised.

#include <atomic>
#include <random>
#include <thread>

#include "EngineFixture.h"
#include "../support/Watchdog.h"

namespace {

const short kNotes[] = { 329, 440, 587, 783, 987, 1318, 164, 220, 293, 391 };
const short kLevels[] = { 0, -3, -10, -20, -120 };

void
ChangeSettings(TonePlayer* player, unsigned seed, int changes)
{
	std::mt19937 random(seed);
	for (int i = 0; i < changes; i++) {
		switch (random() % 4) {
			case 0:
				player->SetFrequency(kNotes[random() % 10]);
				break;
			case 1:
				player->SetLevel(kLevels[random() % 5]);
				break;
			case 2:
				player->SetNoise(random() % 3 == 0);
				break;
			default:
				player->SetNoiseMix();
				break;
		}
		if (random() % 8 == 0)
			std::this_thread::yield();
	}
}

TEST_F(EngineTest, SettersAndCallbackOnThreeThreadsStayClean)
{
	Watchdog watchdog(std::chrono::seconds(120), "engine stress test");

	// Every gain is at most 1 and every note at most 1318 Hz, so no two
	// consecutive samples may lie further apart than a full-scale sine at
	// that pitch moves in one frame (a retune resumes on the rising half
	// from the same value), plus a little for the glide.
	const double omega = 6.283185307179586 * 1318 / 44100.0;
	const double largestStep = 2 * sin(omega / 2) + 1e-3;

	std::atomic<bool> settersDone{false};
	std::atomic<size_t> buffers{0};
	double worstStep = 0;
	size_t badSamples = 0;

	std::thread audio([&] {
		std::vector<float> buffer(512 * 2);
		media_raw_audio_format format = FloatFormat(2);
		float last = 0;
		bool first = true;
		while (!settersDone.load() || buffers.load() < 2000) {
			BufferProc(nullptr, buffer.data(), buffer.size() * sizeof(float),
				format);
			for (size_t i = 0; i < buffer.size(); i += 2) {
				float sample = buffer[i];
				if (!std::isfinite(sample) || std::fabs(sample) > 1.0f
					|| sample != buffer[i + 1]) {
					badSamples++;
				}
				if (!first)
					worstStep = std::max(worstStep, double(std::fabs(sample - last)));
				last = sample;
				first = false;
			}
			buffers++;
		}
	});
	std::thread window(ChangeSettings, fPlayer, 1u, 20000);
	std::thread main(ChangeSettings, fPlayer, 2u, 20000);
	window.join();
	main.join();
	settersDone = true;
	audio.join();

	EXPECT_EQ(badSamples, 0u);
	EXPECT_LE(worstStep, largestStep);
	EXPECT_GE(buffers.load(), 2000u);
}

} // namespace
