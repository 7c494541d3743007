/*
 * Fonts: a family, a style, a face and a size, measured and drawn through
 * FreeType with the font file fontconfig picks for them.
 *
 * Sizes are in pixels per em (points at 72 dpi, as the kits have always
 * counted them). The plain font is DejaVu Sans at 10, the bold font DejaVu
 * Sans Bold at 10: at that size a capital letter is 7 pixels high, which is
 * what the look's 20-pixel menu fields are drawn around. When the family is
 * not installed, the system's sans-serif font stands in for it; when no font
 * can be found at all, text measures 0 and draws nothing.
 *
 * A BFont is a plain value: copy it freely and use copies on any thread.
 *
 * Measuring and drawing go through the font engine, which takes its own
 * lock.
 */
#ifndef _FONT_H
#define _FONT_H

#include <string>

#include <SupportDefs.h>

namespace BPrivate {
class FontEngine;
}

const int32 B_FONT_FAMILY_LENGTH = 63;
const int32 B_FONT_STYLE_LENGTH = 63;
typedef char font_family[B_FONT_FAMILY_LENGTH + 1];
typedef char font_style[B_FONT_STYLE_LENGTH + 1];

// Faces. Only bold and italic choose a different font file; the others are
// accepted and dropped.
enum {
	B_ITALIC_FACE = 0x0001,
	B_UNDERSCORE_FACE = 0x0002,
	B_NEGATIVE_FACE = 0x0004,
	B_OUTLINED_FACE = 0x0008,
	B_STRIKEOUT_FACE = 0x0010,
	B_BOLD_FACE = 0x0020,
	B_REGULAR_FACE = 0x0040,
};

// Where TruncateString takes characters out. B_TRUNCATE_SMART is taken as
// B_TRUNCATE_MIDDLE.
enum {
	B_TRUNCATE_BEGINNING = 0,
	B_TRUNCATE_MIDDLE = 1,
	B_TRUNCATE_END = 2,
	B_TRUNCATE_SMART = 3,
};

// Distances from the baseline, in pixels: ascent up, descent down, and
// leading, the gap the font asks for between one line's descent and the
// next line's ascent.
struct font_height {
	float ascent;
	float descent;
	float leading;
};

class BFont {
public:
	static constexpr float kMinSize = 1.0f;
	static constexpr float kMaxSize = 500.0f;

	// A copy of the plain font.
	BFont();
	BFont(const BFont& font) = default;
	// A copy of *font, or of the plain font when font is null.
	BFont(const BFont* font);
	BFont& operator=(const BFont& font) = default;

	// Sets the family and style by name, best effort: a null family or
	// style keeps the current one, and a name too long for font_family or
	// font_style is cut at a character boundary. The face follows the style
	// name: "Bold" in it makes the font bold, "Italic" or "Oblique" italic.
	void SetFamilyAndStyle(const char* family, const char* style);
	// Sets the family by name (null keeps it) and the face, as SetFace does.
	void SetFamilyAndFace(const char* family, uint16 face);
	void GetFamilyAndStyle(font_family* family, font_style* style) const;

	// In pixels, clamped to kMinSize .. kMaxSize; NaN leaves the size as it
	// was.
	void SetSize(float size);
	float Size() const;

	// B_REGULAR_FACE, or B_BOLD_FACE and/or B_ITALIC_FACE. Choosing a face
	// replaces the style name with the generic one of that face.
	void SetFace(uint16 face);
	uint16 Face() const;

	// The pen's advance over the UTF-8 text; a negative length means up to
	// the terminating zero, and a zero byte ends the text early in any case.
	// Widths add up: the width of "ab" is the width of "a" plus that of "b".
	float StringWidth(const char* string) const;
	float StringWidth(const char* string, int32 length) const;

	void GetHeight(font_height* height) const;

	// Shortens *string until it is at most width pixels wide, putting an
	// ellipsis where characters went out; mode says where that is. A string
	// that fits is left alone, one whose ellipsis alone does not fit
	// becomes empty.
	void TruncateString(std::string* string, uint32 mode, float width) const;

	bool operator==(const BFont& other) const;
	bool operator!=(const BFont& other) const { return !(*this == other); }

private:
	friend class BPrivate::FontEngine;
	friend struct BFontStatics;

	constexpr BFont(const char* family, const char* style, uint16 face,
		float size);

	void _SetStyleFromFace();

	font_family fFamily;
	font_style fStyle;
	uint16 fFace;
	bool fStyleFromFace;
	float fSize;
};

extern const BFont* be_plain_font;
extern const BFont* be_bold_font;

#endif // _FONT_H
