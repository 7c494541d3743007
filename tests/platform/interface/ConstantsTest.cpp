/*
 * The kits' constants keep the values BeOS programs were built with: the
 * program's frames, flags and codes are written in them.
 */
#include <gtest/gtest.h>

#include <AppDefs.h>
#include <GraphicsDefs.h>
#include <InterfaceDefs.h>

TEST(ConstantsTest, HaveTheirBeOSValues)
{
	EXPECT_EQ(uint32(B_FOLLOW_LEFT | B_FOLLOW_TOP), 0x1212u);
	EXPECT_EQ(uint32(B_FOLLOW_ALL_SIDES), 0x1234u);
	EXPECT_EQ(uint32(B_WILL_DRAW), 0x20000000u);
	EXPECT_EQ(uint32(B_NAVIGABLE), 0x02000000u);
	EXPECT_EQ(uint32(B_WILL_DRAW | B_NAVIGABLE), 0x22000000u);
	EXPECT_EQ(int(B_TITLED_WINDOW), 1);
	EXPECT_EQ(uint32(B_NOT_RESIZABLE | B_WILL_ACCEPT_FIRST_CLICK), 0x12u);
	EXPECT_EQ(B_CURRENT_WORKSPACE, 0u);
	EXPECT_EQ(uint32(B_QUIT_REQUESTED), 0x5F515251u);
	EXPECT_EQ(uint32(B_ABOUT_REQUESTED), uint32('_ABR'));
	EXPECT_EQ(uint32('BMP '), 0x424D5020u);
	EXPECT_EQ(B_TRANSPARENT_MAGIC_CMAP8, 255);
	EXPECT_EQ(uint32(B_SINGLE_LAUNCH), 0u);
}

TEST(ConstantsTest, TheSystemPaletteIsAsDocumented)
{
	const color_map* map = system_colors();
	ASSERT_NE(map, nullptr);
	EXPECT_EQ(map->color_list[0], make_color(0, 0, 0));
	EXPECT_EQ(map->color_list[31], make_color(255, 255, 255));
	// The colour cube: 32 + 36 r + 6 g + b.
	EXPECT_EQ(map->color_list[32 + 36 * 5], make_color(255, 0, 0));
	EXPECT_EQ(map->color_list[32 + 6 * 5 + 5], make_color(0, 255, 255));
	EXPECT_EQ(map->color_list[254], make_color(255, 255, 255));
	EXPECT_EQ(map->color_list[255].alpha, 0) << "index 255 is transparent";
	// The nearest-entry map finds pure colours exactly.
	EXPECT_EQ(map->index_map[(31 << 10)], 32 + 36 * 5);
}
