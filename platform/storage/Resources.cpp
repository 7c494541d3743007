/*
 * BResources: reading the resources a blob holds (the format is told in
 * Resources.h). Loading is done once, on the thread that first asks; the
 * blob is then only read, from any thread.
 */
#include <Resources.h>

#include <cstring>

#include <private/ResourceData.h>

using BPrivate::ResourceEntry;

namespace {

// Fills in what the caller asked for; false when there is no entry.
bool
Describe(const ResourceEntry* entry, type_code* type, int32* id,
	const char** name, size_t* size)
{
	if (entry == nullptr)
		return false;
	if (type != nullptr)
		*type = entry->type;
	if (id != nullptr)
		*id = entry->id;
	if (name != nullptr)
		*name = entry->name;
	if (size != nullptr)
		*size = entry->size;
	return true;
}

const void*
DataOf(const ResourceEntry* entry, size_t* size)
{
	if (entry == nullptr)
		return nullptr;
	if (size != nullptr)
		*size = entry->size;
	return entry->data;
}

} // namespace

BResources::BResources()
	:
	fInitStatus(B_NO_INIT)
{
}

BResources::BResources(const void* blob, size_t size)
	:
	fInitStatus(B_NO_INIT)
{
	SetTo(blob, size);
}

BResources::~BResources()
{
}

status_t
BResources::SetTo(const void* blob, size_t size)
{
	Unset();
	if (blob == nullptr || size == 0) {
		fInitStatus = B_BAD_VALUE;
		return fInitStatus;
	}

	// Parse our own copy, so that the entries point into memory we keep.
	const uint8* bytes = static_cast<const uint8*>(blob);
	fBlob.assign(bytes, bytes + size);
	if (!BPrivate::ParseResourceBlob(fBlob.data(), fBlob.size(), &fEntries)) {
		Unset();
		fInitStatus = B_BAD_DATA;
		return fInitStatus;
	}
	fInitStatus = B_OK;
	return fInitStatus;
}

void
BResources::Unset()
{
	fEntries.clear();
	std::vector<uint8>().swap(fBlob);
	fInitStatus = B_NO_INIT;
}

status_t
BResources::InitCheck() const
{
	return fInitStatus;
}

int32
BResources::CountResources() const
{
	return int32(fEntries.size());
}

bool
BResources::GetResourceInfo(int32 index, type_code* type, int32* id,
	const char** name, size_t* size) const
{
	if (index < 0 || size_t(index) >= fEntries.size())
		return false;
	return Describe(&fEntries[size_t(index)], type, id, name, size);
}

bool
BResources::GetResourceInfo(type_code type, int32 id, const char** name,
	size_t* size) const
{
	return Describe(_Find(type, id), nullptr, nullptr, name, size);
}

bool
BResources::GetResourceInfo(type_code type, const char* name, int32* id,
	size_t* size) const
{
	return Describe(_Find(type, name), nullptr, id, nullptr, size);
}

bool
BResources::HasResource(type_code type, int32 id) const
{
	return _Find(type, id) != nullptr;
}

bool
BResources::HasResource(type_code type, const char* name) const
{
	return _Find(type, name) != nullptr;
}

const void*
BResources::LoadResource(type_code type, int32 id, size_t* outSize) const
{
	return DataOf(_Find(type, id), outSize);
}

const void*
BResources::LoadResource(type_code type, const char* name,
	size_t* outSize) const
{
	return DataOf(_Find(type, name), outSize);
}

const ResourceEntry*
BResources::_Find(type_code type, int32 id) const
{
	for (const ResourceEntry& entry : fEntries) {
		if (entry.type == type && entry.id == id)
			return &entry;
	}
	return nullptr;
}

const ResourceEntry*
BResources::_Find(type_code type, const char* name) const
{
	if (name == nullptr)
		return nullptr;
	for (const ResourceEntry& entry : fEntries) {
		if (entry.type == type && strcmp(entry.name, name) == 0)
			return &entry;
	}
	return nullptr;
}
