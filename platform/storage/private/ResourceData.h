/*
 * The resource blob: how resources are laid out in the executable's
 * belvo_rsrc section (Resources.h describes the format and how it gets
 * there). Header-only, so that the build-time packer and the listing tool
 * read and write the very format the kits parse.
 *
 * Plain functions over bytes the caller holds: any thread.
 */
#ifndef _PRIVATE_RESOURCE_DATA_H
#define _PRIVATE_RESOURCE_DATA_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

class BResources;

namespace BPrivate {

const uint8_t kResourceBlobMagic[4] = { 'B', 'R', 'S', 'C' };
const size_t kResourceBlobHeaderSize = 8;		// magic, count
const size_t kResourceEntryHeaderSize = 16;		// type, id, name and data sizes
const uint32_t kMaxResourceNameLength = 255;

// One resource inside a parsed blob; the pointers point into the blob.
struct ResourceEntry {
	uint32_t type;
	int32_t id;
	const char* name;	// zero-terminated, maybe empty
	const void* data;	// four-byte aligned when the blob is
	size_t size;
};

// A resource to be packed.
struct ResourceSource {
	uint32_t type;
	int32_t id;
	std::string name;
	std::vector<uint8_t> data;
};

inline uint32_t
ReadResourceWord(const uint8_t* at)
{
	return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16
		| uint32_t(at[3]) << 24;
}

inline void
AppendResourceWord(std::vector<uint8_t>& out, uint32_t value)
{
	for (int i = 0; i < 4; i++)
		out.push_back(uint8_t(value >> (8 * i)));
}

inline uint64_t
ResourcePadded(uint64_t size)
{
	return (size + 3) & ~uint64_t(3);
}

// The whole blob is checked before anything of it is handed out: on any
// fault this returns false, leaves `entries` empty and, when `why` is
// given, points it at a short reason.
inline bool
ParseResourceBlob(const void* blob, size_t size,
	std::vector<ResourceEntry>* entries, const char** why = nullptr)
{
	const char* unused;
	const char*& reason = why != nullptr ? *why : unused;
	entries->clear();

	const uint8_t* bytes = static_cast<const uint8_t*>(blob);
	if (bytes == nullptr || size < kResourceBlobHeaderSize) {
		reason = "too short for a resource blob";
		return false;
	}
	if (memcmp(bytes, kResourceBlobMagic, 4) != 0) {
		reason = "not a resource blob (bad magic)";
		return false;
	}
	uint64_t count = ReadResourceWord(bytes + 4);
	if (count > (size - kResourceBlobHeaderSize) / kResourceEntryHeaderSize) {
		reason = "more resources counted than the blob can hold";
		return false;
	}

	std::vector<ResourceEntry> found;
	found.reserve(size_t(count));
	uint64_t at = kResourceBlobHeaderSize;
	for (uint64_t i = 0; i < count; i++) {
		if (size - at < kResourceEntryHeaderSize) {
			reason = "resource header cut short";
			return false;
		}
		const uint8_t* header = bytes + at;
		uint32_t nameLength = ReadResourceWord(header + 8);
		uint64_t dataSize = ReadResourceWord(header + 12);
		if (nameLength > kMaxResourceNameLength) {
			reason = "resource name too long";
			return false;
		}
		uint64_t nameAt = at + kResourceEntryHeaderSize;
		uint64_t dataAt = nameAt + ResourcePadded(nameLength + 1);
		uint64_t end = dataAt + ResourcePadded(dataSize);
		if (end > size) {
			reason = "resource runs past the end of the blob";
			return false;
		}
		const char* name = reinterpret_cast<const char*>(bytes + nameAt);
		if (memchr(name, 0, nameLength) != nullptr) {
			reason = "resource name holds a zero byte";
			return false;
		}
		for (uint64_t pad = nameAt + nameLength; pad < dataAt; pad++) {
			if (bytes[pad] != 0) {
				reason = "resource name not zero-terminated and padded";
				return false;
			}
		}
		for (uint64_t pad = dataAt + dataSize; pad < end; pad++) {
			if (bytes[pad] != 0) {
				reason = "resource data padding not zero";
				return false;
			}
		}
		found.push_back(ResourceEntry{ ReadResourceWord(header),
			int32_t(ReadResourceWord(header + 4)), name, bytes + dataAt,
			size_t(dataSize) });
		at = end;
	}
	// The linker may pad the section after the blob, with zeros.
	for (; at < size; at++) {
		if (bytes[at] != 0) {
			reason = "unexpected bytes after the last resource";
			return false;
		}
	}

	std::vector<std::pair<uint32_t, int32_t>> keys;
	keys.reserve(found.size());
	for (const ResourceEntry& entry : found)
		keys.emplace_back(entry.type, entry.id);
	std::sort(keys.begin(), keys.end());
	if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) {
		reason = "two resources share a type and id";
		return false;
	}

	entries->swap(found);
	return true;
}

// The blob for these resources, in their order. The caller keeps names
// within kMaxResourceNameLength and free of zero bytes, and (type, id)
// pairs unique; data sizes must fit 32 bits.
inline std::vector<uint8_t>
BuildResourceBlob(const std::vector<ResourceSource>& resources)
{
	std::vector<uint8_t> blob(kResourceBlobMagic, kResourceBlobMagic + 4);
	AppendResourceWord(blob, uint32_t(resources.size()));
	for (const ResourceSource& resource : resources) {
		AppendResourceWord(blob, resource.type);
		AppendResourceWord(blob, uint32_t(resource.id));
		AppendResourceWord(blob, uint32_t(resource.name.size()));
		AppendResourceWord(blob, uint32_t(resource.data.size()));
		blob.insert(blob.end(), resource.name.begin(), resource.name.end());
		blob.resize(size_t(ResourcePadded(blob.size() + 1)), 0);
		blob.insert(blob.end(), resource.data.begin(), resource.data.end());
		blob.resize(size_t(ResourcePadded(blob.size())), 0);
	}
	return blob;
}

// A type code as it is written in source, 'BMP ', or as hex when it has
// unprintable bytes.
inline std::string
FormatTypeCode(uint32_t type)
{
	std::string text = "'";
	for (int shift = 24; shift >= 0; shift -= 8) {
		char c = char(type >> shift);
		if (c < 0x20 || c > 0x7e || c == '\'') {
			char hex[16];
			snprintf(hex, sizeof(hex), "0x%08x", unsigned(type));
			return hex;
		}
		text += c;
	}
	return text + "'";
}

// The resources attached to the running executable, parsed once on first
// use (safely from any thread). A program without any has an empty set.
// Do not change it: it is shared by the whole program.
BResources* AppResources();

} // namespace BPrivate

#endif // _PRIVATE_RESOURCE_DATA_H
