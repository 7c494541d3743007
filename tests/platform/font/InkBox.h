/*
 * Where a drawing left ink: the bounding box of the pixels that differ from
 * the background.
 */
#ifndef TESTS_PLATFORM_FONT_INK_BOX_H
#define TESTS_PLATFORM_FONT_INK_BOX_H

#include <algorithm>

#include "TestCanvas.h"

struct InkBox {
	bool found = false;
	int32 left = 0;
	int32 top = 0;
	int32 right = -1;
	int32 bottom = -1;

	int32 Width() const { return found ? right - left + 1 : 0; }
	int32 Height() const { return found ? bottom - top + 1 : 0; }
};

inline InkBox
FindInk(const TestCanvas& canvas, uint32 background)
{
	InkBox box;
	for (int32 y = 0; y < canvas.Height(); y++) {
		for (int32 x = 0; x < canvas.Width(); x++) {
			if (canvas.At(x, y) == background)
				continue;
			if (!box.found) {
				box = InkBox{ true, x, y, x, y };
				continue;
			}
			box.left = std::min(box.left, x);
			box.right = std::max(box.right, x);
			box.top = std::min(box.top, y);
			box.bottom = std::max(box.bottom, y);
		}
	}
	return box;
}

#endif // TESTS_PLATFORM_FONT_INK_BOX_H
