/*
 * BResources: typed, numbered and named pieces of data that a program
 * carries in its own executable (its signature, icons, pictures).
 *
 * How they are stored on Linux
 * ----------------------------
 * All of a program's resources sit in one blob, in a section of its ELF
 * executable named belvo_rsrc. The blob is little-endian throughout:
 *
 *   offset 0   4 bytes   magic "BRSC"
 *          4   uint32    number of resources
 *          8   the resources, one after the other, in the order they were
 *              packed, each starting on a four-byte boundary:
 *                uint32   type code ('BMP ' is 0x424D5020)
 *                int32    id
 *                uint32   name length in bytes, at most 255, without the
 *                         terminating zero
 *                uint32   data size in bytes
 *                the name and its terminating zero, zero-padded to a
 *                multiple of four bytes
 *                the data, zero-padded to a multiple of four bytes
 *   zero bytes may follow the last resource (section padding).
 * Names hold no zero byte and may be empty; no two resources share both a
 * type and an id. Because every entry is aligned, a resource's data is
 * four-byte aligned in memory.
 *
 * The build packs the blob with tools/pack-resources from a manifest and
 * links it into the executable with belvo_attach_resources() of
 * cmake/BelvoResources.cmake. At run time the program finds its blob
 * between the linker-made symbols __start_belvo_rsrc and __stop_belvo_rsrc;
 * they are weak references, so a program without resources links all the
 * same and simply has none (BPrivate::AppResources() in
 * private/ResourceData.h). From outside, `list-resources EXECUTABLE` lists
 * the resources and extracts one, and
 *   objcopy -O binary --only-section=belvo_rsrc EXECUTABLE blob.bin
 * dumps the blob itself.
 *
 * A BResources object holds its own copy of a blob. The pointers it hands
 * out (names, data) stay valid until it is set to another blob or
 * destroyed. Looking things up never changes it, so one object may be read
 * from several threads at once.
 *
 * SetTo() and Unset() take no lock, so they must not run while another thread
 * reads the object.
 */
#ifndef _RESOURCES_H
#define _RESOURCES_H

#include <vector>

#include <SupportDefs.h>

namespace BPrivate {
struct ResourceEntry;
}

class BResources {
public:
								BResources();
								BResources(const void* blob, size_t size);
								~BResources();

	// Checks the whole blob and takes a copy. A damaged blob (cut short,
	// wrong magic, sizes or names running past its end, repeated type and
	// id) gives B_BAD_DATA, an empty or null one B_BAD_VALUE; either way
	// the object is left with no resources.
			status_t			SetTo(const void* blob, size_t size);
			void				Unset();
	// B_NO_INIT until a blob has been set, then SetTo()'s result.
			status_t			InitCheck() const;

			int32				CountResources() const;
	// Any of the out parameters may be null. False when the index is out
	// of range.
			bool				GetResourceInfo(int32 index, type_code* type,
									int32* id, const char** name,
									size_t* size) const;
			bool				GetResourceInfo(type_code type, int32 id,
									const char** name, size_t* size) const;
			bool				GetResourceInfo(type_code type,
									const char* name, int32* id,
									size_t* size) const;

			bool				HasResource(type_code type, int32 id) const;
			bool				HasResource(type_code type,
									const char* name) const;

	// The resource's bytes, owned by this object, or null when there is no
	// such resource. A name lookup finds the first resource of that type
	// and name.
			const void*			LoadResource(type_code type, int32 id,
									size_t* outSize) const;
			const void*			LoadResource(type_code type,
									const char* name, size_t* outSize) const;

private:
								BResources(const BResources&) = delete;
			BResources&			operator=(const BResources&) = delete;

			const BPrivate::ResourceEntry* _Find(type_code type,
									int32 id) const;
			const BPrivate::ResourceEntry* _Find(type_code type,
									const char* name) const;

			std::vector<uint8>	fBlob;
			std::vector<BPrivate::ResourceEntry> fEntries;
			status_t			fInitStatus;
};

#endif // _RESOURCES_H
