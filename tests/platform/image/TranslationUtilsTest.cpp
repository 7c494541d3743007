// BTranslationUtils::GetBitmap over the resources linked into this test
// program (test-resources.manifest).

#include <TranslationUtils.h>

#include <memory>

#include <gtest/gtest.h>

#include <Bitmap.h>

namespace {

uint32_t
PixelAt(const BBitmap& bitmap, int x, int y)
{
	const uint8_t* at = static_cast<const uint8_t*>(bitmap.Bits())
		+ size_t(y) * bitmap.BytesPerRow() + size_t(x) * 4;
	return uint32_t(at[3]) << 24 | uint32_t(at[2]) << 16
		| uint32_t(at[1]) << 8 | at[0];
}

void
ExpectBackground(const BBitmap* bitmap)
{
	ASSERT_NE(bitmap, nullptr);
	ASSERT_TRUE(bitmap->IsValid());
	EXPECT_EQ(bitmap->ColorSpace(), B_RGB32);
	EXPECT_EQ(bitmap->Bounds(), BRect(0, 0, 134, 70));
	EXPECT_EQ(PixelAt(*bitmap, 0, 0), 0xffcdcdcdu);
	EXPECT_EQ(PixelAt(*bitmap, 100, 35), 0xffffffffu);
	EXPECT_EQ(PixelAt(*bitmap, 5, 17), 0xff000000u);
}

TEST(TranslationUtils, BackgroundByTypeAndId)
{
	std::unique_ptr<BBitmap> bitmap(BTranslationUtils::GetBitmap('BMP ', 1));
	ExpectBackground(bitmap.get());
}

TEST(TranslationUtils, BackgroundByName)
{
	std::unique_ptr<BBitmap> bitmap(BTranslationUtils::GetBitmap('BMP ',
		"kesto_bg"));
	ExpectBackground(bitmap.get());
}

TEST(TranslationUtils, EachCallGivesANewBitmap)
{
	std::unique_ptr<BBitmap> first(BTranslationUtils::GetBitmap('BMP ', 1,
		nullptr));
	std::unique_ptr<BBitmap> second(BTranslationUtils::GetBitmap('BMP ', 1,
		nullptr));
	ASSERT_NE(first, nullptr);
	ASSERT_NE(second, nullptr);
	EXPECT_NE(first.get(), second.get());
	EXPECT_NE(first->Bits(), second->Bits());
}

TEST(TranslationUtils, AbsentResourceGivesNull)
{
	EXPECT_EQ(BTranslationUtils::GetBitmap('BMP ', 9), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmap('PNG ', 1), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmap('BMP ', "kesto"), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmap('BMP ', (const char*)nullptr),
		nullptr);
}

TEST(TranslationUtils, DataThatIsNoPictureGivesNull)
{
	// 'BMP ' 2 starts with "BM" but is text; the others are not pictures.
	EXPECT_EQ(BTranslationUtils::GetBitmap('BMP ', 2), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmap('TEXT', 5), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmap('MIMS', "BEOS:APP_SIG"), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmap('APPF', 1), nullptr);
}

} // namespace
