#include <Bitmap.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

int32
BytesPerPixel(color_space space)
{
	switch (space) {
		case B_RGB32:
		case B_RGBA32:
			return 4;
		case B_RGB24:
			return 3;
		case B_CMAP8:
			return 1;
		default:
			return 0;
	}
}

int32
PaddedRowBytes(int32 width, int32 bytesPerPixel)
{
	return int32((int64(width) * bytesPerPixel + 3) & ~int64(3));
}

// The number of pixels from `low` to `high` inclusive, or -1 when the edges
// are not finite, are reversed or span more than the largest bitmap.
int32
EdgeSpan(float low, float high)
{
	if (!std::isfinite(low) || !std::isfinite(high))
		return -1;
	double span = double(high) - double(low);
	if (span < 0 || span > BBitmap::kMaxBitmapSide)
		return -1;
	int64 pixels = int64(std::lround(span)) + 1;
	return pixels <= BBitmap::kMaxBitmapSide ? int32(pixels) : -1;
}

// One pixel of the source, as blue, green, red and alpha, and whether it
// stands for a transparent one.
struct SourcePixel {
	uint8 blue;
	uint8 green;
	uint8 red;
	uint8 alpha;
	bool transparent;
};

SourcePixel
ReadSource(const uint8* at, color_space space)
{
	SourcePixel pixel = {};
	switch (space) {
		case B_CMAP8:
		{
			const rgb_color& color = system_colors()->color_list[at[0]];
			pixel = { color.blue, color.green, color.red, 255,
				at[0] == B_TRANSPARENT_MAGIC_CMAP8 };
			break;
		}
		case B_RGB24:
			pixel = { at[0], at[1], at[2], 255, false };
			break;
		case B_RGB32:
			pixel = { at[0], at[1], at[2], 255,
				at[0] == uint8(B_TRANSPARENT_MAGIC_RGBA32)
					&& at[1] == uint8(B_TRANSPARENT_MAGIC_RGBA32 >> 8)
					&& at[2] == uint8(B_TRANSPARENT_MAGIC_RGBA32 >> 16) };
			break;
		case B_RGBA32:
			pixel = { at[0], at[1], at[2], at[3], at[3] < 128 };
			break;
		default:
			break;
	}
	return pixel;
}

// Finds a palette entry for a colour: the lowest index of exactly that
// colour when there is one, so that palette pictures survive a trip through
// 32 bits unchanged, or else the nearest entry of the system colour map.
class PaletteMatcher {
public:
	PaletteMatcher()
	{
		const color_map* map = system_colors();
		for (int i = 0; i < 255; i++) {
			const rgb_color& c = map->color_list[i];
			fExact[i] = uint32(c.red) << 16 | uint32(c.green) << 8 | c.blue;
			fExact[i] = fExact[i] << 8 | uint32(i);
		}
		// Sorted by colour, lower indices first among equal colours.
		std::sort(fExact, fExact + 255);
	}

	uint8 Match(uint8 red, uint8 green, uint8 blue) const
	{
		uint32 color = uint32(red) << 16 | uint32(green) << 8 | blue;
		const uint32* found = std::lower_bound(fExact, fExact + 255,
			color << 8);
		if (found != fExact + 255 && (*found >> 8) == color)
			return uint8(*found);
		return system_colors()->index_map[(red >> 3) << 10
			| (green >> 3) << 5 | (blue >> 3)];
	}

private:
	uint32 fExact[255];
};

const PaletteMatcher&
Matcher()
{
	static const PaletteMatcher sMatcher;
	return sMatcher;
}

void
WritePixel(uint8* at, color_space target, color_space source,
	const uint8* from)
{
	if (target == B_CMAP8) {
		SourcePixel pixel = ReadSource(from, source);
		if (pixel.transparent) {
			at[0] = B_TRANSPARENT_MAGIC_CMAP8;
			return;
		}
		at[0] = Matcher().Match(pixel.red, pixel.green, pixel.blue);
		return;
	}

	if (source == B_RGBA32 && target == B_RGB32) {
		memcpy(at, from, 4);
		return;
	}
	SourcePixel pixel = ReadSource(from, source);
	if (source == B_CMAP8 && pixel.transparent) {
		at[0] = uint8(B_TRANSPARENT_MAGIC_RGBA32);
		at[1] = uint8(B_TRANSPARENT_MAGIC_RGBA32 >> 8);
		at[2] = uint8(B_TRANSPARENT_MAGIC_RGBA32 >> 16);
		at[3] = uint8(B_TRANSPARENT_MAGIC_RGBA32 >> 24);
		return;
	}
	at[0] = pixel.blue;
	at[1] = pixel.green;
	at[2] = pixel.red;
	at[3] = 255;
}

} // namespace

BBitmap::BBitmap(BRect bounds, color_space space, bool acceptsViews,
		bool needsContiguous)
	:
	fBits(nullptr),
	fWidth(0),
	fHeight(0),
	fBytesPerRow(0),
	fColorSpace(space),
	fInitStatus(B_NO_INIT)
{
	(void)acceptsViews;
	(void)needsContiguous;

	int32 width = EdgeSpan(bounds.left, bounds.right);
	int32 height = EdgeSpan(bounds.top, bounds.bottom);
	int32 bytesPerPixel = space == B_RGB24 ? 0 : BytesPerPixel(space);
	if (width <= 0 || height <= 0 || bytesPerPixel == 0) {
		fInitStatus = B_BAD_VALUE;
		return;
	}
	int32 bytesPerRow = PaddedRowBytes(width, bytesPerPixel);
	uint64 length = uint64(bytesPerRow) * uint64(height);
	if (length > kMaxBitmapBytes || length > uint64(INT32_MAX)) {
		fInitStatus = B_BAD_VALUE;
		return;
	}

	// calloc, so that the pages of a large bitmap cost nothing until they
	// are written.
	fBits = static_cast<uint8*>(calloc(size_t(length), 1));
	if (fBits == nullptr) {
		fInitStatus = B_NO_MEMORY;
		return;
	}
	fWidth = width;
	fHeight = height;
	fBytesPerRow = bytesPerRow;
	fInitStatus = B_OK;
}

BBitmap::~BBitmap()
{
	free(fBits);
}

status_t
BBitmap::InitCheck() const
{
	return fInitStatus;
}

bool
BBitmap::IsValid() const
{
	return fInitStatus == B_OK;
}

BRect
BBitmap::Bounds() const
{
	if (fInitStatus != B_OK)
		return BRect();
	return BRect(0, 0, float(fWidth - 1), float(fHeight - 1));
}

void*
BBitmap::Bits() const
{
	return fBits;
}

int32
BBitmap::BitsLength() const
{
	return fBytesPerRow * fHeight;
}

int32
BBitmap::BytesPerRow() const
{
	return fBytesPerRow;
}

color_space
BBitmap::ColorSpace() const
{
	return fColorSpace;
}

void
BBitmap::SetBits(const void* data, int32 length, int32 offset,
	color_space space)
{
	if (fInitStatus != B_OK || data == nullptr || length <= 0 || offset < 0
		|| offset >= BitsLength()) {
		return;
	}
	const uint8* source = static_cast<const uint8*>(data);

	if (space == fColorSpace) {
		int32 count = std::min(length, BitsLength() - offset);
		memcpy(fBits + offset, source, size_t(count));
		return;
	}

	int32 sourcePixelBytes = BytesPerPixel(space);
	if (sourcePixelBytes == 0)
		return;
	int32 sourceRowBytes = PaddedRowBytes(fWidth, sourcePixelBytes);
	int32 targetPixelBytes = BytesPerPixel(fColorSpace);

	// The pixel `offset` falls on, or the next whole one.
	int32 row = offset / fBytesPerRow;
	int32 column = (offset % fBytesPerRow + targetPixelBytes - 1)
		/ targetPixelBytes;
	if (column >= fWidth) {
		row++;
		column = 0;
	}
	// The source starts at that same pixel of an image of our size.
	int64 sourceStart = int64(row) * sourceRowBytes
		+ int64(column) * sourcePixelBytes;

	for (; row < fHeight; row++, column = 0) {
		uint8* target = fBits + int64(row) * fBytesPerRow;
		for (; column < fWidth; column++) {
			int64 at = int64(row) * sourceRowBytes
				+ int64(column) * sourcePixelBytes - sourceStart;
			if (at + sourcePixelBytes > length)
				return;
			WritePixel(target + column * targetPixelBytes, fColorSpace, space,
				source + at);
		}
	}
}
