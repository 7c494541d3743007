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
	std::vector<bool> edge(samples.size(), false);
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
			&& LoudBetween(samples, end, end + kNeighbourhood, loud)) {
			report.dropouts.push_back(Dropout{ i, end - i });
			edge[i] = true;
			edge[end] = true;
		}
		i = end;
	}
	for (size_t n = 1; n < samples.size(); n++) {
		if (edge[n] || !std::isfinite(samples[n])
			|| !std::isfinite(samples[n - 1]))
			continue;
		report.largestStep = std::max(report.largestStep,
			double(std::fabs(samples[n] - samples[n - 1])));
	}
	return report;
}

} // namespace e2e
