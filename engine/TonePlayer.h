/*
 * The tone engine: one sine oscillator and two gain channels (tone and
 * noise), steered by a master level in decibels, and the sound player whose
 * buffer hook fills the output with them.
 *
 * The engine's state is process-wide, one set per process: there is one
 * TonePlayer at a time, and constructing it re-seeds the oscillator and
 * zeroes the gains.
 *
 * Two threads meet here, and the contract between them is this:
 *
 *  - The setters (SetFrequency, SetLevel, SetNoise, SetNoiseMix) run on the
 *    main thread during start-up and on the window thread afterwards. They
 *    are serialised among themselves by a lock that only setters take.
 *    They never touch the oscillator or the current gains; they publish what
 *    they decide through atomics.
 *  - BufferProc runs on the sound player's audio thread and never waits:
 *    it takes no lock, allocates nothing and makes no system call. At the
 *    start of each buffer it picks up what the setters last published: the
 *    two channel targets as one unit, and a pending retune, whose phase
 *    continuation it computes there, from the last sample it finished.
 *    Every change therefore takes effect at a buffer boundary, and the two
 *    calls behind one note change may land in different buffers.
 *
 * The variables in namespace engine are for the engine and its tests. Those
 * marked "setter side" are written only under the setters' lock; those
 * marked "audio side" only by BufferProc (and by the constructor, before the
 * stream starts). Neither side reads the other's plain variables.
 */
#ifndef ENGINE_TONE_PLAYER_H
#define ENGINE_TONE_PLAYER_H

#include <SoundPlayer.h>

namespace engine {

const int32 SampleRate = 44100;		// frames per second
const int32 RampFrames = 11025;		// divisor of the per-frame gain step

// Audio side: the oscillator, y[n] = p * y[n-1] - y[n-2].
extern double p;		// 2 cos(omega), omega in radians per frame
extern double q0;		// y[n-2]
extern double q1;		// y[n-1]
extern double q2;		// y[n], the sample most recently computed

// Audio side: the channels' current gains and per-frame steps.
extern float ToneLevel;
extern float ToneIncrement;
extern float NoiseLevel;
extern float NoiseIncrement;

// Audio side: the layout of the buffer being filled.
extern uint32 ChannelCount;
extern uint32 NumSamples;

// Setter side: the last requested level and mode, and the targets the
// routing rule made of them (published to the audio side as one unit).
extern float TargetLevel;
extern bool Noise;
extern float TargetToneLevel;
extern float TargetNoiseLevel;

// One oscillator step: q2 = p * q1 - q0, then q0 = q1, q1 = q2.
// Returns q2. Audio side only.
double NextSample();

} // namespace engine

class TonePlayer : public BSoundPlayer {
public:
								TonePlayer();
	virtual						~TonePlayer();

	// Retunes to hz hertz; the wave continues from its current sample.
			void				SetFrequency(short hz);
	// Sets the master level in decibels and routes it.
			void				SetLevel(short dB);
	// In noise mode the level goes to the (silent) noise channel.
			void				SetNoise(bool on);
	// Routes the level to one channel under the current mode.
			void				SetNoiseMix();
};

// The buffer hook: fills interleaved 32-bit float buffers at 44100 frames
// per second with the tone, the same sample in every channel. Buffers of
// any other format or rate are left as handed over, and change no state.
void BufferProc(void* cookie, void* buffer, size_t size,
	const media_raw_audio_format& format);

#endif // ENGINE_TONE_PLAYER_H
