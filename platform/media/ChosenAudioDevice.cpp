/*
 * The device a BSoundPlayer gets: it tries the back ends in order on a
 * thread of its own ("opener") and plays through the first that opens.
 *
 * Opening never holds up the caller. Finding the sound server, loading its
 * library and connecting take milliseconds that are better spent beside the
 * display's start-up than after it: the application prepares a device
 * (connects it, with no stream yet) before it connects to the display, and
 * the first player takes that device over. Start and Stop asked before a
 * back end has opened are remembered and applied when it does.
 */
#include <private/AudioDevice.h>

#include <pthread.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace BPrivate {

namespace {

class ChosenAudioDevice : public AudioDevice {
public:
	explicit ChosenAudioDevice(std::vector<AudioDeviceFactory> candidates)
		:
		fCandidates(std::move(candidates))
	{
	}

	~ChosenAudioDevice() override
	{
		Close();
	}

	// Starts connecting to the first server that answers.
	void Prepare()
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (!fOpener.joinable() && !fCandidates.empty())
			fOpener = std::thread(&ChosenAudioDevice::_OpenFirst, this);
	}

	status_t Open(const char* streamName, RenderFunc render, void* user,
		media_raw_audio_format* format) override
	{
		if (fCandidates.empty())
			return B_ERROR;
		{
			std::lock_guard<std::mutex> lock(fLock);
			if (fOpenAsked || fClosing)
				return B_ERROR;
			fStreamName = streamName != nullptr ? streamName : "";
			fRender = render;
			fUser = user;
			fOpenAsked = true;
		}
		fOpenWanted.notify_all();
		Prepare();

		// What every back end asks its server for; each render call is
		// handed its own buffer's format all the same.
		*format = RequestedAudioFormat();
		return B_OK;
	}

	void Start() override
	{
		std::lock_guard<std::mutex> lock(fLock);
		fPlaying = true;
		if (fDevice != nullptr)
			fDevice->Start();
	}

	void Stop() override
	{
		std::lock_guard<std::mutex> lock(fLock);
		fPlaying = false;
		if (fDevice != nullptr)
			fDevice->Stop();
	}

	void Close() override
	{
		{
			std::lock_guard<std::mutex> lock(fLock);
			fClosing = true;
			if (fOpening != nullptr)
				fOpening->Cancel();
		}
		fOpenWanted.notify_all();
		if (fOpener.joinable())
			fOpener.join();
		std::unique_ptr<AudioDevice> device;
		{
			std::lock_guard<std::mutex> lock(fLock);
			device = std::move(fDevice);
			fPlaying = false;
		}
		if (device != nullptr)
			device->Close();
	}

private:
	void _OpenFirst()
	{
		// Threads a sound library starts from here take this name too
		// (PipeWire's data loop does), and they are the sound's.
		pthread_setname_np(pthread_self(), "belvo-sound");
		for (AudioDeviceFactory factory : fCandidates) {
			std::unique_ptr<AudioDevice> device = factory();
			if (device == nullptr)
				continue;
			{
				std::lock_guard<std::mutex> lock(fLock);
				if (fClosing)
					return;
				fOpening = device.get();
			}
			status_t status = device->Connect();
			if (status == B_OK) {
				// Connected: the stream waits for someone to play.
				std::unique_lock<std::mutex> lock(fLock);
				fOpenWanted.wait(lock, [this] { return fOpenAsked || fClosing; });
				if (!fClosing) {
					lock.unlock();
					media_raw_audio_format format;
					status = device->Open(fStreamName.c_str(), fRender, fUser,
						&format);
				}
			}
			{
				std::lock_guard<std::mutex> lock(fLock);
				fOpening = nullptr;
				if (status == B_OK && !fClosing) {
					fDevice = std::move(device);
					if (fPlaying)
						fDevice->Start();
					return;
				}
			}
			device->Close();
			std::lock_guard<std::mutex> lock(fLock);
			if (fClosing)
				return;
		}
	}

	const std::vector<AudioDeviceFactory> fCandidates;
	std::string fStreamName;
	RenderFunc fRender = nullptr;
	void* fUser = nullptr;
	std::thread fOpener;

	std::mutex fLock;
		// guards the rest, and the stream's name and render function
		// until fOpenAsked is set
	std::condition_variable fOpenWanted;
	std::unique_ptr<AudioDevice> fDevice;
	AudioDevice* fOpening = nullptr;
	bool fPlaying = false;
	bool fOpenAsked = false;
	bool fClosing = false;
};

} // namespace

std::unique_ptr<AudioDevice>
CreateChosenAudioDevice(std::vector<AudioDeviceFactory> candidates,
	bool connectNow)
{
	ChosenAudioDevice* device = new ChosenAudioDevice(std::move(candidates));
	if (connectNow)
		device->Prepare();
	return std::unique_ptr<AudioDevice>(device);
}

namespace {

// The back ends, in the order they are tried. One used only when asked for
// by name (BELVO_AUDIO) is left out of that order.
const struct {
	const char* name;
	AudioDeviceFactory create;
	bool onlyByName;
} kAudioBackends[] = {
	// PipeWire's own protocol first: what most desktops run now, and
	// through pipewire-pulse a PulseAudio client gets a smaller quantum.
	{ "pipewire", &CreatePipeWireAudioDevice, false },
	{ "pulse", &CreatePulseAudioDevice, false },
	// The card itself, last: it opens even when there is none, and says so.
	{ "alsa", &CreateAlsaAudioDevice, false },
};

} // namespace

std::vector<AudioDeviceFactory>
AudioBackendOrder(const char* forced)
{
	std::vector<AudioDeviceFactory> order;
	if (forced != nullptr) {
		for (const auto& backend : kAudioBackends) {
			if (strcmp(forced, backend.name) == 0)
				return { backend.create };
		}
	}
	for (const auto& backend : kAudioBackends) {
		if (!backend.onlyByName)
			order.push_back(backend.create);
	}
	return order;
}

std::vector<std::pair<std::string, std::string>>
StreamProperties(const char* streamName, RoleSpelling spelling)
{
	// The desktop entry names the program after its executable, with a
	// capital ("Belvo"), and installs its icon under the executable's own
	// name ("belvo").
	std::string icon = program_invocation_short_name;
	std::string name = icon;
	if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
		name[0] = char(name[0] - 'a' + 'A');
	// A reference tone is music to the desktop: it is routed, ducked and
	// shown beside the music players, not with alerts or calls.
	bool pipewire = spelling == kPipeWireRole;
	std::vector<std::pair<std::string, std::string>> properties = {
		{ "media.name", streamName != nullptr ? streamName : "" },
		{ "application.name", name },
		{ "application.icon_name", icon },
		{ "media.role", pipewire ? "Music" : "music" },
	};
	// PipeWire's own key has a hyphen; mixers that speak PulseAudio's
	// protocol to it read the underscore above.
	if (pipewire)
		properties.push_back({ "application.icon-name", icon });
	return properties;
}

media_raw_audio_format
RequestedAudioFormat()
{
	media_raw_audio_format format = {};
	format.frame_rate = kAudioFrameRate;
	format.channel_count = kAudioChannels;
	format.format = media_raw_audio_format::B_AUDIO_FLOAT;
	format.byte_order = B_MEDIA_HOST_ENDIAN;
	format.buffer_size = kMaxRenderFrames * kAudioChannels * sizeof(float);
	return format;
}

void
ReportAudio(const char* what, const char* reason)
{
	if (reason != nullptr && reason[0] != '\0') {
		fprintf(stderr, "%s: %s (%s)\n", program_invocation_short_name, what,
			reason);
	} else
		fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
}

void
RaiseAudioThreadPriority()
{
	sched_param parameters = {};
	parameters.sched_priority = 5;
	if (pthread_setschedparam(pthread_self(),
			SCHED_RR | SCHED_RESET_ON_FORK, &parameters) != 0)
		setpriority(PRIO_PROCESS, id_t(gettid()), -11);
}

void
RenderGate::Close()
{
	fOpen.store(false);
	// A render call takes microseconds; yield to it rather than sleep.
	for (int spins = 0; fInside.load() != 0; spins++) {
		if (spins < 100)
			std::this_thread::yield();
		else
			std::this_thread::sleep_for(std::chrono::microseconds(100));
	}
}

} // namespace BPrivate
