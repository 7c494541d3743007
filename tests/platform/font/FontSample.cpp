/*
 * Renders sample lines the way the program's controls show them, black on
 * the panel's light grey, into a PPM file to look at:
 *   font_sample out.ppm [scale]
 */
#include <cstdio>
#include <cstdlib>

#include <Font.h>
#include <private/FontEngine.h>

#include "TestCanvas.h"

int
main(int argc, char** argv)
{
	if (argc < 2) {
		fprintf(stderr, "usage: %s out.ppm [scale]\n", argv[0]);
		return 2;
	}
	int scale = argc > 2 ? atoi(argv[2]) : 1;
	if (scale < 1 || scale > 16)
		scale = 1;

	const char* const kLines[] = {
		"Volume: Unity A(440) E (High) -20 dB",
		"Note: Guitar Bass D G -3 dB -10 dB Mute",
		"The quick brown fox jumps over the lazy dog 0123456789",
	};
	const rgb_color kBlack = { 0, 0, 0, 255 };
	TestCanvas canvas(300, 96, 0xffd8d8d8);
	BPrivate::ClipBox clip = canvas.Canvas().Bounds();
	float baseline = 14;
	for (const char* line : kLines) {
		BPrivate::DrawString(canvas.Canvas(), clip, *be_plain_font, line, -1,
			5, baseline, kBlack);
		baseline += 16;
	}
	for (const char* line : kLines) {
		BPrivate::DrawString(canvas.Canvas(), clip, *be_bold_font, line, -1,
			5, baseline, kBlack);
		baseline += 16;
	}
	if (!canvas.WritePpm(argv[1], scale)) {
		fprintf(stderr, "cannot write %s\n", argv[1]);
		return 1;
	}
	return 0;
}
