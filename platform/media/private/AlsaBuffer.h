/*
 * What the ALSA device asks of the device and how it writes to it, kept
 * apart so that it can be checked without a sound card.
 *
 * Pure functions: any thread; the device calls them on its own thread.
 */
#ifndef _PRIVATE_ALSA_BUFFER_H
#define _PRIVATE_ALSA_BUFFER_H

#include <cstddef>

#include <private/AudioDevice.h>

namespace BPrivate {

// Asked for: periods of kMaxRenderFrames, 23 ms at 44100, and two of them
// in the buffer. Periods of 512 frames let a busy machine run the device
// dry now and then, which is heard as a click; 1024 kept it fed with both
// cores loaded, halves the wake-ups, and still glides with a time constant
// of 0.24 s. A device may grant others.
const size_t kAlsaPeriodFrames = kMaxRenderFrames;
const size_t kAlsaBufferFrames = 2 * kAlsaPeriodFrames;

// The frames each write hands the device, and each render call fills,
// for the period and buffer the device granted: a period, but never more
// than kMaxRenderFrames (the engine's glide lengthens with the buffer) nor
// more than half the buffer (one piece plays while the next is rendered).
// Never 0.
size_t AlsaWriteFrames(size_t periodFrames, size_t bufferFrames);

// For a device that takes no float: 16-bit samples, clipped at full scale.
void AlsaFloatToS16(const float* in, int16* out, size_t count);

} // namespace BPrivate

#endif // _PRIVATE_ALSA_BUFFER_H
