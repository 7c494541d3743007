/*
 * Plays through PulseAudio's own client library (and so through any server
 * that speaks its protocol, pipewire-pulse among them): one playback stream
 * of 32-bit float stereo at 44100 frames per second.
 *
 * Threads: everything runs on a pa_threaded_mainloop of the device's own.
 * The render function runs in the stream's write callback there, writing
 * straight into the memory the library hands out for the server
 * (pa_stream_begin_write), in pieces of whole frames.
 *
 * The stream plays on the default sink and follows it: when the default
 * changes, a stream still on the old one is moved to the new one, unless the
 * user has moved it somewhere else by hand. When the server goes away, or
 * refuses the stream (there is no sink), the device says so once and tries
 * again until it can play. The library is loaded at run time.
 */
#include <private/AudioDevice.h>
#include <private/PulseBuffer.h>
#include <private/RuntimeLibrary.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include <sys/time.h>
#include <pulse/pulseaudio.h>

namespace BPrivate {

namespace {

#define BELVO_PULSE_FUNCTIONS(X) \
	X(pa_threaded_mainloop_new) \
	X(pa_threaded_mainloop_free) \
	X(pa_threaded_mainloop_start) \
	X(pa_threaded_mainloop_stop) \
	X(pa_threaded_mainloop_lock) \
	X(pa_threaded_mainloop_unlock) \
	X(pa_threaded_mainloop_wait) \
	X(pa_threaded_mainloop_signal) \
	X(pa_threaded_mainloop_get_api) \
	X(pa_threaded_mainloop_set_name) \
	X(pa_threaded_mainloop_in_thread) \
	X(pa_proplist_new) \
	X(pa_proplist_free) \
	X(pa_proplist_sets) \
	X(pa_context_new_with_proplist) \
	X(pa_context_unref) \
	X(pa_context_connect) \
	X(pa_context_disconnect) \
	X(pa_context_get_state) \
	X(pa_context_set_state_callback) \
	X(pa_context_set_subscribe_callback) \
	X(pa_context_subscribe) \
	X(pa_context_get_server_info) \
	X(pa_context_move_sink_input_by_name) \
	X(pa_context_errno) \
	X(pa_context_rttime_new) \
	X(pa_operation_unref) \
	X(pa_strerror) \
	X(pa_rtclock_now) \
	X(pa_stream_new_with_proplist) \
	X(pa_stream_unref) \
	X(pa_stream_connect_playback) \
	X(pa_stream_disconnect) \
	X(pa_stream_get_state) \
	X(pa_stream_set_state_callback) \
	X(pa_stream_set_write_callback) \
	X(pa_stream_set_moved_callback) \
	X(pa_stream_set_underflow_callback) \
	X(pa_stream_set_buffer_attr) \
	X(pa_stream_begin_write) \
	X(pa_stream_cancel_write) \
	X(pa_stream_write) \
	X(pa_stream_cork) \
	X(pa_stream_get_device_name) \
	X(pa_stream_get_index) \
	X(pa_stream_get_sample_spec)

struct PulseLibrary {
	BELVO_PULSE_FUNCTIONS(BELVO_LIBRARY_FUNCTION)
};

// Loaded once and kept, as PipeWire's library is.
const PulseLibrary*
LoadPulse()
{
	static const PulseLibrary* sLibrary = LoadRuntimeLibrary<PulseLibrary>(
		"libpulse.so.0", [](RuntimeLibrary& loader, PulseLibrary* library) {
			BELVO_PULSE_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
		});
	return sLibrary;
}

const pa_usec_t kReconnectDelay = 500 * 1000;
const pa_usec_t kRetryStreamDelay = 1000 * 1000;
// How long Open() waits for the server's first answer. A server that takes
// longer (a stopped process) is kept, and answers when it can.
const pa_usec_t kFirstAnswerWait = 1500 * 1000;

} // namespace

pa_buffer_attr
PulseBufferAttributes(uint32 frameRate, uint32 channels, uint32 underruns)
{
	// The whole latency, server and client together (the stream asks for
	// PA_STREAM_ADJUST_LATENCY), is kept short enough that a pick is heard
	// within 50 ms: a new level reaches the queue within one request and
	// then waits behind what is queued. The server splits the target
	// between its sink and our queue after setting aside two requests, so
	// a request much over a quarter of the target leaves the sink almost
	// nothing, and a null or USB sink then wakes the server constantly
	// (measured: 78 us of sink latency and five times the server's CPU at
	// 40 ms and 20 ms). 45 ms and 10 ms give the sink about 8 ms and keep
	// 35 ms queued against a busy machine.
	//
	// A machine that stalls longer than that (a loaded virtual machine
	// stops for 50 to 100 ms at times) runs the stream dry, which is heard
	// as a click. Once that has happened the target is four times as long,
	// 180 ms, trading how soon a pick is heard for an unbroken tone there.
	// (Doubling it a step at a time let the same machine run dry again.)
	const uint32 kTargetMilliseconds = 45;
	const uint32 kRequestMilliseconds = 10;
	uint32 scale = underruns == 0 ? 1 : 4;
	uint32 frameBytes = channels * sizeof(float);
	pa_buffer_attr attributes;
	attributes.maxlength = uint32(-1);
	attributes.tlength = frameRate * kTargetMilliseconds * scale / 1000
		* frameBytes;
	attributes.minreq = frameRate * kRequestMilliseconds * scale / 1000
		* frameBytes;
	// Playing starts (and starts again after running dry) once the queue
	// holds a full target, so that it does not run dry again at once.
	attributes.prebuf = attributes.tlength;
	attributes.fragsize = uint32(-1);
	return attributes;
}

namespace {

class PulseAudioDevice : public AudioDevice {
public:
	~PulseAudioDevice() override
	{
		Close();
	}

	status_t Connect() override
	{
		if (fLoop != nullptr)
			return B_OK;
		fLibrary = LoadPulse();
		if (fLibrary == nullptr)
			return B_ERROR;
		const PulseLibrary& pa = *fLibrary;

		pa_threaded_mainloop* loop = pa.pa_threaded_mainloop_new();
		if (loop == nullptr)
			return B_ERROR;
		{
			std::lock_guard<std::mutex> lock(fCancelLock);
			if (fCancelled)
				return pa.pa_threaded_mainloop_free(loop), B_ERROR;
			fLoop = loop;
			fLoopToSignal = loop;
		}
		pa.pa_threaded_mainloop_set_name(fLoop, "belvo-pulse");
		if (pa.pa_threaded_mainloop_start(fLoop) < 0) {
			Close();
			return B_ERROR;
		}

		pa.pa_threaded_mainloop_lock(fLoop);
		fApi = pa.pa_threaded_mainloop_get_api(fLoop);
		fWaitingForAnswer = true;
		bool connecting = _Connect();
		pa_time_event* deadline = connecting
			? pa.pa_context_rttime_new(fContext,
				pa.pa_rtclock_now() + kFirstAnswerWait, &_FirstAnswerLate, this)
			: nullptr;
		while (connecting && fWaitingForAnswer && !fCancelled)
			pa.pa_threaded_mainloop_wait(fLoop);
		if (deadline != nullptr)
			fApi->time_free(deadline);
		bool answered = connecting && !fCancelled && fContext != nullptr
			&& pa.pa_context_get_state(fContext) != PA_CONTEXT_FAILED
			&& pa.pa_context_get_state(fContext) != PA_CONTEXT_TERMINATED;
		fWaitingForAnswer = false;
		pa.pa_threaded_mainloop_unlock(fLoop);
		if (!answered) {
			Close();
			return B_ERROR;
		}
		return B_OK;
	}

	status_t Open(const char* streamName, RenderFunc render, void* user,
		media_raw_audio_format* format) override
	{
		if (Connect() != B_OK)
			return B_ERROR;
		const PulseLibrary& pa = *fLibrary;
		pa.pa_threaded_mainloop_lock(fLoop);
		fStreamName = streamName != nullptr ? streamName : "";
		fRender = render;
		fUser = user;
		fOpened = true;
		if (fContext != nullptr && fStream == nullptr
			&& pa.pa_context_get_state(fContext) == PA_CONTEXT_READY)
			_CreateStream();
		pa.pa_threaded_mainloop_unlock(fLoop);

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
		pa_threaded_mainloop* loop = fLoop;
		{
			// Taken off at once, so that a Cancel() from another thread
			// never signals a main loop being freed.
			std::lock_guard<std::mutex> lock(fCancelLock);
			fLoopToSignal = nullptr;
		}
		if (loop == nullptr)
			return;
		const PulseLibrary& pa = *fLibrary;
		pa.pa_threaded_mainloop_lock(loop);
		_CancelTimer();
		_Disconnect();
		pa.pa_threaded_mainloop_unlock(loop);
		// Nothing here waits for the server: a stopped or vanished one
		// holds up nobody's close.
		pa.pa_threaded_mainloop_stop(loop);
		pa.pa_threaded_mainloop_free(loop);
		fLoop = nullptr;
		fApi = nullptr;
		fPlaying = false;
		fOpened = false;
	}

	void Cancel() override
	{
		std::lock_guard<std::mutex> lock(fCancelLock);
		fCancelled = true;
		if (fLoopToSignal != nullptr) {
			fLibrary->pa_threaded_mainloop_lock(fLoopToSignal);
			fLibrary->pa_threaded_mainloop_signal(fLoopToSignal, 0);
			fLibrary->pa_threaded_mainloop_unlock(fLoopToSignal);
		}
	}

private:
	void _SetPlaying(bool playing)
	{
		if (fLoop == nullptr)
			return;
		fLibrary->pa_threaded_mainloop_lock(fLoop);
		fPlaying = playing;
		_Cork(!playing);
		fLibrary->pa_threaded_mainloop_unlock(fLoop);
	}

	// Everything below runs with the main loop locked: on the loop's own
	// thread (callbacks) or under pa_threaded_mainloop_lock.

	bool _Connect()
	{
		const PulseLibrary& pa = *fLibrary;
		pa_proplist* properties = pa.pa_proplist_new();
		for (const auto& property
				: StreamProperties(fStreamName.c_str(), kPulseAudioRole)) {
			if (property.first.compare(0, 12, "application.") == 0) {
				pa.pa_proplist_sets(properties, property.first.c_str(),
					property.second.c_str());
			}
		}
		fContext = pa.pa_context_new_with_proplist(fApi, nullptr, properties);
		pa.pa_proplist_free(properties);
		if (fContext == nullptr)
			return false;
		pa.pa_context_set_state_callback(fContext, &_ContextState, this);
		pa.pa_context_set_subscribe_callback(fContext, &_ServerEvent, this);
		// Never start a server of our own: the desktop runs one, or none is
		// wanted.
		if (pa.pa_context_connect(fContext, nullptr, PA_CONTEXT_NOAUTOSPAWN,
				nullptr) < 0) {
			_Disconnect();
			return false;
		}
		return true;
	}

	void _Disconnect()
	{
		const PulseLibrary& pa = *fLibrary;
		_DestroyStream();
		if (fContext != nullptr) {
			pa.pa_context_set_state_callback(fContext, nullptr, nullptr);
			pa.pa_context_set_subscribe_callback(fContext, nullptr, nullptr);
			pa.pa_context_disconnect(fContext);
			pa.pa_context_unref(fContext);
			fContext = nullptr;
		}
	}

	void _CreateStream()
	{
		const PulseLibrary& pa = *fLibrary;
		pa_proplist* properties = pa.pa_proplist_new();
		for (const auto& property
				: StreamProperties(fStreamName.c_str(), kPulseAudioRole)) {
			pa.pa_proplist_sets(properties, property.first.c_str(),
				property.second.c_str());
		}
		pa_sample_spec spec;
		spec.format = PA_SAMPLE_FLOAT32NE;
		spec.rate = kAudioFrameRate;
		spec.channels = kAudioChannels;
		fStream = pa.pa_stream_new_with_proplist(fContext, fStreamName.c_str(),
			&spec, nullptr, properties);
		pa.pa_proplist_free(properties);
		if (fStream == nullptr) {
			_StreamRefused(pa.pa_strerror(pa.pa_context_errno(fContext)));
			return;
		}
		pa.pa_stream_set_state_callback(fStream, &_StreamState, this);
		pa.pa_stream_set_write_callback(fStream, &_Write, this);
		pa.pa_stream_set_moved_callback(fStream, &_Moved, this);
		pa.pa_stream_set_underflow_callback(fStream, &_Underflow, this);
		pa_buffer_attr attributes = PulseBufferAttributes(spec.rate,
			spec.channels, fUnderruns);
		int flags = PA_STREAM_ADJUST_LATENCY;
		if (!fPlaying)
			flags |= PA_STREAM_START_CORKED;
		if (pa.pa_stream_connect_playback(fStream, nullptr, &attributes,
				pa_stream_flags_t(flags), nullptr, nullptr) < 0) {
			_StreamRefused(pa.pa_strerror(pa.pa_context_errno(fContext)));
		}
	}

	void _DestroyStream()
	{
		if (fStream == nullptr)
			return;
		const PulseLibrary& pa = *fLibrary;
		pa.pa_stream_set_state_callback(fStream, nullptr, nullptr);
		pa.pa_stream_set_write_callback(fStream, nullptr, nullptr);
		pa.pa_stream_set_moved_callback(fStream, nullptr, nullptr);
		pa.pa_stream_set_underflow_callback(fStream, nullptr, nullptr);
		pa.pa_stream_disconnect(fStream);
		pa.pa_stream_unref(fStream);
		fStream = nullptr;
	}

	void _Cork(bool cork)
	{
		if (fStream == nullptr
			|| fLibrary->pa_stream_get_state(fStream) != PA_STREAM_READY)
			return;
		pa_operation* operation = fLibrary->pa_stream_cork(fStream, cork,
			nullptr, nullptr);
		if (operation != nullptr)
			fLibrary->pa_operation_unref(operation);
	}

	void _StreamRefused(const char* reason)
	{
		if (!fRefusedReported) {
			ReportAudio("no sound output, running silently", reason);
			fRefusedReported = true;
		}
		_DestroyStream();
		_StartTimer(kRetryStreamDelay);
	}

	void _StartTimer(pa_usec_t delay)
	{
		_CancelTimer();
		if (fApi == nullptr)
			return;
		// A timer of the main loop's own, not the context's: it outlives
		// the context it is meant to replace. Main loop timers without a
		// context count in wall-clock time.
		timeval when;
		gettimeofday(&when, nullptr);
		uint64 usec = uint64(when.tv_usec) + delay;
		when.tv_sec += time_t(usec / 1000000);
		when.tv_usec = suseconds_t(usec % 1000000);
		fTimer = fApi->time_new(fApi, &when, &_TimerFired, this);
	}

	void _CancelTimer()
	{
		if (fTimer != nullptr && fApi != nullptr)
			fApi->time_free(fTimer);
		fTimer = nullptr;
	}

	static void _TimerFired(pa_mainloop_api*, pa_time_event*, const timeval*,
		void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		self->_CancelTimer();
		if (self->fContext == nullptr) {
			if (!self->_Connect())
				self->_StartTimer(kReconnectDelay);
		} else if (self->fOpened && self->fStream == nullptr
			&& self->fLibrary->pa_context_get_state(self->fContext)
				== PA_CONTEXT_READY) {
			self->_CreateStream();
		}
	}

	static void _FirstAnswerLate(pa_mainloop_api*, pa_time_event*,
		const timeval*, void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		self->fWaitingForAnswer = false;
		self->fLibrary->pa_threaded_mainloop_signal(self->fLoop, 0);
	}

	static void _ContextState(pa_context* context, void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		const PulseLibrary& pa = *self->fLibrary;
		// Once, on the main loop's thread, where the tone is written.
		// (Connecting calls back on the caller's thread first.)
		if (!self->fPriorityRaised
			&& pa.pa_threaded_mainloop_in_thread(self->fLoop)) {
			RaiseAudioThreadPriority();
			self->fPriorityRaised = true;
		}
		switch (pa.pa_context_get_state(context)) {
			case PA_CONTEXT_READY:
			{
				self->fEverReady = true;
				self->fLostReported = false;
				pa_operation* operation = pa.pa_context_subscribe(context,
					pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SERVER
						| PA_SUBSCRIPTION_MASK_SINK),
					nullptr, nullptr);
				if (operation != nullptr)
					pa.pa_operation_unref(operation);
				if (self->fOpened)
					self->_CreateStream();
				break;
			}
			case PA_CONTEXT_FAILED:
			case PA_CONTEXT_TERMINATED:
				if (self->fWaitingForAnswer && !self->fEverReady) {
					// No server at all: Open() says so by failing, and the
					// next back end is tried.
					self->fWaitingForAnswer = false;
					break;
				}
				if (!self->fLostReported) {
					ReportAudio("sound output lost, reconnecting when it is back",
						pa.pa_strerror(pa.pa_context_errno(context)));
					self->fLostReported = true;
				}
				self->_Disconnect();
				self->_StartTimer(kReconnectDelay);
				break;
			default:
				return;
		}
		if (self->fWaitingForAnswer)
			self->fWaitingForAnswer = false;
		pa.pa_threaded_mainloop_signal(self->fLoop, 0);
	}

	static void _StreamState(pa_stream* stream, void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		const PulseLibrary& pa = *self->fLibrary;
		switch (pa.pa_stream_get_state(stream)) {
			case PA_STREAM_READY:
				self->fRefusedReported = false;
				if (self->fPlaying)
					self->_Cork(false);
				self->_FollowDefault();
				break;
			case PA_STREAM_FAILED:
				// The context failing takes its streams with it; that is
				// answered there.
				if (pa.pa_context_get_state(self->fContext) == PA_CONTEXT_READY)
					self->_StreamRefused(pa.pa_strerror(
						pa.pa_context_errno(self->fContext)));
				break;
			default:
				break;
		}
	}

	// The server's own events: a new default sink, a sink that appeared.
	static void _ServerEvent(pa_context*, pa_subscription_event_type_t type,
		uint32_t, void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		unsigned facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
		unsigned what = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
		if (facility == PA_SUBSCRIPTION_EVENT_SERVER)
			self->_FollowDefault();
		else if (facility == PA_SUBSCRIPTION_EVENT_SINK
			&& what == PA_SUBSCRIPTION_EVENT_NEW && self->fOpened
			&& self->fStream == nullptr) {
			// A sink to play on at last.
			self->_CancelTimer();
			self->_CreateStream();
		}
	}

	// The server ran out of our sound: ask for a longer queue (see
	// PulseBufferAttributes).
	static void _Underflow(pa_stream* stream, void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		const PulseLibrary& pa = *self->fLibrary;
		const pa_sample_spec* spec = pa.pa_stream_get_sample_spec(stream);
		pa_buffer_attr before = PulseBufferAttributes(spec->rate,
			spec->channels, self->fUnderruns++);
		pa_buffer_attr after = PulseBufferAttributes(spec->rate, spec->channels,
			self->fUnderruns);
		if (after.tlength == before.tlength)
			return;
		pa_operation* operation = pa.pa_stream_set_buffer_attr(stream, &after,
			nullptr, nullptr);
		if (operation != nullptr)
			pa.pa_operation_unref(operation);
	}

	static void _Moved(pa_stream*, void* data)
	{
		// Moved by the server (following the default itself) or by the
		// user; which one shows against the default, asked below.
		static_cast<PulseAudioDevice*>(data)->_AskDefault(&_LandedAfterMove);
	}

	void _FollowDefault()
	{
		_AskDefault(&_DefaultKnown);
	}

	void _AskDefault(pa_server_info_cb_t answer)
	{
		if (fStream == nullptr)
			return;
		pa_operation* operation = fLibrary->pa_context_get_server_info(fContext,
			answer, this);
		if (operation != nullptr)
			fLibrary->pa_operation_unref(operation);
	}

	// Whether the stream plays on the default sink; false when that cannot
	// be told yet.
	bool _OnDefault(const pa_server_info* info, bool* known)
	{
		*known = false;
		if (info == nullptr || info->default_sink_name == nullptr
			|| fStream == nullptr
			|| fLibrary->pa_stream_get_state(fStream) != PA_STREAM_READY)
			return false;
		const char* device = fLibrary->pa_stream_get_device_name(fStream);
		*known = device != nullptr;
		return device != nullptr && strcmp(device, info->default_sink_name) == 0;
	}

	static void _LandedAfterMove(pa_context*, const pa_server_info* info,
		void* data)
	{
		// Landing anywhere but the default is the user's choice, and is
		// kept; landing on it means following again.
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		bool known;
		bool onDefault = self->_OnDefault(info, &known);
		if (known)
			self->fMovedByHand = !onDefault;
	}

	static void _DefaultKnown(pa_context*, const pa_server_info* info,
		void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		const PulseLibrary& pa = *self->fLibrary;
		bool known;
		bool onDefault = self->_OnDefault(info, &known);
		if (!known || onDefault || self->fMovedByHand)
			return;
		pa_operation* operation = pa.pa_context_move_sink_input_by_name(
			self->fContext, pa.pa_stream_get_index(self->fStream),
			info->default_sink_name, nullptr, nullptr);
		if (operation != nullptr)
			pa.pa_operation_unref(operation);
	}

	// The main loop's thread, whenever the server wants more.
	static void _Write(pa_stream* stream, size_t requested, void* data)
	{
		PulseAudioDevice* self = static_cast<PulseAudioDevice*>(data);
		const PulseLibrary& pa = *self->fLibrary;
		const pa_sample_spec* spec = pa.pa_stream_get_sample_spec(stream);
		media_raw_audio_format format = {};
		format.frame_rate = float(spec->rate);
		format.channel_count = spec->channels;
		format.format = spec->format == PA_SAMPLE_FLOAT32NE
			? media_raw_audio_format::B_AUDIO_FLOAT : 0;
		format.byte_order = B_MEDIA_HOST_ENDIAN;
		size_t frameBytes = size_t(spec->channels) * sizeof(float);
		if (frameBytes == 0)
			return;

		while (requested >= frameBytes) {
			void* buffer = nullptr;
			size_t size = requested;
			if (pa.pa_stream_begin_write(stream, &buffer, &size) < 0
				|| buffer == nullptr)
				return;
			size -= size % frameBytes;
			if (size == 0) {
				pa.pa_stream_cancel_write(stream);
				return;
			}
			format.buffer_size = size;
			if (format.format == media_raw_audio_format::B_AUDIO_FLOAT
				&& self->fGate.Enter()) {
				self->fRender(self->fUser, buffer, size, format);
				self->fGate.Leave();
			} else
				memset(buffer, 0, size);
			if (pa.pa_stream_write(stream, buffer, size, nullptr, 0,
					PA_SEEK_RELATIVE) < 0)
				return;
			requested -= size;
		}
	}

	const PulseLibrary* fLibrary = nullptr;
	std::string fStreamName;
	RenderFunc fRender = nullptr;
	void* fUser = nullptr;
	RenderGate fGate;

	// Open(), Connect() and Close() come from one thread at a time (the
	// chosen device's), Cancel() from another.
	pa_threaded_mainloop* fLoop = nullptr;
	std::mutex fCancelLock;
		// guards fLoopToSignal, the loop that Cancel() may wake
	pa_threaded_mainloop* fLoopToSignal = nullptr;
	std::atomic<bool> fCancelled{false};

	// The main loop's lock guards these.
	pa_mainloop_api* fApi = nullptr;
	pa_context* fContext = nullptr;
	pa_stream* fStream = nullptr;
	pa_time_event* fTimer = nullptr;
	bool fPlaying = false;
	bool fOpened = false;
	bool fPriorityRaised = false;
	uint32 fUnderruns = 0;
		// for the life of the device: the machine stays what it is
	bool fWaitingForAnswer = false;
	bool fEverReady = false;
	bool fLostReported = false;
	bool fRefusedReported = false;
	bool fMovedByHand = false;
};

} // namespace

std::unique_ptr<AudioDevice>
CreatePulseAudioDevice()
{
	return std::unique_ptr<AudioDevice>(new PulseAudioDevice);
}

} // namespace BPrivate
