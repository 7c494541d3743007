/*
 * Screenshots as the end-to-end scenarios read them: a binary PPM in
 * memory, the ink in a box of it, and ways to compare that ink with a text.
 */
#ifndef TESTS_E2E_LOOK_IMAGE_H
#define TESTS_E2E_LOOK_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

typedef uint8_t uint8;
typedef int32_t int32;

struct Image {
	int32 width = 0;
	int32 height = 0;
	std::vector<uint8> rgb;		// 3 bytes a pixel, rows top to bottom

	bool Contains(int32 x, int32 y) const
		{ return x >= 0 && y >= 0 && x < width && y < height; }
	const uint8* At(int32 x, int32 y) const
		{ return rgb.data() + (size_t(y) * width + x) * 3; }
};

// An inclusive box; empty when left > right or top > bottom.
struct Box {
	int32 left;
	int32 top;
	int32 right;
	int32 bottom;
};

// Which pixels of a box are ink, cut down to the smallest box that holds
// them all (0 x 0 when there is none).
struct Mask {
	int32 width = 0;
	int32 height = 0;
	std::vector<bool> ink;

	bool At(int32 x, int32 y) const { return ink[size_t(y) * width + x]; }
	size_t InkCount() const;
};

// Reads a binary PPM (P6, maxval 255, comments allowed). False with a
// one-line reason on anything else.
bool ReadPpm(const std::string& path, Image* image, std::string* error);
bool ParsePpm(const std::vector<uint8>& bytes, Image* image,
	std::string* error);

// The ink threshold for text on the controls' face (232): halfway to black.
const int kFaceInkBelow = 116;

// Ink: red, green and blue all below inkBelow.
bool IsInk(const uint8* pixel, int inkBelow = kFaceInkBelow);

// The keyboard focus line's blue, which may cover a descender.
bool IsFocusBlue(const uint8* pixel);

// The ink of the part of box that lies in the image.
Mask InkMask(const Image& image, Box box, int inkBelow = kFaceInkBelow);

// The grey most pixels of the box have (their red): the background text
// is drawn on there. 255 for a box outside the image.
int BackgroundOf(const Image& image, Box box);

// One text row per mask row, '#' for ink and '.' for the rest.
std::string FormatMask(const Mask& mask);

// The same ink: equal sizes, and no more than a sliver of edge pixels
// differing (max(2, 1/20 of the ink)), which is what anti-aliasing over a
// slightly different background can change.
bool SameInk(const Mask& shown, const Mask& wanted);

// Whether the box shows wanted's ink, where the focus line may hide part of
// it: the ink of the box, placed by its top-left corner, against wanted,
// leaving out the pixels the focus line covers. Nothing else may be inked.
bool ShowsText(const Image& image, Box box, const Mask& wanted,
	int inkBelow = kFaceInkBelow);

// Where, within box, the image shows wanted's ink with its own bounding box
// (nothing else inked right around it): the top-left corner of the best such
// place, if its difference is within SameInk's allowance.
bool FindInk(const Image& image, Box box, const Mask& wanted, int32* x,
	int32* y, int inkBelow = kFaceInkBelow);

struct Uniformity {
	long pixels = 0;
	long differing = 0;
	int32 firstX = -1;
	int32 firstY = -1;
	uint8 first[3] = { 0, 0, 0 };
};

Uniformity CheckUniform(const Image& image, Box box, uint8 red, uint8 green,
	uint8 blue);

// How many pixels from (x, y) on, stepping by (dx, dy), have (x, y)'s
// colour; 0 when (x, y) is outside the image.
int32 RunLength(const Image& image, int32 x, int32 y, int32 dx, int32 dy);

// A pop-up menu as the kit draws it: an outline (96 grey), a highlight
// inside it along the top and the left (white), then the menu's face (216,
// or 144 where its first row is highlighted), each line scale pixels thick.
// Where a display keeps pop-ups out of sight of its window list (a Wayland
// compositor does), this is how the scenarios find a menu: every such frame
// in the image, at least 8 of the program's pixels each way, as the box its
// outline makes, top to bottom.
struct Frame {
	int32 x;
	int32 y;
	int32 width;
	int32 height;
};

std::vector<Frame> FindMenus(const Image& image, double scale = 1);

} // namespace e2e

#endif // TESTS_E2E_LOOK_IMAGE_H
