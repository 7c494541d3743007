/*
 * The seam between BSoundPlayer and whatever plays its buffers.
 *
 * A device renders by calling its render function once per buffer on a
 * thread of its own. The SDL device plays through the sound server; tests
 * install a factory of their own to drive the render function by hand.
 */
#ifndef _PRIVATE_AUDIO_DEVICE_H
#define _PRIVATE_AUDIO_DEVICE_H

#include <memory>

#include <MediaDefs.h>

namespace BPrivate {

class AudioDevice {
public:
	typedef void (*RenderFunc)(void* user, void* buffer, size_t size,
		const media_raw_audio_format& format);

	virtual						~AudioDevice() = default;

	// Opens the default output. On success, *format is what every render
	// call will be handed. Does not start rendering.
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
};

typedef std::unique_ptr<AudioDevice> (*AudioDeviceFactory)();

// The device every new BSoundPlayer gets. Passing nullptr restores the SDL
// device. Returns the factory that was in force.
AudioDeviceFactory SetAudioDeviceFactory(AudioDeviceFactory factory);
std::unique_ptr<AudioDevice> CreateAudioDevice();

std::unique_ptr<AudioDevice> CreateSdlAudioDevice();

} // namespace BPrivate

#endif // _PRIVATE_AUDIO_DEVICE_H
