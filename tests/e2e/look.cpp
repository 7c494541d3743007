/*
 * e2e-look: reads screenshots (binary PPM) for the end-to-end scenarios.
 *
 *   e2e-look text TEXT                        the ink of TEXT as the kit draws it
 *   e2e-look ink IMAGE X0 Y0 X1 Y1            the ink inside a box
 *   e2e-look label IMAGE X0 Y0 X1 Y1 TEXT     does the box show exactly TEXT?
 *   e2e-look find IMAGE TEXT X0 Y0 X1 Y1 [BG] where TEXT is shown: "X Y W H"
 *   e2e-look uniform IMAGE X0 Y0 X1 Y1 R G B  is every pixel of the box R,G,B?
 *   e2e-look dark IMAGE X0 Y0 X1 Y1           how many pixels are ink
 *   e2e-look count IMAGE X0 Y0 X1 Y1 R G B    how many pixels are R,G,B
 *   e2e-look run IMAGE X Y DX DY              pixels of (X,Y)'s colour from there
 *   e2e-look pixel IMAGE X Y                  "R G B"
 *   e2e-look menus IMAGE                      each menu's frame: "X Y W H" a line
 *
 * Boxes are inclusive. Ink is a pixel whose red, green and blue are all
 * below halfway from the background to black, so the blue keyboard-focus
 * line never counts as text. The background is the grey most of the box
 * shows (or BG). Text is drawn with the program's own font engine, black on
 * that background, which places every glyph on whole pixels: the same label
 * shows the same ink wherever it is drawn, and a label can be compared with
 * what it should read, pixel for pixel. For ink and dark the background is
 * the controls' face, 232.
 *
 * Exit status: 0 yes or done, 1 no or not found, 2 bad arguments or input.
 */
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <Font.h>
#include <private/Canvas.h>
#include <private/FontEngine.h>

#include "LookImage.h"

using namespace e2e;

namespace {

const rgb_color kBlack = { 0, 0, 0, 255 };

int
InkBelow(int background)
{
	return (background + 1) / 2;
}

void
Usage()
{
	fprintf(stderr,
		"usage: e2e-look text TEXT\n"
		"       e2e-look ink IMAGE X0 Y0 X1 Y1\n"
		"       e2e-look label IMAGE X0 Y0 X1 Y1 TEXT\n"
		"       e2e-look find IMAGE TEXT X0 Y0 X1 Y1 [BG]\n"
		"       e2e-look uniform IMAGE X0 Y0 X1 Y1 R G B\n"
		"       e2e-look dark IMAGE X0 Y0 X1 Y1\n"
		"       e2e-look count IMAGE X0 Y0 X1 Y1 R G B\n"
		"       e2e-look run IMAGE X Y DX DY\n"
		"       e2e-look pixel IMAGE X Y\n"
		"       e2e-look menus IMAGE\n");
}

bool
ParseInts(char** args, int count, int* values)
{
	for (int i = 0; i < count; i++) {
		char* end = nullptr;
		long value = strtol(args[i], &end, 10);
		if (end == args[i] || *end != '\0' || value < -100000 || value > 100000)
			return false;
		values[i] = int(value);
	}
	return true;
}

// The program's font as it shows on the screen: at E2E_SCALE (the
// desktop's scale the program runs at) its text is rendered that many times
// the size.
BFont
ScreenFont()
{
	BFont font(*be_plain_font);
	const char* scale = getenv("E2E_SCALE");
	if (scale != nullptr && atof(scale) > 1)
		font.SetSize(font.Size() * float(atof(scale)));
	return font;
}

// The ink of the text as the kit draws it: black on a grey background.
Mask
TextMask(const char* text, int background = 232)
{
	const rgb_color face = { uint8(background), uint8(background),
		uint8(background), 255 };
	const BFont font = ScreenFont();
	font_height height;
	font.GetHeight(&height);
	int32 width = int32(std::ceil(font.StringWidth(text))) + 8;
	int32 rows = int32(std::ceil(height.ascent) + std::ceil(height.descent))
		+ 8;
	std::vector<uint32> pixels(size_t(width) * rows,
		BPrivate::PackColor(face));
	BPrivate::Canvas canvas;
	canvas.pixels = pixels.data();
	canvas.width = width;
	canvas.height = rows;
	canvas.stride = width;
	BPrivate::DrawString(canvas, canvas.Bounds(), font, text, -1,
		4, 4 + std::ceil(height.ascent), kBlack);

	Image image;
	image.width = width;
	image.height = rows;
	image.rgb.resize(size_t(width) * rows * 3);
	for (size_t i = 0; i < pixels.size(); i++) {
		rgb_color color = BPrivate::UnpackColor(pixels[i]);
		image.rgb[i * 3] = color.red;
		image.rgb[i * 3 + 1] = color.green;
		image.rgb[i * 3 + 2] = color.blue;
	}
	return InkMask(image, Box{ 0, 0, width - 1, rows - 1 },
		InkBelow(background));
}

bool
Load(const char* path, Image* image)
{
	std::string error;
	if (!ReadPpm(path, image, &error)) {
		fprintf(stderr, "e2e-look: %s\n", error.c_str());
		return false;
	}
	return true;
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc < 2) {
		Usage();
		return 2;
	}
	std::string command = argv[1];
	int values[7];

	if (command == "text" && argc == 3) {
		printf("%s", FormatMask(TextMask(argv[2])).c_str());
		return 0;
	}

	if (argc < 3) {
		Usage();
		return 2;
	}
	Image image;
	if (command == "ink" && argc == 7 && ParseInts(argv + 3, 4, values)) {
		if (!Load(argv[2], &image))
			return 2;
		Box box{ values[0], values[1], values[2], values[3] };
		printf("%s", FormatMask(InkMask(image, box)).c_str());
		return 0;
	}
	if (command == "label" && argc == 8 && ParseInts(argv + 3, 4, values)) {
		if (!Load(argv[2], &image))
			return 2;
		Box box{ values[0], values[1], values[2], values[3] };
		int background = BackgroundOf(image, box);
		Mask shown = InkMask(image, box, InkBelow(background));
		Mask wanted = TextMask(argv[7], background);
		if (ShowsText(image, box, wanted, InkBelow(background))) {
			printf("shows \"%s\"\n", argv[7]);
			return 0;
		}
		printf("does not show \"%s\": it shows\n%sinstead of\n%s", argv[7],
			FormatMask(shown).c_str(), FormatMask(wanted).c_str());
		return 1;
	}
	if (command == "find" && (argc == 8 || argc == 9)
		&& ParseInts(argv + 4, argc - 4, values)) {
		if (!Load(argv[2], &image))
			return 2;
		Box box{ values[0], values[1], values[2], values[3] };
		int background = argc == 9 ? values[4] : BackgroundOf(image, box);
		if (background < 0 || background > 255) {
			Usage();
			return 2;
		}
		Mask wanted = TextMask(argv[3], background);
		int32 x, y;
		if (!FindInk(image, box, wanted, &x, &y, InkBelow(background))) {
			printf("\"%s\" is not shown\n", argv[3]);
			return 1;
		}
		printf("%d %d %d %d\n", int(x), int(y), int(wanted.width),
			int(wanted.height));
		return 0;
	}
	if (command == "uniform" && argc == 10 && ParseInts(argv + 3, 7, values)) {
		if (!Load(argv[2], &image))
			return 2;
		Box box{ values[0], values[1], values[2], values[3] };
		Uniformity result = CheckUniform(image, box,
			uint8(values[4]), uint8(values[5]), uint8(values[6]));
		if (result.differing == 0 && result.pixels > 0) {
			printf("all %ld pixels are %d,%d,%d\n", long(result.pixels),
				values[4], values[5], values[6]);
			return 0;
		}
		if (result.pixels == 0) {
			printf("the box holds no pixel of the image\n");
			return 1;
		}
		printf("%ld of %ld pixels are not %d,%d,%d; the first at (%d,%d) is "
			"%d,%d,%d\n", long(result.differing), long(result.pixels),
			values[4], values[5], values[6], int(result.firstX),
			int(result.firstY), result.first[0], result.first[1],
			result.first[2]);
		return 1;
	}
	if (command == "dark" && argc == 7 && ParseInts(argv + 3, 4, values)) {
		if (!Load(argv[2], &image))
			return 2;
		Box box{ values[0], values[1], values[2], values[3] };
		Mask ink = InkMask(image, box);
		printf("%ld\n", long(ink.InkCount()));
		return 0;
	}
	if (command == "count" && argc == 10 && ParseInts(argv + 3, 7, values)) {
		if (!Load(argv[2], &image))
			return 2;
		Box box{ values[0], values[1], values[2], values[3] };
		Uniformity result = CheckUniform(image, box,
			uint8(values[4]), uint8(values[5]), uint8(values[6]));
		printf("%ld\n", long(result.pixels - result.differing));
		return 0;
	}
	if (command == "run" && argc == 7 && ParseInts(argv + 3, 4, values)) {
		if (!Load(argv[2], &image))
			return 2;
		printf("%d\n", int(RunLength(image, values[0], values[1], values[2],
			values[3])));
		return 0;
	}
	if (command == "pixel" && argc == 5 && ParseInts(argv + 3, 2, values)) {
		if (!Load(argv[2], &image))
			return 2;
		if (!image.Contains(values[0], values[1])) {
			fprintf(stderr, "e2e-look: (%d,%d) is outside the image\n",
				values[0], values[1]);
			return 2;
		}
		const uint8* pixel = image.At(values[0], values[1]);
		printf("%d %d %d\n", pixel[0], pixel[1], pixel[2]);
		return 0;
	}
	if (command == "menus" && argc == 3) {
		if (!Load(argv[2], &image))
			return 2;
		const char* scale = getenv("E2E_SCALE");
		std::vector<Frame> menus = FindMenus(image, scale != nullptr ? atof(scale) : 1);
		for (const Frame& menu : menus) {
			printf("%d %d %d %d\n", int(menu.x), int(menu.y), int(menu.width),
				int(menu.height));
		}
		return menus.empty() ? 1 : 0;
	}
	Usage();
	return 2;
}
