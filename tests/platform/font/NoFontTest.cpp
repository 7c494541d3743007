// Without any font installed (this test runs with a fontconfig
// configuration that lists none), text must measure 0 and draw nothing,
// and the missing fonts are reported once, in one line.

#include <Font.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include <private/FontEngine.h>

#include "TestCanvas.h"

TEST(NoFontTest, TextMeasuresNothingAndDrawsNothing)
{
	const uint32 kBackground = 0xff808080;
	testing::internal::CaptureStderr();

	EXPECT_EQ(be_plain_font->StringWidth("Volume:"), 0.0f);
	EXPECT_EQ(be_bold_font->StringWidth("Mute"), 0.0f);
	BFont other;
	other.SetFamilyAndStyle("DejaVu Serif", "Bold");
	other.SetSize(30);
	EXPECT_EQ(other.StringWidth("Note:"), 0.0f);

	font_height height = { 1, 1, 1 };
	be_plain_font->GetHeight(&height);
	EXPECT_EQ(height.ascent, 0.0f);
	EXPECT_EQ(height.descent, 0.0f);
	EXPECT_EQ(height.leading, 0.0f);

	TestCanvas canvas(80, 30, kBackground);
	EXPECT_EQ(BPrivate::DrawString(canvas.Canvas(), canvas.Canvas().Bounds(),
		*be_plain_font, "Volume:", -1, 2, 20, rgb_color{ 0, 0, 0, 255 }),
		0.0f);
	EXPECT_TRUE(std::all_of(canvas.Pixels().begin(), canvas.Pixels().end(),
		[&](uint32 pixel) { return pixel == kBackground; }));

	BPrivate::FontFileInfo info;
	EXPECT_FALSE(BPrivate::GetFontFileInfo(*be_plain_font, &info));

	std::string text = "Unity";
	be_plain_font->TruncateString(&text, B_TRUNCATE_END, 100);
	EXPECT_EQ(text, "Unity");

	std::string output = testing::internal::GetCapturedStderr();
	EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
	EXPECT_NE(output.find("font"), std::string::npos) << output;
}
