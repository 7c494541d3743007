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

// Around the silence of a dropout the server may also lose a buffer of the
// stream's: measured on PipeWire, the tone's phase jumped a 1024-frame
// quantum before the zeros began or after they ended. The frames this close
// to a dropout, on either side, belong to it.
const size_t kDropoutReach = 2048;

struct DropoutReport {
	std::vector<Dropout> dropouts;
	// The largest step between two consecutive samples, leaving out each
	// dropout and the frames within its reach: the tone's own.
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

// The largest step between two consecutive samples within frames from..to,
// leaving out each dropout and the frames within its reach. samples may
// reach beyond from..to, so that a dropout across the stretch's edge is
// found and left out too.
// Where it is (the frame after the step) goes to *at when at is given.
double LargestStepWithin(const std::vector<float>& samples, size_t from,
	size_t to, const DropoutReport& report, size_t* at = nullptr);

// The frames from..to of samples with every dropout taken out. Where the
// server only delayed the stream, this is the stream as the program wrote
// it; where it also lost what the stream had ready, the tone's phase jumps
// there (which the analysis's pitch leaves out), but its level is still the
// program's. samples
// may reach beyond from..to on either side, so that a dropout that starts
// or ends at the stretch's edge has sound on both sides and is found.
std::vector<float> WithoutDropouts(const std::vector<float>& samples,
	size_t from, size_t to, const DropoutReport& report);

// Whether the step at frame at of one recording is in another recording of
// the same sink too. Two recorders of one sink hear the same samples, bit
// for bit, so a click the program made is in both; a recorder that was late
// for a cycle of the server's graph has lost those frames alone, and the
// tone's phase jumps in its recording only. True when the frames within
// reach of the step, the step and all, are in other within slack frames of
// near, where the step should be there; true as well when other does not
// reach that far on either side, since then it cannot tell.
bool StepHeardIn(const std::vector<float>& samples, size_t at,
	const std::vector<float>& other, size_t near, size_t slack,
	size_t reach = 256);

} // namespace e2e

#endif // TESTS_E2E_DROPOUTS_H
