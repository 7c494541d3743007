/*
 * BFont as a value: names, face and size. Measuring goes to the font engine.
 */
#include <Font.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <strings.h>

#include <private/FontEngine.h>

namespace {

constexpr const char kPlainFamily[] = "DejaVu Sans";
constexpr float kPlainSize = 10.0f;

// Copies a name into a fixed buffer of capacity bytes, cutting it at a
// character boundary when it is too long, so the name stays valid UTF-8.
void
CopyName(char* buffer, size_t capacity, const char* name)
{
	size_t length = strnlen(name, capacity);
	if (length >= capacity) {
		length = capacity - 1;
		while (length > 0 && (uint8(name[length]) & 0xc0) == 0x80)
			length--;
	}
	memcpy(buffer, name, length);
	buffer[length] = '\0';
}

bool
Contains(const char* text, const char* word)
{
	// Style names are short ASCII words, so a plain case-insensitive search
	// is enough.
	size_t wordLength = strlen(word);
	for (const char* p = text; *p != '\0'; p++) {
		if (strncasecmp(p, word, wordLength) == 0)
			return true;
	}
	return false;
}

uint16
NormalizedFace(uint16 face)
{
	uint16 normal = face & (B_BOLD_FACE | B_ITALIC_FACE);
	return normal != 0 ? normal : uint16(B_REGULAR_FACE);
}

} // namespace

constexpr
BFont::BFont(const char* family, const char* style, uint16 face, float size)
	:
	fFamily{},
	fStyle{},
	fFace(face),
	fStyleFromFace(true),
	fSize(size)
{
	for (int32 i = 0; i < B_FONT_FAMILY_LENGTH && family[i] != '\0'; i++)
		fFamily[i] = family[i];
	for (int32 i = 0; i < B_FONT_STYLE_LENGTH && style[i] != '\0'; i++)
		fStyle[i] = style[i];
}

// The two fonts every program starts from, built at compile time so that
// they are usable from any other file's static constructors.
struct BFontStatics {
	static constexpr BFont kPlain{ kPlainFamily, "Regular", B_REGULAR_FACE,
		kPlainSize };
	static constexpr BFont kBold{ kPlainFamily, "Bold", B_BOLD_FACE,
		kPlainSize };
};

const BFont* be_plain_font = &BFontStatics::kPlain;
const BFont* be_bold_font = &BFontStatics::kBold;


BFont::BFont()
	:
	BFont(BFontStatics::kPlain)
{
}

BFont::BFont(const BFont* font)
	:
	BFont(font != nullptr ? *font : BFontStatics::kPlain)
{
}

void
BFont::SetFamilyAndStyle(const char* family, const char* style)
{
	if (family != nullptr)
		CopyName(fFamily, sizeof(fFamily), family);
	if (style != nullptr) {
		CopyName(fStyle, sizeof(fStyle), style);
		fStyleFromFace = false;
		uint16 face = 0;
		if (Contains(fStyle, "bold"))
			face |= B_BOLD_FACE;
		if (Contains(fStyle, "italic") || Contains(fStyle, "oblique"))
			face |= B_ITALIC_FACE;
		fFace = NormalizedFace(face);
	}
}

void
BFont::SetFamilyAndFace(const char* family, uint16 face)
{
	if (family != nullptr)
		CopyName(fFamily, sizeof(fFamily), family);
	SetFace(face);
}

void
BFont::GetFamilyAndStyle(font_family* family, font_style* style) const
{
	if (family != nullptr)
		memcpy(*family, fFamily, sizeof(fFamily));
	if (style != nullptr)
		memcpy(*style, fStyle, sizeof(fStyle));
}

void
BFont::SetSize(float size)
{
	if (std::isnan(size))
		return;
	fSize = std::min(std::max(size, kMinSize), kMaxSize);
}

float
BFont::Size() const
{
	return fSize;
}

void
BFont::SetFace(uint16 face)
{
	fFace = NormalizedFace(face);
	_SetStyleFromFace();
}

uint16
BFont::Face() const
{
	return fFace;
}

float
BFont::StringWidth(const char* string) const
{
	return StringWidth(string, -1);
}

float
BFont::StringWidth(const char* string, int32 length) const
{
	std::vector<BPrivate::CharAdvance> advances;
	BPrivate::GetCharAdvances(*this, string, length, &advances);
	int64 width = 0;
	for (const BPrivate::CharAdvance& advance : advances)
		width += advance.advance;
	return float(width) / 64.0f;
}

void
BFont::TruncateString(std::string* string, uint32 mode, float width) const
{
	if (string == nullptr)
		return;

	std::vector<BPrivate::CharAdvance> chars;
	BPrivate::GetCharAdvances(*this, string->c_str(), int32(std::min(
		string->size(), size_t(INT32_MAX))), &chars);

	// Everything in 1/64 pixels, as the advances come. Text whose width is
	// within the limit fits, so the limit rounds down.
	int64 limit = 0;
	if (width > 0)
		limit = width >= 1e9f ? int64(1e9) * 64 : int64(std::floor(width * 64));
	int64 total = 0;
	for (const BPrivate::CharAdvance& c : chars)
		total += c.advance;
	if (total <= limit)
		return;

	static const char kEllipsis[] = "\xe2\x80\xa6";
	std::vector<BPrivate::CharAdvance> ellipsis;
	BPrivate::GetCharAdvances(*this, kEllipsis, -1, &ellipsis);
	int64 budget = limit;
	for (const BPrivate::CharAdvance& c : ellipsis)
		budget -= c.advance;
	if (budget < 0 || chars.empty()) {
		string->clear();
		return;
	}

	// Keep chars [0, head) and [tail, size).
	size_t head = 0;
	size_t tail = chars.size();
	int64 used = 0;
	auto fits = [&](size_t index) {
		return used + chars[index].advance <= budget;
	};
	switch (mode) {
		case B_TRUNCATE_BEGINNING:
			while (tail > 0 && fits(tail - 1))
				used += chars[--tail].advance;
			break;
		case B_TRUNCATE_END:
			while (head < tail && fits(head))
				used += chars[head++].advance;
			break;
		case B_TRUNCATE_MIDDLE:
		case B_TRUNCATE_SMART:
		default:
		{
			// Alternate between the ends, the front first, so that both
			// keep about the same number of characters.
			bool front = true;
			bool frontDone = false;
			bool backDone = false;
			while (head < tail && !(frontDone && backDone)) {
				if (front && !frontDone) {
					if (fits(head))
						used += chars[head++].advance;
					else
						frontDone = true;
				} else if (!front && !backDone) {
					if (fits(tail - 1))
						used += chars[--tail].advance;
					else
						backDone = true;
				}
				front = !front;
			}
			break;
		}
	}

	std::string result;
	size_t headBytes = head > 0 ? chars[head - 1].offset + chars[head - 1].bytes
		: 0;
	result.append(*string, 0, headBytes);
	result += kEllipsis;
	if (tail < chars.size())
		result.append(*string, chars[tail].offset, std::string::npos);
	*string = result;
}

void
BFont::GetHeight(font_height* height) const
{
	if (height == nullptr)
		return;
	BPrivate::GetFontHeight(*this, height);
}

bool
BFont::operator==(const BFont& other) const
{
	return strcmp(fFamily, other.fFamily) == 0
		&& strcmp(fStyle, other.fStyle) == 0 && fFace == other.fFace
		&& fStyleFromFace == other.fStyleFromFace && fSize == other.fSize;
}

void
BFont::_SetStyleFromFace()
{
	const char* style = "Regular";
	if ((fFace & B_BOLD_FACE) != 0 && (fFace & B_ITALIC_FACE) != 0)
		style = "Bold Italic";
	else if ((fFace & B_BOLD_FACE) != 0)
		style = "Bold";
	else if ((fFace & B_ITALIC_FACE) != 0)
		style = "Italic";
	CopyName(fStyle, sizeof(fStyle), style);
	fStyleFromFace = true;
}
