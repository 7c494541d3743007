#include <Resources.h>

#include <cstring>

#include <private/ResourceData.h>

using BPrivate::ResourceEntry;

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
	const ResourceEntry& entry = fEntries[size_t(index)];
	if (type != nullptr)
		*type = entry.type;
	if (id != nullptr)
		*id = entry.id;
	if (name != nullptr)
		*name = entry.name;
	if (size != nullptr)
		*size = entry.size;
	return true;
}

bool
BResources::GetResourceInfo(type_code type, int32 id, const char** name,
	size_t* size) const
{
	const ResourceEntry* entry = _Find(type, id);
	if (entry == nullptr)
		return false;
	if (name != nullptr)
		*name = entry->name;
	if (size != nullptr)
		*size = entry->size;
	return true;
}

bool
BResources::GetResourceInfo(type_code type, const char* name, int32* id,
	size_t* size) const
{
	const ResourceEntry* entry = _Find(type, name);
	if (entry == nullptr)
		return false;
	if (id != nullptr)
		*id = entry->id;
	if (size != nullptr)
		*size = entry->size;
	return true;
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
	const ResourceEntry* entry = _Find(type, id);
	if (entry == nullptr)
		return nullptr;
	if (outSize != nullptr)
		*outSize = entry->size;
	return entry->data;
}

const void*
BResources::LoadResource(type_code type, const char* name,
	size_t* outSize) const
{
	const ResourceEntry* entry = _Find(type, name);
	if (entry == nullptr)
		return nullptr;
	if (outSize != nullptr)
		*outSize = entry->size;
	return entry->data;
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
