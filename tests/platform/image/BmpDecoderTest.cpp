// Reading Windows bitmap files: the program's own background, the other
// forms a user may hand over, and damaged files, which must come back as
// null without a read outside the data (AddressSanitizer watches that).

#include <private/BmpDecoder.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <Bitmap.h>

#include "BmpBuilder.h"

namespace {

using BPrivate::DecodeBmp;

std::unique_ptr<BBitmap>
Decode(const std::vector<uint8_t>& bytes)
{
	return std::unique_ptr<BBitmap>(DecodeBmp(bytes.data(), bytes.size()));
}

// The pixel at (x, y) as 0xAARRGGBB.
uint32_t
PixelAt(const BBitmap& bitmap, int x, int y)
{
	const uint8_t* at = static_cast<const uint8_t*>(bitmap.Bits())
		+ size_t(y) * bitmap.BytesPerRow() + size_t(x) * 4;
	return uint32_t(at[3]) << 24 | uint32_t(at[2]) << 16
		| uint32_t(at[1]) << 8 | at[0];
}

uint32_t
Opaque(uint32_t rgb)
{
	return 0xff000000u | rgb;
}

std::vector<uint8_t>
ReadBackground()
{
	std::ifstream file(std::string(RESOURCE_DIR) + "/kesto_bg.bmp",
		std::ios::binary);
	return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
		std::istreambuf_iterator<char>());
}

// A colour for every pixel that differs between neighbours and rows.
uint32_t
Pattern(int x, int y)
{
	return uint32_t(0x102030 + x * 0x0b0000 + y * 0x00170d);
}

TEST(BmpDecoder, BackgroundDecodesTheRightWayUp)
{
	std::vector<uint8_t> file = ReadBackground();
	ASSERT_EQ(file.size(), 38394u);
	std::unique_ptr<BBitmap> bitmap = Decode(file);
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(bitmap->ColorSpace(), B_RGB32);
	EXPECT_EQ(bitmap->Bounds(), BRect(0, 0, 134, 70));

	EXPECT_EQ(PixelAt(*bitmap, 0, 0), Opaque(0xcdcdcd));
	EXPECT_EQ(PixelAt(*bitmap, 0, 70), Opaque(0xcdcdcd));
	EXPECT_EQ(PixelAt(*bitmap, 42, 35), Opaque(0xcdcdcd));
	EXPECT_EQ(PixelAt(*bitmap, 43, 35), Opaque(0xffffff));
	EXPECT_EQ(PixelAt(*bitmap, 100, 0), Opaque(0xffffff));
	EXPECT_EQ(PixelAt(*bitmap, 134, 70), Opaque(0xffffff));
	// The "V" of "Volume:" starts black at its top left, on row 17; upside
	// down, row 17 would hold the strip's grey and the V would sit beside
	// "Note:" on row 53.
	EXPECT_EQ(PixelAt(*bitmap, 5, 17), Opaque(0x000000));
	EXPECT_EQ(PixelAt(*bitmap, 5, 53), Opaque(0xcdcdcd));
	EXPECT_EQ(PixelAt(*bitmap, 5, 16), Opaque(0xcdcdcd));

	for (int y = 0; y < 71; y++) {
		for (int x = 0; x < 135; x++)
			ASSERT_EQ(PixelAt(*bitmap, x, y) >> 24, 0xffu) << x << "," << y;
	}
}

TEST(BmpDecoder, BackgroundMatchesItsFileEverywhere)
{
	std::vector<uint8_t> file = ReadBackground();
	std::unique_ptr<BBitmap> bitmap = Decode(file);
	ASSERT_NE(bitmap, nullptr);
	for (int y = 0; y < 71; y++) {
		for (int x = 0; x < 135; x++) {
			size_t at = 54 + (size_t(70 - y) * 135 + x) * 4;
			uint32_t stored = Opaque(GetLe(file, at) & 0xffffff);
			ASSERT_EQ(PixelAt(*bitmap, x, y), stored) << x << "," << y;
		}
	}
}

struct FormCase {
	const char* name;
	BmpForm form;
};

void
ExpectPattern(const BmpForm& form)
{
	std::vector<uint8_t> file = BuildBmp(form, [&form](int x, int y) {
		uint32_t rgb = Pattern(x, y);
		if (form.bitsPerPixel == 32)
			return rgb | 0x5a000000u;	// the fourth byte must not matter
		return rgb;
	});
	std::unique_ptr<BBitmap> bitmap = Decode(file);
	ASSERT_NE(bitmap, nullptr);
	ASSERT_EQ(bitmap->Bounds(),
		BRect(0, 0, float(form.width - 1), float(form.height - 1)));
	for (int y = 0; y < form.height; y++) {
		for (int x = 0; x < form.width; x++) {
			ASSERT_EQ(PixelAt(*bitmap, x, y), Opaque(Pattern(x, y)))
				<< x << "," << y;
		}
	}
}

TEST(BmpDecoder, TwentyFourBitRowsArePaddedToFourBytes)
{
	// Widths 1 to 5 need 1, 2, 3, 0 and 1 padding bytes a row.
	for (int width = 1; width <= 5; width++) {
		SCOPED_TRACE(width);
		BmpForm form;
		form.width = width;
		form.height = 3;
		ExpectPattern(form);
	}
}

TEST(BmpDecoder, TopDownRowsStayInOrder)
{
	for (uint16_t bits : { 24, 32 }) {
		SCOPED_TRACE(bits);
		BmpForm form;
		form.width = 4;
		form.height = 5;
		form.bitsPerPixel = bits;
		form.topDown = true;
		ExpectPattern(form);
	}
}

TEST(BmpDecoder, LongerHeadersAreRead)
{
	for (uint32_t header : { 52u, 56u, 108u, 124u }) {
		SCOPED_TRACE(header);
		BmpForm form;
		form.headerSize = header;
		form.bitsPerPixel = 32;
		form.width = 5;
		ExpectPattern(form);
	}
}

TEST(BmpDecoder, CoreHeaderIsRead)
{
	BmpForm form;
	form.headerSize = 12;
	form.width = 3;
	form.height = 4;
	ExpectPattern(form);
}

TEST(BmpDecoder, ThirtyTwoBitFieldsPickTheirChannels)
{
	// Red in the low byte, blue high, with the masks after a plain header
	// and inside a V5 one.
	for (uint32_t header : { 40u, 124u }) {
		SCOPED_TRACE(header);
		BmpForm form;
		form.headerSize = header;
		form.bitsPerPixel = 32;
		form.compression = 3;
		form.masks[0] = 0x000000ff;
		form.masks[1] = 0x0000ff00;
		form.masks[2] = 0x00ff0000;
		std::vector<uint8_t> file = BuildBmp(form, [](int x, int y) {
			uint32_t rgb = Pattern(x, y);
			return 0xee000000u | (rgb & 0xff) << 16 | (rgb & 0xff00)
				| (rgb >> 16 & 0xff);
		});
		std::unique_ptr<BBitmap> bitmap = Decode(file);
		ASSERT_NE(bitmap, nullptr);
		for (int y = 0; y < 2; y++) {
			for (int x = 0; x < 3; x++)
				EXPECT_EQ(PixelAt(*bitmap, x, y), Opaque(Pattern(x, y)));
		}
	}
}

TEST(BmpDecoder, SixteenBitPixelsWidenToEightBitChannels)
{
	// 5-5-5 without fields; 5-6-5 with them. Full channels become 255, not
	// 248 or 252.
	BmpForm plain;
	plain.bitsPerPixel = 16;
	plain.width = 3;
	plain.height = 1;
	const uint16_t plainPixels[] = { 0x7c00, 0x03e0, 0x4210 };
	std::unique_ptr<BBitmap> bitmap = Decode(BuildBmp(plain,
		[&plainPixels](int x, int) { return plainPixels[x]; }));
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(PixelAt(*bitmap, 0, 0), Opaque(0xff0000));
	EXPECT_EQ(PixelAt(*bitmap, 1, 0), Opaque(0x00ff00));
	EXPECT_EQ(PixelAt(*bitmap, 2, 0), Opaque(0x848484));	// 16 of 31

	BmpForm fields = plain;
	fields.compression = 3;
	fields.masks[0] = 0xf800;
	fields.masks[1] = 0x07e0;
	fields.masks[2] = 0x001f;
	const uint16_t fieldPixels[] = { 0xf800, 0x07e0, 0x001f };
	bitmap = Decode(BuildBmp(fields,
		[&fieldPixels](int x, int) { return fieldPixels[x]; }));
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(PixelAt(*bitmap, 0, 0), Opaque(0xff0000));
	EXPECT_EQ(PixelAt(*bitmap, 1, 0), Opaque(0x00ff00));
	EXPECT_EQ(PixelAt(*bitmap, 2, 0), Opaque(0x0000ff));
}

TEST(BmpDecoder, PalettePixelsLookUpTheirColours)
{
	for (uint16_t bits : { 1, 4, 8 }) {
		SCOPED_TRACE(bits);
		BmpForm form;
		form.bitsPerPixel = bits;
		form.width = 11;	// odd, so that rows end inside a byte
		form.height = 3;
		int colours = 1 << bits;
		for (int i = 0; i < colours; i++) {
			form.palette.push_back(Rgb{ uint8_t(i * 7 + 1), uint8_t(255 - i),
				uint8_t(i * 3) });
		}
		std::vector<uint8_t> file = BuildBmp(form, [colours](int x, int y) {
			return uint32_t((x + 3 * y) % colours);
		});
		std::unique_ptr<BBitmap> bitmap = Decode(file);
		ASSERT_NE(bitmap, nullptr);
		for (int y = 0; y < 3; y++) {
			for (int x = 0; x < 11; x++) {
				const Rgb& c = form.palette[(x + 3 * y) % colours];
				ASSERT_EQ(PixelAt(*bitmap, x, y), Opaque(uint32_t(c.red) << 16
					| c.green << 8 | c.blue)) << x << "," << y;
			}
		}
	}
}

TEST(BmpDecoder, IndexBeyondAShortPaletteIsBlack)
{
	BmpForm form;
	form.bitsPerPixel = 8;
	form.width = 2;
	form.height = 1;
	form.palette = { Rgb{ 10, 20, 30 }, Rgb{ 40, 50, 60 } };
	std::unique_ptr<BBitmap> bitmap = Decode(BuildBmp(form,
		[](int x, int) { return x == 0 ? 1u : 200u; }));
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(PixelAt(*bitmap, 0, 0), Opaque(0x28323c));
	EXPECT_EQ(PixelAt(*bitmap, 1, 0), Opaque(0x000000));
}

// A small valid file for the damage tests below.
std::vector<uint8_t>
SmallFile(uint16_t bits = 24)
{
	BmpForm form;
	form.bitsPerPixel = bits;
	if (bits == 8)
		form.palette.assign(4, Rgb{ 1, 2, 3 });
	return BuildBmp(form, [bits](int x, int y) {
		return bits == 8 ? uint32_t(x % 4) : Pattern(x, y);
	});
}

TEST(BmpDecoder, EveryTruncationIsRefused)
{
	for (uint16_t bits : { 8, 24, 32 }) {
		std::vector<uint8_t> whole = SmallFile(bits);
		ASSERT_NE(Decode(whole), nullptr);
		for (size_t length = 0; length < whole.size(); length++) {
			// Copied, so that the decoder's reads end at the cut.
			std::vector<uint8_t> cut(whole.begin(), whole.begin() + length);
			EXPECT_EQ(Decode(cut), nullptr) << bits << " bits, " << length
				<< " bytes";
		}
	}
}

TEST(BmpDecoder, NullDataIsRefused)
{
	EXPECT_EQ(DecodeBmp(nullptr, 0), nullptr);
	EXPECT_EQ(DecodeBmp(nullptr, 1000), nullptr);
}

struct Damage {
	const char* what;
	size_t at;
	uint32_t value;
	int bytes;
};

TEST(BmpDecoder, DamagedHeadersAreRefused)
{
	const Damage kDamage[] = {
		{ "magic", 0, 'M', 1 },
		{ "magic", 1, 'B', 1 },
		{ "header size 0", 14, 0, 4 },
		{ "header size 41", 14, 41, 4 },
		{ "OS/2 header size 64", 14, 64, 4 },
		{ "header size huge", 14, 0xffffffff, 4 },
		{ "zero width", 18, 0, 4 },
		{ "negative width", 18, uint32_t(-3), 4 },
		{ "zero height", 22, 0, 4 },
		{ "INT_MIN height", 22, uint32_t(INT_MIN), 4 },
		{ "width too large", 18, 16385, 4 },
		{ "height too large", 22, 16385, 4 },
		{ "top-down height too large", 22, uint32_t(-16385), 4 },
		{ "width overflowing a row", 18, 0x7fffffff, 4 },
		{ "planes 0", 26, 0, 2 },
		{ "planes 2", 26, 2, 2 },
		{ "0 bits", 28, 0, 2 },
		{ "2 bits", 28, 2, 2 },
		{ "64 bits", 28, 64, 2 },
		{ "run-length compression", 30, 1, 4 },
		{ "JPEG contents", 30, 4, 4 },
		{ "unknown compression", 30, 0xffffffff, 4 },
		{ "bit fields at 24 bits", 30, 3, 4 },
		{ "pixels past the end", 10, 55, 4 },
		{ "pixels far past the end", 10, 0xfffffff0, 4 },
		{ "pixels inside the header", 10, 20, 4 },
	};
	std::vector<uint8_t> good = SmallFile();
	for (const Damage& damage : kDamage) {
		std::vector<uint8_t> file = good;
		PutLe(file, damage.at, damage.value, damage.bytes);
		EXPECT_EQ(Decode(file), nullptr) << damage.what;
	}
}

TEST(BmpDecoder, LargeDimensionsWithoutThePixelsAreRefused)
{
	// Sizes whose pixel data would overflow 32 bits, or need far more than
	// the file holds, must not be allocated for.
	const int32_t kSizes[][2] = { { 16384, 16384 }, { 16384, -16384 },
		{ 65536, 65536 }, { 1, 16384 }, { 16384, 1 } };
	for (const auto& size : kSizes) {
		std::vector<uint8_t> file = SmallFile(32);
		PutLe(file, 18, uint32_t(size[0]), 4);
		PutLe(file, 22, uint32_t(size[1]), 4);
		EXPECT_EQ(Decode(file), nullptr) << size[0] << " x " << size[1];
	}
}

TEST(BmpDecoder, BadPalettesAreRefused)
{
	std::vector<uint8_t> good = SmallFile(8);
	ASSERT_NE(Decode(good), nullptr);

	std::vector<uint8_t> tooMany = good;
	PutLe(tooMany, 46, 257, 4);
	EXPECT_EQ(Decode(tooMany), nullptr);

	// Counted entries that would run into the pixels.
	std::vector<uint8_t> overlapping = good;
	PutLe(overlapping, 46, 5, 4);
	EXPECT_EQ(Decode(overlapping), nullptr);

	std::vector<uint8_t> huge = good;
	PutLe(huge, 46, 0xffffffff, 4);
	EXPECT_EQ(Decode(huge), nullptr);
}

TEST(BmpDecoder, BadBitFieldsAreRefused)
{
	const uint32_t kMasks[][3] = {
		{ 0, 0x00ff00, 0x0000ff },			// no red
		{ 0xff0000, 0x00f0f0, 0x00000f },	// green not one run of bits
		{ 0xff0000, 0x00ff00, 0x000000 },	// no blue
	};
	for (const auto& masks : kMasks) {
		BmpForm form;
		form.bitsPerPixel = 32;
		form.compression = 3;
		memcpy(form.masks, masks, sizeof(form.masks));
		EXPECT_EQ(Decode(BuildBmp(form, Pattern)), nullptr) << std::hex
			<< masks[0] << " " << masks[1] << " " << masks[2];
	}

	BmpForm wide;
	wide.bitsPerPixel = 16;
	wide.compression = 3;
	wide.masks[0] = 0x1f0000;	// beyond a 16-bit pixel
	wide.masks[1] = 0x07e0;
	wide.masks[2] = 0x001f;
	EXPECT_EQ(Decode(BuildBmp(wide, [](int, int) { return 0u; })), nullptr);

	// Masks after a plain header that the file is too short to hold.
	BmpForm cut;
	cut.bitsPerPixel = 32;
	cut.compression = 3;
	cut.masks[0] = 0xff0000;
	cut.masks[1] = 0x00ff00;
	cut.masks[2] = 0x0000ff;
	std::vector<uint8_t> file = BuildBmp(cut, Pattern);
	file.resize(60);
	EXPECT_EQ(Decode(file), nullptr);
}

TEST(BmpDecoder, ExtraBytesAfterThePixelsAreIgnored)
{
	std::vector<uint8_t> file = SmallFile();
	file.resize(file.size() + 17, 0xab);
	std::unique_ptr<BBitmap> bitmap = Decode(file);
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(PixelAt(*bitmap, 2, 1), Opaque(Pattern(2, 1)));
}

} // namespace
