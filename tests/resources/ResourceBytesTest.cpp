// The bytes the build makes for the background image and the version
// record, checked against what they must hold.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t>
ReadResource(const char* name)
{
	std::ifstream file(std::string(RESOURCE_DIR) + "/" + name, std::ios::binary);
	return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
		std::istreambuf_iterator<char>());
}

uint32_t
Get32(const std::vector<uint8_t>& bytes, size_t at)
{
	return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16
		| uint32_t(bytes[at + 3]) << 24;
}

uint16_t
Get16(const std::vector<uint8_t>& bytes, size_t at)
{
	return uint16_t(bytes[at] | bytes[at + 1] << 8);
}

class BackgroundImage : public ::testing::Test {
protected:
	void SetUp() override
	{
		fBytes = ReadResource("kesto_bg.bmp");
		ASSERT_EQ(fBytes.size(), 38394u);
	}

	// The grey of the pixel at column x, row y counted from the top of the
	// picture as displayed. Fails the test unless the pixel is grey.
	int Grey(int x, int y)
	{
		size_t at = 54 + (size_t(70 - y) * 135 + x) * 4;
		EXPECT_EQ(fBytes[at], fBytes[at + 1]) << x << "," << y;
		EXPECT_EQ(fBytes[at], fBytes[at + 2]) << x << "," << y;
		EXPECT_EQ(fBytes[at + 3], 255) << x << "," << y;
		return fBytes[at];
	}

	std::vector<uint8_t> fBytes;
};

TEST_F(BackgroundImage, HeadersDescribeABottomUp32BitPicture)
{
	EXPECT_EQ(fBytes[0], 'B');
	EXPECT_EQ(fBytes[1], 'M');
	EXPECT_EQ(Get32(fBytes, 2), 38394u);
	EXPECT_EQ(Get16(fBytes, 6), 0);
	EXPECT_EQ(Get16(fBytes, 8), 0);
	EXPECT_EQ(Get32(fBytes, 10), 54u);

	EXPECT_EQ(Get32(fBytes, 14), 40u);
	EXPECT_EQ(Get32(fBytes, 18), 135u);
	EXPECT_EQ(int32_t(Get32(fBytes, 22)), 71);	// positive: bottom-up
	EXPECT_EQ(Get16(fBytes, 26), 1);
	EXPECT_EQ(Get16(fBytes, 28), 32);
	EXPECT_EQ(Get32(fBytes, 30), 0u);
	EXPECT_EQ(Get32(fBytes, 34), 38340u);
	EXPECT_EQ(Get32(fBytes, 38), 2835u);
	EXPECT_EQ(Get32(fBytes, 42), 2835u);
	EXPECT_EQ(Get32(fBytes, 46), 0u);
	EXPECT_EQ(Get32(fBytes, 50), 0u);
}

TEST_F(BackgroundImage, GreyStripBesideAWhiteField)
{
	for (int y = 0; y < 71; y++) {
		for (int x = 43; x < 135; x++)
			ASSERT_EQ(Grey(x, y), 255) << x << "," << y;
		bool captionRow = (y >= 17 && y <= 23) || (y >= 47 && y <= 53);
		for (int x = 0; x < 43; x++) {
			if (!captionRow || x < 5 || x > 38) {
				ASSERT_EQ(Grey(x, y), 205) << x << "," << y;
			}
		}
	}
}

struct Extent {
	int left = 1000, right = -1, top = 1000, bottom = -1;
	std::set<int> inks;
};

TEST_F(BackgroundImage, CaptionsSitRightAlignedBesideTheirFields)
{
	Extent volume;
	Extent note;
	for (int y = 0; y < 71; y++) {
		for (int x = 0; x < 43; x++) {
			int grey = Grey(x, y);
			if (grey == 205)
				continue;
			Extent& caption = y < 35 ? volume : note;
			caption.left = std::min(caption.left, x);
			caption.right = std::max(caption.right, x);
			caption.top = std::min(caption.top, y);
			caption.bottom = std::max(caption.bottom, y);
			caption.inks.insert(grey);
		}
	}

	EXPECT_EQ(volume.left, 5);
	EXPECT_EQ(volume.right, 38);
	EXPECT_EQ(volume.top, 17);
	EXPECT_EQ(volume.bottom, 23);
	EXPECT_EQ(note.left, 15);
	EXPECT_EQ(note.right, 38);
	EXPECT_EQ(note.top, 47);
	EXPECT_EQ(note.bottom, 53);

	// Black text, its edges smoothed with exactly these greys.
	const std::set<int> inks = { 0, 106, 140, 180 };
	EXPECT_EQ(volume.inks, inks);
	EXPECT_EQ(note.inks, inks);
}

TEST(VersionRecord, HoldsTheApplicationsVersionThenAnEmptySystemRecord)
{
	std::vector<uint8_t> bytes = ReadResource("app_version.bin");
	ASSERT_EQ(bytes.size(), 680u);

	const uint32_t numbers[] = { 0, 6, 0, 0, 0 };
	for (int i = 0; i < 5; i++)
		EXPECT_EQ(Get32(bytes, i * 4), numbers[i]) << "field " << i;

	std::vector<uint8_t> shortText(bytes.begin() + 20, bytes.begin() + 84);
	std::string shortExpected = "Second Release";
	EXPECT_EQ(memcmp(shortText.data(), shortExpected.data(), shortExpected.size()), 0);
	for (size_t i = shortExpected.size(); i < shortText.size(); i++)
		ASSERT_EQ(shortText[i], 0) << "short description byte " << i;

	std::string longExpected = "v0.6 10/05/01\n\nBased on Kesto v1.0 2/25/01\nby Ardley";
	EXPECT_EQ(std::string(bytes.begin() + 84, bytes.begin() + 84 + longExpected.size()),
		longExpected);
	for (size_t i = 84 + longExpected.size(); i < 340; i++)
		ASSERT_EQ(bytes[i], 0) << "long description byte " << i;

	for (size_t i = 340; i < 680; i++)
		ASSERT_EQ(bytes[i], 0) << "system record byte " << i;
}

// Both icons show three outlined blocks over a transparent ground, with a
// shadow on their lower right.
void
CheckIcon(const std::vector<uint8_t>& pixels, int size)
{
	ASSERT_EQ(pixels.size(), size_t(size * size));
	std::set<uint8_t> faces;
	int outline = 0;
	int shadowRight = 0;
	int shadowLeft = 0;
	for (int y = 0; y < size; y++) {
		for (int x = 0; x < size; x++) {
			uint8_t index = pixels[y * size + x];
			if (index == 0)
				outline++;
			else if (index == 161)
				(x >= size / 2 ? shadowRight : shadowLeft)++;
			else if (index != 255)
				faces.insert(index);
		}
	}
	// The corners are clear.
	EXPECT_EQ(pixels[0], 255);
	EXPECT_EQ(pixels[size - 1], 255);
	EXPECT_EQ(pixels[(size - 1) * size], 255);
	EXPECT_GT(outline, size);
	EXPECT_EQ(faces.size(), 3u) << "each face of a block has its own shade";
	EXPECT_GT(shadowRight, shadowLeft);
}

TEST(Icons, LargeAndMiniShowTheSameMotif)
{
	CheckIcon(ReadResource("icon_large.bin"), 32);
	CheckIcon(ReadResource("icon_mini.bin"), 16);
}

} // namespace
