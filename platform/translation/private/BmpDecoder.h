/*
 * Reads a Windows bitmap file (.bmp) from memory.
 *
 * Understood: the 14-byte file header with the magic "BM", followed by an
 * information header of 40 bytes (BITMAPINFOHEADER), of the longer 52, 56,
 * 108 (V4) or 124 (V5) byte forms, or the old 12-byte core header; 1, 4 and
 * 8 bits a pixel through a colour table, 24 bits (blue, green, red), and 16
 * and 32 bits either uncompressed (5-5-5 and blue, green, red, unused) or
 * with BI_BITFIELDS masks; rows stored bottom-up (positive height) or
 * top-down (negative height), each padded to four bytes. Run-length
 * compressed, JPEG and PNG contents are not.
 *
 * The file is trusted for nothing: every size and offset is checked
 * against the bytes given before it is used, and images wider or taller
 * than BBitmap::kMaxBitmapSide are refused.
 *
 * No state: any thread, into a bitmap the caller holds.
 */
#ifndef _PRIVATE_BMP_DECODER_H
#define _PRIVATE_BMP_DECODER_H

#include <cstddef>

class BBitmap;

namespace BPrivate {

// Whether the data starts like a bitmap file ("BM").
bool LooksLikeBmp(const void* data, size_t size);

// A new, opaque B_RGB32 bitmap (every alpha byte 255) of the image, owned
// by the caller, or null when the data is not a bitmap file this reads, or
// is damaged or cut short.
BBitmap* DecodeBmp(const void* data, size_t size);

} // namespace BPrivate

#endif // _PRIVATE_BMP_DECODER_H
