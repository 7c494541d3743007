/*
 * What the X11 back end decides on its own: the kits' bytes for the keys,
 * and what the window manager is told about a window's size and place.
 */
#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstring>
#include <string>

#include <InterfaceDefs.h>
#include <private/KeyMap.h>
#include <private/X11Properties.h>

using namespace BPrivate;

namespace {

struct KeyCase {
	uint32 keysym;
	uint32 codepoint;
	const char* bytes;   // null: no key for the kits
	int32 key;
};

const KeyCase kKeys[] = {
	{ XKB_KEY_Return, 0x0d, "\n", 0 },
	{ XKB_KEY_KP_Enter, 0x0d, "\n", 0 },
	{ XKB_KEY_ISO_Left_Tab, 0x09, "\t", 0 },   // Shift+Tab
	{ XKB_KEY_Escape, 0x1b, "\x1b", 0 },
	{ XKB_KEY_Up, 0, "\x1e", 0 },
	{ XKB_KEY_KP_Down, 0, "\x1f", 0 },
	{ XKB_KEY_Home, 0, "\x01", 0 },
	{ XKB_KEY_KP_End, 0, "\x04", 0 },
	{ XKB_KEY_Page_Down, 0, "\x0c", 0 },
	{ XKB_KEY_space, ' ', " ", 0 },
	{ XKB_KEY_a, 'a', "a", 0 },
	{ XKB_KEY_A, 'A', "A", 0 },
	{ XKB_KEY_eacute, 0xe9, "\xc3\xa9", 0 },
	{ XKB_KEY_EuroSign, 0x20ac, "\xe2\x82\xac", 0 },
	{ XKB_KEY_F1, 0, "\x10", B_F1_KEY },
	{ XKB_KEY_F12, 0, "\x10", B_F12_KEY },
	// Modifiers alone, dead keys and what maps to a control character.
	{ XKB_KEY_Shift_L, 0, nullptr, 0 },
	{ XKB_KEY_dead_acute, 0, nullptr, 0 },
	{ XKB_KEY_NoSymbol, 0, nullptr, 0 },
	{ 0x1000080, 0x80, nullptr, 0 },
};

TEST(X11KeyMapTest, KeysGiveTheKitsBytes)
{
	for (const KeyCase& c : kKeys) {
		DisplayEvent event;
		bool known = KeyBytesFor(c.keysym, c.codepoint, &event);
		SCOPED_TRACE(testing::Message() << "keysym 0x" << std::hex
			<< c.keysym);
		ASSERT_EQ(known, c.bytes != nullptr);
		if (c.bytes != nullptr) {
			EXPECT_STREQ(event.bytes, c.bytes);
			EXPECT_EQ(event.key, c.key);
		}
	}
}

TEST(X11KeyMapTest, CoreStateGivesModifiersAndButtons)
{
	// Shift, Lock, Control, Mod1; buttons 1, 2 and 3.
	EXPECT_EQ(ModifiersFromX11State(1 | 4), uint32(B_SHIFT_KEY
		| B_CONTROL_KEY | B_COMMAND_KEY));
	EXPECT_EQ(ModifiersFromX11State(2 | 8), uint32(B_CAPS_LOCK
		| B_OPTION_KEY));
	EXPECT_EQ(ButtonsFromX11State(0x100 | 0x400), uint32(
		B_PRIMARY_MOUSE_BUTTON | B_SECONDARY_MOUSE_BUTTON));
	EXPECT_EQ(ButtonFromX11Button(2), uint32(B_TERTIARY_MOUSE_BUTTON));
	EXPECT_EQ(ButtonFromX11Button(4), 0u) << "the wheel is no button";
}

TEST(X11PropertiesTest, AFixedWindowIsHeldAtItsSizeWhereItAsked)
{
	auto fixed = X11NormalHints(100, 120, 262, 142, false);
	EXPECT_EQ(fixed[0] & (1 << 0 | 1 << 9), uint32(1 << 0 | 1 << 9))
		<< "user position and window gravity";
	EXPECT_EQ(fixed[1], 100u);
	EXPECT_EQ(fixed[2], 120u);
	EXPECT_EQ(fixed[5], 262u);
	EXPECT_EQ(fixed[6], 142u);
	EXPECT_EQ(fixed[0] & (1 << 5), uint32(1 << 5));
	EXPECT_EQ(fixed[7], 262u);
	EXPECT_EQ(fixed[8], 142u);
	EXPECT_EQ(fixed[17], 10u) << "static gravity: the content's place";

	auto resizable = X11NormalHints(0, 0, 300, 200, true);
	EXPECT_EQ(resizable[0] & (1 << 5), 0u) << "no maximum";

	std::string wmClass = X11WmClass("belvo");
	EXPECT_EQ(wmClass, std::string("belvo\0Belvo\0", 12));
}

} // namespace
