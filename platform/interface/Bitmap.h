/*
 * BBitmap: an image held in memory, in one of the colour spaces the kits
 * draw from.
 *
 * Three spaces are kept: B_RGB32 and B_RGBA32 (four bytes a pixel, blue,
 * green, red and then an unused or an alpha byte) and B_CMAP8 (one byte a
 * pixel, an index into the system palette). Rows follow each other top to
 * bottom, each padded to a multiple of four bytes, so BytesPerRow() is the
 * width times four for the 32-bit spaces and the width rounded up to four
 * for B_CMAP8. A new bitmap's bytes are all zero.
 *
 * Bounds() always starts at (0, 0), whatever the left and top edges of the
 * rectangle the bitmap was made with; its width and height are taken from
 * that rectangle, with the kits' inclusive edges (0, 0, 31, 31 is 32 x 32
 * pixels). Any other colour space, an invalid or non-finite rectangle, or
 * one larger than kMaxBitmapSide pixels a side or kMaxBitmapBytes in all
 * leaves the bitmap without pixels: InitCheck() says why, IsValid() is
 * false, Bits() is null and BitsLength() is 0.
 *
 * There is no drawing into a bitmap here: acceptsViews is accepted and
 * ignored, and every bitmap's memory is contiguous.
 *
 * A bitmap has no lock: one thread changes it at a time. Drawing it only
 * reads it, so several threads may draw the same bitmap while nobody writes
 * to it. SetViewBitmap and SetIcon keep copies, so the original may be
 * deleted right after.
 */
#ifndef _BITMAP_H
#define _BITMAP_H

#include <GraphicsDefs.h>
#include <Rect.h>

class BBitmap {
public:
	static	const int32			kMaxBitmapSide = 16384;
	static	const size_t		kMaxBitmapBytes = size_t(256) << 20;

								BBitmap(BRect bounds, color_space space,
									bool acceptsViews = false,
									bool needsContiguous = false);
	virtual						~BBitmap();

			status_t			InitCheck() const;
			bool				IsValid() const;

			BRect				Bounds() const;
			void*				Bits() const;
			int32				BitsLength() const;
			int32				BytesPerRow() const;
			color_space			ColorSpace() const;

	// Copies `length` bytes of `data`, laid out in `space`, into the
	// bitmap, starting `offset` bytes into Bits(). Data in the bitmap's own
	// space is copied as it is. Other data is read as rows of the bitmap's
	// width in `space`, each padded to four bytes, and converted pixel by
	// pixel, the first source pixel landing on the pixel that `offset`
	// falls on:
	//   - B_CMAP8 into B_RGB32 or B_RGBA32 goes through the system palette,
	//     opaque, and index B_TRANSPARENT_MAGIC_CMAP8 becomes
	//     B_TRANSPARENT_MAGIC_RGBA32 (its alpha is 0);
	//   - B_RGB32 into B_RGBA32 becomes opaque, B_RGBA32 into B_RGB32 keeps
	//     its bytes, and B_RGB24 into either is made opaque;
	//   - B_RGB32, B_RGBA32 or B_RGB24 into B_CMAP8 picks the nearest palette
	//     entry; a B_RGBA32 pixel with an alpha below 128, and a B_RGB32
	//     pixel of exactly B_TRANSPARENT_MAGIC_RGBA32's colour, become
	//     B_TRANSPARENT_MAGIC_CMAP8.
	// Whatever would fall outside the bitmap is dropped; a negative length
	// or offset, null data or a space not listed does nothing.
			void				SetBits(const void* data, int32 length,
									int32 offset, color_space space);

private:
								BBitmap(const BBitmap&) = delete;
			BBitmap&			operator=(const BBitmap&) = delete;

			uint8*				fBits;
			int32				fWidth;
			int32				fHeight;
			int32				fBytesPerRow;
			color_space			fColorSpace;
			status_t			fInitStatus;
};

#endif // _BITMAP_H
