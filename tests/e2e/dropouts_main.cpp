/*
 * e2e-dropouts: finds the dropouts in a recording (see Dropouts.h).
 *
 *   e2e-dropouts FILE.wav [FROM TO [--without OUT.wav]]
 *
 * prints "dropouts=N", "largest_step=X" (leaving the dropouts and the frames
 * within their reach out), "largest_step_at=SECONDS" (where it is) and one
 * "dropout=SECONDS,FRAMES" line for each,
 * first to last. Given FROM and TO, it speaks of seconds FROM to TO of
 * FILE.wav alone, though the dropouts are looked for in the whole of it, so
 * that one across the edge of the stretch is found. With --without it also
 * writes OUT.wav, one channel of 32-bit floats: the stretch with its
 * dropouts taken out.
 *
 *   e2e-dropouts FILE.wav --heard-in OTHER.wav SECONDS OTHER_SECONDS
 *
 * prints "heard_in_other=1" when the step at SECONDS of FILE.wav is in
 * OTHER.wav too, another recording of the same sink, within 2 s of
 * OTHER_SECONDS, and "heard_in_other=0" when that recorder did not hear it
 * (see StepHeardIn).
 */
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Dropouts.h"
#include "Recording.h"

namespace {

void
Put32(FILE* file, uint32_t value)
{
	uint8_t bytes[4] = { uint8_t(value), uint8_t(value >> 8),
		uint8_t(value >> 16), uint8_t(value >> 24) };
	fwrite(bytes, 1, 4, file);
}

bool
WriteFloatWav(const char* path, const std::vector<float>& samples,
	uint32_t rate)
{
	FILE* file = fopen(path, "wb");
	if (file == nullptr)
		return false;
	uint32_t bytes = uint32_t(samples.size() * sizeof(float));
	fwrite("RIFF", 1, 4, file);
	Put32(file, 36 + bytes);
	fwrite("WAVEfmt ", 1, 8, file);
	Put32(file, 16);
	const uint8_t formatAndChannels[4] = { 3, 0, 1, 0 };	// float, mono
	fwrite(formatAndChannels, 1, 4, file);
	Put32(file, rate);
	Put32(file, rate * 4);
	const uint8_t alignAndBits[4] = { 4, 0, 32, 0 };
	fwrite(alignAndBits, 1, 4, file);
	fwrite("data", 1, 4, file);
	Put32(file, bytes);
	// The machines this runs on are little-endian, as WAV is.
	fwrite(samples.data(), sizeof(float), samples.size(), file);
	return fclose(file) == 0;
}

int
HeardIn(const char* path, const char* otherPath, const char* seconds,
	const char* otherSeconds)
{
	analysis::Recording recording;
	analysis::Recording other;
	std::string error;
	if (!analysis::ReadWav(path, 0, &recording, &error)
		|| !analysis::ReadWav(otherPath, 0, &other, &error)) {
		fprintf(stderr, "e2e-dropouts: %s\n", error.c_str());
		return 1;
	}
	auto frame = [](const char* text, double rate) {
		double at = atof(text) * rate;
		return at > 0 ? size_t(at + 0.5) : size_t(0);
	};
	// The two recorders started apart and may each have lost a few cycles
	// since: the step is looked for this far either side of where it should be.
	size_t slack = size_t(2 * other.rate);
	printf("heard_in_other=%d\n",
		e2e::StepHeardIn(recording.samples, frame(seconds, recording.rate),
			other.samples, frame(otherSeconds, other.rate), slack) ? 1 : 0);
	return 0;
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc == 6 && strcmp(argv[2], "--heard-in") == 0)
		return HeardIn(argv[1], argv[3], argv[4], argv[5]);
	bool stretch = argc == 4 || argc == 6;
	bool without = argc == 6 && strcmp(argv[4], "--without") == 0;
	if (argc != 2 && argc != 4 && !without) {
		fprintf(stderr, "usage: e2e-dropouts FILE.wav [FROM TO [--without OUT.wav]]\n");
		return 2;
	}
	analysis::Recording recording;
	std::string error;
	if (!analysis::ReadWav(argv[1], 0, &recording, &error)) {
		fprintf(stderr, "e2e-dropouts: %s\n", error.c_str());
		return 1;
	}
	auto frame = [&](const char* seconds) {
		double at = atof(seconds) * recording.rate;
		return std::min(at > 0 ? size_t(at) : size_t(0), recording.samples.size());
	};
	size_t from = stretch ? frame(argv[2]) : 0;
	size_t to = stretch ? std::max(from, frame(argv[3])) : recording.samples.size();

	e2e::DropoutReport report = e2e::FindDropouts(recording.samples);
	std::vector<e2e::Dropout> inside;
	for (const e2e::Dropout& dropout : report.dropouts) {
		if (dropout.at < to && dropout.at + dropout.frames > from)
			inside.push_back(dropout);
	}
	printf("dropouts=%zu\n", inside.size());
	// Enough digits for a tone far below full scale.
	size_t stepAt = from;
	printf("largest_step=%.9g\n",
		e2e::LargestStepWithin(recording.samples, from, to, report, &stepAt));
	printf("largest_step_at=%.4f\n", stepAt / recording.rate);
	for (const e2e::Dropout& dropout : inside)
		printf("dropout=%.4f,%zu\n", dropout.at / recording.rate, dropout.frames);

	if (without) {
		std::vector<float> kept
			= e2e::WithoutDropouts(recording.samples, from, to, report);
		if (!WriteFloatWav(argv[5], kept, uint32_t(recording.rate))) {
			fprintf(stderr, "e2e-dropouts: cannot write %s\n", argv[5]);
			return 1;
		}
	}
	return 0;
}
