/*
 * analyse-recording: measures a stretch of a recording of the program.
 *
 *   analyse-recording FILE.wav [--from SECONDS] [--to SECONDS] [--channel N]
 *
 * prints one "name=value" line per measure, for scripts to read:
 * frames, seconds, nonfinite, frequency_hz, peak_dbfs, tone_dbfs,
 * largest_step, allowed_step, step_ratio (above 1 is a click), glide_tau_s
 * (negative when the level does not glide).
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Recording.h"

int
main(int argc, char** argv)
{
	const char* path = nullptr;
	double from = 0;
	double to = -1;
	unsigned channel = 0;
	for (int i = 1; i < argc; i++) {
		if (strcmp(argv[i], "--from") == 0 && i + 1 < argc)
			from = atof(argv[++i]);
		else if (strcmp(argv[i], "--to") == 0 && i + 1 < argc)
			to = atof(argv[++i]);
		else if (strcmp(argv[i], "--channel") == 0 && i + 1 < argc)
			channel = unsigned(atoi(argv[++i]));
		else if (path == nullptr && argv[i][0] != '-')
			path = argv[i];
		else {
			fprintf(stderr, "usage: analyse-recording FILE.wav [--from S] [--to S] [--channel N]\n");
			return 2;
		}
	}
	if (path == nullptr) {
		fprintf(stderr, "usage: analyse-recording FILE.wav [--from S] [--to S] [--channel N]\n");
		return 2;
	}

	analysis::Recording recording;
	std::string error;
	if (!analysis::ReadWav(path, channel, &recording, &error)) {
		fprintf(stderr, "analyse-recording: %s\n", error.c_str());
		return 1;
	}
	std::vector<float> stretch = analysis::Stretch(recording, from, to);
	analysis::Measures m = analysis::Measure(stretch, recording.rate);
	printf("frames=%zu\n", m.frames);
	printf("seconds=%.3f\n", m.frames / recording.rate);
	printf("nonfinite=%zu\n", m.nonFinite);
	printf("frequency_hz=%.2f\n", m.frequency);
	printf("peak_dbfs=%.2f\n", m.peakDbfs);
	printf("tone_dbfs=%.2f\n", m.toneDbfs);
	printf("largest_step=%.6f\n", m.largestStep);
	printf("allowed_step=%.6f\n", m.allowedStep);
	printf("step_ratio=%.3f\n", m.allowedStep > 0 ? m.largestStep / m.allowedStep : 0.0);
	printf("glide_tau_s=%.4f\n", analysis::GlideTimeConstant(stretch, recording.rate));
	return 0;
}
