/*
 * BTranslationUtils: loads pictures into bitmaps.
 *
 * GetBitmap() looks a resource up in the application's own resources
 * (those linked into its executable, see Resources.h), recognises the
 * picture's format by its content and returns a new BBitmap that the caller
 * owns and deletes, or null when there is no such resource or its data is
 * not a picture that can be read. Windows bitmap files ("BM") are read, into
 * opaque B_RGB32 bitmaps; the resource's type code is not looked at beyond
 * finding the resource.
 *
 * There are no translator add-ons here: the roster argument is accepted for
 * the sake of existing callers and ignored.
 *
 * GetBitmap() may be called from any thread: the application's resources are
 * parsed once, behind a thread-safe static, and only read afterwards, and
 * the bitmap is new and the caller's.
 */
#ifndef _TRANSLATION_UTILS_H
#define _TRANSLATION_UTILS_H

#include <SupportDefs.h>

class BBitmap;
class BTranslatorRoster;

class BTranslationUtils {
public:
	static	BBitmap*			GetBitmap(uint32 type, int32 id,
									BTranslatorRoster* roster = nullptr);
	static	BBitmap*			GetBitmap(uint32 type, const char* name,
									BTranslatorRoster* roster = nullptr);

private:
								BTranslationUtils() = delete;
};

#endif // _TRANSLATION_UTILS_H
