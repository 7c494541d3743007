/*
 * The rasteriser: runs on whichever thread draws (a window's own, holding
 * its lock), on a canvas and clip it was handed.
 */
#include <private/Painter.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <Bitmap.h>
#include <Font.h>
#include <private/BitmapPainter.h>
#include <private/FontEngine.h>

namespace BPrivate {

namespace {

// Coverage, 0 to 255, of the pixel centred at (x, y) by the ellipse (filled,
// or, with a rim above 0, only its rim that many pixels wide), from 4 x 4
// samples.
uint32
EllipseCoverage(double x, double y, double cx, double cy, double rx,
	double ry, double rim)
{
	int inside = 0;
	for (int sy = 0; sy < 4; sy++) {
		for (int sx = 0; sx < 4; sx++) {
			double px = x - 0.375 + sx * 0.25 - cx;
			double py = y - 0.375 + sy * 0.25 - cy;
			double outer = (px * px) / (rx * rx) + (py * py) / (ry * ry);
			if (outer > 1)
				continue;
			if (rim > 0 && rx > rim && ry > rim) {
				double inner = (px * px) / ((rx - rim) * (rx - rim))
					+ (py * py) / ((ry - rim) * (ry - rim));
				if (inner < 1)
					continue;
			}
			inside++;
		}
	}
	return uint32(inside * 255 / 16);
}

} // namespace

Painter::Painter(Canvas& canvas, const ClipBox& clip, int32 originX,
	int32 originY, PixelScale scale)
	:
	fCanvas(canvas),
	fClip(clip.Intersect(canvas.Bounds())),
	fOriginX(originX),
	fOriginY(originY),
	fScale(scale),
	fValid(canvas.pixels != nullptr && !fClip.IsEmpty())
{
}

void
Painter::Touch(ClipBox box)
{
	box = box.Intersect(fClip);
	if (box.IsEmpty())
		return;
	fTouched = fTouched.IsEmpty() ? box : fTouched.Union(box);
}

void
Painter::Plot(int32 x, int32 y, const pattern& fill)
{
	if (!fValid || !fClip.Contains(x, y))
		return;
	int32 cellX = fScale.PixelAt(x), cellY = fScale.PixelAt(y);
	bool high = (fill.data[cellY & 7] & (0x80 >> (cellX & 7))) != 0;
	if (!high && fDrawingMode == B_OP_OVER)
		return;
	rgb_color color = high ? fHighColor : fLowColor;
	uint32* pixel = fCanvas.Row(y) + x;
	if (fDrawingMode == B_OP_ALPHA)
		*pixel = BlendPixel(*pixel, color, color.alpha);
	else if (fDrawingMode == B_OP_INVERT)
		*pixel = (*pixel ^ 0x00ffffffu) | 0xff000000u;
	else
		*pixel = PackColor(color);
}

void
Painter::FillBox(ClipBox box, const pattern& fill)
{
	box = box.Intersect(fClip);
	if (!fValid || box.IsEmpty())
		return;
	Touch(box);
	bool solidHigh = memcmp(&fill, &B_SOLID_HIGH, sizeof(pattern)) == 0;
	if (solidHigh
		&& (fDrawingMode == B_OP_COPY || fDrawingMode == B_OP_OVER)) {
		uint32 value = PackColor(fHighColor);
		for (int32 y = box.top; y <= box.bottom; y++)
			std::fill(fCanvas.Row(y) + box.left,
				fCanvas.Row(y) + box.right + 1, value);
		return;
	}
	for (int32 y = box.top; y <= box.bottom; y++) {
		for (int32 x = box.left; x <= box.right; x++)
			Plot(x, y, fill);
	}
}

void
Painter::StrokeLine(BPoint from, BPoint to, const pattern& fill)
{
	if (!fValid)
		return;
	int32 x0 = X(from.x), y0 = Y(from.y);
	int32 x1 = X(to.x), y1 = Y(to.y);
	ClipBox extent = DeviceBox(ClipBox{ std::min(x0, x1), std::min(y0, y1),
		std::max(x0, x1), std::max(y0, y1) });
	Touch(extent);
	// Lines far outside the clip are dropped before stepping, so a huge
	// coordinate cannot make us walk millions of pixels.
	if (extent.right < fClip.left || extent.left > fClip.right
		|| extent.bottom < fClip.top || extent.top > fClip.bottom)
		return;
	int64 dx = std::abs(int64(x1) - x0), dy = -std::abs(int64(y1) - y0);
	int32 sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
	int64 error = dx + dy;
	int64 steps = std::max(dx, -dy);
	if (steps > 65536)
		return;
	for (;;) {
		if (_Unscaled())
			Plot(x0, y0, fill);
		else
			FillBox(DeviceBox(ClipBox{ x0, y0, x0, y0 }), fill);
		if (x0 == x1 && y0 == y1)
			break;
		int64 twice = 2 * error;
		if (twice >= dy) {
			error += dy;
			x0 += sx;
		}
		if (twice <= dx) {
			error += dx;
			y0 += sy;
		}
	}
}

void
Painter::StrokeRect(BRect rect, const pattern& fill)
{
	if (!rect.IsValid() || !fValid)
		return;
	int32 left = X(rect.left), top = Y(rect.top);
	int32 right = X(rect.right), bottom = Y(rect.bottom);
	FillBox(DeviceBox(ClipBox{ left, top, right, top }), fill);
	FillBox(DeviceBox(ClipBox{ left, bottom, right, bottom }), fill);
	FillBox(DeviceBox(ClipBox{ left, top, left, bottom }), fill);
	FillBox(DeviceBox(ClipBox{ right, top, right, bottom }), fill);
}

void
Painter::FillRect(BRect rect, const pattern& fill)
{
	if (!rect.IsValid() || !fValid)
		return;
	FillBox(DeviceBox(ClipBox{ X(rect.left), Y(rect.top), X(rect.right),
		Y(rect.bottom) }), fill);
}

void
Painter::FillTriangle(BPoint a, BPoint b, BPoint c, const pattern& fill)
{
	if (!fValid)
		return;
	// Pixel centres lie on whole coordinates; a pixel is filled when its
	// centre is inside the triangle or on its edges.
	double ax = CanvasX(a.x), ay = CanvasY(a.y);
	double bx = CanvasX(b.x), by = CanvasY(b.y);
	double cx = CanvasX(c.x), cy = CanvasY(c.y);
	double area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
	if (area == 0 || !std::isfinite(area))
		return;
	// Scaled, the pixels are still chosen so, each then filled as its
	// square of device pixels (as a line's are); those the clip holds any
	// device pixel of are looked at.
	ClipBox clip = _Unscaled() ? fClip : ClipBox{ fScale.PixelAt(fClip.left),
		fScale.PixelAt(fClip.top), fScale.PixelAt(fClip.right),
		fScale.PixelAt(fClip.bottom) };
	ClipBox box = ClipBox{
		int32(std::max<double>(std::floor(std::min({ ax, bx, cx })), -1e6)),
		int32(std::max<double>(std::floor(std::min({ ay, by, cy })), -1e6)),
		int32(std::min<double>(std::ceil(std::max({ ax, bx, cx })), 1e6)),
		int32(std::min<double>(std::ceil(std::max({ ay, by, cy })), 1e6)) }
		.Intersect(clip);
	if (box.IsEmpty())
		return;
	Touch(DeviceBox(box));
	const double epsilon = 1e-6 * std::fabs(area);
	for (int32 y = box.top; y <= box.bottom; y++) {
		for (int32 x = box.left; x <= box.right; x++) {
			double w0 = (bx - ax) * (y - ay) - (by - ay) * (x - ax);
			double w1 = (cx - bx) * (y - by) - (cy - by) * (x - bx);
			double w2 = (ax - cx) * (y - cy) - (ay - cy) * (x - cx);
			if (area < 0) {
				w0 = -w0;
				w1 = -w1;
				w2 = -w2;
			}
			if (w0 < -epsilon || w1 < -epsilon || w2 < -epsilon)
				continue;
			if (_Unscaled())
				Plot(x, y, fill);
			else
				FillBox(DeviceBox(ClipBox{ x, y, x, y }), fill);
		}
	}
}

void
Painter::FillEllipse(BRect rect)
{
	_PaintEllipse(rect, false);
}

void
Painter::StrokeEllipse(BRect rect)
{
	_PaintEllipse(rect, true);
}

void
Painter::_PaintEllipse(BRect rect, bool rimOnly)
{
	if (!rect.IsValid() || !fValid)
		return;
	// The ellipse covers the rectangle's pixels: from the left edge of its
	// first pixel to the right edge of its last.
	double left = CanvasX(rect.left) - 0.5;
	double top = CanvasY(rect.top) - 0.5;
	double right = CanvasX(rect.right) + 0.5;
	double bottom = CanvasY(rect.bottom) + 0.5;
	const double factor = fScale.Factor();
	if (!_Unscaled()) {
		// Pixel edges, to the same edges on the device.
		left = (left + 0.5) * factor - 0.5;
		top = (top + 0.5) * factor - 0.5;
		right = (right + 0.5) * factor - 0.5;
		bottom = (bottom + 0.5) * factor - 0.5;
	}
	double cx = (left + right) / 2, cy = (top + bottom) / 2;
	double rx = (right - left) / 2, ry = (bottom - top) / 2;
	ClipBox box = DeviceBox(ClipBox{ X(rect.left), Y(rect.top), X(rect.right),
		Y(rect.bottom) }).Intersect(fClip);
	if (box.IsEmpty())
		return;
	Touch(box);
	for (int32 y = box.top; y <= box.bottom; y++) {
		uint32* row = fCanvas.Row(y);
		for (int32 x = box.left; x <= box.right; x++) {
			uint32 coverage = EllipseCoverage(x, y, cx, cy, rx, ry,
				rimOnly ? factor : 0);
			if (coverage > 0)
				row[x] = BlendPixel(row[x], fHighColor, coverage);
		}
	}
}

float
Painter::DrawString(const BFont& font, const char* string, int32 length,
	BPoint where)
{
	if (string == nullptr)
		return 0;
	if (!fValid)
		return font.StringWidth(string, length);
	if (_Unscaled()) {
		return BPrivate::DrawString(fCanvas, fClip, font, string, length,
			CanvasX(where.x), CanvasY(where.y), fHighColor);
	}
	// FreeType renders the text at the device's size, hinted there, rather
	// than blowing the small size up. The pen starts on the left edge of
	// its pixel's device pixels, and the baseline row (the one capitals
	// stand on) is their bottom row. The pen moves by the unscaled text's
	// width, so that what follows lands where it does at scale 1.
	const float factor = float(fScale.Factor());
	BFont scaled(font);
	scaled.SetSize(font.Size() * factor);
	float baseline;
	if (fScale.IsWhole())
		baseline = (CanvasY(where.y) + 1) * factor - 1;
	else
		baseline = float(fScale.Start(int64(PixelOf(CanvasY(where.y))) + 1) - 1);
	float penX = CanvasX(where.x) * factor;
	if (!fScale.IsWhole()) {
		int32 pixel = PixelOf(CanvasX(where.x));
		penX = float(fScale.Start(pixel))
			+ (CanvasX(where.x) - float(pixel)) * factor;
	}
	BPrivate::DrawString(fCanvas, fClip, scaled, string, length, penX,
		baseline, fHighColor);
	return font.StringWidth(string, length);
}

void
Painter::DrawBitmap(const BBitmap& bitmap, BPoint where)
{
	if (!bitmap.IsValid() || !fValid)
		return;
	int32 x = X(where.x), y = Y(where.y);
	BRect bounds = bitmap.Bounds();
	ClipBox box = DeviceBox(ClipBox{ x, y, x + int32(bounds.Width()),
		y + int32(bounds.Height()) });
	Touch(box);
	BPrivate::DrawBitmap(fCanvas, fClip, bitmap, box.left, box.top, fScale);
}

} // namespace BPrivate
