// Drawing text onto a canvas: where the ink goes, how high capitals are,
// the clip, determinism and colour.

#include <Font.h>

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include <private/FontEngine.h>

#include "InkBox.h"
#include "TestCanvas.h"

namespace {

const uint32 kWhite = 0xffffffff;
const uint32 kSentinel = 0x00a5c3e1;  // no alpha: nothing we draw looks so
const rgb_color kBlack = { 0, 0, 0, 255 };
const char* const kSample = "Volume: Unity A(440) E (High) -20 dB";

float
Draw(TestCanvas& canvas, const BFont& font, const char* text, float x,
	float baseline, int32 length = -1, rgb_color color = kBlack)
{
	return BPrivate::DrawString(canvas.Canvas(), canvas.Canvas().Bounds(),
		font, text, length, x, baseline, color);
}

// The canvas of text drawn alone, black on white.
TestCanvas
Drawn(const BFont& font, const char* text, float x, float baseline,
	int32 length = -1, int32 width = 320, int32 height = 40)
{
	TestCanvas canvas(width, height, kWhite);
	Draw(canvas, font, text, x, baseline, length);
	return canvas;
}

} // namespace

TEST(FontRenderTest, AdvanceIsTheStringWidth)
{
	const char* const kTexts[] = { kSample, "Mute", " ", "ffi WAV.", "",
		"\xc3\x89t\xc3\xa9 \xe2\x82\xac", "bad \xc3 \xed\xa0\x80 bytes" };
	for (float size : { 10.0f, 12.0f, 17.25f, 40.0f }) {
		for (const BFont* base : { be_plain_font, be_bold_font }) {
			BFont font(base);
			font.SetSize(size);
			for (const char* text : kTexts) {
				TestCanvas canvas(64, 24, kWhite);
				float advance = Draw(canvas, font, text, 3.4f, 15);
				EXPECT_EQ(advance, font.StringWidth(text))
					<< text << " at " << size;
			}
		}
	}
}

TEST(FontRenderTest, InkLiesWithinTheFontsHeightAndTheAdvance)
{
	const char* const kTexts[] = { kSample, "Note:", "(|)", "gjpqy_",
		"HIJ" };
	for (float size : { 10.0f, 13.0f, 24.0f }) {
		BFont font;
		font.SetSize(size);
		font_height height;
		font.GetHeight(&height);
		for (const char* text : kTexts) {
			const int32 x = 7;
			const int32 baseline = 40;
			TestCanvas canvas = Drawn(font, text, x, baseline, -1, 480, 64);
			InkBox ink = FindInk(canvas, kWhite);
			ASSERT_TRUE(ink.found) << text;
			float width = font.StringWidth(text);
			// Row `baseline` is the last above the baseline itself.
			EXPECT_GE(ink.top, baseline + 1 - std::ceil(height.ascent))
				<< text << " at " << size;
			EXPECT_LE(ink.bottom, baseline + std::ceil(height.descent))
				<< text << " at " << size;
			// Side bearings are small in these glyphs: ink starts near the
			// pen and ends near its advance.
			EXPECT_GE(ink.left, x - 1) << text;
			EXPECT_LE(ink.left, x + 0.25f * size) << text;
			EXPECT_LE(ink.right, x + width + 1) << text;
			EXPECT_GE(ink.right, x + width - 0.3f * size) << text;
		}
	}
}

TEST(FontRenderTest, CapitalsAreSevenPixelsHighAtTen)
{
	const int32 baseline = 20;
	for (const char* text : { "V", "H", "E", "VHENT" }) {
		InkBox ink = FindInk(Drawn(*be_plain_font, text, 5, baseline),
			kWhite);
		ASSERT_TRUE(ink.found) << text;
		EXPECT_EQ(ink.bottom, baseline) << text;
		EXPECT_EQ(ink.Height(), 7) << text;
	}
	InkBox bold = FindInk(Drawn(*be_bold_font, "VHENT", 5, baseline),
		kWhite);
	EXPECT_EQ(bold.bottom, baseline);
	EXPECT_EQ(bold.Height(), 7);
	// DejaVu's ascenders reach a row above its capitals.
	InkBox caption = FindInk(Drawn(*be_plain_font, "Volume:", 5, baseline),
		kWhite);
	EXPECT_EQ(caption.bottom, baseline);
	EXPECT_EQ(caption.Height(), 8);
}

TEST(FontRenderTest, HintingPutsBarsOnWholeRows)
{
	// The top and bottom bars of an E lie on whole rows: fully black along
	// their length, and nothing bleeds into the rows beyond them.
	const int32 baseline = 20;
	TestCanvas canvas = Drawn(*be_plain_font, "E", 5, baseline);
	int32 bottomBlack = 0;
	int32 topBlack = 0;
	for (int32 x = 0; x < canvas.Width(); x++) {
		if (canvas.At(x, baseline) == 0xff000000u)
			bottomBlack++;
		if (canvas.At(x, baseline - 6) == 0xff000000u)
			topBlack++;
		EXPECT_EQ(canvas.At(x, baseline + 1), kWhite) << x;
		EXPECT_EQ(canvas.At(x, baseline - 7), kWhite) << x;
	}
	EXPECT_GE(bottomBlack, 3);
	EXPECT_GE(topBlack, 3);
}

TEST(FontRenderTest, DescendersGoBelowTheBaseline)
{
	const int32 baseline = 20;
	InkBox ink = FindInk(Drawn(*be_plain_font, "g", 5, baseline), kWhite);
	ASSERT_TRUE(ink.found);
	EXPECT_GE(ink.bottom, baseline + 2);
	InkBox x = FindInk(Drawn(*be_plain_font, "x", 5, baseline), kWhite);
	EXPECT_EQ(x.bottom, baseline);
	EXPECT_LT(x.Height(), 7);
}

TEST(FontRenderTest, NothingIsWrittenOutsideTheClip)
{
	struct Case {
		BPrivate::ClipBox clip;
		float x;
		float baseline;
		float size;
		bool expectInk;
	};
	const Case kCases[] = {
		{ { 10, 8, 30, 16 }, 4, 16, 10, true },
		{ { 10, 8, 30, 16 }, -50, 40, 60, true },
		{ { -20, -20, 5, 5 }, -3, 4, 12, true },
		{ { 40, 20, 200, 200 }, 30, 45, 80, true },
		{ { 0, 0, 47, 31 }, -200, 300, 400, true },
		{ { 20, 10, 19, 30 }, 0, 20, 20, false },   // empty
		{ { 100, 100, 200, 200 }, 0, 20, 20, false },  // off the canvas
		{ { 0, 0, 47, 31 }, 1e9f, 20, 20, false },
		{ { 0, 0, 47, 31 }, 10, -1e9f, 20, false },
		{ { 0, 0, 47, 31 }, NAN, 20, 20, false },
		{ { 0, 0, 47, 31 }, 10, INFINITY, 20, false },
	};
	for (const Case& test : kCases) {
		// Padding past the width in every row must stay untouched as well.
		TestCanvas canvas(48, 32, kSentinel, 53);
		BFont font;
		font.SetSize(test.size);
		BPrivate::DrawString(canvas.Canvas(), test.clip, font, "WMgjQ|@",
			-1, test.x, test.baseline, kBlack);
		BPrivate::ClipBox allowed = test.clip.Intersect(
			canvas.Canvas().Bounds());
		int32 inked = 0;
		for (int32 y = 0; y < canvas.Height(); y++) {
			for (int32 x = 0; x < canvas.Stride(); x++) {
				bool inside = x < canvas.Width() && allowed.Contains(x, y);
				if (!inside) {
					ASSERT_EQ(canvas.At(x, y), kSentinel)
						<< "at " << x << "," << y << " with clip "
						<< test.clip.left << "," << test.clip.top;
				} else if (canvas.At(x, y) != kSentinel) {
					inked++;
				}
			}
		}
		if (test.expectInk)
			EXPECT_GT(inked, 0) << test.clip.left << "," << test.clip.top;
		else
			EXPECT_EQ(inked, 0);
	}
}

TEST(FontRenderTest, MissingPixelsOrCanvasDrawNothing)
{
	BPrivate::Canvas none;
	float advance = BPrivate::DrawString(none, BPrivate::ClipBox{ 0, 0, 99,
		99 }, *be_plain_font, "Mute", -1, 0, 10, kBlack);
	EXPECT_EQ(advance, be_plain_font->StringWidth("Mute"));

	TestCanvas canvas(40, 20, kSentinel);
	EXPECT_EQ(Draw(canvas, *be_plain_font, nullptr, 0, 10), 0.0f);
	EXPECT_EQ(Draw(canvas, *be_plain_font, "Mute", 0, 10, 0), 0.0f);
	EXPECT_FALSE(FindInk(canvas, kSentinel).found);
}

TEST(FontRenderTest, DrawingIsDeterministic)
{
	for (const BFont* font : { be_plain_font, be_bold_font }) {
		TestCanvas first = Drawn(*font, kSample, 3, 20);
		TestCanvas second = Drawn(*font, kSample, 3, 20);
		EXPECT_EQ(first.Pixels(), second.Pixels());

		// Moving the pen by whole pixels moves the same pixels.
		TestCanvas moved = Drawn(*font, kSample, 3 + 21, 20 + 9);
		int32 differences = 0;
		for (int32 y = 0; y + 9 < first.Height(); y++) {
			for (int32 x = 0; x + 21 < first.Width(); x++) {
				if (first.At(x, y) != moved.At(x + 21, y + 9))
					differences++;
			}
		}
		EXPECT_EQ(differences, 0);
	}
}

TEST(FontRenderTest, PenPositionsRoundToTheNearestPixel)
{
	TestCanvas whole = Drawn(*be_plain_font, kSample, 10, 20);
	TestCanvas nearly = Drawn(*be_plain_font, kSample, 9.6f, 20.4f);
	EXPECT_EQ(whole.Pixels(), nearly.Pixels());
	TestCanvas next = Drawn(*be_plain_font, kSample, 10.6f, 20);
	EXPECT_NE(whole.Pixels(), next.Pixels());
	EXPECT_EQ(next.Pixels(), Drawn(*be_plain_font, kSample, 11, 20).Pixels());
	EXPECT_EQ(FindInk(next, kWhite).left, FindInk(whole, kWhite).left + 1);
}

TEST(FontRenderTest, BlackOnWhiteGivesGreysBetween)
{
	TestCanvas canvas = Drawn(*be_plain_font, kSample, 3, 20);
	int32 black = 0;
	int32 greys = 0;
	for (uint32 pixel : canvas.Pixels()) {
		rgb_color c = BPrivate::UnpackColor(pixel);
		ASSERT_EQ(c.red, c.green);
		ASSERT_EQ(c.green, c.blue);
		ASSERT_EQ(c.alpha, 255);
		if (c.red == 0)
			black++;
		else if (c.red < 255)
			greys++;
	}
	EXPECT_GT(black, 20);
	EXPECT_GT(greys, 20);
}

TEST(FontRenderTest, ColourIsBlendedOverTheBackground)
{
	const uint32 kBlue = 0xff0000ff;
	TestCanvas canvas(320, 40, kBlue);
	Draw(canvas, *be_plain_font, kSample, 3, 20, -1,
		rgb_color{ 255, 0, 0, 255 });
	int32 red = 0;
	int32 mixed = 0;
	for (uint32 pixel : canvas.Pixels()) {
		rgb_color c = BPrivate::UnpackColor(pixel);
		ASSERT_EQ(c.green, 0);
		// Coverage takes from the blue exactly what it gives the red.
		ASSERT_NEAR(c.red + c.blue, 255, 1);
		if (c.red == 255)
			red++;
		else if (c.red > 0)
			mixed++;
	}
	EXPECT_GT(red, 20);
	EXPECT_GT(mixed, 20);

	// Drawing over ink blends again, so a second pass darkens the edges.
	TestCanvas once = Drawn(*be_plain_font, kSample, 3, 20);
	TestCanvas twice = Drawn(*be_plain_font, kSample, 3, 20);
	Draw(twice, *be_plain_font, kSample, 3, 20);
	EXPECT_NE(once.Pixels(), twice.Pixels());
	for (size_t i = 0; i < once.Pixels().size(); i++)
		ASSERT_LE(twice.Pixels()[i] & 0xff, once.Pixels()[i] & 0xff);
}

TEST(FontRenderTest, MissingCharactersDrawTheNotdefGlyph)
{
	// Two private-use characters DejaVu Sans has no glyph for.
	const char* const kFirst = "\xf3\xb0\x80\x80";   // U+F0000
	const char* const kSecond = "\xf4\x8f\xbf\xbd";  // U+10FFFD
	float width = be_plain_font->StringWidth(kFirst);
	EXPECT_GT(width, 0.0f);
	EXPECT_EQ(be_plain_font->StringWidth(kSecond), width);

	TestCanvas first = Drawn(*be_plain_font, kFirst, 5, 20);
	TestCanvas second = Drawn(*be_plain_font, kSecond, 5, 20);
	EXPECT_TRUE(FindInk(first, kWhite).found);
	EXPECT_EQ(first.Pixels(), second.Pixels());

	// Not the replacement character, which has a glyph of its own.
	TestCanvas replacement = Drawn(*be_plain_font, "\xef\xbf\xbd", 5, 20);
	EXPECT_NE(first.Pixels(), replacement.Pixels());
}

TEST(FontRenderTest, LengthLimitsWhatIsDrawn)
{
	TestCanvas vol = Drawn(*be_plain_font, "Vol", 5, 20);
	EXPECT_EQ(Drawn(*be_plain_font, "Volume:", 5, 20, 3).Pixels(),
		vol.Pixels());
	EXPECT_EQ(Drawn(*be_plain_font, "Vol\0ume:", 5, 20, 8).Pixels(),
		vol.Pixels());
	EXPECT_NE(Drawn(*be_plain_font, "Volume:", 5, 20, -1).Pixels(),
		vol.Pixels());
}
