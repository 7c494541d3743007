#include "LookImage.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <fstream>
#include <iterator>

namespace e2e {

namespace {

// Skips white space and '#' comments, then reads a decimal number.
bool
ReadHeaderNumber(const std::vector<uint8>& bytes, size_t* at, long* value)
{
	while (*at < bytes.size()) {
		if (bytes[*at] == '#') {
			while (*at < bytes.size() && bytes[*at] != '\n')
				(*at)++;
		} else if (isspace(bytes[*at])) {
			(*at)++;
		} else
			break;
	}
	if (*at >= bytes.size() || !isdigit(bytes[*at]))
		return false;
	*value = 0;
	while (*at < bytes.size() && isdigit(bytes[*at])) {
		*value = *value * 10 + (bytes[*at] - '0');
		if (*value > 1000000)
			return false;
		(*at)++;
	}
	return true;
}

Box
Clamp(const Image& image, Box box)
{
	return Box{ std::max(box.left, 0), std::max(box.top, 0),
		std::min(box.right, image.width - 1),
		std::min(box.bottom, image.height - 1) };
}

size_t
Allowance(const Mask& wanted)
{
	return std::max<size_t>(2, wanted.InkCount() / 20);
}

} // namespace

size_t
Mask::InkCount() const
{
	return size_t(std::count(ink.begin(), ink.end(), true));
}

bool
ParsePpm(const std::vector<uint8>& bytes, Image* image, std::string* error)
{
	if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') {
		*error = "not a binary PPM (P6) picture";
		return false;
	}
	size_t at = 2;
	long width, height, maxval;
	if (!ReadHeaderNumber(bytes, &at, &width)
		|| !ReadHeaderNumber(bytes, &at, &height)
		|| !ReadHeaderNumber(bytes, &at, &maxval)
		|| at >= bytes.size() || !isspace(bytes[at])) {
		*error = "the PPM header is damaged";
		return false;
	}
	at++;
	if (maxval != 255 || width <= 0 || height <= 0) {
		*error = "only 8-bit PPM pictures of some size are read";
		return false;
	}
	size_t size = size_t(width) * size_t(height) * 3;
	if (bytes.size() - at < size) {
		*error = "the PPM picture is cut short";
		return false;
	}
	image->width = int32(width);
	image->height = int32(height);
	image->rgb.assign(bytes.begin() + at, bytes.begin() + at + size);
	return true;
}

bool
ReadPpm(const std::string& path, Image* image, std::string* error)
{
	std::ifstream file(path, std::ios::binary);
	if (!file) {
		*error = "cannot open " + path;
		return false;
	}
	std::vector<uint8> bytes((std::istreambuf_iterator<char>(file)),
		std::istreambuf_iterator<char>());
	if (!ParsePpm(bytes, image, error)) {
		*error = path + ": " + *error;
		return false;
	}
	return true;
}

bool
IsInk(const uint8* pixel, int inkBelow)
{
	return pixel[0] < inkBelow && pixel[1] < inkBelow && pixel[2] < inkBelow;
}

bool
IsFocusBlue(const uint8* pixel)
{
	return pixel[2] > 150 && pixel[0] < 60 && pixel[1] < 60;
}

int
BackgroundOf(const Image& image, Box box)
{
	box = Clamp(image, box);
	long counts[256] = {};
	for (int32 y = box.top; y <= box.bottom; y++) {
		for (int32 x = box.left; x <= box.right; x++) {
			const uint8* pixel = image.At(x, y);
			if (pixel[0] == pixel[1] && pixel[1] == pixel[2])
				counts[pixel[0]]++;
		}
	}
	int best = 255;
	for (int grey = 0; grey < 256; grey++) {
		if (counts[grey] > counts[best])
			best = grey;
	}
	return best;
}

Mask
InkMask(const Image& image, Box box, int inkBelow)
{
	box = Clamp(image, box);
	bool found = false;
	int32 left = 0, right = 0, top = 0, bottom = 0;
	for (int32 y = box.top; y <= box.bottom; y++) {
		for (int32 x = box.left; x <= box.right; x++) {
			if (!IsInk(image.At(x, y), inkBelow))
				continue;
			if (!found) {
				left = right = x;
				top = bottom = y;
				found = true;
			}
			left = std::min(left, x);
			right = std::max(right, x);
			top = std::min(top, y);
			bottom = std::max(bottom, y);
		}
	}
	Mask mask;
	if (!found)
		return mask;
	mask.width = right - left + 1;
	mask.height = bottom - top + 1;
	mask.ink.resize(size_t(mask.width) * mask.height);
	for (int32 y = 0; y < mask.height; y++) {
		for (int32 x = 0; x < mask.width; x++)
			mask.ink[size_t(y) * mask.width + x]
				= IsInk(image.At(left + x, top + y), inkBelow);
	}
	return mask;
}

std::string
FormatMask(const Mask& mask)
{
	if (mask.width == 0)
		return "(no ink)\n";
	std::string text;
	for (int32 y = 0; y < mask.height; y++) {
		for (int32 x = 0; x < mask.width; x++)
			text += mask.At(x, y) ? '#' : '.';
		text += '\n';
	}
	return text;
}

bool
SameInk(const Mask& shown, const Mask& wanted)
{
	if (shown.width != wanted.width || shown.height != wanted.height)
		return false;
	size_t differing = 0;
	for (size_t i = 0; i < shown.ink.size(); i++)
		differing += shown.ink[i] != wanted.ink[i];
	return differing <= Allowance(wanted);
}

bool
ShowsText(const Image& image, Box box, const Mask& wanted, int inkBelow)
{
	box = Clamp(image, box);
	Mask shown = InkMask(image, box, inkBelow);
	if (wanted.width == 0 || shown.width == 0)
		return wanted.width == 0 && shown.width == 0;
	int32 left = box.right, top = box.bottom;
	for (int32 y = box.top; y <= box.bottom; y++) {
		for (int32 x = box.left; x <= box.right; x++) {
			if (IsInk(image.At(x, y), inkBelow)) {
				left = std::min(left, x);
				top = std::min(top, y);
			}
		}
	}
	if (shown.width > wanted.width || shown.height > wanted.height)
		return false;
	size_t differing = 0;
	for (int32 y = 0; y < wanted.height; y++) {
		for (int32 x = 0; x < wanted.width; x++) {
			bool ink = false;
			if (image.Contains(left + x, top + y)) {
				const uint8* pixel = image.At(left + x, top + y);
				if (IsFocusBlue(pixel))
					continue;
				ink = IsInk(pixel, inkBelow);
			}
			differing += ink != wanted.At(x, y);
		}
	}
	return differing <= Allowance(wanted);
}

bool
FindInk(const Image& image, Box box, const Mask& wanted, int32* foundX,
	int32* foundY, int inkBelow)
{
	box = Clamp(image, box);
	if (wanted.width == 0)
		return false;
	size_t allowance = Allowance(wanted);
	size_t best = allowance + 1;
	for (int32 y = box.top; y + wanted.height - 1 <= box.bottom; y++) {
		for (int32 x = box.left; x + wanted.width - 1 <= box.right; x++) {
			size_t differing = 0;
			for (int32 row = 0; row < wanted.height && differing < best; row++) {
				for (int32 column = 0; column < wanted.width; column++) {
					differing += IsInk(image.At(x + column, y + row), inkBelow)
						!= wanted.At(column, row);
				}
			}
			if (differing >= best)
				continue;
			// The text must stand on its own: no ink touching its box.
			bool alone = true;
			for (int32 row = y - 1; row <= y + wanted.height && alone; row++) {
				for (int32 column = x - 1; column <= x + wanted.width; column++) {
					bool inside = row >= y && row < y + wanted.height
						&& column >= x && column < x + wanted.width;
					if (!inside && image.Contains(column, row)
						&& IsInk(image.At(column, row), inkBelow)) {
						alone = false;
						break;
					}
				}
			}
			if (!alone)
				continue;
			best = differing;
			*foundX = x;
			*foundY = y;
		}
	}
	return best <= allowance;
}

Uniformity
CheckUniform(const Image& image, Box box, uint8 red, uint8 green, uint8 blue)
{
	Uniformity result;
	box = Clamp(image, box);
	for (int32 y = box.top; y <= box.bottom; y++) {
		for (int32 x = box.left; x <= box.right; x++) {
			const uint8* pixel = image.At(x, y);
			result.pixels++;
			if (pixel[0] == red && pixel[1] == green && pixel[2] == blue)
				continue;
			if (result.differing++ == 0) {
				result.firstX = x;
				result.firstY = y;
				std::copy(pixel, pixel + 3, result.first);
			}
		}
	}
	return result;
}

int32
RunLength(const Image& image, int32 x, int32 y, int32 dx, int32 dy)
{
	if (!image.Contains(x, y))
		return 0;
	const uint8* start = image.At(x, y);
	int32 length = 0;
	while (image.Contains(x, y) && std::equal(start, start + 3, image.At(x, y))) {
		length++;
		if (dx == 0 && dy == 0)
			break;
		x += dx;
		y += dy;
	}
	return length;
}

namespace {

bool
IsGrey(const Image& image, int32 x, int32 y, int grey)
{
	if (!image.Contains(x, y))
		return false;
	const uint8* pixel = image.At(x, y);
	return pixel[0] == grey && pixel[1] == grey && pixel[2] == grey;
}

// How far an outline (96 grey) goes from (x, y), stepping by (dx, dy),
// across gaps of at most maxGap pixels of another colour.
int32
EdgeLength(const Image& image, int32 x, int32 y, int32 dx, int32 dy,
	int32 maxGap)
{
	int32 length = 0;
	int32 sinceOutline = 0;
	for (int32 i = 0; image.Contains(x + i * dx, y + i * dy); i++) {
		if (IsGrey(image, x + i * dx, y + i * dy, 96)) {
			length = i + 1;
			sinceOutline = 0;
		} else if (++sinceOutline > maxGap) {
			break;
		}
	}
	return length;
}

} // namespace

std::vector<Frame>
FindMenus(const Image& image, double scale)
{
	std::vector<Frame> menus;
	if (!(scale >= 1))
		scale = 1;
	// The device pixels from a frame's corner to its first, second and
	// eighth pixel of the program's: at 1.5 the first two are one and two
	// device pixels wide in either order, so the second always starts by
	// the rounded-up offset.
	const int32 one = int32(std::ceil(scale));
	const int32 two = int32(std::ceil(2 * scale));
	const int32 smallest = int32(std::ceil(8 * scale));
	for (int32 y = 0; y < image.height; y++) {
		for (int32 x = 0; x < image.width; x++) {
			// A thick outline's inner pixels look like a corner too: they
			// lie inside a frame already found.
			bool inside = false;
			for (const Frame& menu : menus) {
				inside = inside || (x >= menu.x && x < menu.x + menu.width
					&& y >= menu.y && y < menu.y + menu.height);
			}
			if (inside || !IsGrey(image, x, y, 96)
				|| !IsGrey(image, x + one, y, 96) || !IsGrey(image, x, y + one, 96)
				|| !IsGrey(image, x + one, y + one, 255)
				|| !(IsGrey(image, x + two, y + two, 216)
					|| IsGrey(image, x + two, y + two, 144))) {
				continue;
			}
			// The pointer may be drawn over an edge (a compositor's
			// screenshot shows it): an edge goes on past a gap as long as
			// the pointer, and each side is measured along both of its
			// edges, the longer taken.
			const int32 gap = int32(std::ceil(32 * scale));
			Frame menu = { x, y, EdgeLength(image, x, y, 1, 0, gap),
				EdgeLength(image, x, y, 0, 1, gap) };
			for (int pass = 0; pass < 2; pass++) {
				int32 bottom = y + menu.height - 1;
				if (IsGrey(image, x, bottom, 96)) {
					menu.width = std::max(menu.width,
						EdgeLength(image, x, bottom, 1, 0, gap));
				}
				int32 right = x + menu.width - 1;
				if (IsGrey(image, right, y, 96)) {
					menu.height = std::max(menu.height,
						EdgeLength(image, right, y, 0, 1, gap));
				}
			}
			if (menu.width >= smallest && menu.height >= smallest
				&& IsGrey(image, x + menu.width - 1, y + menu.height - 1, 96)) {
				menus.push_back(menu);
			}
		}
	}
	return menus;
}

} // namespace e2e
