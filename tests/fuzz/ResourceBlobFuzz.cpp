// Feeds the resource blob parser any bytes. A blob it accepts must
// describe itself exactly: packing its entries again gives the same bytes
// (up to the zero padding allowed at the end), and every entry can be
// found again by type and id. Half the inputs get the magic put in front,
// so that the fuzzer spends its time past it.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <Resources.h>

#include <private/ResourceData.h>

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::vector<uint8_t> blob;
	if (size > 0 && (data[0] & 1) == 0) {
		blob.assign(BPrivate::kResourceBlobMagic,
			BPrivate::kResourceBlobMagic + 4);
	}
	if (size > 0)
		blob.insert(blob.end(), data + 1, data + size);
	// A copy of exactly the blob's size, so that any read past its end
	// lands in a red zone.
	size = blob.size();
	std::unique_ptr<uint8_t[]> input(new uint8_t[size]);
	if (size > 0)
		memcpy(input.get(), blob.data(), size);
	data = input.get();

	BResources resources;
	status_t status = resources.SetTo(input.get(), size);
	if (status != B_OK) {
		if (resources.CountResources() != 0)
			__builtin_trap();
		return 0;
	}

	std::vector<BPrivate::ResourceSource> sources;
	for (int32 i = 0; i < resources.CountResources(); i++) {
		type_code type;
		int32 id;
		const char* name;
		size_t length;
		if (!resources.GetResourceInfo(i, &type, &id, &name, &length))
			__builtin_trap();
		size_t found = 0;
		const uint8_t* bytes = static_cast<const uint8_t*>(
			resources.LoadResource(type, id, &found));
		if (bytes == nullptr || found != length
			|| !resources.HasResource(type, name)) {
			__builtin_trap();
		}
		sources.push_back(BPrivate::ResourceSource{ type, id, name,
			std::vector<uint8_t>(bytes, bytes + length) });
	}

	std::vector<uint8_t> packed = BPrivate::BuildResourceBlob(sources);
	if (packed.size() > size || memcmp(packed.data(), data, packed.size()) != 0)
		__builtin_trap();
	for (size_t i = packed.size(); i < size; i++) {
		if (data[i] != 0)
			__builtin_trap();
	}
	return 0;
}
