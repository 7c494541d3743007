/*
 * The text renderer behind BFont: one FreeType library and its faces behind
 * one lock, the files chosen through fontconfig, and a cache of rendered
 * glyphs shared by every thread that measures or draws.
 *
 * How text is laid out, so that it looks the same on every run and every
 * machine that has the same font file:
 *   - glyphs are loaded with fixed flags: light hinting by the font's own
 *     instructions (FreeType's v40 interpreter, no auto-hinter), which
 *     snaps horizontal edges (baseline, x-height, cap height) to whole rows
 *     so that small text stays crisp, and leaves shapes and advances
 *     unhinted across;
 *   - the pen moves by each glyph's unhinted advance in 1/64 pixels, with
 *     no kerning, so widths add up; the text's origin is rounded to the
 *     nearest whole pixel, and every glyph is placed with its origin on the
 *     whole pixel nearest the running pen position from there, so a text
 *     looks the same wherever it is drawn;
 *   - coverage is 8 bits, blended over what the canvas holds.
 * Pixel (x, y) is the unit square right and down of the point (x, y). Text
 * drawn with its baseline at y sits on row y: the bottom row of a capital
 * letter is row y, and descenders go below it.
 *
 * Every function may be called from any thread: one mutex guards FreeType,
 * the faces and the cache, and a rendered glyph is held through a shared
 * pointer, so the blending runs outside the lock. The canvas DrawString
 * writes is the caller's (a window's, by its thread or under its lock).
 */
#ifndef _PRIVATE_FONT_ENGINE_H
#define _PRIVATE_FONT_ENGINE_H

#include <string>
#include <vector>

#include <Font.h>
#include <GraphicsDefs.h>
#include <private/Canvas.h>

namespace BPrivate {

// Draws the UTF-8 text with the pen's origin at (x, baseline) in color,
// writing only pixels inside clip and the canvas, and returns the pen's
// advance, which is font.StringWidth() of the same text. length is in bytes;
// a negative length means up to the terminating zero, and a zero byte ends
// the text early in any case.
float DrawString(Canvas& canvas, const ClipBox& clip, const BFont& font,
	const char* utf8, int32 length, float x, float baseline,
	rgb_color color);

// BFont::GetHeight: the face's ascent, descent and line gap at the font's
// size, all zero when no font could be found for it.
void GetFontHeight(const BFont& font, font_height* height);

// Lets go of what finding font files takes (fontconfig's configuration and
// caches) once the fonts a program uses have been found; finding another
// later loads it again.
void ReleaseFontLookups();

// The font file a BFont is drawn with: the face's own family and style
// names, the path and the face's index in the file. Returns false when no
// font could be found for it.
struct FontFileInfo {
	std::string family;
	std::string style;
	std::string path;
	int32 index = 0;
};

bool GetFontFileInfo(const BFont& font, FontFileInfo* info);

// One character of a text and the pen's advance over it in 1/64 pixels.
struct CharAdvance {
	size_t offset;  // in bytes, into the text
	size_t bytes;
	int32 advance;
};

// The characters of the text as DrawString sees them, each with its
// advance; the sum of the advances is the text's width times 64.
void GetCharAdvances(const BFont& font, const char* utf8, int32 length,
	std::vector<CharAdvance>* advances);

// UTF-8 decoding, shared by measuring and drawing.
const uint32 kReplacementCharacter = 0xfffd;

// The number of bytes of text to read: up to length, or to the first zero
// byte if that comes first; a negative length means up to the zero. Null
// text has none.
size_t TextLength(const char* text, int32 length);

// Decodes the character at *offset (which must be below length) and moves
// *offset past it. A malformed or truncated sequence gives
// kReplacementCharacter, one for each maximal ill-formed part (the lead
// byte and whatever continuation bytes fit it), and nothing at or beyond
// length is read.
uint32 NextCodePoint(const char* text, size_t length, size_t* offset);

} // namespace BPrivate

#endif // _PRIVATE_FONT_ENGINE_H
