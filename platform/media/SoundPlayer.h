/*
 * BSoundPlayer: a named output stream that asks its owner for every buffer.
 *
 * The player plays on the user's default output, found in the background
 * once it is constructed, and calls the buffer hook once for every buffer,
 * on its own audio thread, from Start() until it is stopped or destroyed.
 * The hook always sees interleaved 32-bit float samples at 44100 frames per
 * second, at most 1024 frames at a time; the channel count and the buffer
 * length are the output's, and may differ from call to call. The first call
 * may come before Start() returns.
 *
 * Stop() and the destructor wait for a hook call in progress: once they have
 * returned, no hook call begins. The player may be destroyed on a thread other
 * than the one that created it, but never from inside its own hook.
 *
 * Without an output the player plays nowhere, says so once on stderr, and
 * starts playing when an output appears.
 *
 * Start(), Stop() and the destructor are not serialised among themselves:
 * call them from one thread at a time (the owner's). IsPlaying(), HasData(),
 * SetHasData(), InitCheck() and Format() are safe from any thread, the hook
 * included: the flags and the hook are atomics, and the format is set once by
 * the constructor, so the audio thread takes no lock to read them.
 */
#ifndef _SOUND_PLAYER_H
#define _SOUND_PLAYER_H

#include <atomic>
#include <memory>

#include <MediaDefs.h>

namespace BPrivate {
class AudioDevice;
}

class BSoundPlayer {
public:
	enum sound_player_notification {
		B_STARTED = 1,
		B_STOPPED,
		B_SOUND_DONE
	};

	typedef void (*BufferPlayerFunc)(void* cookie, void* buffer, size_t size,
		const media_raw_audio_format& format);
	typedef void (*EventNotifierFunc)(void* cookie,
		sound_player_notification what, ...);

								BSoundPlayer(const char* name = nullptr,
									BufferPlayerFunc playerFunction = nullptr,
									EventNotifierFunc eventNotifierFunction = nullptr,
									void* cookie = nullptr);
	virtual						~BSoundPlayer();

			status_t			InitCheck() const;
			media_raw_audio_format Format() const;

	// Playing
			status_t			Start();
			void				Stop(bool block = true, bool flush = true);
			bool				IsPlaying() const;

	// Without data the player plays silence.
			bool				HasData() const;
			void				SetHasData(bool hasData);

private:
								BSoundPlayer(const BSoundPlayer&) = delete;
			BSoundPlayer&		operator=(const BSoundPlayer&) = delete;

	// Runs on the audio thread.
	static	void				_RenderBuffer(void* player, void* buffer,
									size_t size,
									const media_raw_audio_format& format);
			void				_Notify(sound_player_notification what);

			std::unique_ptr<BPrivate::AudioDevice> fDevice;
			status_t			fInitStatus;
			media_raw_audio_format fFormat;
			std::atomic<BufferPlayerFunc> fPlayBufferFunc;
			std::atomic<EventNotifierFunc> fNotifierFunc;
			std::atomic<void*>	fCookie;
			std::atomic<bool>	fHasData;
			std::atomic<bool>	fIsPlaying;
};

#endif // _SOUND_PLAYER_H
