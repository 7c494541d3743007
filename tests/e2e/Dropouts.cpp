#include "Dropouts.h"

#include <algorithm>
#include <cmath>

namespace e2e {

namespace {

const size_t kNeighbourhood = 64;

bool
LoudBetween(const std::vector<float>& samples, size_t from, size_t to,
	float loud)
{
	for (size_t i = from; i < to && i < samples.size(); i++) {
		if (std::fabs(samples[i]) >= loud)
			return true;
	}
	return false;
}

} // namespace

DropoutReport
FindDropouts(const std::vector<float>& samples, float loud)
{
	DropoutReport report;
	size_t i = 0;
	while (i < samples.size()) {
		if (samples[i] != 0.0f) {
			i++;
			continue;
		}
		size_t end = i;
		while (end < samples.size() && samples[end] == 0.0f)
			end++;
		size_t before = i >= kNeighbourhood ? i - kNeighbourhood : 0;
		if (i > 0 && end < samples.size()
			&& LoudBetween(samples, before, i, loud)
			&& LoudBetween(samples, end, end + kNeighbourhood, loud))
			report.dropouts.push_back(Dropout{ i, end - i });
		i = end;
	}
	report.largestStep = LargestStepWithin(samples, 0, samples.size(), report);
	return report;
}

double
LargestStepWithin(const std::vector<float>& samples, size_t from, size_t to,
	const DropoutReport& report, size_t* at)
{
	to = std::min(to, samples.size());
	double largest = 0;
	auto dropout = report.dropouts.begin();
	for (size_t n = std::max(from, size_t(1)); n < to; n++) {
		// Steps inside a dropout and within its reach are not the tone's.
		while (dropout != report.dropouts.end()
			&& dropout->at + dropout->frames + kDropoutReach < n)
			++dropout;
		if (dropout != report.dropouts.end()
			&& dropout->at <= n + kDropoutReach)
			continue;
		if (!std::isfinite(samples[n]) || !std::isfinite(samples[n - 1]))
			continue;
		double step = std::fabs(samples[n] - samples[n - 1]);
		if (step > largest) {
			largest = step;
			if (at != nullptr)
				*at = n;
		}
	}
	return largest;
}

std::vector<float>
WithoutDropouts(const std::vector<float>& samples, size_t from, size_t to,
	const DropoutReport& report)
{
	std::vector<float> kept;
	to = std::min(to, samples.size());
	auto dropout = report.dropouts.begin();
	for (size_t i = from; i < to; i++) {
		while (dropout != report.dropouts.end()
			&& dropout->at + dropout->frames <= i)
			++dropout;
		if (dropout != report.dropouts.end() && dropout->at <= i)
			continue;
		kept.push_back(samples[i]);
	}
	return kept;
}

bool
StepHeardIn(const std::vector<float>& samples, size_t at,
	const std::vector<float>& other, size_t near, size_t slack, size_t reach)
{
	size_t from = at > reach ? at - reach : 0;
	size_t to = std::min(samples.size(), at + reach);
	if (from >= to || near < slack || near + slack + (to - from) > other.size())
		return true;
	size_t length = to - from;
	// The same float through two recorders; a hair's tolerance in case one
	// of them applies a volume of exactly 1 in another way.
	auto same = [](float a, float b) { return std::fabs(a - b) <= 1e-6f; };
	for (size_t start = near - slack; start <= near + slack; start++) {
		size_t i = 0;
		while (i < length && same(other[start + i], samples[from + i]))
			i++;
		if (i == length)
			return true;
	}
	return false;
}

} // namespace e2e
