/*
 * Writes small Windows bitmap files for the decoder tests, in the forms the
 * decoder must read, and lets a test break any field of them afterwards.
 */
#ifndef TESTS_PLATFORM_IMAGE_BMP_BUILDER_H
#define TESTS_PLATFORM_IMAGE_BMP_BUILDER_H

#include <cstdint>
#include <functional>
#include <vector>

struct Rgb {
	uint8_t red;
	uint8_t green;
	uint8_t blue;
};

struct BmpForm {
	int32_t width = 3;
	int32_t height = 2;
	bool topDown = false;
	uint16_t bitsPerPixel = 24;
	uint32_t headerSize = 40;		// 12, 40, 52, 56, 108 or 124
	uint32_t compression = 0;		// 0 plain, 3 bit fields
	uint32_t masks[3] = { 0, 0, 0 };	// red, green, blue for bit fields
	std::vector<Rgb> palette;		// for 1, 4 and 8 bits
};

// Stores `count` bytes of `value` little-endian in `bytes` at `at`. Tests
// poke fields into copies of built files; a field past the end would be a
// mistake in the test, so the writes are checked (and fail the test with
// an exception) instead of landing past the vector.
inline void
PutLe(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int count)
{
	for (int i = 0; i < count; i++)
		bytes.at(at + size_t(i)) = uint8_t(value >> (8 * i));
}

inline uint32_t
GetLe(const std::vector<uint8_t>& bytes, size_t at)
{
	return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16
		| uint32_t(bytes.at(at + 3)) << 24;
}

// A bitmap file of `form` whose pixel at (x, y), y counted from the top of
// the picture as displayed, is `pixel(x, y)`: an RGB colour turned into the
// stored form. For palette forms the value is the index; for 16 and 32
// bits it is the raw pixel word; for 24 bits it is 0xRRGGBB.
inline std::vector<uint8_t>
BuildBmp(const BmpForm& form, const std::function<uint32_t(int, int)>& pixel)
{
	const bool core = form.headerSize == 12;
	const bool fieldsAfterHeader = form.headerSize == 40
		&& form.compression == 3;
	const size_t tableEntry = core ? 3 : 4;
	const size_t tableOffset = 14 + form.headerSize
		+ (fieldsAfterHeader ? 12 : 0);
	const size_t pixelOffset = tableOffset
		+ form.palette.size() * tableEntry;
	const size_t rowBytes = (size_t(form.width) * form.bitsPerPixel + 31)
		/ 32 * 4;
	const size_t fileSize = pixelOffset + rowBytes * size_t(form.height);

	std::vector<uint8_t> bytes(fileSize, 0);
	bytes[0] = 'B';
	bytes[1] = 'M';
	PutLe(bytes, 2, uint32_t(fileSize), 4);
	PutLe(bytes, 10, uint32_t(pixelOffset), 4);
	PutLe(bytes, 14, form.headerSize, 4);
	if (core) {
		PutLe(bytes, 18, uint32_t(form.width), 2);
		PutLe(bytes, 20, uint32_t(form.height), 2);
		PutLe(bytes, 22, 1, 2);
		PutLe(bytes, 24, form.bitsPerPixel, 2);
	} else {
		PutLe(bytes, 18, uint32_t(form.width), 4);
		PutLe(bytes, 22, uint32_t(form.topDown ? -form.height : form.height),
			4);
		PutLe(bytes, 26, 1, 2);
		PutLe(bytes, 28, form.bitsPerPixel, 2);
		PutLe(bytes, 30, form.compression, 4);
		PutLe(bytes, 34, uint32_t(rowBytes * size_t(form.height)), 4);
		PutLe(bytes, 38, 2835, 4);
		PutLe(bytes, 42, 2835, 4);
		PutLe(bytes, 46, uint32_t(form.palette.size()), 4);
		if (form.compression == 3) {
			for (int i = 0; i < 3; i++)
				PutLe(bytes, 54 + 4 * i, form.masks[i], 4);
		}
	}
	for (size_t i = 0; i < form.palette.size(); i++) {
		size_t at = tableOffset + i * tableEntry;
		bytes[at] = form.palette[i].blue;
		bytes[at + 1] = form.palette[i].green;
		bytes[at + 2] = form.palette[i].red;
	}

	for (int y = 0; y < form.height; y++) {
		int stored = form.topDown ? y : form.height - 1 - y;
		size_t row = pixelOffset + size_t(stored) * rowBytes;
		for (int x = 0; x < form.width; x++) {
			uint32_t value = pixel(x, y);
			switch (form.bitsPerPixel) {
				case 1:
				case 4:
				case 8:
				{
					int perByte = 8 / form.bitsPerPixel;
					int shift = 8 - form.bitsPerPixel * (x % perByte + 1);
					bytes[row + x / perByte] |= uint8_t(value << shift);
					break;
				}
				case 16:
					PutLe(bytes, row + size_t(x) * 2, value, 2);
					break;
				case 24:
					PutLe(bytes, row + size_t(x) * 3, value, 3);
					break;
				case 32:
					PutLe(bytes, row + size_t(x) * 4, value, 4);
					break;
			}
		}
	}
	return bytes;
}

#endif // TESTS_PLATFORM_IMAGE_BMP_BUILDER_H
