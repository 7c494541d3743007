/*
 * FreeType and fontconfig behind one lock, and the glyph cache.
 *
 * Windows draw on their own threads, so every call may come from any
 * thread. FreeType objects are not safe to share, hence one mutex over the
 * library, the faces and the cache. Rendered glyphs are handed out as
 * shared pointers, so the blending itself runs outside the lock and the
 * cache may be emptied while another thread still draws from it.
 */
#include <private/FontEngine.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_OUTLINE_H
#include FT_SYSTEM_H

namespace BPrivate {

namespace {

// Light hinting by the font's own instructions: FreeType's v40 TrueType
// interpreter (pinned below) moves points vertically only, so rows such as
// the baseline and cap height land on whole pixels while shapes and
// advances stay as designed across. The auto-hinter is kept out: it rounds
// DejaVu Sans's x-height up at 10 pixels and stretches capitals to 8 rows
// with it, where the look wants 7. Embedded bitmaps are ignored so that
// every size is drawn the same way.
const FT_Int32 kLoadFlags = FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_AUTOHINT
	| FT_LOAD_NO_BITMAP;

// Coverage bytes the cache may hold before it starts afresh: some thousands
// of glyphs at menu sizes, yet a bounded amount however large text gets.
const size_t kGlyphCacheBudget = 8u << 20;

const char* const kFallbackFamily = "sans-serif";

// A rendered glyph: 8-bit coverage, rows top down, placed relative to the
// pen's origin on the baseline.
struct Glyph {
	int32 left = 0;    // columns from the origin to the first column
	int32 top = 0;     // rows from the baseline up to the first row
	int32 width = 0;
	int32 height = 0;
	int32 advance = 0; // 1/64 pixels
	std::vector<uint8> coverage;
};

typedef std::shared_ptr<const Glyph> GlyphRef;

struct GlyphKey {
	int32 face;
	int32 size;   // 1/64 pixels per em
	uint32 glyph;

	bool operator==(const GlyphKey& other) const
		{ return face == other.face && size == other.size
			&& glyph == other.glyph; }
};

struct GlyphKeyHash {
	size_t operator()(const GlyphKey& key) const
	{
		uint64 value = (uint64(uint32(key.face)) << 48)
			^ (uint64(uint32(key.size)) << 24) ^ key.glyph;
		return std::hash<uint64>()(value);
	}
};

struct FaceRequest {
	std::string family;
	std::string style;  // empty: chosen by weight and slant
	bool bold;
	bool italic;

	bool operator<(const FaceRequest& other) const
	{
		if (family != other.family)
			return family < other.family;
		if (style != other.style)
			return style < other.style;
		if (bold != other.bold)
			return bold < other.bold;
		return italic < other.italic;
	}
};

struct LoadedFace {
	std::string path;
	int32 index = 0;
	FT_Face face = nullptr;
	bool embolden = false;
	int32 size = -1;  // the size last set on the face, 1/64 pixels
};

void*
Allocate(FT_Memory, long size)
{
	return malloc(size_t(size));
}

void
Free(FT_Memory, void* block)
{
	free(block);
}

void*
Reallocate(FT_Memory, long, long size, void* block)
{
	return realloc(block, size_t(size));
}

int32
SizeOf(float size)
{
	// BFont keeps sizes within 1 .. 500, so this cannot overflow.
	return int32(std::lround(double(size) * 64.0));
}

} // namespace


class FontEngine {
public:
	static FontEngine& Default();

	void Advances(const BFont& font, const char* text, int32 length,
		std::vector<CharAdvance>* advances);
	void Height(const BFont& font, font_height* height);
	bool FileInfo(const BFont& font, FontFileInfo* info);
	float Draw(Canvas& canvas, const ClipBox& clip, const BFont& font,
		const char* text, int32 length, float x, float baseline,
		rgb_color color);
	// Lets fontconfig's configuration and caches go (a third of a
	// megabyte); a font not found before loads them again.
	void ReleaseLookups();

private:
	FontEngine() = default;

	bool _Initialise();
	bool _LoadLookups();
	int32 _FaceFor(const BFont& font);
	int32 _Match(const FaceRequest& request, bool fallback);
	int32 _Open(const char* path, int32 index, bool embolden);
	bool _SetSize(int32 faceIndex, int32 size);
	GlyphRef _Glyph(int32 faceIndex, int32 size, uint32 codePoint);
	GlyphRef _Render(LoadedFace& face, FT_UInt glyphIndex);
	void _ReportMissing();

	std::mutex fLock;
	bool fTried = false;
	bool fReady = false;
	bool fReported = false;
	FT_Library fLibrary = nullptr;
	FcConfig* fConfig = nullptr;
	std::map<FaceRequest, int32> fRequests;  // to an index into fFaces or -1
	std::vector<LoadedFace> fFaces;
	std::unordered_map<GlyphKey, GlyphRef, GlyphKeyHash> fGlyphs;
	size_t fCacheBytes = 0;
	GlyphRef fEmptyGlyph = std::make_shared<Glyph>();
};


FontEngine&
FontEngine::Default()
{
	// Never destroyed: a window thread may still draw while the process
	// exits, and FreeType and fontconfig need no tidying for that.
	static FontEngine* sEngine = new FontEngine;
	return *sEngine;
}

void
FontEngine::Advances(const BFont& font, const char* text, int32 length,
	std::vector<CharAdvance>* advances)
{
	advances->clear();
	size_t bytes = TextLength(text, length);
	if (bytes == 0)
		return;

	std::lock_guard<std::mutex> lock(fLock);
	int32 face = _FaceFor(font);
	int32 size = SizeOf(font.fSize);
	if (face < 0 || !_SetSize(face, size))
		return;
	for (size_t offset = 0; offset < bytes;) {
		size_t start = offset;
		uint32 codePoint = NextCodePoint(text, bytes, &offset);
		advances->push_back(CharAdvance{ start, offset - start,
			_Glyph(face, size, codePoint)->advance });
	}
}

void
FontEngine::Height(const BFont& font, font_height* height)
{
	*height = font_height{ 0, 0, 0 };

	std::lock_guard<std::mutex> lock(fLock);
	int32 face = _FaceFor(font);
	if (face < 0)
		return;
	FT_Face ftFace = fFaces[face].face;
	if (ftFace->units_per_EM == 0)
		return;
	// From the font's design values rather than FreeType's rounded size
	// metrics, so that heights scale with fractional sizes too.
	float scale = float(SizeOf(font.fSize)) / 64.0f / ftFace->units_per_EM;
	height->ascent = ftFace->ascender * scale;
	height->descent = -ftFace->descender * scale;
	float gap = ftFace->height - ftFace->ascender + ftFace->descender;
	height->leading = gap > 0 ? gap * scale : 0.0f;
}

bool
FontEngine::FileInfo(const BFont& font, FontFileInfo* info)
{
	std::lock_guard<std::mutex> lock(fLock);
	int32 face = _FaceFor(font);
	if (face < 0)
		return false;
	const LoadedFace& loaded = fFaces[face];
	info->family = loaded.face->family_name != nullptr
		? loaded.face->family_name : "";
	info->style = loaded.face->style_name != nullptr
		? loaded.face->style_name : "";
	info->path = loaded.path;
	info->index = loaded.index;
	return true;
}

float
FontEngine::Draw(Canvas& canvas, const ClipBox& clip, const BFont& font,
	const char* text, int32 length, float x, float baseline,
	rgb_color color)
{
	size_t bytes = TextLength(text, length);
	if (bytes == 0)
		return 0.0f;

	std::vector<GlyphRef> glyphs;
	{
		std::lock_guard<std::mutex> lock(fLock);
		int32 face = _FaceFor(font);
		int32 size = SizeOf(font.fSize);
		if (face < 0 || !_SetSize(face, size))
			return 0.0f;
		for (size_t offset = 0; offset < bytes;) {
			uint32 codePoint = NextCodePoint(text, bytes, &offset);
			glyphs.push_back(_Glyph(face, size, codePoint));
		}
	}

	int64 width = 0;
	for (const GlyphRef& glyph : glyphs)
		width += glyph->advance;
	float advance = float(width) / 64.0f;

	// Far outside any canvas there is nothing to draw, and staying within
	// a few million pixels keeps the arithmetic below from overflowing.
	const float kFar = 1e7f;
	ClipBox box = clip.Intersect(canvas.Bounds());
	if (canvas.pixels == nullptr || box.IsEmpty() || !(std::fabs(x) < kFar)
		|| !(std::fabs(baseline) < kFar)) {
		return advance;
	}

	// The origin goes to the nearest whole pixel first, so that a text
	// looks the same wherever it is drawn, and each glyph then to the whole
	// pixel nearest the pen.
	int64 origin = int64(std::floor(double(x) + 0.5));
	int64 baselineRow = int64(std::floor(double(baseline) + 0.5));
	int64 pen = 0;
	for (const GlyphRef& glyph : glyphs) {
		int64 column = origin + (pen + 32) / 64;
		pen += glyph->advance;
		if (glyph->width == 0 || glyph->height == 0)
			continue;

		int64 left = column + glyph->left;
		int64 top = baselineRow + 1 - glyph->top;
		int64 firstColumn = std::max<int64>(0, box.left - left);
		int64 lastColumn = std::min<int64>(glyph->width - 1, box.right - left);
		int64 firstRow = std::max<int64>(0, box.top - top);
		int64 lastRow = std::min<int64>(glyph->height - 1, box.bottom - top);
		for (int64 row = firstRow; row <= lastRow; row++) {
			const uint8* source = glyph->coverage.data()
				+ size_t(row) * size_t(glyph->width);
			uint32* target = canvas.Row(int32(top + row));
			for (int64 c = firstColumn; c <= lastColumn; c++) {
				uint32 coverage = source[c];
				if (coverage != 0) {
					uint32& pixel = target[left + c];
					pixel = BlendPixel(pixel, color, coverage);
				}
			}
		}
	}
	return advance;
}

bool
FontEngine::_Initialise()
{
	if (fTried)
		return fReady;
	fTried = true;

	if (!_LoadLookups())
		return false;

	// FT_Init_FreeType would also apply FREETYPE_PROPERTIES from the
	// environment, which can change how glyphs come out; building the
	// library by hand leaves that step out.
	static FT_MemoryRec_ sMemory = { nullptr, &Allocate, &Free, &Reallocate };
	if (FT_New_Library(&sMemory, &fLibrary) != 0) {
		fLibrary = nullptr;
		return false;
	}
	FT_Add_Default_Modules(fLibrary);
	// The interpreter that hints vertically only; FreeType builds may
	// default to another.
	FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
	FT_Property_Set(fLibrary, "truetype", "interpreter-version",
		&interpreter);
	// CFF and Type 1 fonts have their own hinter; stem darkening would
	// thicken their small text, and its default has changed between
	// FreeType releases.
	FT_Bool noDarkening = 1;
	FT_Property_Set(fLibrary, "cff", "no-stem-darkening", &noDarkening);
	FT_Property_Set(fLibrary, "type1", "no-stem-darkening", &noDarkening);
	FT_Property_Set(fLibrary, "t1cid", "no-stem-darkening", &noDarkening);

	fReady = true;
	return true;
}

// A configuration of the engine's own, not fontconfig's current one:
// something else in the process (a title bar's toolkit) may use that, and
// this one can go once the fonts the windows need have been found.
bool
FontEngine::_LoadLookups()
{
	if (fConfig == nullptr)
		fConfig = FcInitLoadConfigAndFonts();
	return fConfig != nullptr;
}

void
FontEngine::ReleaseLookups()
{
	std::lock_guard<std::mutex> lock(fLock);
	if (fConfig != nullptr)
		FcConfigDestroy(fConfig);
	fConfig = nullptr;
}

int32
FontEngine::_FaceFor(const BFont& font)
{
	if (!_Initialise()) {
		_ReportMissing();
		return -1;
	}

	FaceRequest request{ font.fFamily, font.fStyleFromFace ? "" : font.fStyle,
		(font.fFace & B_BOLD_FACE) != 0, (font.fFace & B_ITALIC_FACE) != 0 };
	auto found = fRequests.find(request);
	if (found != fRequests.end())
		return found->second;

	// The family asked for if it is installed, else the system's sans-serif
	// in the same weight and slant, else whatever fontconfig offers at all.
	int32 face = -1;
	if (!request.family.empty())
		face = _Match(request, false);
	if (face < 0)
		face = _Match(request, true);
	if (face < 0)
		_ReportMissing();
	fRequests.emplace(request, face);
	return face;
}

// Matches the requested family and style, or with fallback set, the
// fallback family in the requested weight and slant.
int32
FontEngine::_Match(const FaceRequest& request, bool fallback)
{
	const char* family = fallback ? kFallbackFamily : request.family.c_str();
	// Loaded again if it was let go and a font not asked for before is.
	if (!_LoadLookups())
		return -1;
	FcPattern* pattern = FcPatternCreate();
	if (pattern == nullptr)
		return -1;
	FcPatternAddString(pattern, FC_FAMILY,
		reinterpret_cast<const FcChar8*>(family));
	if (!request.style.empty() && !fallback) {
		FcPatternAddString(pattern, FC_STYLE,
			reinterpret_cast<const FcChar8*>(request.style.c_str()));
	}
	FcPatternAddInteger(pattern, FC_WEIGHT,
		request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
	FcPatternAddInteger(pattern, FC_SLANT,
		request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
	FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
	FcConfigSubstitute(fConfig, pattern, FcMatchPattern);
	FcDefaultSubstitute(pattern);

	FcResult result = FcResultNoMatch;
	FcPattern* match = FcFontMatch(fConfig, pattern, &result);
	FcPatternDestroy(pattern);
	if (match == nullptr)
		return -1;

	int32 face = -1;
	// fontconfig always offers something; only the family asked for counts
	// as found, or anything at all for the fallback.
	bool familyFound = fallback;
	FcChar8* name = nullptr;
	for (int i = 0; !familyFound
			&& FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch;
			i++) {
		familyFound = FcStrCmpIgnoreCase(name,
			reinterpret_cast<const FcChar8*>(family)) == 0;
	}
	FcChar8* path = nullptr;
	if (familyFound
		&& FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
		int index = 0;
		FcPatternGetInteger(match, FC_INDEX, 0, &index);
		// fontconfig asks for synthetic bold when a family has no bold
		// face of its own.
		FcBool embolden = FcFalse;
		FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
		face = _Open(reinterpret_cast<const char*>(path), index,
			embolden == FcTrue);
	}
	FcPatternDestroy(match);
	return face;
}

int32
FontEngine::_Open(const char* path, int32 index, bool embolden)
{
	for (size_t i = 0; i < fFaces.size(); i++) {
		if (fFaces[i].path == path && fFaces[i].index == index
			&& fFaces[i].embolden == embolden) {
			return int32(i);
		}
	}

	FT_Face face = nullptr;
	if (FT_New_Face(fLibrary, path, index, &face) != 0)
		return -1;
	if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
		FT_Done_Face(face);
		return -1;
	}
	FT_Select_Charmap(face, FT_ENCODING_UNICODE);

	LoadedFace loaded;
	loaded.path = path;
	loaded.index = index;
	loaded.face = face;
	loaded.embolden = embolden;
	fFaces.push_back(loaded);
	return int32(fFaces.size() - 1);
}

bool
FontEngine::_SetSize(int32 faceIndex, int32 size)
{
	LoadedFace& face = fFaces[faceIndex];
	if (face.size == size)
		return true;
	// Points at 72 dpi: one point is one pixel.
	if (FT_Set_Char_Size(face.face, 0, size, 72, 72) != 0) {
		face.size = -1;
		return false;
	}
	face.size = size;
	return true;
}

GlyphRef
FontEngine::_Glyph(int32 faceIndex, int32 size, uint32 codePoint)
{
	LoadedFace& face = fFaces[faceIndex];
	// Index 0 is the face's .notdef glyph, which is what a character the
	// font does not have is drawn as.
	FT_UInt glyphIndex = FT_Get_Char_Index(face.face, codePoint);
	GlyphKey key{ faceIndex, size, glyphIndex };
	auto found = fGlyphs.find(key);
	if (found != fGlyphs.end())
		return found->second;

	GlyphRef glyph = _Render(face, glyphIndex);
	size_t bytes = glyph->coverage.size() + sizeof(Glyph) + 64;
	if (fCacheBytes + bytes > kGlyphCacheBudget) {
		fGlyphs.clear();
		fCacheBytes = 0;
	}
	fGlyphs.emplace(key, glyph);
	fCacheBytes += bytes;
	return glyph;
}

GlyphRef
FontEngine::_Render(LoadedFace& face, FT_UInt glyphIndex)
{
	FT_Error error = FT_Load_Glyph(face.face, glyphIndex, kLoadFlags);
	if (error != 0 && glyphIndex != 0)
		error = FT_Load_Glyph(face.face, 0, kLoadFlags);
	if (error != 0)
		return fEmptyGlyph;

	FT_GlyphSlot slot = face.face->glyph;
	std::shared_ptr<Glyph> glyph = std::make_shared<Glyph>();
	// linearHoriAdvance is the unhinted advance in 16.16 pixels.
	glyph->advance = int32((slot->linearHoriAdvance + 512) >> 10);

	if (face.embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
		// Widen sideways only, so that the hinted rows stay where they
		// are, and give the glyph the room it grew by.
		FT_Pos strength = FT_MulFix(face.face->units_per_EM,
			face.face->size->metrics.y_scale) / 24;
		FT_Outline_EmboldenXY(&slot->outline, strength, 0);
		FT_Outline_Translate(&slot->outline, strength / 2, 0);
		glyph->advance += int32(strength);
	}

	if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0
		|| slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
		return glyph;
	}
	const FT_Bitmap& bitmap = slot->bitmap;
	int32 width = int32(bitmap.width);
	int32 height = int32(bitmap.rows);
	if (width <= 0 || height <= 0 || bitmap.buffer == nullptr)
		return glyph;

	glyph->left = slot->bitmap_left;
	glyph->top = slot->bitmap_top;
	glyph->width = width;
	glyph->height = height;
	glyph->coverage.resize(size_t(width) * size_t(height));
	int32 pitch = bitmap.pitch;
	for (int32 row = 0; row < height; row++) {
		// A negative pitch means the rows are stored bottom up.
		const uint8* source = pitch >= 0
			? bitmap.buffer + size_t(row) * size_t(pitch)
			: bitmap.buffer + size_t(height - 1 - row) * size_t(-pitch);
		memcpy(glyph->coverage.data() + size_t(row) * size_t(width), source,
			size_t(width));
	}
	return glyph;
}

void
FontEngine::_ReportMissing()
{
	if (fReported)
		return;
	fReported = true;
	fprintf(stderr, "Belvo: no usable font found through fontconfig (wanted "
		"DejaVu Sans or any sans-serif font); text will not be shown\n");
}


size_t
TextLength(const char* text, int32 length)
{
	if (text == nullptr || length == 0)
		return 0;
	if (length < 0)
		return strlen(text);
	const void* zero = memchr(text, '\0', size_t(length));
	return zero != nullptr
		? size_t(static_cast<const char*>(zero) - text) : size_t(length);
}

uint32
NextCodePoint(const char* text, size_t length, size_t* offset)
{
	const uint8* bytes = reinterpret_cast<const uint8*>(text);
	size_t i = *offset;
	uint8 lead = bytes[i++];
	if (lead < 0x80) {
		*offset = i;
		return lead;
	}

	// The ranges of well-formed UTF-8: the second byte's range narrows
	// after E0 (no overlong forms), ED (no surrogates), F0 (no overlong
	// forms) and F4 (nothing above U+10FFFF).
	uint32 codePoint;
	int32 continuation;
	uint8 low = 0x80;
	uint8 high = 0xbf;
	if (lead >= 0xc2 && lead <= 0xdf) {
		continuation = 1;
		codePoint = lead & 0x1f;
	} else if (lead >= 0xe0 && lead <= 0xef) {
		continuation = 2;
		codePoint = lead & 0x0f;
		if (lead == 0xe0)
			low = 0xa0;
		else if (lead == 0xed)
			high = 0x9f;
	} else if (lead >= 0xf0 && lead <= 0xf4) {
		continuation = 3;
		codePoint = lead & 0x07;
		if (lead == 0xf0)
			low = 0x90;
		else if (lead == 0xf4)
			high = 0x8f;
	} else {
		*offset = i;
		return kReplacementCharacter;
	}

	for (int32 k = 0; k < continuation; k++) {
		// A byte that does not fit is left for the next character.
		if (i >= length || bytes[i] < low || bytes[i] > high) {
			*offset = i;
			return kReplacementCharacter;
		}
		codePoint = (codePoint << 6) | (bytes[i++] & 0x3f);
		low = 0x80;
		high = 0xbf;
	}
	*offset = i;
	return codePoint;
}

float
DrawString(Canvas& canvas, const ClipBox& clip, const BFont& font,
	const char* utf8, int32 length, float x, float baseline,
	rgb_color color)
{
	return FontEngine::Default().Draw(canvas, clip, font, utf8, length, x,
		baseline, color);
}

void
GetFontHeight(const BFont& font, font_height* height)
{
	FontEngine::Default().Height(font, height);
}

void
ReleaseFontLookups()
{
	FontEngine::Default().ReleaseLookups();
}

bool
GetFontFileInfo(const BFont& font, FontFileInfo* info)
{
	if (info == nullptr)
		return false;
	return FontEngine::Default().FileInfo(font, info);
}

void
GetCharAdvances(const BFont& font, const char* utf8, int32 length,
	std::vector<CharAdvance>* advances)
{
	if (advances == nullptr)
		return;
	FontEngine::Default().Advances(font, utf8, length, advances);
}

} // namespace BPrivate

