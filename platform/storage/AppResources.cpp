/*
 * The running executable's own resources: the blob the build linked into
 * its belvo_rsrc section.
 */
#include <Resources.h>

#include <cstdint>

#include <private/ResourceData.h>

// The linker defines these around a section whose name is a C identifier.
// Weak, so that a program without the section links and sees null; hidden,
// so that they always mean this executable's section, never a library's.
extern "C" {
extern const uint8 __start_belvo_rsrc[]
	__attribute__((weak, visibility("hidden")));
extern const uint8 __stop_belvo_rsrc[]
	__attribute__((weak, visibility("hidden")));
}

namespace BPrivate {

namespace {

BResources*
LoadAppResources()
{
	BResources* resources = new BResources;
	uintptr_t start = reinterpret_cast<uintptr_t>(__start_belvo_rsrc);
	uintptr_t stop = reinterpret_cast<uintptr_t>(__stop_belvo_rsrc);
	if (start != 0 && stop > start)
		resources->SetTo(__start_belvo_rsrc, size_t(stop - start));
	return resources;
}

} // namespace

BResources*
AppResources()
{
	// Never destroyed, so that it outlives whatever static object of the
	// program still looks something up while the program ends.
	static BResources* sResources = LoadAppResources();
	return sResources;
}

} // namespace BPrivate
