/*
 * Dropouts: stretches where the sound server played silence in the middle of
 * the tone because the program's stream had nothing ready (an underrun).
 * They are heard as clicks, but they are not steps the tone itself makes,
 * so the scenarios report them apart from the tone's own largest step.
 */
#ifndef TESTS_E2E_DROPOUTS_H
#define TESTS_E2E_DROPOUTS_H

#include <cstddef>
#include <vector>

namespace e2e {

struct Dropout {
	size_t at;			// first silent frame
	size_t frames;
};

struct DropoutReport {
	std::vector<Dropout> dropouts;
	// The largest step between two consecutive samples when the edges of
	// the dropouts are left out: the tone's own.
	double largestStep = 0;
};

// A dropout is a run of exact zeros, however short, with sound on both
// sides: some sample of at least loud in magnitude within the 64 frames
// before it and within the 64 after. The tone never computes an exact zero
// while it sounds, so even one such frame is the server playing nothing;
// a stream running dry has left runs as short as 13 frames. A tone gliding
// out to nothing, or a stream that ends, has quiet on one side at least and
// is no dropout.
DropoutReport FindDropouts(const std::vector<float>& samples,
	float loud = 1e-4f);

} // namespace e2e

#endif // TESTS_E2E_DROPOUTS_H
