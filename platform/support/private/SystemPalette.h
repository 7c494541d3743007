/*
 * The system palette that B_CMAP8 pixels index: a ramp of 32 greys from
 * black (index 0) to white (31), a 6 x 6 x 6 colour cube (32 to 247, red
 * major, levels 0, 51 ... 255), six light greys (248 to 253), white (254),
 * and at 255 the transparent magic colour. Header-only, so that build-time
 * tools convert icons with the very palette the kits draw with.
 *
 * Constants: any thread.
 */
#ifndef _PRIVATE_SYSTEM_PALETTE_H
#define _PRIVATE_SYSTEM_PALETTE_H

#include <cstdint>

namespace BPrivate {

struct PaletteColor {
	uint8_t red;
	uint8_t green;
	uint8_t blue;
};

const uint8_t kTransparentIndex = 255;
const PaletteColor kTransparentColor = { 0x77, 0x74, 0x77 };

constexpr PaletteColor
SystemPaletteColor(uint8_t index)
{
	if (index < 32) {
		uint8_t grey = uint8_t(index * 255 / 31);
		return { grey, grey, grey };
	}
	if (index < 248) {
		int cube = index - 32;
		return { uint8_t(cube / 36 * 51), uint8_t(cube / 6 % 6 * 51),
			uint8_t(cube % 6 * 51) };
	}
	if (index < 254) {
		uint8_t grey = uint8_t(216 + (index - 248) * 6);
		return { grey, grey, grey };
	}
	if (index == 254)
		return { 255, 255, 255 };
	return kTransparentColor;
}

} // namespace BPrivate

#endif // _PRIVATE_SYSTEM_PALETTE_H
