/*
 * Plays through ALSA's own library, the last resort when no sound server
 * answers: the default PCM ("default", or the one $BELVO_ALSA_DEVICE
 * names), 32-bit float at 44100 frames per second, interleaved, on as many
 * channels as the device gives near two. A device that takes no float gets
 * 16-bit samples converted here; everything else (rate, channels, a card
 * that wants integers) is the plug layer's work, which "default" has.
 *
 * Threads: one of the device's own ("belvo-alsa") opens the PCM, renders
 * and writes to it, and opens it again when it was lost. Nothing else
 * touches the PCM. The stream is opened non-blocking and the thread waits
 * for room with a timeout, so that it sees a Close() in time even when the
 * device has stopped answering; a Close() that still finds it stuck (in a
 * plug-in's own blocking write) leaves it to end by itself rather than wait.
 *
 * Being the last resort, the device opens even without an output: it says
 * so in one line and keeps looking, twice a second at first and then every
 * ten seconds, so that a card plugged in later plays. The library is
 * loaded at run time.
 */
#include <private/AlsaBuffer.h>
#include <private/AudioDevice.h>
#include <private/RuntimeLibrary.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <alsa/asoundlib.h>

namespace BPrivate {

namespace {

#define BELVO_ALSA_FUNCTIONS(X) \
	X(snd_lib_error_set_handler) \
	X(snd_strerror) \
	X(snd_pcm_open) \
	X(snd_pcm_close) \
	X(snd_pcm_hw_params_malloc) \
	X(snd_pcm_hw_params_free) \
	X(snd_pcm_hw_params_any) \
	X(snd_pcm_hw_params_set_access) \
	X(snd_pcm_hw_params_test_format) \
	X(snd_pcm_hw_params_set_format) \
	X(snd_pcm_hw_params_set_channels_near) \
	X(snd_pcm_hw_params_set_rate_resample) \
	X(snd_pcm_hw_params_set_rate_near) \
	X(snd_pcm_hw_params_set_period_size_near) \
	X(snd_pcm_hw_params_set_buffer_size_near) \
	X(snd_pcm_hw_params) \
	X(snd_pcm_hw_params_get_period_size) \
	X(snd_pcm_hw_params_get_buffer_size) \
	X(snd_pcm_sw_params_malloc) \
	X(snd_pcm_sw_params_free) \
	X(snd_pcm_sw_params_current) \
	X(snd_pcm_sw_params_set_avail_min) \
	X(snd_pcm_sw_params_set_start_threshold) \
	X(snd_pcm_sw_params) \
	X(snd_pcm_avail_update) \
	X(snd_pcm_wait) \
	X(snd_pcm_writei) \
	X(snd_pcm_recover)

struct AlsaLibrary {
	BELVO_ALSA_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

// ALSA prints a paragraph of its own to stderr for every device it fails
// to open, which on a machine without sound is every time we look. The
// first line of it is kept, for the one line we print, while a thread of
// ours opens a device; everything else is dropped.
const size_t kAlsaMessageSize = 160;
thread_local char* tAlsaMessage = nullptr;

extern "C" void
KeepFirstAlsaError(const char*, int, const char*, int, const char* format,
	...)
{
	if (tAlsaMessage == nullptr || tAlsaMessage[0] != '\0' || format == nullptr)
		return;
	va_list arguments;
	va_start(arguments, format);
	vsnprintf(tAlsaMessage, kAlsaMessageSize, format, arguments);
	va_end(arguments);
}

// Loaded once and kept, as the sound servers' libraries are. Where it is
// missing, why is kept for the one line.
const AlsaLibrary*
LoadAlsa(std::string* whyNot)
{
	static std::string sWhyNot;
	static const AlsaLibrary* sLibrary = [] {
		const AlsaLibrary* library = LoadRuntimeLibrary<AlsaLibrary>(
			"libasound.so.2", [](RuntimeLibrary& loader, AlsaLibrary* library) {
				BELVO_ALSA_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
			});
		if (library != nullptr)
			library->snd_lib_error_set_handler(&KeepFirstAlsaError);
		else {
			const char* error = dlerror();
			sWhyNot = error != nullptr ? error : "libasound.so.2 is missing";
		}
		return library;
	}();
	if (sLibrary == nullptr && whyNot != nullptr)
		*whyNot = sWhyNot;
	return sLibrary;
}

// How long the thread waits for room before it looks whether it should
// end: a Close() waits about this long at most for a device that stopped
// answering.
const int kWaitMilliseconds = 50;
// How long Close() waits for the thread before leaving it to end alone.
const auto kCloseWait = std::chrono::milliseconds(300);
// Recoveries in a row, without a frame written between them, after which
// the device is taken for gone rather than tried again at once.
const int kMaxRecoveries = 4;

// What the device and its thread share. The thread holds it too, so that
// a thread left to end by itself never reads a device that is gone.
struct AlsaStream {
	const AlsaLibrary* library = nullptr;
	std::string deviceName;
	AudioDevice::RenderFunc render = nullptr;
	void* user = nullptr;
	RenderGate gate;

	std::mutex lock;
		// guards the two below; never taken while writing
	std::condition_variable changed;
	bool quit = false;
	bool finished = false;
	std::atomic<bool> quitting{false};
		// the same as quit, read by the writing loop without the lock

	// The thread's own: the open PCM and what it writes.
	snd_pcm_t* pcm = nullptr;
	media_raw_audio_format format = {};
	size_t writeFrames = 0;
	bool integer = false;
	std::vector<float> samples;
	std::vector<int16> converted;
};

class AlsaAudioDevice : public AudioDevice {
public:
	~AlsaAudioDevice() override
	{
		Close();
	}

	status_t Open(const char* /*streamName*/, RenderFunc render, void* user,
		media_raw_audio_format* format) override
	{
		// (ALSA has no names for streams: nothing to tell the device.)
		Close();
		std::string whyNot;
		const AlsaLibrary* library = LoadAlsa(&whyNot);
		if (library == nullptr) {
			ReportAudio("no sound output, running silently", whyNot.c_str());
			return B_ERROR;
		}
		std::shared_ptr<AlsaStream> stream = std::make_shared<AlsaStream>();
		stream->library = library;
		const char* name = getenv("BELVO_ALSA_DEVICE");
		stream->deviceName = name != nullptr && name[0] != '\0'
			? name : "default";
		stream->render = render;
		stream->user = user;
		if (fPlaying)
			stream->gate.Open();
		fStream = stream;
		fThread = std::thread(&_Run, stream);
		// What is asked of the device; each render call is handed what it
		// granted.
		*format = RequestedAudioFormat();
		return B_OK;
	}

	void Start() override
	{
		fPlaying = true;
		if (fStream != nullptr)
			fStream->gate.Open();
	}

	void Stop() override
	{
		fPlaying = false;
		if (fStream != nullptr)
			fStream->gate.Close();
	}

	void Close() override
	{
		fPlaying = false;
		std::shared_ptr<AlsaStream> stream = std::move(fStream);
		fStream = nullptr;
		if (stream == nullptr)
			return;
		stream->gate.Close();
		std::unique_lock<std::mutex> lock(stream->lock);
		stream->quit = true;
		stream->quitting.store(true);
		stream->changed.notify_all();
		bool finished = stream->changed.wait_for(lock, kCloseWait,
			[&stream] { return stream->finished; });
		lock.unlock();
		// A thread stuck in a plug-in's write holds the stream itself; it
		// renders nothing more, and ends when the write returns.
		if (finished)
			fThread.join();
		else
			fThread.detach();
	}

private:
	static void _Run(std::shared_ptr<AlsaStream> stream)
	{
		pthread_setname_np(pthread_self(), "belvo-alsa");
		RaiseAudioThreadPriority();

		// Looked for again twice a second at first, then every ten
		// seconds: a machine without sound stays so for a while, and each
		// look makes ALSA read its configuration again.
		const int kEagerAttempts = 3;
		const auto kEagerDelay = std::chrono::milliseconds(500);
		const auto kLaterDelay = std::chrono::seconds(10);
		int attempts = 0;
		bool saidSo = false;
		std::string reason;
		while (!stream->quitting.load()) {
			if (_OpenPcm(*stream, &reason)) {
				attempts = 0;
				// A later loss is said once, and looked for again quietly.
				saidSo = true;
				bool lost = _Play(*stream, &reason);
				stream->library->snd_pcm_close(stream->pcm);
				stream->pcm = nullptr;
				if (!lost)
					break;
				ReportAudio("sound output lost, reconnecting when it is back",
					reason.c_str());
			} else if (!saidSo) {
				ReportAudio("no sound output, running silently", reason.c_str());
				saidSo = true;
			}
			auto delay = attempts++ < kEagerAttempts ? kEagerDelay : kLaterDelay;
			std::unique_lock<std::mutex> lock(stream->lock);
			if (stream->changed.wait_for(lock, delay,
					[&stream] { return stream->quit; }))
				break;
		}
		std::lock_guard<std::mutex> lock(stream->lock);
		stream->finished = true;
		stream->changed.notify_all();
	}

	// Opens the device and sets it up; on failure says why in *reason.
	static bool _OpenPcm(AlsaStream& stream, std::string* reason)
	{
		const AlsaLibrary& alsa = *stream.library;
		char message[kAlsaMessageSize] = "";
		tAlsaMessage = message;
		const char* failed = nullptr;
		int error = alsa.snd_pcm_open(&stream.pcm, stream.deviceName.c_str(),
			SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
		if (error < 0) {
			stream.pcm = nullptr;
			failed = "cannot open it";
		} else
			failed = _Setup(stream, &error);
		tAlsaMessage = nullptr;
		if (failed == nullptr)
			return true;

		if (stream.pcm != nullptr) {
			alsa.snd_pcm_close(stream.pcm);
			stream.pcm = nullptr;
		}
		// ALSA's own first word says most ("cannot find card '0'"); else
		// what failed, and its error.
		*reason = "ALSA " + stream.deviceName + ": ";
		if (message[0] != '\0') {
			size_t length = strlen(message);
			while (length > 0 && message[length - 1] == '\n')
				message[--length] = '\0';
			*reason += message;
		} else {
			*reason += failed;
			*reason += ", ";
			*reason += alsa.snd_strerror(error);
		}
		return false;
	}

	// Returns what failed, or nullptr once the device plays as it should.
	static const char* _Setup(AlsaStream& stream, int* error)
	{
		const AlsaLibrary& alsa = *stream.library;
		snd_pcm_t* pcm = stream.pcm;
		snd_pcm_hw_params_t* hardware = nullptr;
		if ((*error = alsa.snd_pcm_hw_params_malloc(&hardware)) < 0)
			return "no memory";
		const char* failed = nullptr;
		unsigned int channels = kAudioChannels;
		unsigned int rate = kAudioFrameRate;
		snd_pcm_uframes_t period = kAlsaPeriodFrames;
		snd_pcm_uframes_t buffer = kAlsaBufferFrames;
		stream.integer = false;
		if ((*error = alsa.snd_pcm_hw_params_any(pcm, hardware)) < 0)
			failed = "it offers no format";
		else if ((*error = alsa.snd_pcm_hw_params_set_access(pcm, hardware,
				SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
			failed = "it takes no interleaved frames";
		else {
			// Float where the device (or its plug layer) takes it, else
			// 16-bit integers, which every card takes.
			stream.integer = alsa.snd_pcm_hw_params_test_format(pcm, hardware,
				SND_PCM_FORMAT_FLOAT) < 0;
			if ((*error = alsa.snd_pcm_hw_params_set_format(pcm, hardware,
					stream.integer ? SND_PCM_FORMAT_S16 : SND_PCM_FORMAT_FLOAT))
					< 0)
				failed = "it takes neither float nor 16-bit samples";
		}
		if (failed == nullptr) {
			alsa.snd_pcm_hw_params_set_rate_resample(pcm, hardware, 1);
			if ((*error = alsa.snd_pcm_hw_params_set_channels_near(pcm,
					hardware, &channels)) < 0)
				failed = "it takes no channel count near two";
			else if ((*error = alsa.snd_pcm_hw_params_set_rate_near(pcm,
					hardware, &rate, nullptr)) < 0)
				failed = "it takes no rate near 44100";
		}
		if (failed == nullptr) {
			// Near, not exact: the device has the last word, and the writes
			// are sized to what it grants.
			alsa.snd_pcm_hw_params_set_period_size_near(pcm, hardware,
				&period, nullptr);
			alsa.snd_pcm_hw_params_set_buffer_size_near(pcm, hardware,
				&buffer);
			if ((*error = alsa.snd_pcm_hw_params(pcm, hardware)) < 0)
				failed = "it refused the format";
			else {
				alsa.snd_pcm_hw_params_get_period_size(hardware, &period,
					nullptr);
				alsa.snd_pcm_hw_params_get_buffer_size(hardware, &buffer);
			}
		}
		alsa.snd_pcm_hw_params_free(hardware);
		if (failed != nullptr)
			return failed;

		size_t writeFrames = AlsaWriteFrames(period, buffer);
		snd_pcm_sw_params_t* software = nullptr;
		if ((*error = alsa.snd_pcm_sw_params_malloc(&software)) < 0)
			return "no memory";
		// Woken when a whole piece fits; started, and started again after
		// running dry, once the buffer is as full as the pieces fill it.
		if ((*error = alsa.snd_pcm_sw_params_current(pcm, software)) < 0
			|| (*error = alsa.snd_pcm_sw_params_set_avail_min(pcm, software,
				writeFrames)) < 0
			|| (*error = alsa.snd_pcm_sw_params_set_start_threshold(pcm,
				software, buffer - buffer % writeFrames)) < 0
			|| (*error = alsa.snd_pcm_sw_params(pcm, software)) < 0)
			failed = "it refused the start and wake-up thresholds";
		alsa.snd_pcm_sw_params_free(software);
		if (failed != nullptr)
			return failed;

		// Everything the writing loop needs, made before it starts.
		stream.writeFrames = writeFrames;
		stream.samples.assign(writeFrames * channels, 0.0f);
		stream.converted.assign(stream.integer ? writeFrames * channels : 0, 0);
		stream.format = media_raw_audio_format();
		stream.format.frame_rate = float(rate);
		stream.format.channel_count = channels;
		stream.format.format = media_raw_audio_format::B_AUDIO_FLOAT;
		stream.format.byte_order = B_MEDIA_HOST_ENDIAN;
		stream.format.buffer_size = writeFrames * channels * sizeof(float);
		return nullptr;
	}

	// Renders and writes until Close() or the device is lost (true, with
	// ALSA's reason). Real-time: no lock, no allocation, no words.
	static bool _Play(AlsaStream& stream, std::string* reason)
	{
		const AlsaLibrary& alsa = *stream.library;
		snd_pcm_t* pcm = stream.pcm;
		const snd_pcm_uframes_t frames = stream.writeFrames;
		const size_t channels = stream.format.channel_count;
		const size_t bytes = stream.format.buffer_size;
		float* samples = stream.samples.data();
		int16* converted = stream.converted.data();
		const void* piece = stream.integer
			? static_cast<const void*>(converted) : samples;
		const size_t frameBytes = channels
			* (stream.integer ? sizeof(int16) : sizeof(float));
		snd_pcm_uframes_t written = frames;
			// of the piece in hand; all of it: none rendered yet
		int recoveries = 0;

		while (!stream.quitting.load(std::memory_order_relaxed)) {
			// Room for the rest of the piece in hand, or for a new one.
			snd_pcm_uframes_t wanted = written < frames
				? frames - written : frames;
			snd_pcm_sframes_t result = alsa.snd_pcm_avail_update(pcm);
			if (result >= 0 && snd_pcm_uframes_t(result) < wanted) {
				result = alsa.snd_pcm_wait(pcm, kWaitMilliseconds);
				if (result >= 0)
					continue;
			}
			if (result >= 0) {
				if (written == frames) {
					if (stream.gate.Enter()) {
						stream.render(stream.user, samples, bytes,
							stream.format);
						stream.gate.Leave();
					} else
						memset(samples, 0, bytes);
					if (stream.integer)
						AlsaFloatToS16(samples, converted, frames * channels);
					written = 0;
				}
				result = alsa.snd_pcm_writei(pcm,
					static_cast<const uint8*>(piece) + written * frameBytes,
					frames - written);
				if (result == -EAGAIN)
					continue;
				if (result >= 0) {
					written += snd_pcm_uframes_t(result);
					if (result > 0)
						recoveries = 0;
					continue;
				}
			}
			// Ran dry (a stalled machine), suspended, or gone: the first two
			// are put right and play on; a device that keeps failing is
			// taken for gone.
			int error = int(result);
			if (++recoveries > kMaxRecoveries
				|| alsa.snd_pcm_recover(pcm, error, 1) < 0) {
				*reason = "ALSA " + stream.deviceName + ": "
					+ alsa.snd_strerror(error);
				return true;
			}
		}
		return false;
	}

	std::shared_ptr<AlsaStream> fStream;
	std::thread fThread;
	bool fPlaying = false;
		// Open(), Start(), Stop() and Close() come from one thread at a
		// time, the chosen device's
};

} // namespace

size_t
AlsaWriteFrames(size_t periodFrames, size_t bufferFrames)
{
	size_t frames = periodFrames;
	if (frames > kMaxRenderFrames)
		frames = kMaxRenderFrames;
	if (frames > bufferFrames / 2)
		frames = bufferFrames / 2;
	return frames > 0 ? frames : 1;
}

void
AlsaFloatToS16(const float* in, int16* out, size_t count)
{
	for (size_t i = 0; i < count; i++) {
		float sample = in[i];
		// NaN fails both tests and is played as silence.
		if (sample >= 1.0f)
			out[i] = 32767;
		else if (sample <= -1.0f)
			out[i] = -32767;
		else if (sample == sample)
			out[i] = int16(lrintf(sample * 32767.0f));
		else
			out[i] = 0;
	}
}

std::unique_ptr<AudioDevice>
CreateAlsaAudioDevice()
{
	return std::unique_ptr<AudioDevice>(new AlsaAudioDevice);
}

} // namespace BPrivate
