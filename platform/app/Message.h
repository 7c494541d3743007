/*
 * BMessage: a command code and any number of named, typed fields.
 *
 * Each name holds one type and one or more items of it, in the order they
 * were added; the indexed Find calls reach the later ones. The typed calls
 * (AddInt16, FindInt16, ...) only ever meet a field of their own type:
 * FindInt16 on an int32 field fails with B_BAD_TYPE and leaves its output
 * alone. Every Find leaves its output untouched on failure.
 *
 * Errors: B_BAD_VALUE for bad arguments (a null name, data or output
 * pointer, B_ANY_TYPE to add, or an AddData whose size is not the one its
 * type needs, or not the one of the other items of a fixed-size field),
 * B_NAME_NOT_FOUND when no field has the name, B_BAD_TYPE when the field
 * holds another type, B_BAD_INDEX past the last item, B_BAD_DATA when
 * FindString meets a string added through AddData without its terminating
 * null.
 *
 * Pointers handed out by FindData and FindString point into the message and
 * stay valid until that field is removed or the message is emptied or
 * destroyed.
 *
 * A message has no lock: one thread at a time. PostMessage() copies it into
 * the queue, so the sender may keep, change or delete its own; the copy the
 * handler gets belongs to its looper's thread until dispatching ends.
 */
#ifndef _MESSAGE_H
#define _MESSAGE_H

#include <string>
#include <vector>

#include <Point.h>
#include <Rect.h>
#include <SupportDefs.h>
#include <TypeConstants.h>

class BMessage {
public:
			uint32				what;

								BMessage();
								BMessage(uint32 what);
								BMessage(const BMessage& other);
	virtual						~BMessage();

			BMessage&			operator=(const BMessage& other);

	// Inspecting the fields
			status_t			GetInfo(const char* name, type_code* typeFound,
									int32* countFound = nullptr) const;
			status_t			GetInfo(type_code type, int32 index,
									const char** nameFound,
									type_code* typeFound,
									int32* countFound = nullptr) const;
			int32				CountNames(type_code type = B_ANY_TYPE) const;
			bool				IsEmpty() const;

	// Removing fields
			status_t			RemoveName(const char* name);
			status_t			RemoveData(const char* name, int32 index = 0);
			status_t			MakeEmpty();

	// Adding items
			status_t			AddData(const char* name, type_code type,
									const void* data, ssize_t numBytes,
									bool isFixedSize = true, int32 count = 1);
			status_t			AddBool(const char* name, bool value);
			status_t			AddInt8(const char* name, int8 value);
			status_t			AddInt16(const char* name, int16 value);
			status_t			AddInt32(const char* name, int32 value);
			status_t			AddInt64(const char* name, int64 value);
			status_t			AddString(const char* name, const char* string);
			status_t			AddPoint(const char* name, BPoint point);

	// Finding items; B_ANY_TYPE in FindData matches a field of any type.
			status_t			FindData(const char* name, type_code type,
									const void** data, ssize_t* numBytes) const;
			status_t			FindData(const char* name, type_code type,
									int32 index, const void** data,
									ssize_t* numBytes) const;
			status_t			FindBool(const char* name, bool* value) const;
			status_t			FindBool(const char* name, int32 index,
									bool* value) const;
			status_t			FindInt8(const char* name, int8* value) const;
			status_t			FindInt8(const char* name, int32 index,
									int8* value) const;
			status_t			FindInt16(const char* name, int16* value) const;
			status_t			FindInt16(const char* name, int32 index,
									int16* value) const;
			status_t			FindInt32(const char* name, int32* value) const;
			status_t			FindInt32(const char* name, int32 index,
									int32* value) const;
			status_t			FindInt64(const char* name, int64* value) const;
			status_t			FindInt64(const char* name, int32 index,
									int64* value) const;
			status_t			FindString(const char* name,
									const char** string) const;
			status_t			FindString(const char* name, int32 index,
									const char** string) const;
			status_t			FindPoint(const char* name,
									BPoint* point) const;
			status_t			FindPoint(const char* name, int32 index,
									BPoint* point) const;

	// Whether an item exists; B_ANY_TYPE in HasData matches any type.
			bool				HasData(const char* name, type_code type,
									int32 index = 0) const;

private:
	struct Field {
		std::string				name;
		type_code				type;
		bool					fixedSize;
		std::vector<std::vector<uint8> > items;
	};

			const Field*		_FindField(const char* name) const;
			Field*				_FindField(const char* name);
			status_t			_FindItem(const char* name, type_code type,
									int32 index,
									const std::vector<uint8>** item) const;
			status_t			_FindFixed(const char* name, type_code type,
									int32 index, void* out,
									size_t size) const;

			std::vector<Field>	fFields;
};

#endif // _MESSAGE_H
