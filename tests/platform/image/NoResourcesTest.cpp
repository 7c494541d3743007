// A program linked without any resources still links, and finds none.

#include <Resources.h>
#include <TranslationUtils.h>

#include <gtest/gtest.h>

#include <private/ResourceData.h>

namespace {

TEST(NoResources, AppResourcesAreEmpty)
{
	BResources* resources = BPrivate::AppResources();
	ASSERT_NE(resources, nullptr);
	EXPECT_EQ(resources->CountResources(), 0);
	EXPECT_FALSE(resources->HasResource('BMP ', 1));
	EXPECT_EQ(resources->LoadResource('BMP ', 1, nullptr), nullptr);
	EXPECT_FALSE(resources->GetResourceInfo(0, nullptr, nullptr, nullptr,
		nullptr));
}

TEST(NoResources, GetBitmapGivesNull)
{
	EXPECT_EQ(BTranslationUtils::GetBitmap('BMP ', 1), nullptr);
	EXPECT_EQ(BTranslationUtils::GetBitmap('BMP ', "kesto_bg"), nullptr);
}

} // namespace
