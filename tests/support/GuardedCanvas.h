/*
 * A canvas for painting tests, inside a larger buffer of guard words with a
 * stride wider than its rows, so that a write outside the canvas shows up as
 * a changed guard.
 */
#ifndef TESTS_SUPPORT_GUARDED_CANVAS_H
#define TESTS_SUPPORT_GUARDED_CANVAS_H

#include <cstdint>
#include <vector>

#include <private/Canvas.h>

namespace TestCanvas {

using BPrivate::Canvas;
using BPrivate::ClipBox;

const uint32_t kGuard = 0x5a5a5a5a;
const uint32_t kBackground = 0xff102030;

class GuardedCanvas {
public:
	GuardedCanvas(int32 width, int32 height)
		:
		fMargin(8),
		fStride(width + 2 * fMargin + 3),
		fRows(height + 2 * fMargin),
		fStore(size_t(fStride) * fRows, kGuard)
	{
		fCanvas.pixels = fStore.data() + size_t(fMargin) * fStride + fMargin;
		fCanvas.width = width;
		fCanvas.height = height;
		fCanvas.stride = fStride;
		for (int32 y = 0; y < height; y++) {
			for (int32 x = 0; x < width; x++)
				fCanvas.Row(y)[x] = kBackground;
		}
	}

	Canvas& Get() { return fCanvas; }
	uint32_t At(int32 x, int32 y) const { return fCanvas.Row(y)[x]; }

	// Every word outside the canvas is still the guard.
	bool GuardsIntact() const
	{
		for (int32 row = 0; row < fRows; row++) {
			for (int32 column = 0; column < fStride; column++) {
				int32 x = column - fMargin;
				int32 y = row - fMargin;
				bool inside = x >= 0 && x < fCanvas.width && y >= 0
					&& y < fCanvas.height;
				if (!inside && fStore[size_t(row) * fStride + column] != kGuard)
					return false;
			}
		}
		return true;
	}

	// The pixels that are no longer the background lie inside `box`.
	bool ChangesWithin(const ClipBox& box) const
	{
		for (int32 y = 0; y < fCanvas.height; y++) {
			for (int32 x = 0; x < fCanvas.width; x++) {
				if (At(x, y) != kBackground && !box.Contains(x, y))
					return false;
			}
		}
		return true;
	}

private:
	int32 fMargin;
	int32 fStride;
	int32 fRows;
	std::vector<uint32_t> fStore;
	Canvas fCanvas;
};

} // namespace TestCanvas

#endif // TESTS_SUPPORT_GUARDED_CANVAS_H
