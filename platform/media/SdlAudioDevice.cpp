/*
 * Plays through SDL's audio, the last resort when no sound server of our own
 * answers (plain ALSA, other systems): the user's default output device,
 * 32-bit float at 44100 frames per second in buffers of 1024 frames. SDL
 * converts to whatever the device wants, so the render function always sees
 * that format; only the channel count is left to the device.
 */
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <SDL.h>
#include <dlfcn.h>

#include <private/AudioDevice.h>
#include <private/SdlLibrary.h>

namespace BPrivate {

namespace {

// SDL keeps its open devices in a table that opening and closing both
// change without a lock of their own; devices closed in the background must
// not close while another one opens. Never destroyed, as a close may still
// be running while the process exits.
std::mutex&
DeviceTableLock()
{
	static std::mutex* sLock = new std::mutex;
	return *sLock;
}

} // namespace

namespace {

const int kFrameRate = kAudioFrameRate;
// SDL asks the sound server for about one buffer of latency. At 512 frames
// (12 ms) a busy machine let the server run dry now and then, which is heard
// as a click; 1024 (23 ms) kept it fed with both cores loaded, halves the
// wake-ups, and still glides with a time constant of 0.24 s.
const Uint16 kBufferFrames = kMaxRenderFrames;

// ALSA prints a paragraph of its own to stderr for every device it fails to
// open, which is what SDL's last fallback does on a machine without sound.
// SDL loads the library at run time, so we load the same library first and
// give it an error handler that says nothing; our own one line says the rest.
extern "C" void
IgnoreAlsaError(const char*, int, const char*, int, const char*, ...)
{
}

void
QuietAlsa()
{
	static std::once_flag sOnce;
	std::call_once(sOnce, [] {
		void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
		if (alsa == nullptr)
			return;
		typedef void (*ErrorHandler)(const char*, int, const char*, int,
			const char*, ...);
		typedef int (*SetErrorHandler)(ErrorHandler);
		SetErrorHandler setHandler = reinterpret_cast<SetErrorHandler>(
			dlsym(alsa, "snd_lib_error_set_handler"));
		if (setHandler != nullptr)
			setHandler(&IgnoreAlsaError);
		// Kept loaded on purpose: the handler must outlive SDL's use of it.
	});
}

// Keeps one SDL output device open for a player. When there is none, or the
// device is lost (the sound server went away, the sink was removed), a
// watcher thread closes it and opens the default device again as soon as
// one is there, so that the sound comes back by itself. The watcher wakes twice a second;
// the audio callback never takes the device's lock.
class SdlAudioDevice : public AudioDevice {
public:
	~SdlAudioDevice() override
	{
		Close();
	}

	status_t Open(const char* streamName, RenderFunc render, void* user,
		media_raw_audio_format* format) override
	{
		Close();
		std::lock_guard<std::mutex> lock(fLock);
		fStreamName = streamName != nullptr ? streamName : "";
		fRender = render;
		fUser = user;
		// Being the last resort, the device does not give up: without an
		// output now, it says so once and the watcher keeps looking.
		if (_OpenLocked(true) == B_OK)
			*format = fFormat;
		else
			*format = RequestedAudioFormat();
		fQuit = false;
		fWatcher = std::thread(&SdlAudioDevice::_Watch, this);
		return B_OK;
	}

	void Start() override
	{
		std::lock_guard<std::mutex> lock(fLock);
		fPlaying = true;
		if (fDevice != 0)
			SDL_PauseAudioDevice(fDevice, 0);
	}

	void Stop() override
	{
		// SDL runs the callback with the device locked, and pausing takes
		// that lock: once this returns, no callback is running or will run.
		std::lock_guard<std::mutex> lock(fLock);
		fPlaying = false;
		if (fDevice != 0)
			SDL_PauseAudioDevice(fDevice, 1);
	}

	void Close() override
	{
		if (fWatcher.joinable()) {
			{
				std::lock_guard<std::mutex> lock(fLock);
				fQuit = true;
			}
			fWake.notify_all();
			fWatcher.join();
		}
		SDL_AudioDeviceID device;
		bool subsystem;
		{
			std::lock_guard<std::mutex> lock(fLock);
			fPlaying = false;
			device = fDevice;
			subsystem = fSubsystemStarted;
			fDevice = 0;
			fSubsystemStarted = false;
			// Paused, the device never calls back again, so this object
			// may go while the device is still being closed.
			if (device != 0)
				SDL_PauseAudioDevice(device, 1);
		}
		if (device == 0) {
			if (subsystem)
				QuitSdlSubsystem(SDL_INIT_AUDIO);
			return;
		}
		// The sound has stopped; letting go of the stream can take the sound
		// server half a second or more, which nobody needs to wait for (a
		// closing program least of all), so it happens on a thread of its
		// own.
		std::thread([device, subsystem] {
			std::lock_guard<std::mutex> closing(DeviceTableLock());
			SDL_CloseAudioDevice(device);
			if (subsystem)
				QuitSdlSubsystem(SDL_INIT_AUDIO);
			ForgetSdlThreadState();
		}).detach();
	}

private:
	status_t _OpenLocked(bool report)
	{
		QuietAlsa();
		if (!InitSdlSubsystem(SDL_INIT_AUDIO)) {
			if (report)
				ReportAudio("no sound output, running silently", SDL_GetError());
			return B_ERROR;
		}
		fSubsystemStarted = true;

		// The sound server lists the stream under these names; they must be
		// set before the device opens.
		if (!fStreamName.empty())
			SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, fStreamName.c_str());
		if (SDL_GetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME) == nullptr
			&& SDL_GetHint(SDL_HINT_APP_NAME) == nullptr) {
			SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME,
				program_invocation_short_name);
		}

		SDL_AudioSpec want;
		SDL_zero(want);
		want.freq = kFrameRate;
		want.format = AUDIO_F32SYS;
		want.channels = 2;
		want.samples = kBufferFrames;
		want.callback = &_Callback;
		want.userdata = this;

		SDL_AudioSpec have;
		{
			std::lock_guard<std::mutex> opening(DeviceTableLock());
			fDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
				SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
		}
		if (fDevice == 0) {
			if (report)
				ReportAudio("no sound output, running silently", SDL_GetError());
			_CloseLocked();
			return B_ERROR;
		}

		memset(&fFormat, 0, sizeof(fFormat));
		fFormat.frame_rate = have.freq;
		fFormat.channel_count = have.channels;
		fFormat.format = media_raw_audio_format::B_AUDIO_FLOAT;
		fFormat.byte_order = B_MEDIA_HOST_ENDIAN;
		fFormat.buffer_size = size_t(have.samples) * have.channels
			* sizeof(float);
		return B_OK;
	}

	void _CloseLocked()
	{
		if (fDevice != 0) {
			std::lock_guard<std::mutex> closing(DeviceTableLock());
			SDL_CloseAudioDevice(fDevice);
			fDevice = 0;
		}
		// Letting go of the audio subsystem drops its connection to the
		// sound server, so that a reopen makes a fresh one.
		if (fSubsystemStarted) {
			QuitSdlSubsystem(SDL_INIT_AUDIO);
			fSubsystemStarted = false;
		}
	}

	void _Watch()
	{
		// A lost device is looked for again twice a second at first, so the
		// sound comes back soon after its server; after that every ten
		// seconds, since each attempt starts SDL's audio and probes every
		// driver (which also leaves SDL and ALSA a little bigger each time,
		// about 130 bytes).
		const int kEagerAttempts = 3;
		const int kWakesBetweenLaterAttempts = 20;
		int wakesWithout = 0;
		std::unique_lock<std::mutex> lock(fLock);
		while (!fQuit) {
			fWake.wait_for(lock, std::chrono::milliseconds(500));
			if (fQuit)
				break;
			if (fDevice != 0
				&& SDL_GetAudioDeviceStatus(fDevice) == SDL_AUDIO_STOPPED) {
				ReportAudio("sound output lost, reconnecting when it is back", SDL_GetError());
				_CloseLocked();
				wakesWithout = 0;
			}
			if (fDevice != 0)
				continue;
			int wake = wakesWithout++;
			if (wake >= kEagerAttempts && wake % kWakesBetweenLaterAttempts != 0)
				continue;
			if (_OpenLocked(false) == B_OK && fPlaying)
				SDL_PauseAudioDevice(fDevice, 0);
		}
		ForgetSdlThreadState();
	}

	static void _Callback(void* userdata, Uint8* stream, int length)
	{
		SdlAudioDevice* device = static_cast<SdlAudioDevice*>(userdata);
		device->fRender(device->fUser, stream, size_t(length),
			device->fFormat);
	}

	std::mutex fLock;
	std::condition_variable fWake;
	std::thread fWatcher;
	bool fQuit = false;
	bool fPlaying = false;

	std::string fStreamName;
	SDL_AudioDeviceID fDevice = 0;
	bool fSubsystemStarted = false;
	RenderFunc fRender = nullptr;
	void* fUser = nullptr;
	media_raw_audio_format fFormat = {};
};

} // namespace

std::unique_ptr<AudioDevice>
CreateSdlAudioDevice()
{
	return std::unique_ptr<AudioDevice>(new SdlAudioDevice);
}

} // namespace BPrivate
