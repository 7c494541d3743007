/*
 * Reads a recording of the program's output and measures it: what the
 * end-to-end tests hear. Works on one channel of a WAV file of 32-bit float
 * or 16-bit integer samples, over any stretch of time.
 */
#ifndef TOOLS_ANALYSIS_RECORDING_H
#define TOOLS_ANALYSIS_RECORDING_H

#include <cstddef>
#include <string>
#include <vector>

namespace analysis {

struct Recording {
	double rate = 0;
	unsigned channels = 0;
	std::vector<float> samples;		// one channel

	double Seconds() const { return rate > 0 ? samples.size() / rate : 0; }
};

// Reads channel (0 first) of a WAV file. Returns false with a one-line
// reason in *error on anything it cannot read.
bool ReadWav(const std::string& path, unsigned channel, Recording* recording,
	std::string* error);

// The samples from second from to second to (clamped to the recording).
std::vector<float> Stretch(const Recording& recording, double from, double to);

struct Measures {
	size_t frames = 0;
	size_t nonFinite = 0;		// NaN or Inf samples
	double frequency = 0;		// Hz, from the periods between upward zero
								// crossings, leaving out any a glitch cut
								// short or drew out; 0 if none
	double peak = 0;			// largest magnitude
	double rms = 0;
	double peakDbfs = -999;		// 20 log10 peak; -999 for silence
	double toneDbfs = -999;		// the level of a sine with this RMS
	double largestStep = 0;		// largest |x[n] - x[n-1]|
	double allowedStep = 0;		// what a sine of this pitch and peak allows
};

Measures Measure(const std::vector<float>& samples, double rate);

// The time constant, in seconds, of a glide within the stretch: how long the
// level (in blocks of whole periods, about 10 ms) takes to close all but 1/e of the gap between its
// start and where it settles in the last fifth of the stretch, wherever in
// the stretch the glide begins. Negative when
// the level does not move.
double GlideTimeConstant(const std::vector<float>& samples, double rate);

} // namespace analysis

#endif // TOOLS_ANALYSIS_RECORDING_H
