#include <Message.h>

#include <cstring>
#include <new>

namespace {

// Size every item of a type must have, or 0 where items may be of any size.
size_t
FixedSizeOf(type_code type)
{
	switch (type) {
		case B_BOOL_TYPE:
			return sizeof(bool);
		case B_INT8_TYPE:
			return sizeof(int8);
		case B_INT16_TYPE:
			return sizeof(int16);
		case B_INT32_TYPE:
			return sizeof(int32);
		case B_INT64_TYPE:
			return sizeof(int64);
		case B_FLOAT_TYPE:
			return sizeof(float);
		case B_DOUBLE_TYPE:
			return sizeof(double);
		case B_POINTER_TYPE:
			return sizeof(void*);
		case B_POINT_TYPE:
			return sizeof(BPoint);
		case B_RECT_TYPE:
			return sizeof(BRect);
		default:
			return 0;
	}
}

} // namespace

BMessage::BMessage()
	:
	what(0)
{
}

BMessage::BMessage(uint32 what)
	:
	what(what)
{
}

BMessage::BMessage(const BMessage& other)
	:
	what(other.what),
	fFields(other.fFields)
{
}

BMessage::~BMessage()
{
}

BMessage&
BMessage::operator=(const BMessage& other)
{
	if (this != &other) {
		what = other.what;
		fFields = other.fFields;
	}
	return *this;
}

status_t
BMessage::GetInfo(const char* name, type_code* typeFound,
	int32* countFound) const
{
	if (name == nullptr)
		return B_BAD_VALUE;
	const Field* field = _FindField(name);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (typeFound != nullptr)
		*typeFound = field->type;
	if (countFound != nullptr)
		*countFound = int32(field->items.size());
	return B_OK;
}

status_t
BMessage::GetInfo(type_code type, int32 index, const char** nameFound,
	type_code* typeFound, int32* countFound) const
{
	if (index < 0)
		return B_BAD_INDEX;
	int32 seen = 0;
	for (const Field& field : fFields) {
		if (type != B_ANY_TYPE && field.type != type)
			continue;
		if (seen++ != index)
			continue;
		if (nameFound != nullptr)
			*nameFound = field.name.c_str();
		if (typeFound != nullptr)
			*typeFound = field.type;
		if (countFound != nullptr)
			*countFound = int32(field.items.size());
		return B_OK;
	}
	// Past the last field of that type, or no field of it at all.
	return seen == 0 ? B_BAD_TYPE : B_BAD_INDEX;
}

int32
BMessage::CountNames(type_code type) const
{
	int32 count = 0;
	for (const Field& field : fFields) {
		if (type == B_ANY_TYPE || field.type == type)
			count++;
	}
	return count;
}

bool
BMessage::IsEmpty() const
{
	return fFields.empty();
}

status_t
BMessage::RemoveName(const char* name)
{
	if (name == nullptr)
		return B_BAD_VALUE;
	for (auto it = fFields.begin(); it != fFields.end(); ++it) {
		if (it->name == name) {
			fFields.erase(it);
			return B_OK;
		}
	}
	return B_NAME_NOT_FOUND;
}

status_t
BMessage::RemoveData(const char* name, int32 index)
{
	if (name == nullptr)
		return B_BAD_VALUE;
	if (index < 0)
		return B_BAD_INDEX;
	for (auto it = fFields.begin(); it != fFields.end(); ++it) {
		if (it->name != name)
			continue;
		if (size_t(index) >= it->items.size())
			return B_BAD_INDEX;
		it->items.erase(it->items.begin() + index);
		// A name without items would still be counted and typed.
		if (it->items.empty())
			fFields.erase(it);
		return B_OK;
	}
	return B_NAME_NOT_FOUND;
}

status_t
BMessage::MakeEmpty()
{
	fFields.clear();
	return B_OK;
}

status_t
BMessage::AddData(const char* name, type_code type, const void* data,
	ssize_t numBytes, bool isFixedSize, int32 /*count*/)
{
	if (name == nullptr || type == B_ANY_TYPE || numBytes < 0
		|| (data == nullptr && numBytes > 0)) {
		return B_BAD_VALUE;
	}
	size_t needed = FixedSizeOf(type);
	if (needed != 0 && size_t(numBytes) != needed)
		return B_BAD_VALUE;

	Field* field = _FindField(name);
	if (field != nullptr) {
		if (field->type != type)
			return B_BAD_TYPE;
		if (field->fixedSize && !field->items.empty()
			&& field->items[0].size() != size_t(numBytes)) {
			return B_BAD_VALUE;
		}
	}

	try {
		const uint8* bytes = static_cast<const uint8*>(data);
		std::vector<uint8> item(bytes, bytes + numBytes);
		if (field == nullptr) {
			fFields.push_back(Field{name, type, isFixedSize, {}});
			field = &fFields.back();
			try {
				field->items.push_back(std::move(item));
			} catch (...) {
				fFields.pop_back();
				throw;
			}
		} else
			field->items.push_back(std::move(item));
	} catch (const std::bad_alloc&) {
		return B_NO_MEMORY;
	}
	return B_OK;
}

status_t
BMessage::AddBool(const char* name, bool value)
{
	return AddData(name, B_BOOL_TYPE, &value, sizeof(value));
}

status_t
BMessage::AddInt8(const char* name, int8 value)
{
	return AddData(name, B_INT8_TYPE, &value, sizeof(value));
}

status_t
BMessage::AddInt16(const char* name, int16 value)
{
	return AddData(name, B_INT16_TYPE, &value, sizeof(value));
}

status_t
BMessage::AddInt32(const char* name, int32 value)
{
	return AddData(name, B_INT32_TYPE, &value, sizeof(value));
}

status_t
BMessage::AddInt64(const char* name, int64 value)
{
	return AddData(name, B_INT64_TYPE, &value, sizeof(value));
}

status_t
BMessage::AddString(const char* name, const char* string)
{
	if (string == nullptr)
		return B_BAD_VALUE;
	return AddData(name, B_STRING_TYPE, string, strlen(string) + 1, false);
}

status_t
BMessage::AddPoint(const char* name, BPoint point)
{
	return AddData(name, B_POINT_TYPE, &point, sizeof(point));
}

status_t
BMessage::FindData(const char* name, type_code type, const void** data,
	ssize_t* numBytes) const
{
	return FindData(name, type, 0, data, numBytes);
}

status_t
BMessage::FindData(const char* name, type_code type, int32 index,
	const void** data, ssize_t* numBytes) const
{
	if (data == nullptr)
		return B_BAD_VALUE;
	const std::vector<uint8>* item;
	status_t status = _FindItem(name, type, index, &item);
	if (status != B_OK)
		return status;
	*data = item->data();
	if (numBytes != nullptr)
		*numBytes = ssize_t(item->size());
	return B_OK;
}

status_t
BMessage::FindBool(const char* name, bool* value) const
{
	return FindBool(name, 0, value);
}

status_t
BMessage::FindBool(const char* name, int32 index, bool* value) const
{
	// Any byte other than 0 or 1 in a bool is undefined behaviour, and an
	// item added through AddData may carry one.
	uint8 byte;
	status_t status = _FindFixed(name, B_BOOL_TYPE, index, &byte, 1);
	if (status == B_OK)
		*value = byte != 0;
	return status;
}

status_t
BMessage::FindInt8(const char* name, int8* value) const
{
	return FindInt8(name, 0, value);
}

status_t
BMessage::FindInt8(const char* name, int32 index, int8* value) const
{
	return _FindFixed(name, B_INT8_TYPE, index, value, sizeof(*value));
}

status_t
BMessage::FindInt16(const char* name, int16* value) const
{
	return FindInt16(name, 0, value);
}

status_t
BMessage::FindInt16(const char* name, int32 index, int16* value) const
{
	return _FindFixed(name, B_INT16_TYPE, index, value, sizeof(*value));
}

status_t
BMessage::FindInt32(const char* name, int32* value) const
{
	return FindInt32(name, 0, value);
}

status_t
BMessage::FindInt32(const char* name, int32 index, int32* value) const
{
	return _FindFixed(name, B_INT32_TYPE, index, value, sizeof(*value));
}

status_t
BMessage::FindInt64(const char* name, int64* value) const
{
	return FindInt64(name, 0, value);
}

status_t
BMessage::FindInt64(const char* name, int32 index, int64* value) const
{
	return _FindFixed(name, B_INT64_TYPE, index, value, sizeof(*value));
}

status_t
BMessage::FindString(const char* name, const char** string) const
{
	return FindString(name, 0, string);
}

status_t
BMessage::FindString(const char* name, int32 index,
	const char** string) const
{
	if (string == nullptr)
		return B_BAD_VALUE;
	const std::vector<uint8>* item;
	status_t status = _FindItem(name, B_STRING_TYPE, index, &item);
	if (status != B_OK)
		return status;
	// A string added through AddData need not be terminated; handing it out
	// would let the caller read past the item.
	if (item->empty() || memchr(item->data(), '\0', item->size()) == nullptr)
		return B_BAD_DATA;
	*string = reinterpret_cast<const char*>(item->data());
	return B_OK;
}

status_t
BMessage::FindPoint(const char* name, BPoint* point) const
{
	return FindPoint(name, 0, point);
}

status_t
BMessage::FindPoint(const char* name, int32 index, BPoint* point) const
{
	return _FindFixed(name, B_POINT_TYPE, index, point, sizeof(*point));
}

bool
BMessage::HasData(const char* name, type_code type, int32 index) const
{
	const std::vector<uint8>* item;
	return _FindItem(name, type, index, &item) == B_OK;
}

const BMessage::Field*
BMessage::_FindField(const char* name) const
{
	if (name == nullptr)
		return nullptr;
	for (const Field& field : fFields) {
		if (field.name == name)
			return &field;
	}
	return nullptr;
}

BMessage::Field*
BMessage::_FindField(const char* name)
{
	return const_cast<Field*>(
		static_cast<const BMessage*>(this)->_FindField(name));
}

status_t
BMessage::_FindItem(const char* name, type_code type, int32 index,
	const std::vector<uint8>** item) const
{
	if (name == nullptr)
		return B_BAD_VALUE;
	const Field* field = _FindField(name);
	if (field == nullptr)
		return B_NAME_NOT_FOUND;
	if (type != B_ANY_TYPE && field->type != type)
		return B_BAD_TYPE;
	if (index < 0 || size_t(index) >= field->items.size())
		return B_BAD_INDEX;
	*item = &field->items[index];
	return B_OK;
}

status_t
BMessage::_FindFixed(const char* name, type_code type, int32 index, void* out,
	size_t size) const
{
	if (out == nullptr)
		return B_BAD_VALUE;
	const std::vector<uint8>* item;
	status_t status = _FindItem(name, type, index, &item);
	if (status != B_OK)
		return status;
	if (item->size() != size)
		return B_BAD_DATA;
	memcpy(out, item->data(), size);
	return B_OK;
}
