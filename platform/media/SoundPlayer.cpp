/*
 * BSoundPlayer: a stream to the sound output, filled by the caller's
 * buffer function. The player is made, started and stopped on the
 * caller's thread (the window's, in this program); the buffer function
 * runs on the output's own thread (PipeWire's data thread, libpulse's main
 * loop or the ALSA device's, as chosen in ChosenAudioDevice.cpp), which
 * is real-time: nothing on that path locks, allocates or logs.
 */
#include <SoundPlayer.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include <private/AudioDevice.h>

const media_raw_audio_format media_raw_audio_format::wildcard = {};

namespace BPrivate {

namespace {

std::atomic<AudioDeviceFactory> sAudioDeviceFactory{nullptr};

// A device opened ahead of the first player, while the display starts.
std::mutex sPreparedLock;
std::unique_ptr<AudioDevice> sPrepared;

} // namespace

AudioDeviceFactory
SetAudioDeviceFactory(AudioDeviceFactory factory)
{
	return sAudioDeviceFactory.exchange(factory);
}

void
PrepareAudioOutput()
{
	if (sAudioDeviceFactory.load() != nullptr)
		return;
	std::lock_guard<std::mutex> lock(sPreparedLock);
	if (sPrepared == nullptr) {
		sPrepared = CreateChosenAudioDevice(
			AudioBackendOrder(getenv("BELVO_AUDIO")), true);
	}
}

void
DiscardPreparedAudioOutput()
{
	std::unique_ptr<AudioDevice> prepared;
	{
		std::lock_guard<std::mutex> lock(sPreparedLock);
		prepared = std::move(sPrepared);
	}
	if (prepared != nullptr)
		prepared->Close();
}

std::unique_ptr<AudioDevice>
CreateAudioDevice()
{
	AudioDeviceFactory factory = sAudioDeviceFactory.load();
	if (factory != nullptr)
		return factory();
	{
		std::lock_guard<std::mutex> lock(sPreparedLock);
		if (sPrepared != nullptr)
			return std::move(sPrepared);
	}
	return CreateChosenAudioDevice(AudioBackendOrder(getenv("BELVO_AUDIO")));
}

} // namespace BPrivate

BSoundPlayer::BSoundPlayer(const char* name, BufferPlayerFunc playerFunction,
		EventNotifierFunc eventNotifierFunction, void* cookie)
	:
	fDevice(BPrivate::CreateAudioDevice()),
	fInitStatus(B_NO_INIT),
	fFormat(),
	fPlayBufferFunc(playerFunction),
	fNotifierFunc(eventNotifierFunction),
	fCookie(cookie),
	fHasData(false),
	fIsPlaying(false)
{
	if (fDevice != nullptr) {
		fInitStatus = fDevice->Open(name != nullptr ? name : "",
			&_RenderBuffer, this, &fFormat);
	}
	if (fInitStatus != B_OK)
		fDevice.reset();
}

BSoundPlayer::~BSoundPlayer()
{
	// Stop first, so that no hook call is running while the device closes
	// and none begins once this destructor has returned.
	Stop();
	if (fDevice != nullptr)
		fDevice->Close();
}

status_t
BSoundPlayer::InitCheck() const
{
	return fInitStatus;
}

media_raw_audio_format
BSoundPlayer::Format() const
{
	return fFormat;
}

status_t
BSoundPlayer::Start()
{
	if (fInitStatus != B_OK)
		return fInitStatus;
	if (fIsPlaying.exchange(true))
		return B_OK;
	fDevice->Start();
	_Notify(B_STARTED);
	return B_OK;
}

void
BSoundPlayer::Stop(bool /*block*/, bool /*flush*/)
{
	// The device's Stop always waits for a buffer in progress, which is what
	// blocking asks for; nothing is queued beyond it, so there is nothing
	// to flush.
	if (!fIsPlaying.exchange(false))
		return;
	fDevice->Stop();
	_Notify(B_STOPPED);
}

bool
BSoundPlayer::IsPlaying() const
{
	return fIsPlaying.load();
}

bool
BSoundPlayer::HasData() const
{
	return fHasData.load();
}

void
BSoundPlayer::SetHasData(bool hasData)
{
	fHasData.store(hasData);
}

// It calls no virtual function: a subclass's destructor rewrites the
// object's vtable pointer while buffers are still being played (Stop() comes
// only in the base destructor).
void
BSoundPlayer::_RenderBuffer(void* player, void* buffer, size_t size,
	const media_raw_audio_format& format)
{
	// The device hands over whatever its buffer last held. Clear it, so that
	// a hook that declines a buffer plays silence rather than stale sound.
	memset(buffer, 0, size);
	BSoundPlayer* self = static_cast<BSoundPlayer*>(player);
	BufferPlayerFunc hook = self->fPlayBufferFunc.load(std::memory_order_acquire);
	if (hook == nullptr || !self->fHasData.load(std::memory_order_acquire))
		return;
	void* cookie = self->fCookie.load(std::memory_order_relaxed);

	// A server may ask for more than kMaxRenderFrames at once (PipeWire's
	// graph can run at 2048 frames a cycle, PulseAudio asks for whatever its
	// queue lacks). The hook glides levels by a step per buffer, so it gets
	// the request in pieces of whole frames, none longer than that.
	size_t frameBytes = size_t(format.channel_count) * sizeof(float);
	size_t pieceBytes = BPrivate::kMaxRenderFrames * frameBytes;
	if (format.format != media_raw_audio_format::B_AUDIO_FLOAT
		|| frameBytes == 0 || size <= pieceBytes) {
		hook(cookie, buffer, size, format);
		return;
	}
	uint8* bytes = static_cast<uint8*>(buffer);
	for (size_t done = 0; done < size; done += pieceBytes) {
		size_t piece = size - done < pieceBytes ? size - done : pieceBytes;
		hook(cookie, bytes + done, piece, format);
	}
}

void
BSoundPlayer::_Notify(sound_player_notification what)
{
	EventNotifierFunc notifier = fNotifierFunc.load();
	if (notifier != nullptr)
		notifier(fCookie.load(), what, this);
}

