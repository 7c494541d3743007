/*
 * e2e-dropouts: finds the dropouts in a recording (see Dropouts.h).
 *
 *   e2e-dropouts FILE.wav
 *
 * prints "dropouts=N", "largest_step=X" (leaving their edges out) and one
 * "dropout=SECONDS,FRAMES" line for each, first to last.
 */
#include <cstdio>
#include <string>

#include "Dropouts.h"
#include "Recording.h"

int
main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: e2e-dropouts FILE.wav\n");
		return 2;
	}
	analysis::Recording recording;
	std::string error;
	if (!analysis::ReadWav(argv[1], 0, &recording, &error)) {
		fprintf(stderr, "e2e-dropouts: %s\n", error.c_str());
		return 1;
	}
	e2e::DropoutReport report = e2e::FindDropouts(recording.samples);
	printf("dropouts=%zu\n", report.dropouts.size());
	// Enough digits for a tone far below full scale.
	printf("largest_step=%.9g\n", report.largestStep);
	for (const e2e::Dropout& dropout : report.dropouts) {
		printf("dropout=%.4f,%zu\n", dropout.at / recording.rate,
			dropout.frames);
	}
	return 0;
}
