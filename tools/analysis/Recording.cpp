#include "Recording.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace analysis {

namespace {

uint32_t
Get32(const std::vector<uint8_t>& bytes, size_t at)
{
	return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16
		| uint32_t(bytes[at + 3]) << 24;
}

uint16_t
Get16(const std::vector<uint8_t>& bytes, size_t at)
{
	return uint16_t(bytes[at] | bytes[at + 1] << 8);
}

const double kPi = 3.141592653589793;

} // namespace

bool
ReadWav(const std::string& path, unsigned channel, Recording* recording,
	std::string* error)
{
	std::ifstream file(path, std::ios::binary);
	if (!file) {
		*error = "cannot open " + path;
		return false;
	}
	std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
		std::istreambuf_iterator<char>());
	if (bytes.size() < 12 || memcmp(bytes.data(), "RIFF", 4) != 0
		|| memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
		*error = path + " is not a WAV file";
		return false;
	}

	unsigned format = 0;
	unsigned bits = 0;
	size_t dataAt = 0;
	size_t dataSize = 0;
	size_t at = 12;
	while (at + 8 <= bytes.size()) {
		uint32_t size = Get32(bytes, at + 4);
		size_t body = at + 8;
		if (memcmp(bytes.data() + at, "fmt ", 4) == 0 && body + 16 <= bytes.size()) {
			format = Get16(bytes, body);
			recording->channels = Get16(bytes, body + 2);
			recording->rate = Get32(bytes, body + 4);
			bits = Get16(bytes, body + 14);
			// WAVE_FORMAT_EXTENSIBLE keeps the real format in its sub-format.
			if (format == 0xfffe && size >= 40 && body + 26 <= bytes.size())
				format = Get16(bytes, body + 24);
		} else if (memcmp(bytes.data() + at, "data", 4) == 0) {
			dataAt = body;
			// A recorder stopped without care leaves the size unwritten.
			dataSize = size == 0 || size == 0xffffffff || body + size > bytes.size()
				? bytes.size() - body : size;
			break;
		}
		at = body + size + (size & 1);
	}

	bool isFloat = format == 3 && bits == 32;
	bool isShort = format == 1 && bits == 16;
	if (!isFloat && !isShort) {
		*error = path + ": only 32-bit float and 16-bit PCM are read";
		return false;
	}
	if (dataAt == 0 || recording->channels == 0 || recording->rate <= 0) {
		*error = path + ": no sound data";
		return false;
	}
	if (channel >= recording->channels) {
		*error = path + ": has no channel " + std::to_string(channel);
		return false;
	}

	size_t sampleBytes = bits / 8;
	size_t frameBytes = sampleBytes * recording->channels;
	size_t frames = dataSize / frameBytes;
	recording->samples.resize(frames);
	for (size_t i = 0; i < frames; i++) {
		const uint8_t* sample = bytes.data() + dataAt + i * frameBytes
			+ channel * sampleBytes;
		if (isFloat)
			memcpy(&recording->samples[i], sample, sizeof(float));
		else
			recording->samples[i] = int16_t(sample[0] | sample[1] << 8) / 32768.0f;
	}
	return true;
}

std::vector<float>
Stretch(const Recording& recording, double from, double to)
{
	size_t size = recording.samples.size();
	size_t first = from <= 0 ? 0 : std::min(size, size_t(from * recording.rate));
	size_t last = to < 0 ? size : std::min(size, size_t(to * recording.rate));
	if (last < first)
		last = first;
	return std::vector<float>(recording.samples.begin() + first,
		recording.samples.begin() + last);
}

Measures
Measure(const std::vector<float>& samples, double rate)
{
	Measures measures;
	measures.frames = samples.size();

	double sumSquares = 0;
	std::vector<double> crossings;	// upward, interpolated between frames
	bool havePrevious = false;
	float previous = 0;
	for (size_t i = 0; i < samples.size(); i++) {
		float sample = samples[i];
		if (!std::isfinite(sample)) {
			measures.nonFinite++;
			havePrevious = false;
			continue;
		}
		measures.peak = std::max(measures.peak, double(std::fabs(sample)));
		sumSquares += double(sample) * sample;
		if (havePrevious) {
			measures.largestStep = std::max(measures.largestStep,
				double(std::fabs(sample - previous)));
			if (previous < 0 && sample >= 0)
				crossings.push_back((i - 1) + previous / double(previous - sample));
		}
		previous = sample;
		havePrevious = true;
	}

	size_t finite = samples.size() - measures.nonFinite;
	if (finite > 0)
		measures.rms = sqrt(sumSquares / finite);
	// The tone's period is what most periods are. One that a glitch in the
	// recording cut short or drew out (a dropout, a lost buffer, where the
	// phase jumps) is left out, so that it does not pull the pitch; the
	// rest are added up, so that the small errors of interpolating each
	// crossing cancel out.
	if (crossings.size() >= 2) {
		std::vector<double> periods;
		for (size_t i = 1; i < crossings.size(); i++)
			periods.push_back(crossings[i] - crossings[i - 1]);
		std::vector<double> sorted = periods;
		std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2,
			sorted.end());
		double median = sorted[sorted.size() / 2];
		double sum = 0;
		size_t kept = 0;
		for (double period : periods) {
			if (std::fabs(period - median) <= 0.002 * median) {
				sum += period;
				kept++;
			}
		}
		measures.frequency = kept * rate / sum;
	}
	if (measures.peak > 0)
		measures.peakDbfs = 20 * log10(measures.peak);
	if (measures.rms > 0)
		measures.toneDbfs = 20 * log10(measures.rms * sqrt(2.0));
	// A sine of peak A at f moves at most 2 A sin(pi f / rate) a frame.
	measures.allowedStep = 2 * measures.peak * sin(kPi * measures.frequency / rate);
	return measures;
}

double
GlideTimeConstant(const std::vector<float>& samples, double rate)
{
	// Blocks of about 10 ms, but of whole periods of the tone: a low note's
	// level over a block that cuts a period short ripples by several per
	// cent, more than the 2 % that marks where the glide begins.
	size_t block = size_t(rate / 100);
	double frequency = Measure(samples, rate).frequency;
	if (frequency > 0 && frequency < rate / 4) {
		double periods = std::max(1.0, std::round(0.01 * frequency));
		block = size_t(std::lround(periods * rate / frequency));
	}
	if (block == 0 || samples.size() < block * 10)
		return -1;
	std::vector<double> level;
	for (size_t at = 0; at + block <= samples.size(); at += block) {
		double sum = 0;
		for (size_t i = at; i < at + block; i++)
			sum += double(samples[i]) * samples[i];
		level.push_back(sqrt(sum / block) * sqrt(2.0));
	}

	double start = level.front();
	size_t tail = level.size() / 5;
	double end = 0;
	for (size_t i = level.size() - tail; i < level.size(); i++)
		end += level[i];
	end /= tail;
	double gap = start - end;
	if (std::fabs(gap) < 1e-9 || std::fabs(gap) < 0.05 * std::max(start, end))
		return -1;

	// The time, in blocks, at which the level has closed share of the gap,
	// interpolated between block centres; -1 if it never does.
	auto crossing = [&](double share) {
		double remaining = std::fabs(gap) * (1 - share);
		for (size_t i = 1; i < level.size(); i++) {
			double after = std::fabs(level[i] - end);
			if (after <= remaining) {
				double before = std::fabs(level[i - 1] - end);
				double fraction = before == after ? 0
					: (before - remaining) / (before - after);
				return i - 1 + fraction;
			}
		}
		return -1.0;
	};
	// The stretch may begin before the glide does. An exponential closes 2 %
	// of its gap after 0.0202 time constants and 1 - 1/e after one, so the
	// time between those two crossings gives the constant wherever the
	// glide began.
	double onset = crossing(0.02);
	double oneConstant = crossing(1 - exp(-1.0));
	if (onset < 0 || oneConstant < 0)
		return -1;
	return (oneConstant - onset) * block / rate / (1 + log(0.98));
}

} // namespace analysis
