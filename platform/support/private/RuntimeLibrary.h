/*
 * A client library loaded at run time, so that the program still starts
 * where it is not installed: the library and every function a back end
 * uses, or nothing.
 *
 * A back end lists the functions it uses in an X-macro and declares its
 * table with BELVO_LIBRARY_FUNCTION, then fills it in one go:
 *
 *   #define MY_FUNCTIONS(X) X(foo_new) X(foo_free)
 *   struct FooLibrary { MY_FUNCTIONS(BELVO_LIBRARY_FUNCTION) };
 *
 *   const FooLibrary* library = LoadRuntimeLibrary<FooLibrary>("libfoo.so.1",
 *       [](RuntimeLibrary& loader, FooLibrary* library) {
 *           MY_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
 *       });
 *
 * A library that loaded completely stays loaded for the life of the
 * process: its threads and plug-ins may outlive anything that used it.
 *
 * The loader itself takes no lock: load each library once, behind a
 * function-local static as the back ends do. The finished table is only
 * read, from any thread.
 */
#ifndef _PRIVATE_RUNTIME_LIBRARY_H
#define _PRIVATE_RUNTIME_LIBRARY_H

#include <dlfcn.h>

#define BELVO_LIBRARY_FUNCTION(name) decltype(&::name) name = nullptr;
#define BELVO_FIND_LIBRARY_FUNCTION(name) loader.Find(library->name, #name);

namespace BPrivate {

class RuntimeLibrary {
public:
	explicit RuntimeLibrary(const char* soname)
		:
		fHandle(dlopen(soname, RTLD_NOW | RTLD_LOCAL)),
		fComplete(fHandle != nullptr)
	{
	}

	~RuntimeLibrary()
	{
		if (!fComplete && fHandle != nullptr)
			dlclose(fHandle);
	}

	template<typename Function>
	void Find(Function*& function, const char* name)
	{
		if (!fComplete)
			return;
		function = reinterpret_cast<Function*>(dlsym(fHandle, name));
		fComplete = function != nullptr;
	}

	// Whether the library and everything asked of it were found.
	bool IsComplete() const { return fComplete; }

private:
	RuntimeLibrary(const RuntimeLibrary&) = delete;
	RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;

	void* fHandle;
	bool fComplete;
};

// A new Library with every function that `findAll` looks up, or nullptr
// (and the library closed again) when any one is missing.
template<typename Library, typename FindAll>
Library*
LoadRuntimeLibrary(const char* soname, FindAll findAll)
{
	RuntimeLibrary loader(soname);
	if (!loader.IsComplete())
		return nullptr;
	Library* library = new Library;
	findAll(loader, library);
	if (!loader.IsComplete()) {
		delete library;
		return nullptr;
	}
	return library;
}

} // namespace BPrivate

#endif // _PRIVATE_RUNTIME_LIBRARY_H
