// Feeds DecodeBmp any bytes. AddressSanitizer catches a read outside the
// input; a bitmap that comes back must be opaque, within the size limits
// and fully readable, and drawing it tiled into a small canvas must stay
// inside the canvas.
//
// Half the inputs are taken as they are; the other half choose the fields
// of a bitmap file's headers, near-valid values more often than not, and
// the rest of the input follows as pixels, so that the fuzzer reaches the
// pixel decoding without first having to guess a header.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <Bitmap.h>
#include <InterfaceDefs.h>

#include <private/BitmapPainter.h>
#include <private/BmpDecoder.h>

namespace {

void
Put(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int count)
{
	for (int i = 0; i < count && at + i < bytes.size(); i++)
		bytes[at + i] = uint8_t(value >> (8 * i));
}

template<typename T>
T
Near(FuzzedDataProvider& input, T likely)
{
	return input.ConsumeBool() ? likely : input.ConsumeIntegral<T>();
}

std::vector<uint8_t>
MakeFile(FuzzedDataProvider& input)
{
	const uint32_t kHeaders[] = { 12, 40, 52, 56, 108, 124 };
	const uint16_t kBits[] = { 1, 4, 8, 16, 24, 32 };
	const uint32_t kCompressions[] = { 0, 3, 6, 1 };
	uint32_t header = Near(input, input.PickValueInArray(kHeaders));
	uint16_t bits = Near(input, input.PickValueInArray(kBits));
	uint32_t compression = Near(input, input.PickValueInArray(kCompressions));
	int32_t width = Near(input, input.ConsumeIntegralInRange<int32_t>(1, 40));
	int32_t height = Near(input,
		input.ConsumeIntegralInRange<int32_t>(-40, 40));
	uint32_t colors = Near(input, input.ConsumeIntegralInRange<uint32_t>(0,
		256));
	uint32_t masks[3];
	for (uint32_t& mask : masks)
		mask = input.ConsumeIntegral<uint32_t>();
	size_t headerBytes = header <= 124 ? header : 124;
	// Room for the masks after a plain header and for the colour table,
	// as the fields ask for it but never more than 256 entries.
	size_t entries = bits > 8 ? 0 : colors != 0 ? std::min(colors, 256u)
		: 1u << bits;
	size_t table = 14 + headerBytes + (header == 40 && compression != 0 ? 16 : 0)
		+ entries * 4;
	uint32_t offset = Near(input, uint32_t(table));

	std::vector<uint8_t> file(table, 0);
	file[0] = 'B';
	file[1] = 'M';
	Put(file, 10, offset, 4);
	Put(file, 14, header, 4);
	if (header == 12) {
		Put(file, 18, uint32_t(width), 2);
		Put(file, 20, uint32_t(height), 2);
		Put(file, 22, Near(input, uint16_t(1)), 2);
		Put(file, 24, bits, 2);
	} else {
		Put(file, 18, uint32_t(width), 4);
		Put(file, 22, uint32_t(height), 4);
		Put(file, 26, Near(input, uint16_t(1)), 2);
		Put(file, 28, bits, 2);
		Put(file, 30, compression, 4);
		Put(file, 46, colors, 4);
		for (int i = 0; i < 3; i++)
			Put(file, 54 + 4 * i, masks[i], 4);
	}
	for (size_t at = 14 + headerBytes; at < table; at++)
		file[at] = input.ConsumeIntegral<uint8_t>();
	std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();
	file.insert(file.end(), rest.begin(), rest.end());
	return file;
}

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::vector<uint8_t> file;
	if (size > 0 && (data[0] & 1) != 0)
		file.assign(data + 1, data + size);
	else {
		FuzzedDataProvider input(data, size);
		file = MakeFile(input);
	}
	// A copy of exactly the file's size, so that any read past its end
	// lands in a red zone.
	std::unique_ptr<uint8_t[]> bytes(new uint8_t[file.size()]);
	if (!file.empty())
		memcpy(bytes.get(), file.data(), file.size());
	std::unique_ptr<BBitmap> bitmap(BPrivate::DecodeBmp(bytes.get(),
		file.size()));
	if (bitmap == nullptr)
		return 0;

	if (!bitmap->IsValid() || bitmap->ColorSpace() != B_RGB32)
		__builtin_trap();
	BRect bounds = bitmap->Bounds();
	int32 width = bounds.IntegerWidth() + 1;
	int32 height = bounds.IntegerHeight() + 1;
	if (bounds.left != 0 || bounds.top != 0 || width < 1 || height < 1
		|| width > BBitmap::kMaxBitmapSide || height > BBitmap::kMaxBitmapSide
		|| bitmap->BytesPerRow() != width * 4
		|| bitmap->BitsLength() != width * 4 * height) {
		__builtin_trap();
	}
	const uint8_t* bits = static_cast<const uint8_t*>(bitmap->Bits());
	for (int32 i = 3; i < bitmap->BitsLength(); i += 4) {
		if (bits[i] != 255)
			__builtin_trap();
	}

	// The canvas sits between guard words; its origin depends on the input.
	const int32 kSide = 13;
	const uint32_t kGuard = 0x5a5a5a5a;
	std::vector<uint32_t> store(kSide * kSide + 2 * kSide, kGuard);
	BPrivate::Canvas canvas;
	canvas.pixels = store.data() + kSide;
	canvas.width = kSide;
	canvas.height = kSide;
	canvas.stride = kSide;
	int32 origin = size > 0 ? int32(data[size - 1]) - 128 : 0;
	BPrivate::TileBitmap(canvas, BPrivate::ClipBox{ -5, -5, 100, 100 },
		*bitmap, origin, -origin, B_TILE_BITMAP);
	for (int32 i = 0; i < kSide; i++) {
		if (store[size_t(i)] != kGuard
			|| store[store.size() - 1 - size_t(i)] != kGuard) {
			__builtin_trap();
		}
	}
	return 0;
}
