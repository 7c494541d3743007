// BFont as a value and as a measure: which files the fonts resolve to,
// sizes and faces, widths, heights and truncation.

#include <Font.h>

#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <private/FontEngine.h>

namespace {

const char* const kSample = "Volume: Unity A(440) E (High) -20 dB";

BPrivate::FontFileInfo
FileOf(const BFont& font)
{
	BPrivate::FontFileInfo info;
	EXPECT_TRUE(BPrivate::GetFontFileInfo(font, &info));
	return info;
}

bool
IsValidUtf8(const std::string& text)
{
	size_t offset = 0;
	while (offset < text.size()) {
		if (BPrivate::NextCodePoint(text.data(), text.size(), &offset)
				== BPrivate::kReplacementCharacter) {
			return false;
		}
	}
	return true;
}

} // namespace

TEST(FontTest, PlainFontIsDejaVuSansAtTen)
{
	ASSERT_NE(be_plain_font, nullptr);
	EXPECT_EQ(be_plain_font->Size(), 10.0f);
	EXPECT_EQ(be_plain_font->Face(), B_REGULAR_FACE);
	BPrivate::FontFileInfo info = FileOf(*be_plain_font);
	EXPECT_EQ(info.family, "DejaVu Sans");
	EXPECT_EQ(info.style, "Book");
	EXPECT_NE(info.path.find("DejaVuSans.ttf"), std::string::npos)
		<< info.path;
}

TEST(FontTest, BoldFontIsDejaVuSansBoldAtTen)
{
	ASSERT_NE(be_bold_font, nullptr);
	EXPECT_EQ(be_bold_font->Size(), 10.0f);
	EXPECT_EQ(be_bold_font->Face(), B_BOLD_FACE);
	BPrivate::FontFileInfo info = FileOf(*be_bold_font);
	EXPECT_EQ(info.family, "DejaVu Sans");
	EXPECT_EQ(info.style, "Bold");
}

TEST(FontTest, NewFontsStartAsThePlainFont)
{
	BFont font;
	EXPECT_EQ(font, *be_plain_font);
	EXPECT_EQ(BFont(static_cast<const BFont*>(nullptr)), *be_plain_font);
	EXPECT_EQ(BFont(be_bold_font), *be_bold_font);
	EXPECT_NE(*be_plain_font, *be_bold_font);

	font_family family;
	font_style style;
	font.GetFamilyAndStyle(&family, &style);
	EXPECT_STREQ(family, "DejaVu Sans");
	EXPECT_STREQ(style, "Regular");
}

TEST(FontTest, CopiesAreIndependent)
{
	BFont original;
	original.SetSize(14);
	BFont copy(original);
	EXPECT_EQ(copy, original);
	copy.SetSize(20);
	copy.SetFace(B_BOLD_FACE);
	EXPECT_EQ(original.Size(), 14.0f);
	EXPECT_EQ(original.Face(), B_REGULAR_FACE);
	EXPECT_EQ(be_plain_font->Size(), 10.0f);
	original = copy;
	EXPECT_EQ(original, copy);
}

TEST(FontTest, SizeIsClampedToASaneRange)
{
	BFont font;
	font.SetSize(12.5f);
	EXPECT_EQ(font.Size(), 12.5f);
	font.SetSize(0);
	EXPECT_EQ(font.Size(), BFont::kMinSize);
	font.SetSize(-30);
	EXPECT_EQ(font.Size(), BFont::kMinSize);
	font.SetSize(1e6f);
	EXPECT_EQ(font.Size(), BFont::kMaxSize);
	font.SetSize(INFINITY);
	EXPECT_EQ(font.Size(), BFont::kMaxSize);
	font.SetSize(-INFINITY);
	EXPECT_EQ(font.Size(), BFont::kMinSize);
	font.SetSize(16);
	font.SetSize(NAN);
	EXPECT_EQ(font.Size(), 16.0f);

	// Extremes still measure sensibly.
	font.SetSize(BFont::kMinSize);
	float tiny = font.StringWidth(kSample);
	font.SetSize(BFont::kMaxSize);
	float huge = font.StringWidth(kSample);
	EXPECT_GT(tiny, 0.0f);
	EXPECT_GT(huge, 400 * tiny);
}

TEST(FontTest, FaceChoosesTheBoldFile)
{
	BFont font;
	font.SetFace(B_BOLD_FACE);
	EXPECT_EQ(font.Face(), B_BOLD_FACE);
	EXPECT_EQ(FileOf(font).style, "Bold");
	EXPECT_EQ(font.StringWidth(kSample), be_bold_font->StringWidth(kSample));

	font.SetFace(B_REGULAR_FACE | B_BOLD_FACE);
	EXPECT_EQ(font.Face(), B_BOLD_FACE);

	font.SetFace(B_REGULAR_FACE);
	EXPECT_EQ(font.Face(), B_REGULAR_FACE);
	EXPECT_EQ(FileOf(font).style, "Book");

	// Faces that need no file of their own are dropped.
	font.SetFace(B_UNDERSCORE_FACE);
	EXPECT_EQ(font.Face(), B_REGULAR_FACE);

	font.SetFace(B_ITALIC_FACE);
	EXPECT_EQ(FileOf(font).style, "Oblique");
}

TEST(FontTest, LookupsLetGoAreLoadedAgainForAFontNotFoundBefore)
{
	EXPECT_EQ(FileOf(*be_plain_font).style, "Book");
	BPrivate::ReleaseFontLookups();
	BPrivate::ReleaseFontLookups();
	EXPECT_EQ(FileOf(*be_plain_font).style, "Book");
	BFont font;
	font.SetFace(B_BOLD_FACE | B_ITALIC_FACE);
	EXPECT_EQ(FileOf(font).style, "Bold Oblique");
}

TEST(FontTest, FamilyAndStyleByName)
{
	BFont font;
	font.SetFamilyAndStyle("DejaVu Sans", "Bold");
	EXPECT_EQ(font.Face(), B_BOLD_FACE);
	EXPECT_EQ(FileOf(font).style, "Bold");

	font.SetFamilyAndStyle(nullptr, "Book");
	EXPECT_EQ(font.Face(), B_REGULAR_FACE);
	BPrivate::FontFileInfo info = FileOf(font);
	EXPECT_EQ(info.family, "DejaVu Sans");
	EXPECT_EQ(info.style, "Book");

	font.SetFamilyAndStyle("DejaVu Serif", nullptr);
	EXPECT_EQ(FileOf(font).family, "DejaVu Serif");
	font_family family;
	font.GetFamilyAndStyle(&family, nullptr);
	EXPECT_STREQ(family, "DejaVu Serif");

	font.SetFamilyAndFace("DejaVu Sans", B_BOLD_FACE);
	EXPECT_EQ(FileOf(font).style, "Bold");
}

TEST(FontTest, UnknownFamilyFallsBackToSansSerif)
{
	BFont font;
	font.SetFamilyAndStyle("No Such Family Anywhere 7q", nullptr);
	BPrivate::FontFileInfo info = FileOf(font);
	EXPECT_FALSE(info.family.empty());
	EXPECT_NE(info.family, "No Such Family Anywhere 7q");
	EXPECT_GT(font.StringWidth(kSample), 0.0f);
}

TEST(FontTest, LongNamesAreCutAtACharacterBoundary)
{
	std::string name;
	for (int i = 0; i < 50; i++)
		name += "\xc3\xa9";  // two bytes each, 100 in all
	BFont font;
	font.SetFamilyAndStyle(name.c_str(), name.c_str());
	font_family family;
	font_style style;
	font.GetFamilyAndStyle(&family, &style);
	EXPECT_EQ(strlen(family), 62u);
	EXPECT_EQ(strlen(style), 62u);
	EXPECT_TRUE(IsValidUtf8(family));
	EXPECT_TRUE(IsValidUtf8(style));
	EXPECT_EQ(std::string(family), name.substr(0, 62));
}

TEST(FontTest, EmptyTextHasNoWidth)
{
	EXPECT_EQ(be_plain_font->StringWidth(""), 0.0f);
	EXPECT_EQ(be_plain_font->StringWidth(nullptr), 0.0f);
	EXPECT_EQ(be_plain_font->StringWidth(nullptr, 12), 0.0f);
	EXPECT_EQ(be_plain_font->StringWidth("abc", 0), 0.0f);
	EXPECT_EQ(be_plain_font->StringWidth("\0abc", 4), 0.0f);
}

TEST(FontTest, WidthsAddUp)
{
	float a = be_plain_font->StringWidth("a");
	float b = be_plain_font->StringWidth("b");
	EXPECT_GT(a, 0.0f);
	EXPECT_EQ(be_plain_font->StringWidth("ab"), a + b);

	for (const BFont* font : { be_plain_font, be_bold_font }) {
		float sum = 0;
		float previous = 0;
		for (size_t i = 0; kSample[i] != '\0'; i++) {
			sum += font->StringWidth(kSample + i, 1);
			float prefix = font->StringWidth(kSample, int32(i + 1));
			EXPECT_GT(prefix, previous) << "at " << i;
			previous = prefix;
		}
		EXPECT_EQ(font->StringWidth(kSample), sum);
	}
}

TEST(FontTest, WidthFollowsTheSize)
{
	BFont font;
	float ten = font.StringWidth(kSample);
	font.SetSize(20);
	float twenty = font.StringWidth(kSample);
	font.SetSize(15);
	float fifteen = font.StringWidth(kSample);
	// At 10 pixels DejaVu Sans averages a little over half an em a letter.
	EXPECT_GT(ten, 0.45f * 10 * strlen(kSample));
	EXPECT_LT(ten, 0.7f * 10 * strlen(kSample));
	EXPECT_NEAR(twenty, 2 * ten, 0.01 * ten);
	EXPECT_NEAR(fifteen, 1.5 * ten, 0.01 * ten);
	EXPECT_GT(be_bold_font->StringWidth(kSample), ten);
}

TEST(FontTest, LengthLimitsTheText)
{
	const BFont& font = *be_plain_font;
	EXPECT_EQ(font.StringWidth("Volume:", 3), font.StringWidth("Vol"));
	EXPECT_EQ(font.StringWidth("Volume:", -1), font.StringWidth("Volume:"));
	EXPECT_EQ(font.StringWidth("Volume:", -7), font.StringWidth("Volume:"));
	EXPECT_EQ(font.StringWidth("Vol\0ume:", 8), font.StringWidth("Vol"));
	EXPECT_LT(font.StringWidth("Vol"), font.StringWidth("Volume:"));
}

TEST(FontTest, HeightFitsTheFace)
{
	font_height plain;
	be_plain_font->GetHeight(&plain);
	// DejaVu Sans reaches 0.93 em up and 0.24 em down.
	EXPECT_NEAR(plain.ascent, 9.28f, 0.05f);
	EXPECT_NEAR(plain.descent, 2.36f, 0.05f);
	EXPECT_GE(plain.leading, 0.0f);
	EXPECT_LT(plain.leading, 2.0f);

	BFont big;
	big.SetSize(25);
	font_height scaled;
	big.GetHeight(&scaled);
	EXPECT_FLOAT_EQ(scaled.ascent, 2.5f * plain.ascent);
	EXPECT_FLOAT_EQ(scaled.descent, 2.5f * plain.descent);

	be_plain_font->GetHeight(nullptr);
}

TEST(FontTest, TruncationKeepsWhatFits)
{
	const BFont& font = *be_plain_font;
	const std::string text = "Guitar strings and bass strings";
	float full = font.StringWidth(text.c_str());
	const std::string ellipsis = "\xe2\x80\xa6";

	std::string same = text;
	font.TruncateString(&same, B_TRUNCATE_END, full);
	EXPECT_EQ(same, text);

	float limit = full / 2;
	std::string end = text;
	font.TruncateString(&end, B_TRUNCATE_END, limit);
	EXPECT_LE(font.StringWidth(end.c_str()), limit);
	ASSERT_GT(end.size(), ellipsis.size());
	EXPECT_EQ(end.substr(end.size() - ellipsis.size()), ellipsis);
	EXPECT_EQ(text.compare(0, end.size() - ellipsis.size(),
		end, 0, end.size() - ellipsis.size()), 0);
	// As much as fits: one more character would not.
	std::string longer = text.substr(0, end.size() - ellipsis.size() + 1)
		+ ellipsis;
	EXPECT_GT(font.StringWidth(longer.c_str()), limit);

	std::string beginning = text;
	font.TruncateString(&beginning, B_TRUNCATE_BEGINNING, limit);
	EXPECT_LE(font.StringWidth(beginning.c_str()), limit);
	ASSERT_GT(beginning.size(), ellipsis.size());
	EXPECT_EQ(beginning.substr(0, ellipsis.size()), ellipsis);
	std::string tail = beginning.substr(ellipsis.size());
	EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

	std::string middle = text;
	font.TruncateString(&middle, B_TRUNCATE_MIDDLE, limit);
	EXPECT_LE(font.StringWidth(middle.c_str()), limit);
	size_t at = middle.find(ellipsis);
	ASSERT_NE(at, std::string::npos);
	EXPECT_GT(at, 0u);
	EXPECT_LT(at + ellipsis.size(), middle.size());
	EXPECT_EQ(text.substr(0, at), middle.substr(0, at));
}

TEST(FontTest, TruncationNeverSplitsACharacter)
{
	const BFont& font = *be_plain_font;
	const std::string text = "\xc3\x89t\xc3\xa9 \xe2\x82\xac\xe2\x82\xac "
		"\xf0\x9f\x8e\xb8 na\xc3\xafve";
	float full = font.StringWidth(text.c_str());
	for (uint32 mode : { B_TRUNCATE_BEGINNING, B_TRUNCATE_MIDDLE,
			B_TRUNCATE_END, B_TRUNCATE_SMART }) {
		for (float limit = 0; limit < full; limit += 0.75f) {
			std::string result = text;
			font.TruncateString(&result, mode, limit);
			EXPECT_TRUE(IsValidUtf8(result)) << mode << " " << limit;
			EXPECT_LE(font.StringWidth(result.c_str()), limit)
				<< mode << " " << limit;
		}
	}
}

TEST(FontTest, TruncationToNothing)
{
	std::string text = "Mute";
	be_plain_font->TruncateString(&text, B_TRUNCATE_END, 1);
	EXPECT_EQ(text, "");
	text = "Mute";
	be_plain_font->TruncateString(&text, B_TRUNCATE_MIDDLE, -5);
	EXPECT_EQ(text, "");
	text = "Mute";
	be_plain_font->TruncateString(&text, B_TRUNCATE_END, NAN);
	EXPECT_EQ(text, "");
	text = "";
	be_plain_font->TruncateString(&text, B_TRUNCATE_END, 0);
	EXPECT_EQ(text, "");
	be_plain_font->TruncateString(nullptr, B_TRUNCATE_END, 10);
}
