/*
 * The buffer attributes the PulseAudio device asks for, kept apart so that
 * they can be checked without a server.
 *
 * Pure functions: any thread.
 */
#ifndef _PRIVATE_PULSE_BUFFER_H
#define _PRIVATE_PULSE_BUFFER_H

#include <pulse/def.h>

#include <SupportDefs.h>

namespace BPrivate {

// For a float stream of channels channels at frameRate frames a second,
// after the stream has run dry underruns times.
pa_buffer_attr PulseBufferAttributes(uint32 frameRate, uint32 channels,
	uint32 underruns = 0);

} // namespace BPrivate

#endif // _PRIVATE_PULSE_BUFFER_H
