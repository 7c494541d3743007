/*
 * The seam between BSoundPlayer and whatever plays its buffers.
 *
 * A device renders by calling its render function once per buffer on a
 * thread of its own. Three back ends sit behind it, tried in this order:
 * PipeWire's own client library, PulseAudio's, and ALSA's (the card
 * itself, where no sound server runs). The chosen device opens them in the background, so
 * that the program's start-up never waits for a sound server; tests install
 * a factory of their own to drive the render function by hand.
 *
 * Threads: Connect, Open, Start, Stop and Close come from the device's owner,
 * one at a time; Cancel() from another thread while Open() runs; the render
 * function on the device's audio thread, which takes no lock (RenderGate
 * below is two atomics). The factory is an atomic and the prepared device
 * sits behind a mutex, so any thread may make a device.
 */
#ifndef _PRIVATE_AUDIO_DEVICE_H
#define _PRIVATE_AUDIO_DEVICE_H

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <MediaDefs.h>

namespace BPrivate {

class AudioDevice {
public:
	typedef void (*RenderFunc)(void* user, void* buffer, size_t size,
		const media_raw_audio_format& format);

	virtual						~AudioDevice() = default;

	// Connects to the sound server without making a stream yet, so that
	// Open() has less to do; fails when no server answers. Open() connects
	// by itself when this was not called.
	virtual	status_t			Connect() { return B_OK; }
	// Opens the default output. On success, *format is what render calls
	// are meant to be handed; each call is handed its own buffer's format,
	// which is what counts. Does not start rendering.
	virtual	status_t			Open(const char* streamName, RenderFunc render,
									void* user,
									media_raw_audio_format* format) = 0;
	// After Start, render calls may begin at any moment.
	virtual	void				Start() = 0;
	// Waits for a render call in progress; none begins after it returns.
	virtual	void				Stop() = 0;
	// Stops and releases the output. Safe to call on a device that never
	// opened, and more than once.
	virtual	void				Close() = 0;
	// Asked from another thread while Open() is running: give up waiting
	// for a server, so that Open() returns soon. Open() may then fail.
	virtual	void				Cancel() {}
};

typedef std::unique_ptr<AudioDevice> (*AudioDeviceFactory)();

// The device every new BSoundPlayer gets. Passing nullptr restores the
// chosen device. Returns the factory that was in force.
AudioDeviceFactory SetAudioDeviceFactory(AudioDeviceFactory factory);
std::unique_ptr<AudioDevice> CreateAudioDevice();

// The back ends, each on its own. Open() fails at once, without a word,
// when the back end's server does not answer (PipeWire, PulseAudio) or when
// its library is not installed. The ALSA device, being the last resort,
// opens even without an output: it says so in one line and keeps looking
// (and fails, saying so, only where its library is missing).
std::unique_ptr<AudioDevice> CreatePipeWireAudioDevice();
std::unique_ptr<AudioDevice> CreatePulseAudioDevice();
std::unique_ptr<AudioDevice> CreateAlsaAudioDevice();

// Tries each factory in turn, on a thread of its own, and plays through the
// first that connects and opens. Its own Open() returns at once, and may be
// called only once. With connectNow, connecting begins before Open().
std::unique_ptr<AudioDevice> CreateChosenAudioDevice(
	std::vector<AudioDeviceFactory> candidates, bool connectNow = false);

// Connects to the sound server in the background before any player exists
// (the application does this before it connects to the display); the next
// player made takes that connection over. Nothing is prepared while a test
// factory is in force. The discard lets go of a connection nobody took.
void PrepareAudioOutput();
void DiscardPreparedAudioOutput();

// Which back ends to try, in order. BELVO_AUDIO ("pipewire", "pulse" or
// "alsa") names the one to use alone, for tests and measurements; anything
// else, or nothing, gives all three.
std::vector<AudioDeviceFactory> AudioBackendOrder(const char* forced);

// What every back end tells the sound server about the stream, so that the
// desktop's volume controls show it with the program's name and icon:
// media.name, application.name, application.icon_name and media.role.
// PipeWire spells roles with a capital, PulseAudio in lower case, and has an
// icon key of its own.
enum RoleSpelling { kPipeWireRole, kPulseAudioRole };
std::vector<std::pair<std::string, std::string>> StreamProperties(
	const char* streamName, RoleSpelling spelling);

// The client configuration a PipeWire library of this version (as
// pw_get_library_version gives it) loads the real-time module from:
// "client-rt.conf" before 1.0, "client.conf" from 1.0 on, where the other
// is deprecated and warned about.
const char* PipeWireClientConfig(const char* libraryVersion);

// The rates every back end asks for, and the most frames one render call
// gets: longer buffers would make level changes glide faster than a
// quarter second.
const uint32 kAudioFrameRate = 44100;
const uint32 kAudioChannels = 2;
const size_t kMaxRenderFrames = 1024;

// The format the back ends ask their servers for: float stereo at 44100
// frames a second, in buffers of kMaxRenderFrames.
media_raw_audio_format RequestedAudioFormat();

// One line on stderr, "program: what (reason)"; never from a render call.
void ReportAudio(const char* what, const char* reason = nullptr);

// Called once on a thread that renders: real-time round-robin at the
// sound servers' own default priority where the process may, else the
// nice level PulseAudio gives its clients' threads, else as it is. A busy
// machine must not keep the tone waiting.
void RaiseAudioThreadPriority();

// Lets a device's audio thread render only while the device plays, and
// lets Stop() wait for a render call in progress, without a lock that the
// audio thread would have to take.
class RenderGate {
public:
	// Audio thread: true when the caller may render, and must then Leave().
	bool Enter()
	{
		fInside.fetch_add(1);
		if (fOpen.load())
			return true;
		fInside.fetch_sub(1);
		return false;
	}
	void Leave() { fInside.fetch_sub(1); }

	void Open() { fOpen.store(true); }
	// Once this returns, no render call is inside and none enters.
	void Close();

private:
	std::atomic<bool> fOpen{false};
	std::atomic<int> fInside{0};
};

} // namespace BPrivate

#endif // _PRIVATE_AUDIO_DEVICE_H
