/*
 * An audio device for tests: it opens at once, never starts a thread, and
 * renders only when the test asks it to, on the test's own thread.
 */
#ifndef TESTS_SUPPORT_MANUAL_AUDIO_DEVICE_H
#define TESTS_SUPPORT_MANUAL_AUDIO_DEVICE_H

#include <string>
#include <vector>

#include <private/AudioDevice.h>

class ManualAudioDevice : public BPrivate::AudioDevice {
public:
	// The device that the last player opened, or nullptr once it closed.
	static ManualAudioDevice*& Current()
	{
		static ManualAudioDevice* sCurrent = nullptr;
		return sCurrent;
	}

	static std::unique_ptr<BPrivate::AudioDevice> Create()
	{
		return std::unique_ptr<BPrivate::AudioDevice>(new ManualAudioDevice);
	}

	~ManualAudioDevice() override
	{
		Close();
	}

	status_t Open(const char* streamName, RenderFunc render, void* user,
		media_raw_audio_format* format) override
	{
		fStreamName = streamName;
		fRender = render;
		fUser = user;
		fFormat = media_raw_audio_format();
		fFormat.frame_rate = 44100;
		fFormat.channel_count = 2;
		fFormat.format = media_raw_audio_format::B_AUDIO_FLOAT;
		fFormat.byte_order = B_MEDIA_HOST_ENDIAN;
		fFormat.buffer_size = 512 * 2 * sizeof(float);
		*format = fFormat;
		Current() = this;
		return B_OK;
	}

	void Start() override { fStarted = true; }
	void Stop() override { fStarted = false; }

	void Close() override
	{
		fStarted = false;
		if (Current() == this)
			Current() = nullptr;
	}

	// Renders one buffer of frames stereo frames, as the stream would.
	// Returns nothing while the device is stopped.
	std::vector<float> Render(size_t frames)
	{
		if (!fStarted)
			return {};
		std::vector<float> buffer(frames * fFormat.channel_count, 7.0f);
		fRender(fUser, buffer.data(), buffer.size() * sizeof(float), fFormat);
		return buffer;
	}

	const std::string& StreamName() const { return fStreamName; }
	bool IsStarted() const { return fStarted; }

private:
	std::string fStreamName;
	RenderFunc fRender = nullptr;
	void* fUser = nullptr;
	media_raw_audio_format fFormat = {};
	bool fStarted = false;
};

#endif // TESTS_SUPPORT_MANUAL_AUDIO_DEVICE_H
