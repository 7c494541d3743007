/*
 * A canvas backed by a vector, for the font tests and the sample tool, and
 * a way to save it as a binary PPM to look at.
 */
#ifndef TESTS_PLATFORM_FONT_TEST_CANVAS_H
#define TESTS_PLATFORM_FONT_TEST_CANVAS_H

#include <cstdio>
#include <vector>

#include <private/Canvas.h>

class TestCanvas {
public:
	TestCanvas(int32 width, int32 height, uint32 fill, int32 stride = 0)
		:
		fPixels(size_t(stride > width ? stride : width) * size_t(height),
			fill)
	{
		fCanvas.pixels = fPixels.data();
		fCanvas.width = width;
		fCanvas.height = height;
		fCanvas.stride = stride > width ? stride : width;
	}

	BPrivate::Canvas& Canvas() { return fCanvas; }
	uint32 At(int32 x, int32 y) const
		{ return fPixels[size_t(y) * size_t(fCanvas.stride) + size_t(x)]; }
	int32 Width() const { return fCanvas.width; }
	int32 Height() const { return fCanvas.height; }
	int32 Stride() const { return fCanvas.stride; }
	const std::vector<uint32>& Pixels() const { return fPixels; }

	// Writes the canvas, each pixel blown up to scale x scale, as a P6 PPM.
	bool WritePpm(const char* path, int32 scale = 1) const
	{
		FILE* file = fopen(path, "wb");
		if (file == nullptr)
			return false;
		fprintf(file, "P6\n%d %d\n255\n", int(fCanvas.width * scale),
			int(fCanvas.height * scale));
		std::vector<unsigned char> row(size_t(fCanvas.width * scale) * 3);
		for (int32 y = 0; y < fCanvas.height; y++) {
			for (int32 x = 0; x < fCanvas.width; x++) {
				uint32 pixel = At(x, y);
				for (int32 k = 0; k < scale; k++) {
					unsigned char* p = &row[size_t(x * scale + k) * 3];
					p[0] = (unsigned char)(pixel >> 16);
					p[1] = (unsigned char)(pixel >> 8);
					p[2] = (unsigned char)pixel;
				}
			}
			for (int32 k = 0; k < scale; k++)
				fwrite(row.data(), 1, row.size(), file);
		}
		return fclose(file) == 0;
	}

private:
	std::vector<uint32> fPixels;
	BPrivate::Canvas fCanvas;
};

#endif // TESTS_PLATFORM_FONT_TEST_CANVAS_H
