/*
 * BTranslationUtils: pictures from the application's resources, decoded
 * into new bitmaps on the calling thread.
 */
#include <TranslationUtils.h>

#include <Bitmap.h>
#include <Resources.h>

#include <private/BmpDecoder.h>
#include <private/ResourceData.h>

namespace {

BBitmap*
DecodePicture(const void* data, size_t size)
{
	if (BPrivate::LooksLikeBmp(data, size))
		return BPrivate::DecodeBmp(data, size);
	return nullptr;
}

} // namespace

BBitmap*
BTranslationUtils::GetBitmap(uint32 type, int32 id, BTranslatorRoster* roster)
{
	(void)roster;
	size_t size = 0;
	const void* data = BPrivate::AppResources()->LoadResource(type, id, &size);
	return data != nullptr ? DecodePicture(data, size) : nullptr;
}

BBitmap*
BTranslationUtils::GetBitmap(uint32 type, const char* name,
	BTranslatorRoster* roster)
{
	(void)roster;
	size_t size = 0;
	const void* data = BPrivate::AppResources()->LoadResource(type, name,
		&size);
	return data != nullptr ? DecodePicture(data, size) : nullptr;
}
