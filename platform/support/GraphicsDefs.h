/*
 * Colours, colour spaces and drawing modes.
 *
 * The system palette, which B_CMAP8 pixels index, is:
 *   0 to 31     a ramp of 32 greys from black to white,
 *   32 to 247   a 6 x 6 x 6 colour cube, red major, levels 0, 51 ... 255
 *               (index 32 + 36 r + 6 g + b),
 *   248 to 253  six light greys, 216 to 246 in steps of 6,
 *   254         white,
 *   255         B_TRANSPARENT_MAGIC_CMAP8: a pixel that is not drawn.
 * system_colors() gives it as a table.
 *
 * Plain values: no thread of their own; copy them freely. system_colors()
 * builds its table once, on first use and safely from any thread, and
 * ui_color() is a fixed lookup, so both may be called anywhere.
 */
#ifndef _GRAPHICS_DEFS_H
#define _GRAPHICS_DEFS_H

#include <SupportDefs.h>

struct rgb_color {
	uint8 red;
	uint8 green;
	uint8 blue;
	uint8 alpha;

	bool operator==(const rgb_color& other) const
		{ return red == other.red && green == other.green
			&& blue == other.blue && alpha == other.alpha; }
	bool operator!=(const rgb_color& other) const
		{ return !(*this == other); }
};

inline rgb_color
make_color(uint8 red, uint8 green, uint8 blue, uint8 alpha = 255)
{
	return rgb_color{ red, green, blue, alpha };
}

struct color_map {
	int32 id;
	rgb_color color_list[256];
	uint8 inversion_map[256];
	uint8 index_map[32768];
};

// The system palette as a colour map (the index map finds the nearest
// palette entry for a colour reduced to 5 bits per channel).
const color_map* system_colors();

const uint8 B_TRANSPARENT_MAGIC_CMAP8 = 0xff;
const uint32 B_TRANSPARENT_MAGIC_RGBA32 = 0x00777477;
extern const rgb_color B_TRANSPARENT_COLOR;

enum color_space {
	B_NO_COLOR_SPACE = 0x0000,
	B_GRAY1 = 0x0001,
	B_GRAY8 = 0x0002,
	B_CMAP8 = 0x0004,
	B_RGB32 = 0x0008,   // memory: blue, green, red, unused
	B_RGBA32 = 0x2008,  // memory: blue, green, red, alpha
	B_RGB24 = 0x0003,   // memory: blue, green, red
	B_RGB16 = 0x0005,
	B_RGB15 = 0x0010,
};

enum drawing_mode {
	B_OP_COPY,
	B_OP_OVER,
	B_OP_ERASE,
	B_OP_INVERT,
	B_OP_ADD,
	B_OP_SUBTRACT,
	B_OP_BLEND,
	B_OP_MIN,
	B_OP_MAX,
	B_OP_SELECT,
	B_OP_ALPHA,
};

struct pattern {
	uint8 data[8];
};

extern const pattern B_SOLID_HIGH;
extern const pattern B_SOLID_LOW;
extern const pattern B_MIXED_COLORS;

#endif // _GRAPHICS_DEFS_H
