// BBitmap: its geometry, the sizes it refuses, and the conversions of
// SetBits().

#include <Bitmap.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include <private/SystemPalette.h>

namespace {

uint32_t
WordAt(const BBitmap& bitmap, int x, int y)
{
	const uint8_t* at = static_cast<const uint8_t*>(bitmap.Bits())
		+ size_t(y) * bitmap.BytesPerRow() + size_t(x) * 4;
	return uint32_t(at[3]) << 24 | uint32_t(at[2]) << 16
		| uint32_t(at[1]) << 8 | at[0];
}

uint8_t
ByteAt(const BBitmap& bitmap, int x, int y)
{
	return static_cast<const uint8_t*>(bitmap.Bits())[size_t(y)
		* bitmap.BytesPerRow() + size_t(x)];
}

uint32_t
PaletteWord(uint8_t index)
{
	BPrivate::PaletteColor c = BPrivate::SystemPaletteColor(index);
	return 0xff000000u | uint32_t(c.red) << 16 | uint32_t(c.green) << 8
		| c.blue;
}

TEST(Bitmap, BoundsStartAtTheOriginWithInclusiveEdges)
{
	BBitmap bitmap(BRect(10, 20, 41, 35), B_RGB32);
	ASSERT_EQ(bitmap.InitCheck(), B_OK);
	EXPECT_TRUE(bitmap.IsValid());
	EXPECT_EQ(bitmap.Bounds(), BRect(0, 0, 31, 15));
	EXPECT_EQ(bitmap.BytesPerRow(), 128);
	EXPECT_EQ(bitmap.BitsLength(), 128 * 16);
	EXPECT_EQ(bitmap.ColorSpace(), B_RGB32);
	ASSERT_NE(bitmap.Bits(), nullptr);
}

TEST(Bitmap, SinglePixelBitmap)
{
	BBitmap bitmap(BRect(0, 0, 0, 0), B_CMAP8);
	ASSERT_EQ(bitmap.InitCheck(), B_OK);
	EXPECT_EQ(bitmap.Bounds(), BRect(0, 0, 0, 0));
	EXPECT_EQ(bitmap.BytesPerRow(), 4);
	EXPECT_EQ(bitmap.BitsLength(), 4);
}

TEST(Bitmap, RowsArePaddedToFourBytes)
{
	const int32 kExpected[] = { 4, 4, 4, 4, 8, 8, 8, 8, 12 };
	for (int width = 1; width <= 9; width++) {
		BBitmap cmap(BRect(0, 0, float(width - 1), 2), B_CMAP8);
		ASSERT_EQ(cmap.InitCheck(), B_OK);
		EXPECT_EQ(cmap.BytesPerRow(), kExpected[width - 1]) << width;
		EXPECT_EQ(cmap.BitsLength(), kExpected[width - 1] * 3) << width;

		BBitmap rgba(BRect(0, 0, float(width - 1), 2), B_RGBA32);
		ASSERT_EQ(rgba.InitCheck(), B_OK);
		EXPECT_EQ(rgba.BytesPerRow(), width * 4) << width;
	}
}

TEST(Bitmap, NewPixelsAreZero)
{
	BBitmap bitmap(BRect(0, 0, 6, 4), B_RGBA32);
	ASSERT_TRUE(bitmap.IsValid());
	const uint8_t* bits = static_cast<const uint8_t*>(bitmap.Bits());
	for (int32 i = 0; i < bitmap.BitsLength(); i++)
		ASSERT_EQ(bits[i], 0) << i;
}

TEST(Bitmap, OtherColourSpacesAreRefused)
{
	for (color_space space : { B_NO_COLOR_SPACE, B_GRAY1, B_GRAY8, B_RGB24,
			B_RGB16, B_RGB15, color_space(0x1234) }) {
		BBitmap bitmap(BRect(0, 0, 3, 3), space);
		EXPECT_EQ(bitmap.InitCheck(), B_BAD_VALUE) << space;
		EXPECT_FALSE(bitmap.IsValid());
		EXPECT_EQ(bitmap.Bits(), nullptr);
		EXPECT_EQ(bitmap.BitsLength(), 0);
	}
}

TEST(Bitmap, AbsurdSizesAreRefused)
{
	const float kNaN = std::numeric_limits<float>::quiet_NaN();
	const float kInfinity = std::numeric_limits<float>::infinity();
	const BRect kRects[] = {
		BRect(),							// the invalid default
		BRect(0, 0, -2, 5),					// reversed
		BRect(0, 10, 5, 0),
		BRect(0, 0, 16384, 0),				// 16385 wide
		BRect(0, 0, 0, 16384),				// 16385 high
		BRect(-1e30f, 0, 1e30f, 0),
		BRect(0, 0, kNaN, 10),
		BRect(kNaN, 0, 10, 10),
		BRect(0, 0, 10, kInfinity),
		BRect(-kInfinity, 0, 10, 10),
		BRect(0, 0, 16383, 16383),			// 1 GiB of B_RGB32
		BRect(0, 0, 8191, 8192),			// just over 256 MiB
	};
	for (const BRect& rect : kRects) {
		for (color_space space : { B_RGB32, B_RGBA32 }) {
			BBitmap bitmap(rect, space);
			EXPECT_NE(bitmap.InitCheck(), B_OK) << rect.left << " "
				<< rect.top << " " << rect.right << " " << rect.bottom;
			EXPECT_FALSE(bitmap.IsValid());
			EXPECT_EQ(bitmap.Bits(), nullptr);
			EXPECT_EQ(bitmap.BitsLength(), 0);
			EXPECT_FALSE(bitmap.Bounds().IsValid());
		}
	}
}

TEST(Bitmap, LargestSideIsAccepted)
{
	BBitmap wide(BRect(0, 0, 16383, 0), B_RGB32);
	EXPECT_EQ(wide.InitCheck(), B_OK);
	EXPECT_EQ(wide.BitsLength(), 16384 * 4);
	// 16384 x 4096 x 4 bytes is exactly the limit.
	BBitmap limit(BRect(0, 0, 16383, 4095), B_RGBA32);
	EXPECT_EQ(limit.InitCheck(), B_OK);
}

TEST(Bitmap, SetBitsCopiesTheSameSpace)
{
	BBitmap bitmap(BRect(0, 0, 2, 1), B_CMAP8);
	ASSERT_TRUE(bitmap.IsValid());
	std::vector<uint8_t> data(8);
	for (size_t i = 0; i < data.size(); i++)
		data[i] = uint8_t(i + 1);
	bitmap.SetBits(data.data(), 8, 0, B_CMAP8);
	EXPECT_EQ(memcmp(bitmap.Bits(), data.data(), 8), 0);

	// From an offset, cut at the end of the bitmap.
	bitmap.SetBits(data.data(), 8, 5, B_CMAP8);
	const uint8_t* bits = static_cast<const uint8_t*>(bitmap.Bits());
	EXPECT_EQ(bits[4], 5);
	EXPECT_EQ(bits[5], 1);
	EXPECT_EQ(bits[6], 2);
	EXPECT_EQ(bits[7], 3);
}

TEST(Bitmap, SetBitsIgnoresBadArguments)
{
	BBitmap bitmap(BRect(0, 0, 3, 0), B_CMAP8);
	ASSERT_TRUE(bitmap.IsValid());
	const uint8_t data[4] = { 9, 9, 9, 9 };
	bitmap.SetBits(nullptr, 4, 0, B_CMAP8);
	bitmap.SetBits(data, -1, 0, B_CMAP8);
	bitmap.SetBits(data, 4, -1, B_CMAP8);
	bitmap.SetBits(data, 4, 4, B_CMAP8);
	bitmap.SetBits(data, 4, 0, B_GRAY8);
	for (int x = 0; x < 4; x++)
		EXPECT_EQ(ByteAt(bitmap, x, 0), 0);

	BBitmap invalid(BRect(), B_RGB32);
	invalid.SetBits(data, 4, 0, B_RGB32);
	EXPECT_EQ(invalid.Bits(), nullptr);
}

TEST(Bitmap, PaletteDataConvertsIntoThirtyTwoBits)
{
	// Three columns, so the source rows carry one byte of padding each.
	const uint8_t data[] = {
		0, 31, 255, 0xee,
		32 + 36 * 5, 254, 100, 0xee,
	};
	for (color_space space : { B_RGB32, B_RGBA32 }) {
		BBitmap bitmap(BRect(0, 0, 2, 1), space);
		ASSERT_TRUE(bitmap.IsValid());
		bitmap.SetBits(data, sizeof(data), 0, B_CMAP8);
		EXPECT_EQ(WordAt(bitmap, 0, 0), 0xff000000u);
		EXPECT_EQ(WordAt(bitmap, 1, 0), 0xffffffffu);
		EXPECT_EQ(WordAt(bitmap, 2, 0), B_TRANSPARENT_MAGIC_RGBA32);
		EXPECT_EQ(WordAt(bitmap, 0, 1), 0xffff0000u);
		EXPECT_EQ(WordAt(bitmap, 1, 1), 0xffffffffu);
		EXPECT_EQ(WordAt(bitmap, 2, 1), PaletteWord(100));
	}
}

TEST(Bitmap, PaletteIconFillsAnRgbaBitmap)
{
	// The way icons arrive: 32 x 32 indices, every one mapped.
	std::vector<uint8_t> icon(1024);
	for (size_t i = 0; i < icon.size(); i++)
		icon[i] = uint8_t(i * 7);
	BBitmap bitmap(BRect(0, 0, 31, 31), B_RGBA32);
	bitmap.SetBits(icon.data(), int32(icon.size()), 0, B_CMAP8);
	for (int y = 0; y < 32; y++) {
		for (int x = 0; x < 32; x++) {
			uint8_t index = icon[size_t(y) * 32 + x];
			uint32_t expected = index == 255 ? B_TRANSPARENT_MAGIC_RGBA32
				: PaletteWord(index);
			ASSERT_EQ(WordAt(bitmap, x, y), expected) << x << "," << y;
		}
	}
}

TEST(Bitmap, ConversionStopsAtTheEndOfTheData)
{
	BBitmap bitmap(BRect(0, 0, 3, 1), B_RGBA32);
	const uint8_t data[] = { 0, 31, 0 };
	bitmap.SetBits(data, 3, 0, B_CMAP8);
	EXPECT_EQ(WordAt(bitmap, 0, 0), 0xff000000u);
	EXPECT_EQ(WordAt(bitmap, 1, 0), 0xffffffffu);
	EXPECT_EQ(WordAt(bitmap, 2, 0), 0xff000000u);
	EXPECT_EQ(WordAt(bitmap, 3, 0), 0u);	// untouched
	EXPECT_EQ(WordAt(bitmap, 0, 1), 0u);
}

TEST(Bitmap, ConversionStartsAtThePixelOfTheOffset)
{
	// 2 x 3 pixels; start on row 1, column 1: the source is read as if it
	// were a whole image of that size, from the same pixel.
	BBitmap bitmap(BRect(0, 0, 1, 2), B_RGB32);
	const uint8_t data[] = { 31, 0, 0, 0, 31 };
	bitmap.SetBits(data, sizeof(data), 12, B_CMAP8);
	EXPECT_EQ(WordAt(bitmap, 0, 1), 0u);
	EXPECT_EQ(WordAt(bitmap, 1, 1), 0xffffffffu);
	EXPECT_EQ(WordAt(bitmap, 0, 2), 0xff000000u);
	EXPECT_EQ(WordAt(bitmap, 1, 2), 0xffffffffu);
}

TEST(Bitmap, RgbDataBecomesOpaqueOrKeepsItsAlpha)
{
	const uint8_t pixels[] = { 1, 2, 3, 4, 5, 6, 7, 200 };
	BBitmap rgba(BRect(0, 0, 1, 0), B_RGBA32);
	rgba.SetBits(pixels, 8, 0, B_RGB32);
	EXPECT_EQ(WordAt(rgba, 0, 0), 0xff030201u);
	EXPECT_EQ(WordAt(rgba, 1, 0), 0xff070605u);

	BBitmap rgb(BRect(0, 0, 1, 0), B_RGB32);
	rgb.SetBits(pixels, 8, 0, B_RGBA32);
	EXPECT_EQ(WordAt(rgb, 0, 0), 0x04030201u);
	EXPECT_EQ(WordAt(rgb, 1, 0), 0xc8070605u);

	// Three-byte pixels, rows padded: 2 x 2 pixels in 16 bytes.
	const uint8_t packed[] = { 1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12,
		0, 0 };
	BBitmap wide(BRect(0, 0, 1, 1), B_RGBA32);
	wide.SetBits(packed, sizeof(packed), 0, B_RGB24);
	EXPECT_EQ(WordAt(wide, 0, 0), 0xff030201u);
	EXPECT_EQ(WordAt(wide, 1, 0), 0xff060504u);
	EXPECT_EQ(WordAt(wide, 0, 1), 0xff090807u);
	EXPECT_EQ(WordAt(wide, 1, 1), 0xff0c0b0au);
}

TEST(Bitmap, ColoursConvertToTheNearestPaletteEntry)
{
	const uint8_t pixels[] = {
		0, 0, 255, 255,		// pure red
		250, 250, 250, 255,	// near white
		10, 10, 10, 100,	// mostly transparent
		0, 0, 0, 255,
	};
	BBitmap bitmap(BRect(0, 0, 3, 0), B_CMAP8);
	bitmap.SetBits(pixels, sizeof(pixels), 0, B_RGBA32);
	EXPECT_EQ(ByteAt(bitmap, 0, 0), 32 + 36 * 5);
	BPrivate::PaletteColor nearWhite = BPrivate::SystemPaletteColor(
		ByteAt(bitmap, 1, 0));
	EXPECT_GE(nearWhite.red, 240);
	EXPECT_EQ(ByteAt(bitmap, 2, 0), B_TRANSPARENT_MAGIC_CMAP8);
	EXPECT_EQ(ByteAt(bitmap, 3, 0), 0);
}

TEST(Bitmap, PaletteRoundTripsThroughThirtyTwoBits)
{
	std::vector<uint8_t> indices(256);
	for (int i = 0; i < 256; i++)
		indices[size_t(i)] = uint8_t(i);
	BBitmap wide(BRect(0, 0, 255, 0), B_RGB32);
	wide.SetBits(indices.data(), 256, 0, B_CMAP8);
	BBitmap back(BRect(0, 0, 255, 0), B_CMAP8);
	back.SetBits(wide.Bits(), wide.BitsLength(), 0, B_RGB32);
	for (int i = 0; i < 256; i++) {
		// Several palette entries share a colour (the two whites); the
		// colour must survive, and transparency must stay transparent.
		uint8_t index = ByteAt(back, i, 0);
		if (i == 255) {
			EXPECT_EQ(index, 255);
			continue;
		}
		ASSERT_NE(index, 255) << i;
		EXPECT_EQ(PaletteWord(index), PaletteWord(uint8_t(i))) << i;
	}
}

} // namespace
