/*
 * Plays through PipeWire's own client library: one pw_stream of 32-bit float
 * stereo at 44100 frames per second, asking the graph for 1024-frame cycles.
 *
 * Threads: the stream's control (connecting, reconnecting, its events) runs
 * on a pw_thread_loop of the device's own; the render function runs in the
 * stream's process callback on PipeWire's real-time data thread, writing
 * straight into the buffer it dequeued: no copy, no lock, no allocation.
 * The server converts to the sink's rate and channels, and the session
 * manager links the stream to the default sink and moves it when the default
 * changes (unless the user has moved it by hand).
 *
 * When the server goes away the stream is rebuilt on a new connection twice
 * a second until it answers again. The library is loaded at run time, so
 * the program runs on machines without it.
 */
#include <private/AudioDevice.h>
#include <private/RuntimeLibrary.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wpedantic"
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#pragma GCC diagnostic pop

namespace BPrivate {

namespace {

#define BELVO_PIPEWIRE_FUNCTIONS(X) \
	X(pw_init) \
	X(pw_get_library_version) \
	X(pw_thread_loop_new) \
	X(pw_thread_loop_destroy) \
	X(pw_thread_loop_start) \
	X(pw_thread_loop_stop) \
	X(pw_thread_loop_lock) \
	X(pw_thread_loop_unlock) \
	X(pw_thread_loop_get_loop) \
	X(pw_context_new) \
	X(pw_context_destroy) \
	X(pw_context_connect) \
	X(pw_core_disconnect) \
	X(pw_proxy_destroy) \
	X(pw_properties_new) \
	X(pw_properties_set) \
	X(pw_stream_new) \
	X(pw_stream_destroy) \
	X(pw_stream_add_listener) \
	X(pw_stream_connect) \
	X(pw_stream_dequeue_buffer) \
	X(pw_stream_queue_buffer) \
	X(pw_stream_set_active)

struct PipeWireLibrary {
	BELVO_PIPEWIRE_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

// Loaded once and kept: its threads and plug-ins may outlive any one device.
const PipeWireLibrary*
LoadPipeWire()
{
	static const PipeWireLibrary* sLibrary = []() -> const PipeWireLibrary* {
		PipeWireLibrary* library = LoadRuntimeLibrary<PipeWireLibrary>(
			"libpipewire-0.3.so.0",
			[](RuntimeLibrary& loader, PipeWireLibrary* library) {
				BELVO_PIPEWIRE_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
			});
		if (library != nullptr)
			library->pw_init(nullptr, nullptr);
		return library;
	}();
	return sLibrary;
}

// Where the library looks for the server's socket. Checking first keeps a
// machine without PipeWire from paying for loading it.
bool
PipeWireSocketExists()
{
	const char* remote = getenv("PIPEWIRE_REMOTE");
	if (remote != nullptr && remote[0] != '\0')
		return true;
	const char* directories[] = { getenv("PIPEWIRE_RUNTIME_DIR"),
		getenv("XDG_RUNTIME_DIR"), getenv("USERPROFILE") };
	for (const char* directory : directories) {
		if (directory == nullptr || directory[0] == '\0')
			continue;
		std::string path = std::string(directory) + "/pipewire-0";
		struct stat info;
		if (stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
			return true;
	}
	return false;
}

}	// namespace

// The library's version is "MAJOR.MINOR.MICRO"; anything unreadable is
// taken for a current one.
const char*
PipeWireClientConfig(const char* libraryVersion)
{
	if (libraryVersion == nullptr)
		return "client.conf";
	char* end = nullptr;
	long major = strtol(libraryVersion, &end, 10);
	if (end == libraryVersion || *end != '.')
		return "client.conf";
	return major < 1 ? "client-rt.conf" : "client.conf";
}

namespace {

const timespec kReconnectDelay = { 0, 500 * 1000 * 1000 };
const timespec kRetryStreamDelay = { 1, 0 };
// With no sink at all this long after connecting, the device says so once.
// (PipeWire does not refuse such a stream: it plays it into nowhere, or
// into the session manager's dummy output.)
const timespec kNoSinkWarning = { 2, 0 };

class PipeWireAudioDevice : public AudioDevice {
public:
	~PipeWireAudioDevice() override
	{
		Close();
	}

	status_t Connect() override
	{
		if (fThreadLoop != nullptr)
			return B_OK;
		if (!PipeWireSocketExists())
			return B_ERROR;
		fLibrary = LoadPipeWire();
		if (fLibrary == nullptr)
			return B_ERROR;
		const PipeWireLibrary& pw = *fLibrary;

		fThreadLoop = pw.pw_thread_loop_new("belvo-pipewire", nullptr);
		if (fThreadLoop == nullptr)
			return B_ERROR;
		fLoop = pw.pw_thread_loop_get_loop(fThreadLoop);
		fContext = _NewContext();
		if (fContext == nullptr || pw.pw_thread_loop_start(fThreadLoop) < 0) {
			Close();
			return B_ERROR;
		}

		pw.pw_thread_loop_lock(fThreadLoop);
		fReconnectTimer = pw_loop_add_timer(fLoop, &_ReconnectTimerFired, this);
		fNoSinkTimer = pw_loop_add_timer(fLoop, &_NoSinkTimerFired, this);
		status_t status = _Connect();
		pw.pw_thread_loop_unlock(fThreadLoop);
		if (status != B_OK) {
			Close();
			return status;
		}
		return B_OK;
	}

	status_t Open(const char* streamName, RenderFunc render, void* user,
		media_raw_audio_format* format) override
	{
		if (Connect() != B_OK)
			return B_ERROR;
		const PipeWireLibrary& pw = *fLibrary;
		pw.pw_thread_loop_lock(fThreadLoop);
		fStreamName = streamName != nullptr ? streamName : "";
		fRender = render;
		fUser = user;
		fOpened = true;
		status_t status = fStream == nullptr ? _CreateStream() : B_OK;
		pw.pw_thread_loop_unlock(fThreadLoop);
		if (status != B_OK) {
			Close();
			return status;
		}

		*format = RequestedAudioFormat();
		return B_OK;
	}

	void Start() override
	{
		fGate.Open();
		_SetPlaying(true);
	}

	void Stop() override
	{
		fGate.Close();
		_SetPlaying(false);
	}

	void Close() override
	{
		fGate.Close();
		if (fThreadLoop == nullptr)
			return;
		const PipeWireLibrary& pw = *fLibrary;
		pw.pw_thread_loop_lock(fThreadLoop);
		_Disconnect();
		if (fReconnectTimer != nullptr)
			pw_loop_destroy_source(fLoop, fReconnectTimer);
		if (fNoSinkTimer != nullptr)
			pw_loop_destroy_source(fLoop, fNoSinkTimer);
		fReconnectTimer = nullptr;
		fNoSinkTimer = nullptr;
		pw.pw_thread_loop_unlock(fThreadLoop);
		pw.pw_thread_loop_stop(fThreadLoop);
		if (fContext != nullptr)
			pw.pw_context_destroy(fContext);
		pw.pw_thread_loop_destroy(fThreadLoop);
		fContext = nullptr;
		fThreadLoop = nullptr;
		fLoop = nullptr;
		fPlaying = false;
		fOpened = false;
	}

private:
	void _SetPlaying(bool playing)
	{
		if (fThreadLoop == nullptr)
			return;
		fLibrary->pw_thread_loop_lock(fThreadLoop);
		fPlaying = playing;
		if (fStream != nullptr)
			fLibrary->pw_stream_set_active(fStream, playing);
		fLibrary->pw_thread_loop_unlock(fThreadLoop);
	}

	pw_context* _NewContext()
	{
		// The client configuration must give the data thread a real-time
		// priority (asking the desktop's RealtimeKit when the process may
		// not raise its own), so that a busy machine does not starve the
		// tone. Before 1.0 only client-rt.conf loads the real-time module;
		// from 1.0 on the plain client.conf does, and asking for
		// client-rt.conf earns a warning on the terminal at every start.
		// A stream needs none of the modules for exporting devices,
		// metadata or sessions that the configuration also loads: 0.4 MB
		// of libraries. From 1.0 on its entries can be turned off by
		// properties, so the user's own client configuration still holds;
		// older libraries ignore them. (A configuration of our own would
		// lose the user's, and its data thread would start before the
		// real-time module could lift it.)
		const char* config
			= PipeWireClientConfig(fLibrary->pw_get_library_version());
		return fLibrary->pw_context_new(fLoop,
			fLibrary->pw_properties_new(PW_KEY_CONFIG_NAME, config,
				"module.client-device", "false",
				"module.metadata", "false",
				"module.session-manager", "false", nullptr),
			0);
	}

	// Everything below runs with the thread loop locked: on the loop's own
	// thread (events, timers) or under pw_thread_loop_lock.

	status_t _Connect()
	{
		const PipeWireLibrary& pw = *fLibrary;
		std::vector<std::pair<std::string, std::string>> properties
			= StreamProperties(nullptr, kPipeWireRole);

		pw_properties* coreProperties = pw.pw_properties_new(nullptr, nullptr);
		for (const auto& property : properties) {
			if (property.first.compare(0, 12, "application.") == 0) {
				pw.pw_properties_set(coreProperties, property.first.c_str(),
					property.second.c_str());
			}
		}
		fCore = pw.pw_context_connect(fContext, coreProperties, 0);
		if (fCore == nullptr)
			return B_ERROR;
		static const pw_core_events kCoreEvents = [] {
			pw_core_events events = {};
			events.version = PW_VERSION_CORE_EVENTS;
			events.error = &_CoreError;
			return events;
		}();
		spa_zero(fCoreListener);
		pw_core_add_listener(fCore, &fCoreListener, &kCoreEvents, this);

		// The registry tells which sinks there are, to say so when none is.
		fSinkIds.clear();
		fRegistry = pw_core_get_registry(fCore, PW_VERSION_REGISTRY, 0);
		if (fRegistry != nullptr) {
			static const pw_registry_events kRegistryEvents = [] {
				pw_registry_events events = {};
				events.version = PW_VERSION_REGISTRY_EVENTS;
				events.global = &_GlobalAdded;
				events.global_remove = &_GlobalRemoved;
				return events;
			}();
			spa_zero(fRegistryListener);
			pw_registry_add_listener(fRegistry, &fRegistryListener,
				&kRegistryEvents, this);
		}
		return fOpened ? _CreateStream() : B_OK;
	}

	status_t _CreateStream()
	{
		const PipeWireLibrary& pw = *fLibrary;
		std::vector<std::pair<std::string, std::string>> properties
			= StreamProperties(fStreamName.c_str(), kPipeWireRole);
		// 1024 frames a cycle wakes the graph 43 times a second, and is the
		// longest buffer the tone's glide is made for.
		pw_properties* streamProperties = pw.pw_properties_new(
			PW_KEY_MEDIA_TYPE, "Audio",
			PW_KEY_MEDIA_CATEGORY, "Playback",
			PW_KEY_NODE_LATENCY, "1024/44100",
			nullptr);
		for (const auto& property : properties) {
			pw.pw_properties_set(streamProperties, property.first.c_str(),
				property.second.c_str());
		}
		fStream = pw.pw_stream_new(fCore, fStreamName.c_str(), streamProperties);
		if (fStream == nullptr)
			return B_ERROR;
		fProcessedStream.store(fStream);
		static const pw_stream_events kStreamEvents = [] {
			pw_stream_events events = {};
			events.version = PW_VERSION_STREAM_EVENTS;
			events.state_changed = &_StateChanged;
			events.param_changed = &_ParamChanged;
			events.process = &_Process;
			return events;
		}();
		spa_zero(fStreamListener);
		pw.pw_stream_add_listener(fStream, &fStreamListener, &kStreamEvents,
			this);

		uint8_t podBuffer[1024];
		spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer,
			sizeof(podBuffer));
		spa_audio_info_raw info = {};
		info.format = SPA_AUDIO_FORMAT_F32;
		info.rate = kAudioFrameRate;
		info.channels = kAudioChannels;
		info.position[0] = SPA_AUDIO_CHANNEL_FL;
		info.position[1] = SPA_AUDIO_CHANNEL_FR;
		const spa_pod* params[1] = {
			spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)
		};
		fChannels.store(kAudioChannels);
		fSampleFormat.store(SPA_AUDIO_FORMAT_F32);
		fRate.store(kAudioFrameRate);

		uint32_t flags = PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS
			| PW_STREAM_FLAG_RT_PROCESS;
		if (!fPlaying)
			flags |= PW_STREAM_FLAG_INACTIVE;
		if (pw.pw_stream_connect(fStream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
				pw_stream_flags(flags), params, 1) < 0) {
			_DestroyStream();
			return B_ERROR;
		}
		_Arm(fNoSinkTimer, kNoSinkWarning);
		return B_OK;
	}

	void _DestroyStream()
	{
		if (fStream == nullptr)
			return;
		spa_hook_remove(&fStreamListener);
		fProcessedStream.store(nullptr);
		// Takes the stream off the data thread before it returns.
		fLibrary->pw_stream_destroy(fStream);
		fStream = nullptr;
	}

	void _Disconnect()
	{
		_DestroyStream();
		if (fRegistry != nullptr) {
			spa_hook_remove(&fRegistryListener);
			fLibrary->pw_proxy_destroy(reinterpret_cast<pw_proxy*>(fRegistry));
			fRegistry = nullptr;
		}
		if (fCore != nullptr) {
			spa_hook_remove(&fCoreListener);
			fLibrary->pw_core_disconnect(fCore);
			fCore = nullptr;
		}
	}

	void _Arm(spa_source* timer, timespec delay)
	{
		// (The loop takes its times as writable, though it only reads them.)
		if (timer != nullptr)
			pw_loop_update_timer(fLoop, timer, &delay, nullptr, false);
	}

	void _ScheduleReconnect(const timespec& delay)
	{
		_Arm(fReconnectTimer, delay);
	}

	static void _CoreError(void* data, uint32_t id, int /*seq*/, int result,
		const char* message)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		// A broken pipe is the server going away; other errors name one
		// object and are answered by the stream's own state.
		if (id != PW_ID_CORE || result != -EPIPE)
			return;
		if (!self->fLostReported) {
			ReportAudio("sound output lost, reconnecting when it is back",
				message);
			self->fLostReported = true;
		}
		self->_ScheduleReconnect(kReconnectDelay);
	}

	static void _StateChanged(void* data, pw_stream_state /*old*/,
		pw_stream_state state, const char* error)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		switch (state) {
			case PW_STREAM_STATE_STREAMING:
				self->fLostReported = false;
				break;
			case PW_STREAM_STATE_ERROR:
				if (!self->fRefusedReported && !self->fLostReported) {
					ReportAudio("no sound output, running silently", error);
					self->fRefusedReported = true;
				}
				self->_ScheduleReconnect(kRetryStreamDelay);
				break;
			default:
				break;
		}
	}

	static void _ParamChanged(void* data, uint32_t id, const spa_pod* param)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		if (id != SPA_PARAM_Format || param == nullptr)
			return;
		spa_audio_info_raw info = {};
		if (spa_format_audio_raw_parse(param, &info) < 0)
			return;
		self->fChannels.store(info.channels);
		self->fSampleFormat.store(info.format);
		self->fRate.store(info.rate);
	}

	static void _ReconnectTimerFired(void* data, uint64_t /*expirations*/)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		self->_Disconnect();
		if (self->_Connect() != B_OK) {
			self->_Disconnect();
			self->_ScheduleReconnect(kReconnectDelay);
		}
	}

	static void _NoSinkTimerFired(void* data, uint64_t /*expirations*/)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		// (A stopped player has nothing to say: it is not meant to play.)
		if (self->fPlaying && self->fSinkIds.empty() && !self->fRefusedReported
			&& !self->fLostReported) {
			ReportAudio("no sound output, running silently",
				"there is no sink to play on");
			self->fRefusedReported = true;
		}
	}

	static void _GlobalAdded(void* data, uint32_t id, uint32_t /*permissions*/,
		const char* type, uint32_t /*version*/, const spa_dict* properties)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		if (type == nullptr || strcmp(type, PW_TYPE_INTERFACE_Node) != 0
			|| properties == nullptr)
			return;
		const char* mediaClass = spa_dict_lookup(properties, PW_KEY_MEDIA_CLASS);
		const char* name = spa_dict_lookup(properties, PW_KEY_NODE_NAME);
		// The session manager's stand-in when there is no sink ("Dummy
		// Output") plays into nowhere, and counts as none.
		if (mediaClass != nullptr && strcmp(mediaClass, "Audio/Sink") == 0
			&& (name == nullptr || strcmp(name, "auto_null") != 0)) {
			// The session manager links the stream to it by itself.
			self->fSinkIds.push_back(id);
			self->fRefusedReported = false;
		}
	}

	static void _GlobalRemoved(void* data, uint32_t id)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		std::vector<uint32_t>& ids = self->fSinkIds;
		for (size_t i = 0; i < ids.size(); i++) {
			if (ids[i] == id) {
				ids.erase(ids.begin() + long(i));
				break;
			}
		}
	}

	// The data thread, once per graph cycle.
	static void _Process(void* data)
	{
		PipeWireAudioDevice* self = static_cast<PipeWireAudioDevice*>(data);
		pw_stream* stream = self->fProcessedStream.load(std::memory_order_acquire);
		if (stream == nullptr)
			return;
		pw_buffer* buffer = self->fLibrary->pw_stream_dequeue_buffer(stream);
		if (buffer == nullptr)
			return;
		spa_data& block = buffer->buffer->datas[0];
		if (block.data == nullptr) {
			self->fLibrary->pw_stream_queue_buffer(stream, buffer);
			return;
		}

		media_raw_audio_format format = {};
		uint32 channels = self->fChannels.load(std::memory_order_relaxed);
		format.frame_rate = float(self->fRate.load(std::memory_order_relaxed));
		format.channel_count = channels;
		format.format = self->fSampleFormat.load(std::memory_order_relaxed)
				== SPA_AUDIO_FORMAT_F32
			? media_raw_audio_format::B_AUDIO_FLOAT : 0;
		format.byte_order = B_MEDIA_HOST_ENDIAN;

		uint32 stride = channels * sizeof(float);
		uint32 frames = stride != 0 ? block.maxsize / stride : 0;
		if (buffer->requested != 0 && buffer->requested < frames)
			frames = uint32(buffer->requested);
		size_t size = size_t(frames) * stride;
		format.buffer_size = size;

		// Only float buffers are handed on; anything else plays silence.
		if (format.format == media_raw_audio_format::B_AUDIO_FLOAT
			&& self->fGate.Enter()) {
			self->fRender(self->fUser, block.data, size, format);
			self->fGate.Leave();
		} else
			memset(block.data, 0, size);

		block.chunk->offset = 0;
		block.chunk->stride = int32_t(stride);
		block.chunk->size = uint32_t(size);
		self->fLibrary->pw_stream_queue_buffer(stream, buffer);
	}

	const PipeWireLibrary* fLibrary = nullptr;
	std::string fStreamName;
	RenderFunc fRender = nullptr;
	void* fUser = nullptr;
	RenderGate fGate;

	pw_thread_loop* fThreadLoop = nullptr;
	pw_loop* fLoop = nullptr;
	pw_context* fContext = nullptr;
	pw_core* fCore = nullptr;
	spa_hook fCoreListener = {};
	pw_registry* fRegistry = nullptr;
	spa_hook fRegistryListener = {};
	std::vector<uint32_t> fSinkIds;
	pw_stream* fStream = nullptr;
	spa_hook fStreamListener = {};
	spa_source* fReconnectTimer = nullptr;
	spa_source* fNoSinkTimer = nullptr;

	// Read by the data thread: the stream it serves (cleared before the
	// stream goes), and the format as negotiated.
	std::atomic<pw_stream*> fProcessedStream{nullptr};
	std::atomic<uint32> fChannels{kAudioChannels};
	std::atomic<uint32> fSampleFormat{SPA_AUDIO_FORMAT_F32};
	std::atomic<uint32> fRate{kAudioFrameRate};

	// The thread loop's lock guards these.
	bool fPlaying = false;
	bool fOpened = false;
	bool fLostReported = false;
	bool fRefusedReported = false;
};

} // namespace

std::unique_ptr<AudioDevice>
CreatePipeWireAudioDevice()
{
	return std::unique_ptr<AudioDevice>(new PipeWireAudioDevice);
}

} // namespace BPrivate
