/*
 * Draws arbitrary bytes as text, at arbitrary positions and sizes, into a
 * canvas surrounded by guard pixels: decoding and painting must stay within
 * the text's length and the clip, whatever the input.
 */
#include <cstring>
#include <vector>

#include <Font.h>
#include <private/Canvas.h>
#include <private/FontEngine.h>

namespace {

const uint32 kGuard = 0x5a5a5a5a;
const int32 kWidth = 40;
const int32 kHeight = 24;
const int32 kMargin = 8;

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 8)
		return 0;
	int8 x = int8(data[0]);
	int8 y = int8(data[1]);
	float fontSize = 1 + data[2] % 40;
	BPrivate::ClipBox clip = { data[3] % kWidth - 4, data[4] % kHeight - 4,
		data[5] % kWidth, data[6] % kHeight };
	data += 7;
	size -= 7;

	int32 stride = kWidth + 2 * kMargin;
	std::vector<uint32> pixels(size_t(stride) * (kHeight + 2 * kMargin),
		kGuard);
	BPrivate::Canvas canvas;
	canvas.pixels = pixels.data() + kMargin * stride + kMargin;
	canvas.width = kWidth;
	canvas.height = kHeight;
	canvas.stride = stride;

	BFont font;
	font.SetSize(fontSize);
	// The text is copied so that reading one byte past it is caught.
	std::vector<char> text(data, data + size);
	float advance = BPrivate::DrawString(canvas, clip, font, text.data(),
		int32(text.size()), x, y, make_color(0, 0, 0));
	if (advance != font.StringWidth(text.data(), int32(text.size())))
		__builtin_trap();

	BPrivate::ClipBox inside = clip.Intersect(canvas.Bounds());
	for (int32 row = -kMargin; row < kHeight + kMargin; row++) {
		for (int32 column = -kMargin; column < kWidth + kMargin; column++) {
			uint32 pixel = pixels[size_t(row + kMargin) * stride + column
				+ kMargin];
			if (pixel != kGuard && !inside.Contains(column, row))
				__builtin_trap();
		}
	}
	return 0;
}
