/*
 * Media Kit formats: how a raw audio buffer is laid out.
 *
 * Plain values: no thread of their own; copy them freely.
 */
#ifndef _MEDIA_DEFS_H
#define _MEDIA_DEFS_H

#include <SupportDefs.h>

enum media_byte_order {
	B_MEDIA_BIG_ENDIAN = 1,
	B_MEDIA_LITTLE_ENDIAN = 2,
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	B_MEDIA_HOST_ENDIAN = B_MEDIA_BIG_ENDIAN
#else
	B_MEDIA_HOST_ENDIAN = B_MEDIA_LITTLE_ENDIAN
#endif
};

struct media_raw_audio_format {
	// Sample formats: the low nibble is the size of one sample in bytes.
	enum {
		B_AUDIO_FLOAT = 0x24,	// 32-bit float, nominally within -1.0 .. 1.0
		B_AUDIO_DOUBLE = 0x28,
		B_AUDIO_INT = 0x4,		// 32-bit signed integer
		B_AUDIO_SHORT = 0x2,	// 16-bit signed integer
		B_AUDIO_UCHAR = 0x11,	// 8-bit unsigned, 128 is silence
		B_AUDIO_CHAR = 0x1,		// 8-bit signed
		B_AUDIO_SIZE_MASK = 0xf
	};

	float		frame_rate;		// frames per second
	uint32		channel_count;	// samples per frame, interleaved
	uint32		format;			// one of the codes above
	uint32		byte_order;		// media_byte_order
	size_t		buffer_size;	// bytes per buffer the producer prefers

	static const media_raw_audio_format wildcard;
};

#endif // _MEDIA_DEFS_H
