/*
 * The engine's state, its setters and the player that owns the stream.
 * BufferProc.cpp holds the audio thread's side.
 */
#include "TonePlayer.h"

#include <cmath>
#include <mutex>

#include "EngineShared.h"

namespace engine {

double p = 0;
double q0 = 0;
double q1 = 0;
double q2 = 0;

float ToneLevel = 0.0f;
float ToneIncrement = 0.0f;
float NoiseLevel = 0.0f;
float NoiseIncrement = 0.0f;

uint32 ChannelCount = 0;
uint32 NumSamples = 0;

float TargetLevel = 0.0f;
bool Noise = false;
float TargetToneLevel = 0.0f;
float TargetNoiseLevel = 0.0f;

std::atomic<uint64> PublishedTargets{0};
std::atomic<uint32> PendingRetune{0};

// 2 pi * 440 / 44100: the angular step of the tone the player starts with.
static const double kFirstOmega = 0.06268937721449021;
static const double kTwoPi = 6.283185307179586;

// Serialises the setters. The callback never takes it.
static std::mutex sSetterLock;

double
NextSample()
{
	q2 = p * q1 - q0;
	q0 = q1;
	q1 = q2;
	return q2;
}

void
Retune(short hz)
{
	double omega = kTwoPi * hz / 44100.0;
	p = cos(omega) + cos(omega);

	// The principal arcsine puts the continued wave in the rising half of
	// its cycle, starting from the current sample value. Rounding over a
	// long run can carry q1 a hair outside [-1, 1], where asin would give
	// NaN and silence the tone for good.
	double sample = q1;
	if (sample > 1.0)
		sample = 1.0;
	else if (sample < -1.0)
		sample = -1.0;
	double phi = asin(sample);
	q0 = sin((phi + omega) + omega * -2.0);
}

// Routes the requested level to the channel the mode selects, and hands
// both targets to the callback in one store. Call with sSetterLock held.
static void
RouteLevel()
{
	if (Noise) {
		TargetNoiseLevel = TargetLevel;
		TargetToneLevel = 0;
	} else {
		TargetNoiseLevel = 0;
		TargetToneLevel = TargetLevel;
	}
	PublishedTargets.store(PackTargets(TargetToneLevel, TargetNoiseLevel),
		std::memory_order_release);
}

} // namespace engine

using namespace engine;

TonePlayer::TonePlayer()
	:
	BSoundPlayer("Kesto", BufferProc, nullptr, nullptr)
{
	// The stream is open but not started, so no callback runs yet.
	{
		std::lock_guard<std::mutex> lock(sSetterLock);

		// A 440 Hz sine whose next sample is sin 0.
		p = 2 * cos(kFirstOmega);
		q0 = sin(kFirstOmega * -2.0);
		q1 = sin(-kFirstOmega);

		ToneIncrement = 0;
		ToneLevel = 0;
		TargetToneLevel = 0;
		NoiseIncrement = 0;
		NoiseLevel = 0;
		TargetNoiseLevel = 0;

		// Nothing requested before this player existed may reach it.
		PublishedTargets.store(PackTargets(0, 0), std::memory_order_relaxed);
		PendingRetune.store(0, std::memory_order_relaxed);
	}

	SetHasData(true);
	Start();
}

TonePlayer::~TonePlayer()
{
	// BSoundPlayer's destructor stops the stream.
}

void
TonePlayer::SetFrequency(short hz)
{
	// The phase continuation needs a sample the callback has finished, so
	// the callback computes it at the start of its next buffer. A later
	// retune before then replaces this one, which gives the same wave.
	std::lock_guard<std::mutex> lock(sSetterLock);
	PendingRetune.store(kRetunePending | uint16(hz), std::memory_order_release);
}

void
TonePlayer::SetLevel(short dB)
{
	std::lock_guard<std::mutex> lock(sSetterLock);
	TargetLevel = float(pow(10.0, dB / 20.0));
	RouteLevel();
}

void
TonePlayer::SetNoise(bool on)
{
	std::lock_guard<std::mutex> lock(sSetterLock);
	Noise = on;
	RouteLevel();
}

void
TonePlayer::SetNoiseMix()
{
	std::lock_guard<std::mutex> lock(sSetterLock);
	RouteLevel();
}
