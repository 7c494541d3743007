/*
 * What the setters hand to the audio thread. Each value is one atomic word,
 * so the callback picks it up whole without waiting for anyone.
 */
#ifndef ENGINE_ENGINE_SHARED_H
#define ENGINE_ENGINE_SHARED_H

#include <atomic>
#include <cstring>

#include <SupportDefs.h>

namespace engine {

// The tone and noise targets, packed into one word so that a routing
// change reaches the callback as one unit.
extern std::atomic<uint64> PublishedTargets;

// A retune waiting for the next buffer: kRetunePending with the frequency
// in the low 16 bits, or 0 when there is none.
extern std::atomic<uint32> PendingRetune;
const uint32 kRetunePending = 0x10000;

inline uint64
PackTargets(float tone, float noise)
{
	uint32 toneBits;
	uint32 noiseBits;
	memcpy(&toneBits, &tone, sizeof(toneBits));
	memcpy(&noiseBits, &noise, sizeof(noiseBits));
	return (uint64(toneBits) << 32) | noiseBits;
}

inline void
UnpackTargets(uint64 packed, float* tone, float* noise)
{
	uint32 toneBits = uint32(packed >> 32);
	uint32 noiseBits = uint32(packed);
	memcpy(tone, &toneBits, sizeof(*tone));
	memcpy(noise, &noiseBits, sizeof(*noise));
}

// Seeds q0 for a wave at hz hertz that continues from q1, and sets p.
// Called by the callback when it picks up a pending retune.
void Retune(short hz);

} // namespace engine

#endif // ENGINE_ENGINE_SHARED_H
