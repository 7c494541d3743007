#include <private/BmpDecoder.h>

#include <climits>
#include <cstring>
#include <memory>

#include <Bitmap.h>

namespace BPrivate {

namespace {

const size_t kFileHeaderSize = 14;
const uint32 kCoreHeaderSize = 12;

// Compression codes of the information header.
const uint32 kRgb = 0;
const uint32 kBitFields = 3;
const uint32 kAlphaBitFields = 6;

// Reads little-endian fields at offsets the caller has checked.
class Reader {
public:
	Reader(const uint8* data, size_t size) : fData(data), fSize(size) {}

	size_t Size() const { return fSize; }
	const uint8* At(size_t offset) const { return fData + offset; }
	uint16 Get16(size_t offset) const
		{ return uint16(fData[offset] | fData[offset + 1] << 8); }
	uint32 Get32(size_t offset) const
	{
		return uint32(fData[offset]) | uint32(fData[offset + 1]) << 8
			| uint32(fData[offset + 2]) << 16 | uint32(fData[offset + 3]) << 24;
	}

private:
	const uint8* fData;
	size_t fSize;
};

// One colour channel of a 16- or 32-bit pixel, picked out by its mask.
struct Channel {
	uint32 mask = 0;
	int shift = 0;
	int bits = 0;

	// False unless the mask is one run of set bits.
	bool SetMask(uint32 newMask)
	{
		mask = newMask;
		shift = 0;
		bits = 0;
		if (mask == 0)
			return false;
		while (((mask >> shift) & 1) == 0)
			shift++;
		while (shift + bits < 32 && ((mask >> (shift + bits)) & 1) != 0)
			bits++;
		return shift + bits == 32 || (mask >> (shift + bits)) == 0;
	}

	uint8 Extract(uint32 pixel) const
	{
		uint32 value = (pixel & mask) >> shift;
		if (bits >= 8)
			return uint8(value >> (bits - 8));
		uint32 largest = (1u << bits) - 1;
		return uint8((value * 255 + largest / 2) / largest);
	}
};

struct Layout {
	int32 width = 0;
	int32 height = 0;		// always positive
	bool topDown = false;
	uint32 bitsPerPixel = 0;
	uint64 rowBytes = 0;
	uint64 pixelOffset = 0;
	Channel red;
	Channel green;
	Channel blue;
	uint8 palette[256][3] = {};	// blue, green, red; missing entries black
};

bool
ReadLayout(const Reader& file, Layout& layout)
{
	if (file.Size() < kFileHeaderSize + 4)
		return false;
	const uint8* magic = file.At(0);
	if (magic[0] != 'B' || magic[1] != 'M')
		return false;
	layout.pixelOffset = file.Get32(10);

	const uint32 headerSize = file.Get32(kFileHeaderSize);
	bool core = headerSize == kCoreHeaderSize;
	if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56
		&& headerSize != 108 && headerSize != 124) {
		return false;
	}
	if (file.Size() < kFileHeaderSize + headerSize)
		return false;

	const size_t h = kFileHeaderSize;
	int64 width;
	int64 height;
	uint32 planes;
	uint32 compression = kRgb;
	uint32 colorsUsed = 0;
	if (core) {
		width = file.Get16(h + 4);
		height = file.Get16(h + 6);
		planes = file.Get16(h + 8);
		layout.bitsPerPixel = file.Get16(h + 10);
	} else {
		width = int32(file.Get32(h + 4));
		height = int32(file.Get32(h + 8));
		planes = file.Get16(h + 12);
		layout.bitsPerPixel = file.Get16(h + 14);
		compression = file.Get32(h + 16);
		colorsUsed = file.Get32(h + 32);
	}

	if (planes != 1 || width <= 0 || height == 0 || height == INT32_MIN)
		return false;
	layout.topDown = height < 0;
	if (height < 0)
		height = -height;
	if (width > BBitmap::kMaxBitmapSide || height > BBitmap::kMaxBitmapSide)
		return false;
	layout.width = int32(width);
	layout.height = int32(height);

	const uint32 bpp = layout.bitsPerPixel;
	uint64 tableOffset = kFileHeaderSize + headerSize;
	if (compression == kRgb) {
		if (bpp == 16) {
			layout.red.SetMask(0x7c00);
			layout.green.SetMask(0x03e0);
			layout.blue.SetMask(0x001f);
		} else if (bpp == 32) {
			layout.red.SetMask(0x00ff0000);
			layout.green.SetMask(0x0000ff00);
			layout.blue.SetMask(0x000000ff);
		} else if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24)
			return false;
		// The core header knows only the palette forms and 24 bits.
		if (core && (bpp == 16 || bpp == 32))
			return false;
	} else if (!core && (compression == kBitFields
			|| compression == kAlphaBitFields)) {
		if (bpp != 16 && bpp != 32)
			return false;
		// The plain information header has its masks after it; the longer
		// forms carry them inside.
		uint64 maskOffset = kFileHeaderSize + 40;
		if (headerSize == 40) {
			tableOffset += compression == kAlphaBitFields ? 16 : 12;
			if (tableOffset > file.Size())
				return false;
		}
		uint32 widest = bpp == 16 ? 0xffffu : 0xffffffffu;
		uint32 masks[3] = { file.Get32(maskOffset),
			file.Get32(maskOffset + 4), file.Get32(maskOffset + 8) };
		if ((masks[0] | masks[1] | masks[2]) > widest
			|| !layout.red.SetMask(masks[0])
			|| !layout.green.SetMask(masks[1])
			|| !layout.blue.SetMask(masks[2])) {
			return false;
		}
	} else
		return false;

	if (bpp <= 8) {
		uint64 entries = colorsUsed != 0 ? colorsUsed : 1u << bpp;
		if (entries > (1u << bpp))
			return false;
		uint64 entrySize = core ? 3 : 4;
		uint64 tableEnd = tableOffset + entries * entrySize;
		if (tableEnd > file.Size() || tableEnd > layout.pixelOffset)
			return false;
		for (uint64 i = 0; i < entries; i++)
			memcpy(layout.palette[i], file.At(tableOffset + i * entrySize), 3);
	} else if (tableOffset > layout.pixelOffset)
		return false;

	layout.rowBytes = (uint64(layout.width) * bpp + 31) / 32 * 4;
	if (layout.pixelOffset > file.Size()
		|| layout.rowBytes * uint64(layout.height)
			> file.Size() - layout.pixelOffset) {
		return false;
	}
	return true;
}

void
DecodeRow(const Layout& layout, const uint8* from, uint8* to)
{
	const int32 width = layout.width;
	switch (layout.bitsPerPixel) {
		case 1:
		case 4:
		case 8:
		{
			const uint32 bpp = layout.bitsPerPixel;
			const uint32 perByte = 8 / bpp;
			const uint32 indexMask = (1u << bpp) - 1;
			for (int32 x = 0; x < width; x++, to += 4) {
				uint32 shift = 8 - bpp * (uint32(x) % perByte + 1);
				uint32 index = (from[uint32(x) / perByte] >> shift) & indexMask;
				memcpy(to, layout.palette[index], 3);
				to[3] = 255;
			}
			break;
		}
		case 24:
			for (int32 x = 0; x < width; x++, from += 3, to += 4) {
				memcpy(to, from, 3);
				to[3] = 255;
			}
			break;
		case 16:
		case 32:
		{
			const bool wide = layout.bitsPerPixel == 32;
			for (int32 x = 0; x < width; x++, to += 4) {
				uint32 pixel;
				if (wide) {
					pixel = uint32(from[0]) | uint32(from[1]) << 8
						| uint32(from[2]) << 16 | uint32(from[3]) << 24;
					from += 4;
				} else {
					pixel = uint32(from[0]) | uint32(from[1]) << 8;
					from += 2;
				}
				to[0] = layout.blue.Extract(pixel);
				to[1] = layout.green.Extract(pixel);
				to[2] = layout.red.Extract(pixel);
				to[3] = 255;
			}
			break;
		}
	}
}

} // namespace

bool
LooksLikeBmp(const void* data, size_t size)
{
	const uint8* bytes = static_cast<const uint8*>(data);
	return data != nullptr && size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

BBitmap*
DecodeBmp(const void* data, size_t size)
{
	if (data == nullptr)
		return nullptr;
	Reader file(static_cast<const uint8*>(data), size);
	std::unique_ptr<Layout> layout(new Layout);
	if (!ReadLayout(file, *layout))
		return nullptr;

	std::unique_ptr<BBitmap> bitmap(new BBitmap(
		BRect(0, 0, float(layout->width - 1), float(layout->height - 1)),
		B_RGB32));
	if (!bitmap->IsValid())
		return nullptr;

	uint8* bits = static_cast<uint8*>(bitmap->Bits());
	for (int32 y = 0; y < layout->height; y++) {
		int32 stored = layout->topDown ? y : layout->height - 1 - y;
		const uint8* from = file.At(layout->pixelOffset
			+ uint64(stored) * layout->rowBytes);
		DecodeRow(*layout, from, bits + size_t(y) * bitmap->BytesPerRow());
	}
	return bitmap.release();
}

} // namespace BPrivate
