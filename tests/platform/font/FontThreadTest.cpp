// Several windows' threads measuring and drawing at once must get exactly
// what one thread alone gets, also while large glyphs push others out of the
// shared glyph cache.

#include <Font.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <private/FontEngine.h>

#include "../../support/Watchdog.h"
#include "TestCanvas.h"

namespace {

using namespace std::chrono_literals;

const uint32 kBackground = 0xffd8d8d8;
const int32 kCanvasWidth = 160;
const int32 kCanvasHeight = 48;

struct Job {
	BFont font;
	std::string text;
	float baseline;
};

std::vector<Job>
MakeJobs()
{
	const char* const kTexts[] = {
		"Volume: Unity A(440) E (High) -20 dB",
		"Note: Guitar Bass D G",
		"-3 dB -10 dB Mute",
		"\xc3\x89t\xc3\xa9 \xe2\x82\xac \xc3\xa5\xc3\xa4\xc3\xb6",
	};
	std::vector<Job> jobs;
	for (float size : { 9.0f, 10.0f, 11.5f, 14.0f, 23.0f }) {
		for (const BFont* base : { be_plain_font, be_bold_font }) {
			for (const char* text : kTexts) {
				Job job{ BFont(base), text, 30 };
				job.font.SetSize(size);
				jobs.push_back(job);
			}
		}
	}
	// Big glyphs at many sizes overflow the cache again and again while the
	// small ones are in use.
	for (float size = 120; size <= 480; size += 15) {
		Job job{ BFont(), "WM@&QB%", size * 0.8f };
		job.font.SetSize(size);
		jobs.push_back(job);
	}
	return jobs;
}

struct Result {
	std::vector<uint32> pixels;
	float advance;
	float width;
	font_height height;
};

Result
RunJob(const Job& job)
{
	TestCanvas canvas(kCanvasWidth, kCanvasHeight, kBackground);
	Result result;
	result.advance = BPrivate::DrawString(canvas.Canvas(),
		canvas.Canvas().Bounds(), job.font, job.text.c_str(), -1, 2,
		job.baseline, rgb_color{ 0, 0, 0, 255 });
	result.width = job.font.StringWidth(job.text.c_str());
	job.font.GetHeight(&result.height);
	result.pixels = canvas.Pixels();
	return result;
}

bool
Same(const Result& a, const Result& b)
{
	return a.pixels == b.pixels && a.advance == b.advance
		&& a.width == b.width && a.height.ascent == b.height.ascent
		&& a.height.descent == b.height.descent
		&& a.height.leading == b.height.leading;
}

// Lets the threads start their work at the same moment.
class StartLine {
public:
	explicit StartLine(int count) : fWaiting(count) {}
	void Arrive()
	{
		std::unique_lock<std::mutex> lock(fLock);
		if (--fWaiting == 0)
			fGo.notify_all();
		else
			fGo.wait(lock, [this] { return fWaiting == 0; });
	}

private:
	std::mutex fLock;
	std::condition_variable fGo;
	int fWaiting;
};

} // namespace

TEST(FontThreadTest, FirstUseFromManyThreadsAtOnce)
{
	Watchdog watchdog(120s, "FirstUseFromManyThreadsAtOnce");
	const int kThreads = 4;
	StartLine start(kThreads);
	std::vector<float> widths(kThreads);
	std::vector<std::thread> threads;
	for (int i = 0; i < kThreads; i++) {
		threads.emplace_back([&, i] {
			start.Arrive();
			widths[i] = be_plain_font->StringWidth("Volume:");
		});
	}
	for (std::thread& thread : threads)
		thread.join();
	EXPECT_GT(widths[0], 0.0f);
	for (float width : widths)
		EXPECT_EQ(width, widths[0]);
	EXPECT_EQ(be_plain_font->StringWidth("Volume:"), widths[0]);
}

TEST(FontThreadTest, ConcurrentDrawingMatchesOneThread)
{
	Watchdog watchdog(240s, "ConcurrentDrawingMatchesOneThread");
	const std::vector<Job> jobs = MakeJobs();

	std::vector<Result> expected;
	for (const Job& job : jobs)
		expected.push_back(RunJob(job));
	for (const Result& result : expected)
		ASSERT_EQ(result.advance, result.width);

	const int kThreads = 4;
	const int kRounds = 3;
	StartLine start(kThreads);
	std::atomic<int> mismatches{0};
	std::atomic<int> runs{0};
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; t++) {
		threads.emplace_back([&, t] {
			start.Arrive();
			for (int round = 0; round < kRounds; round++) {
				// Each thread walks the jobs from its own starting point
				// and direction, so different sizes meet in the cache.
				for (size_t k = 0; k < jobs.size(); k++) {
					size_t offset = size_t(t) * jobs.size() / kThreads;
					size_t index = t % 2 == 0
						? (offset + k) % jobs.size()
						: (offset + jobs.size() - k) % jobs.size();
					if (!Same(RunJob(jobs[index]), expected[index]))
						mismatches++;
					runs++;
				}
			}
		});
	}
	for (std::thread& thread : threads)
		thread.join();

	EXPECT_EQ(runs.load(), int(kThreads * kRounds * jobs.size()));
	EXPECT_EQ(mismatches.load(), 0);
}
