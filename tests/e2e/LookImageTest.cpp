// The screenshot reader the end-to-end scenarios rely on: if it saw ink
// where there is none, or matched the wrong label, the scenarios would pass
// on a broken window.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LookImage.h"

using namespace e2e;

namespace {

std::vector<uint8>
Bytes(const std::string& text)
{
	return std::vector<uint8>(text.begin(), text.end());
}

// A picture from rows of characters: '#' black, '.' the controls' face,
// 'b' the blue of the focus line, 'g' a mid grey just above the ink line.
Image
Picture(const std::vector<std::string>& rows)
{
	Image image;
	image.height = int32(rows.size());
	image.width = int32(rows[0].size());
	for (const std::string& row : rows) {
		for (char c : row) {
			uint8 r = 232, g = 232, b = 232;
			if (c == '#')
				r = g = b = 0;
			else if (c == 'b')
				r = 0, g = 0, b = 255;
			else if (c == 'g')
				r = g = b = 116;
			image.rgb.push_back(r);
			image.rgb.push_back(g);
			image.rgb.push_back(b);
		}
	}
	return image;
}

Mask
MaskOf(const std::vector<std::string>& rows)
{
	Image image = Picture(rows);
	return InkMask(image, Box{ 0, 0, image.width - 1, image.height - 1 });
}

} // namespace

TEST(LookImage, ReadsAPpmWithComments)
{
	std::string text = "P6\n# made by a test\n2 1\n255\n";
	text += std::string("\x01\x02\x03\xfa\xfb\xfc", 6);
	Image image;
	std::string error;
	ASSERT_TRUE(ParsePpm(Bytes(text), &image, &error)) << error;
	EXPECT_EQ(2, image.width);
	EXPECT_EQ(1, image.height);
	EXPECT_EQ(3, image.At(0, 0)[2]);
	EXPECT_EQ(0xfa, image.At(1, 0)[0]);
}

TEST(LookImage, RefusesDamagedPictures)
{
	Image image;
	std::string error;
	EXPECT_FALSE(ParsePpm(Bytes("P5\n1 1\n255\n\x00"), &image, &error));
	EXPECT_FALSE(ParsePpm(Bytes("P6\n2 2\n255\n123"), &image, &error));
	EXPECT_NE(std::string::npos, error.find("cut short"));
	EXPECT_FALSE(ParsePpm(Bytes("P6\n1 1\n65535\n123456"), &image, &error));
	EXPECT_FALSE(ParsePpm(Bytes("P6\n1"), &image, &error));
	EXPECT_FALSE(ParsePpm(Bytes("P6\n0 5\n255\n"), &image, &error));
	EXPECT_FALSE(ParsePpm(Bytes(""), &image, &error));
	EXPECT_FALSE(ReadPpm("/nonexistent/shot.ppm", &image, &error));
	EXPECT_NE(std::string::npos, error.find("cannot open"));
}

TEST(LookImage, InkIsDarkInEveryChannel)
{
	Image image = Picture({ "#bg." });
	EXPECT_TRUE(IsInk(image.At(0, 0)));
	EXPECT_FALSE(IsInk(image.At(1, 0))) << "the focus line is not text";
	EXPECT_FALSE(IsInk(image.At(2, 0)));
	EXPECT_FALSE(IsInk(image.At(3, 0)));
}

TEST(LookImage, InkMaskIsCutToTheInk)
{
	Mask mask = MaskOf({
		"......",
		"..#...",
		"...#b.",
		"......",
	});
	EXPECT_EQ(2, mask.width);
	EXPECT_EQ(2, mask.height);
	EXPECT_EQ("#.\n.#\n", FormatMask(mask));
	EXPECT_EQ(2u, mask.InkCount());
}

TEST(LookImage, EmptyAndOutsideBoxesHaveNoInk)
{
	Image image = Picture({ "##", "##" });
	Mask none = InkMask(image, Box{ 5, 5, 9, 9 });
	EXPECT_EQ(0, none.width);
	EXPECT_EQ("(no ink)\n", FormatMask(none));
	Mask reversed = InkMask(image, Box{ 1, 1, 0, 0 });
	EXPECT_EQ(0u, reversed.InkCount());
	Mask clamped = InkMask(image, Box{ -3, -3, 0, 0 });
	EXPECT_EQ(1u, clamped.InkCount());
}

TEST(LookImage, SameInkNeedsTheSameShape)
{
	std::vector<std::string> rows = {
		"#####.####",
		"#...#.#..#",
		"#####.####",
	};
	Mask wanted = MaskOf(rows);
	EXPECT_TRUE(SameInk(MaskOf(rows), wanted));

	std::vector<std::string> oneOff = rows;
	oneOff[1][2] = '#';
	EXPECT_TRUE(SameInk(MaskOf(oneOff), wanted)) << "one edge pixel may differ";

	std::vector<std::string> different = {
		"#####.####",
		"#.###.##.#",
		"#####.####",
	};
	EXPECT_FALSE(SameInk(MaskOf(different), wanted));
	EXPECT_FALSE(SameInk(MaskOf({ "#####" }), wanted));
	EXPECT_FALSE(SameInk(Mask(), wanted)) << "an empty label is not a text";
	EXPECT_TRUE(SameInk(Mask(), Mask()));
}

TEST(LookImage, FindsTextStandingAlone)
{
	Mask wanted = MaskOf({ "#.#", "###" });
	Image image = Picture({
		"..........",
		".#.#......",
		".###...#.#",
		".......###",
	});
	int32 x = -1, y = -1;
	ASSERT_TRUE(FindInk(image, Box{ 0, 0, 9, 3 }, wanted, &x, &y));
	// The first copy touches nothing; the second is found only when the
	// first is out of the box.
	EXPECT_EQ(1, x);
	EXPECT_EQ(1, y);
	ASSERT_TRUE(FindInk(image, Box{ 5, 0, 9, 3 }, wanted, &x, &y));
	EXPECT_EQ(7, x);
	EXPECT_EQ(2, y);
}

TEST(LookImage, DoesNotFindTextInsideOtherInk)
{
	Mask wanted = MaskOf({ "#.#", "###" });
	Image joined = Picture({
		".....",
		".#.##",
		".###.",
	});
	int32 x, y;
	EXPECT_FALSE(FindInk(joined, Box{ 0, 0, 4, 2 }, wanted, &x, &y));
	Image blank = Picture({ "....", "....", "...." });
	EXPECT_FALSE(FindInk(blank, Box{ 0, 0, 3, 2 }, wanted, &x, &y));
	EXPECT_FALSE(FindInk(blank, Box{ 0, 0, 3, 2 }, Mask(), &x, &y));
	Image small = Picture({ "#" });
	EXPECT_FALSE(FindInk(small, Box{ 0, 0, 0, 0 }, wanted, &x, &y));
}

TEST(LookImage, UniformCountsOtherPixels)
{
	Image image = Picture({ "....", "..#.", "...." });
	Uniformity all = CheckUniform(image, Box{ 0, 0, 3, 2 }, 232, 232, 232);
	EXPECT_EQ(12, all.pixels);
	EXPECT_EQ(1, all.differing);
	EXPECT_EQ(2, all.firstX);
	EXPECT_EQ(1, all.firstY);
	EXPECT_EQ(0, all.first[0]);
	Uniformity row = CheckUniform(image, Box{ 0, 0, 3, 0 }, 232, 232, 232);
	EXPECT_EQ(0, row.differing);
	Uniformity outside = CheckUniform(image, Box{ 10, 10, 12, 12 }, 0, 0, 0);
	EXPECT_EQ(0, outside.pixels);
}

TEST(LookImage, RunLengthStopsAtAnotherColour)
{
	Image image = Picture({
		"####.",
		"#....",
		"#....",
	});
	EXPECT_EQ(4, RunLength(image, 0, 0, 1, 0));
	EXPECT_EQ(3, RunLength(image, 0, 0, 0, 1));
	EXPECT_EQ(1, RunLength(image, 4, 0, 1, 0)) << "stops at the image's edge";
	EXPECT_EQ(0, RunLength(image, 9, 9, 1, 0));
	EXPECT_EQ(1, RunLength(image, 0, 0, 0, 0));
}

TEST(LookImage, BackgroundIsTheCommonestGrey)
{
	Image image = Picture({ "..##", "..#b", "...." });
	EXPECT_EQ(232, BackgroundOf(image, Box{ 0, 0, 3, 2 }));
	EXPECT_EQ(0, BackgroundOf(image, Box{ 2, 0, 3, 1 }));
	EXPECT_EQ(255, BackgroundOf(image, Box{ 9, 9, 12, 12 }));
}

TEST(LookImage, InkThresholdFollowsTheBackground)
{
	// 116 is ink below a threshold of 117 and not below 116.
	Image image = Picture({ "g" });
	EXPECT_TRUE(IsInk(image.At(0, 0), 117));
	EXPECT_FALSE(IsInk(image.At(0, 0), 116));
	EXPECT_EQ(1u, InkMask(image, Box{ 0, 0, 0, 0 }, 117).InkCount());
}

TEST(LookImage, ShowsTextLooksPastTheFocusLine)
{
	Mask wanted = MaskOf({
		"#..#",
		"#..#",
		".##.",
		"...#",
	});
	// The focus line covers the descender's row.
	Image focused = Picture({
		"......",
		".#..#.",
		".#..#.",
		"..##..",
		"bbbbbb",
	});
	EXPECT_TRUE(ShowsText(focused, Box{ 0, 0, 5, 4 }, wanted));
	EXPECT_FALSE(SameInk(InkMask(focused, Box{ 0, 0, 5, 4 }), wanted))
		<< "the plain comparison sees a row missing";

	Image plain = Picture({
		".#..#.",
		".#..#.",
		"..##..",
		"....#.",
	});
	EXPECT_TRUE(ShowsText(plain, Box{ 0, 0, 5, 3 }, wanted));

	// Three pixels off: more than the two that edges may change.
	Image other = Picture({
		".#..#.",
		".####.",
		"..#...",
		"bbbbbb",
	});
	EXPECT_FALSE(ShowsText(other, Box{ 0, 0, 5, 3 }, wanted));

	Image extra = Picture({
		".#..#.#",
		".#..#..",
		"..##...",
		"....#..",
	});
	EXPECT_FALSE(ShowsText(extra, Box{ 0, 0, 6, 3 }, wanted))
		<< "ink beyond the text";
}

TEST(LookImage, ShowsTextOfAnEmptyLabel)
{
	Image blank = Picture({ "....", "bbbb" });
	EXPECT_TRUE(ShowsText(blank, Box{ 0, 0, 3, 1 }, Mask()));
	Image inked = Picture({ ".#..", "...." });
	EXPECT_FALSE(ShowsText(inked, Box{ 0, 0, 3, 1 }, Mask()));
	EXPECT_FALSE(ShowsText(blank, Box{ 0, 0, 3, 1 }, MaskOf({ "#" })));
}

// A menu as the kit draws it at a scale: outline 'o' (96), highlight 'w'
// (255), face 'f' (216), the first row highlighted 'h' (144) when asked.
Image
MenuPicture(int32 width, int32 height, int32 scale, bool highlighted, int32 left,
	int32 top, int32 imageWidth, int32 imageHeight)
{
	Image image;
	image.width = imageWidth;
	image.height = imageHeight;
	image.rgb.assign(size_t(imageWidth) * imageHeight * 3, 255);
	for (int32 y = 0; y < height; y++) {
		for (int32 x = 0; x < width; x++) {
			uint8 grey = highlighted && y < 6 * scale ? 144 : 216;
			if (x < scale || y < scale || x >= width - scale || y >= height - scale)
				grey = 96;
			else if (x < 2 * scale || y < 2 * scale)
				grey = 255;
			uint8* pixel = image.rgb.data() + (size_t(top + y) * imageWidth + left + x) * 3;
			pixel[0] = pixel[1] = pixel[2] = grey;
		}
	}
	return image;
}

TEST(LookImage, FindsAMenuByItsFrame)
{
	Image image = MenuPicture(30, 40, 1, false, 5, 7, 60, 60);
	std::vector<Frame> menus = FindMenus(image);
	ASSERT_EQ(menus.size(), 1u);
	EXPECT_EQ(menus[0].x, 5);
	EXPECT_EQ(menus[0].y, 7);
	EXPECT_EQ(menus[0].width, 30);
	EXPECT_EQ(menus[0].height, 40);

	Image highlighted = MenuPicture(30, 40, 1, true, 0, 0, 40, 50);
	ASSERT_EQ(FindMenus(highlighted).size(), 1u) << "a highlighted first row";
}

TEST(LookImage, FindsAMenuAtItsScaleOnce)
{
	Image image = MenuPicture(60, 80, 2, false, 10, 4, 100, 100);
	std::vector<Frame> menus = FindMenus(image, 2);
	ASSERT_EQ(menus.size(), 1u) << "the thick outline's inner corner is no second menu";
	EXPECT_EQ(menus[0].x, 10);
	EXPECT_EQ(menus[0].y, 4);
	EXPECT_EQ(menus[0].width, 60);
	EXPECT_EQ(menus[0].height, 80);
	EXPECT_TRUE(FindMenus(image, 1).empty()) << "read at scale 1, the outline is too thick";
}

TEST(LookImage, FindsNoMenuInAField)
{
	// A field's bevel: the same outline and highlight around the controls'
	// face (232), not a menu's.
	Image image = MenuPicture(30, 20, 1, false, 0, 0, 40, 30);
	for (int32 y = 2; y < 18; y++) {
		for (int32 x = 2; x < 28; x++) {
			uint8* pixel = image.rgb.data() + (size_t(y) * 40 + x) * 3;
			pixel[0] = pixel[1] = pixel[2] = 232;
		}
	}
	EXPECT_TRUE(FindMenus(image).empty());
	EXPECT_TRUE(FindMenus(MenuPicture(6, 20, 1, false, 0, 0, 10, 30)).empty())
		<< "too narrow for a menu";
}

TEST(LookImage, FindsAMenuUnderThePointer)
{
	// The pointer drawn over the top edge and over the left edge lower down.
	Image image = MenuPicture(30, 40, 1, false, 5, 7, 60, 60);
	for (int32 y = 4; y < 12; y++) {
		for (int32 x = 15; x < 19; x++) {
			uint8* pixel = image.rgb.data() + (size_t(y) * 60 + x) * 3;
			pixel[0] = pixel[1] = pixel[2] = 0;
		}
	}
	for (int32 y = 30; y < 34; y++) {
		uint8* pixel = image.rgb.data() + (size_t(y) * 60 + 5) * 3;
		pixel[0] = pixel[1] = pixel[2] = 0;
	}
	std::vector<Frame> menus = FindMenus(image);
	ASSERT_EQ(menus.size(), 1u);
	EXPECT_EQ(menus[0].width, 30);
	EXPECT_EQ(menus[0].height, 40);
}
