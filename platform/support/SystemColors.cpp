/*
 * The system palette as the kits hand it out, and the look's colours.
 */
#include <GraphicsDefs.h>
#include <InterfaceDefs.h>

#include <private/SystemPalette.h>

const rgb_color B_TRANSPARENT_COLOR = { 0x77, 0x74, 0x77, 0x00 };
const pattern B_SOLID_HIGH = { { 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
	0xff } };
const pattern B_SOLID_LOW = { { 0, 0, 0, 0, 0, 0, 0, 0 } };
const pattern B_MIXED_COLORS = { { 0xaa, 0x55, 0xaa, 0x55, 0xaa, 0x55, 0xaa,
	0x55 } };

namespace {

color_map
BuildColorMap()
{
	color_map map = {};
	for (int i = 0; i < 256; i++) {
		BPrivate::PaletteColor c = BPrivate::SystemPaletteColor(uint8(i));
		map.color_list[i] = rgb_color{ c.red, c.green, c.blue,
			uint8(i == B_TRANSPARENT_MAGIC_CMAP8 ? 0 : 255) };
	}
	// Nearest opaque entry for every 15-bit colour, and for every entry the
	// one nearest its inverse. The colour cube is a regular grid, so its
	// nearest point comes from rounding each channel; only the greys need
	// to be searched. This runs when a program first draws a B_CMAP8
	// picture (its window icon, at start-up), so it has to be quick.
	auto distance = [&map](int i, int r, int g, int b) {
		const rgb_color& c = map.color_list[i];
		int dr = c.red - r, dg = c.green - g, db = c.blue - b;
		return dr * dr + dg * dg + db * db;
	};
	auto nearest = [&distance](int r, int g, int b) {
		int best = 32 + 36 * ((r + 25) / 51) + 6 * ((g + 25) / 51)
			+ (b + 25) / 51;
		int bestDistance = distance(best, r, g, b);
		for (int i = 0; i < 255; i++) {
			if (i == 32)
				i = 248;
			int d = distance(i, r, g, b);
			if (d < bestDistance || (d == bestDistance && i < best)) {
				bestDistance = d;
				best = i;
			}
		}
		return uint8(best);
	};
	for (int i = 0; i < 32768; i++) {
		int r = (i >> 10) & 31, g = (i >> 5) & 31, b = i & 31;
		map.index_map[i] = nearest(r * 255 / 31, g * 255 / 31, b * 255 / 31);
	}
	for (int i = 0; i < 256; i++) {
		const rgb_color& c = map.color_list[i];
		map.inversion_map[i] = i == B_TRANSPARENT_MAGIC_CMAP8
			? B_TRANSPARENT_MAGIC_CMAP8
			: nearest(255 - c.red, 255 - c.green, 255 - c.blue);
	}
	return map;
}

} // namespace

const color_map*
system_colors()
{
	static const color_map sMap = BuildColorMap();
	return &sMap;
}

rgb_color
ui_color(color_which which)
{
	switch (which) {
		case B_PANEL_BACKGROUND_COLOR:
		case B_MENU_BACKGROUND_COLOR:
		case B_CONTROL_BACKGROUND_COLOR:
			return rgb_color{ 216, 216, 216, 255 };
		case B_WINDOW_TAB_COLOR:
			return rgb_color{ 255, 203, 0, 255 };
		case B_KEYBOARD_NAVIGATION_COLOR:
			return rgb_color{ 0, 0, 229, 255 };
		case B_DESKTOP_COLOR:
			return rgb_color{ 51, 102, 152, 255 };
		case B_MENU_SELECTION_BACKGROUND_COLOR:
			return rgb_color{ 152, 152, 152, 255 };
		case B_CONTROL_BORDER_COLOR:
			return rgb_color{ 96, 96, 96, 255 };
		case B_MENU_ITEM_TEXT_COLOR:
		case B_MENU_SELECTED_ITEM_TEXT_COLOR:
		case B_PANEL_TEXT_COLOR:
		default:
			return rgb_color{ 0, 0, 0, 255 };
	}
}
