/*
 * Puts a bitmap's pixels into a window's canvas, unscaled or blown up as
 * the desktop's scale asks: each bitmap pixel takes the canvas pixels that
 * PixelScale gives one of the kits' pixels (a square of them at a whole
 * scale), counted from the copy's top-left corner, which must be where one
 * of the kits' pixels starts. Nothing is smoothed.
 *
 * How each colour space is put down:
 *   B_RGB32   copied, opaque (the unused fourth byte is ignored);
 *   B_RGBA32  blended over what is there by its alpha (0 leaves the canvas
 *             as it was, 255 replaces it);
 *   B_CMAP8   mapped through the system palette, opaque, except that
 *             B_TRANSPARENT_MAGIC_CMAP8 pixels are skipped.
 * Nothing is written outside the clip box intersected with the canvas; an
 * invalid bitmap draws nothing.
 *
 * No state of their own (the palette is a constant built once): any thread
 * may call them, on a canvas that thread may write.
 */
#ifndef _PRIVATE_BITMAP_PAINTER_H
#define _PRIVATE_BITMAP_PAINTER_H

#include <Bitmap.h>

#include <private/Canvas.h>

namespace BPrivate {

// The bitmap's top-left pixel lands on (destX, destY) of the canvas.
void DrawBitmap(Canvas& canvas, const ClipBox& clip, const BBitmap& bitmap,
	int32 destX, int32 destY, PixelScale scale = PixelScale());

// One copy of the bitmap sits with its top-left pixel on (originX,
// originY). With B_TILE_BITMAP_X in `options` copies repeat to the left and
// right of it, with B_TILE_BITMAP_Y above and below, with both (that is
// B_TILE_BITMAP) across the whole clip; with neither only the one copy is
// drawn.
void TileBitmap(Canvas& canvas, const ClipBox& clip, const BBitmap& bitmap,
	int32 originX, int32 originY, uint32 options,
	PixelScale scale = PixelScale());

} // namespace BPrivate

#endif // _PRIVATE_BITMAP_PAINTER_H
