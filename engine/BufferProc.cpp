/*
 * The audio thread's side of the engine: the buffer hook.
 *
 * Real-time code. Per frame it does one oscillator step, one multiply, the
 * channel copies and two gain steps; it takes no lock, allocates nothing
 * and calls no library function. A pending retune costs a few math library
 * calls once per buffer.
 */
#include "TonePlayer.h"

#include "EngineShared.h"

using namespace engine;

namespace {

// The oscillator and the gains, kept in locals for the length of a buffer
// so that the compiler need not reload them after every store into it.
struct FrameState {
	double p;
	double q0;
	double q1;
	double q2;
	float toneLevel;
	float toneIncrement;
	float noiseLevel;
	float noiseIncrement;
};

// Stops a gain that has stepped past its target on the target, for good
// within this buffer.
inline void
HoldAtTarget(float& level, float& increment, float target)
{
	if ((increment > 0 && level > target) || (increment < 0 && level < target)) {
		level = target;
		increment = 0;
	}
}

// Computes one frame's sample, written with the gain as it stood before
// this frame's step, and then steps both gains. With bounded set, a gain
// never passes its target.
template<bool bounded>
inline float
NextFrame(FrameState& s, float toneTarget, float noiseTarget)
{
	s.q2 = s.p * s.q1 - s.q0;
	s.q0 = s.q1;
	s.q1 = s.q2;
	float sample = float(s.toneLevel * s.q2);

	s.toneLevel += s.toneIncrement;
	s.noiseLevel += s.noiseIncrement;
	if (bounded) {
		HoldAtTarget(s.toneLevel, s.toneIncrement, toneTarget);
		HoldAtTarget(s.noiseLevel, s.noiseIncrement, noiseTarget);
	}
	return sample;
}

// Writes frames whole frames of channels samples each. channels is a
// compile-time constant for the common layouts, and 0 for "any".
template<bool bounded, uint32 fixedChannels>
void
FillFrames(float* out, uint32 frames, uint32 channels, FrameState& s,
	float toneTarget, float noiseTarget)
{
	if (fixedChannels != 0)
		channels = fixedChannels;
	for (uint32 frame = 0; frame < frames; frame++) {
		float sample = NextFrame<bounded>(s, toneTarget, noiseTarget);
		for (uint32 channel = 0; channel < channels; channel++)
			out[channel] = sample;
		out += channels;
	}
}

template<bool bounded>
void
Fill(float* out, uint32 wholeFrames, uint32 partialSamples, FrameState& s,
	float toneTarget, float noiseTarget)
{
	switch (ChannelCount) {
		case 1:
			FillFrames<bounded, 1>(out, wholeFrames, 1, s, toneTarget,
				noiseTarget);
			break;
		case 2:
			FillFrames<bounded, 2>(out, wholeFrames, 2, s, toneTarget,
				noiseTarget);
			break;
		default:
			FillFrames<bounded, 0>(out, wholeFrames, ChannelCount, s,
				toneTarget, noiseTarget);
			break;
	}

	// A buffer that ends inside a frame gets that frame's first channels,
	// and nothing past its end.
	if (partialSamples != 0) {
		FillFrames<bounded, 0>(out + size_t(wholeFrames) * ChannelCount, 1,
			partialSamples, s, toneTarget, noiseTarget);
	}
}

} // namespace

void
BufferProc(void* /*cookie*/, void* buffer, size_t size,
	const media_raw_audio_format& format)
{
	// Only float buffers at our rate are ours to fill; anything else is left
	// as handed over, and no state moves.
	if (format.format != media_raw_audio_format::B_AUDIO_FLOAT)
		return;
	if (format.frame_rate != 44100.0)
		return;
	// A frame of no channels holds no samples: there is nothing to fill, and
	// stepping through the buffer frame by frame would never advance.
	if (format.channel_count == 0)
		return;

	ChannelCount = format.channel_count;
	NumSamples = uint32(size >> 2);

	uint32 retune = PendingRetune.exchange(0, std::memory_order_acquire);
	if (retune != 0)
		Retune(short(uint16(retune & 0xffff)));

	float toneTarget;
	float noiseTarget;
	UnpackTargets(PublishedTargets.load(std::memory_order_acquire), &toneTarget,
		&noiseTarget);

	ToneIncrement = float((double(toneTarget) - double(ToneLevel)) / RampFrames);
	NoiseIncrement = float((double(noiseTarget) - double(NoiseLevel))
		/ RampFrames);

	FrameState state = { p, q0, q1, q2, ToneLevel, ToneIncrement, NoiseLevel,
		NoiseIncrement };

	uint32 wholeFrames = NumSamples / ChannelCount;
	uint32 partialSamples = NumSamples % ChannelCount;
	uint32 frames = wholeFrames + (partialSamples != 0 ? 1 : 0);
	float* out = static_cast<float*>(buffer);

	// A buffer of RampFrames frames or more would carry a gain past its
	// target (and from twice that, swing it further every buffer); such
	// buffers stop the gain on its target. Shorter ones glide unbounded,
	// exactly as they always have.
	if (frames < uint32(RampFrames))
		Fill<false>(out, wholeFrames, partialSamples, state, toneTarget,
			noiseTarget);
	else
		Fill<true>(out, wholeFrames, partialSamples, state, toneTarget,
			noiseTarget);

	p = state.p;
	q0 = state.q0;
	q1 = state.q1;
	q2 = state.q2;
	ToneLevel = state.toneLevel;
	ToneIncrement = state.toneIncrement;
	NoiseLevel = state.noiseLevel;
	NoiseIncrement = state.noiseIncrement;
}
