/*
 * The software rasteriser behind BView's drawing calls: lines, rectangles,
 * triangles, anti-aliased ellipses, text and bitmaps, put into a canvas and
 * never outside the clip box (which is held to the canvas's bounds).
 *
 * A painter knows nothing of windows or views: it is handed the canvas, the
 * clip and the origin, the canvas pixel that coordinate (0, 0) falls on.
 * Coordinates given to it are rounded to whole pixels as BView's are (pixel
 * centres on whole coordinates, halves going right and down) and then moved
 * by the origin. It remembers the box of pixels it touched, so that drawing
 * outside an update can show just that.
 *
 * At a scale above 1 (the desktop's, see DesktopScale.h) the canvas is in
 * device pixels and each of the kits' pixels covers the device pixels that
 * PixelScale gives it (a square of them at a whole scale): coordinates, the
 * origin and the pixels of X() and Y() stay the kits', while the clip,
 * Touch(), Plot() and FillBox() are in the canvas's own pixels. Lines and
 * frames come out as thick as the scale, in solid device pixels, text is
 * rendered at the scaled size, bitmaps are blown up by whole pixels.
 *
 * Bitmaps are put down by BitmapPainter's functions, which keep the same
 * promise and serve on their own where no painter is needed.
 *
 * A painter has no lock and no shared state: it lives on the stack of the
 * one thread that draws (a window's own, or one holding the window's lock),
 * and the canvas is that thread's to write.
 */
#ifndef _PRIVATE_PAINTER_H
#define _PRIVATE_PAINTER_H

#include <GraphicsDefs.h>
#include <Rect.h>

#include <private/Canvas.h>

class BBitmap;
class BFont;

namespace BPrivate {

class Painter {
public:
	Painter(Canvas& canvas, const ClipBox& clip, int32 originX = 0,
		int32 originY = 0, PixelScale scale = PixelScale());

	// False when nothing can be drawn: no pixels, or an empty clip.
	bool IsValid() const { return fValid; }
	const ClipBox& Clip() const { return fClip; }
	Canvas& Target() { return fCanvas; }

	void SetHighColor(rgb_color color) { fHighColor = color; }
	void SetLowColor(rgb_color color) { fLowColor = color; }
	void SetDrawingMode(drawing_mode mode) { fDrawingMode = mode; }

	// The canvas pixel of a coordinate, and a coordinate in the canvas's
	// own (unrounded) terms, both before scaling.
	int32 X(float x) const { return PixelOf(x) + fOriginX; }
	int32 Y(float y) const { return PixelOf(y) + fOriginY; }
	float CanvasX(float x) const { return x + fOriginX; }
	float CanvasY(float y) const { return y + fOriginY; }
	// The canvas's pixels that a box of X() and Y() pixels covers.
	ClipBox DeviceBox(const ClipBox& box) const
		{ return ScaledBox(box, fScale); }
	PixelScale Scale() const { return fScale; }

	// What has been drawn so far, within the clip; empty if nothing.
	const ClipBox& Touched() const { return fTouched; }
	// Counts `box` (canvas pixels) as drawn.
	void Touch(ClipBox box);

	// The pixel at (x, y) of the canvas, by the pattern and drawing mode;
	// the pattern's cells are pixels before scaling.
	void Plot(int32 x, int32 y, const pattern& fill);
	// A box of canvas pixels.
	void FillBox(ClipBox box, const pattern& fill);

	void StrokeLine(BPoint from, BPoint to, const pattern& fill);
	// An inverted rectangle draws nothing.
	void StrokeRect(BRect rect, const pattern& fill);
	void FillRect(BRect rect, const pattern& fill);
	// A triangle with no area draws nothing.
	void FillTriangle(BPoint a, BPoint b, BPoint c, const pattern& fill);
	// Within the rectangle's pixels, in the high colour, blended by how much
	// of each pixel the ellipse (or its one-pixel rim) covers.
	void FillEllipse(BRect rect);
	void StrokeEllipse(BRect rect);
	// Text in the high colour with the pen's origin at `where`; returns the
	// advance. It is not counted as touched: the caller knows the font's
	// height, where the painter would have to ask for it.
	float DrawString(const BFont& font, const char* string, int32 length,
		BPoint where);
	// The bitmap's top-left pixel at `where`.
	void DrawBitmap(const BBitmap& bitmap, BPoint where);

private:
	void _PaintEllipse(BRect rect, bool rimOnly);
	bool _Unscaled() const { return fScale == PixelScale(); }

	Canvas& fCanvas;
	ClipBox fClip;
	ClipBox fTouched = { 0, 0, -1, -1 };
	int32 fOriginX;
	int32 fOriginY;
	PixelScale fScale;
	bool fValid;
	rgb_color fHighColor = { 0, 0, 0, 255 };
	rgb_color fLowColor = { 255, 255, 255, 255 };
	drawing_mode fDrawingMode = B_OP_COPY;
};

} // namespace BPrivate

#endif // _PRIVATE_PAINTER_H
