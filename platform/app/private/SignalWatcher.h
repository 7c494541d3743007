/*
 * Turns SIGINT and SIGTERM into a quit request to be_app, so that Ctrl-C or
 * a plain kill closes the program the way closing its windows does.
 *
 * The watcher blocks both signals in the thread that builds it, so threads
 * started from there afterwards inherit the mask and the kernel leaves the
 * signals pending for the one thread that waits for them with sigtimedwait.
 * Threads started before keep their own mask: a signal the kernel hands to
 * one of those still has its default effect.
 *
 * The destructor, called on the thread that built the watcher, stops the
 * waiting thread and unblocks whichever of the two signals were not blocked
 * before.
 *
 * The waiting thread touches nothing of the watcher but its stop flag, an
 * atomic, and asks for the quit through RequestQuitEverywhere(), which is
 * safe from any thread.
 */
#ifndef _PRIVATE_SIGNAL_WATCHER_H
#define _PRIVATE_SIGNAL_WATCHER_H

#include <pthread.h>
#include <signal.h>

#include <atomic>

#include <SupportDefs.h>

namespace BPrivate {

class SignalWatcher {
public:
								SignalWatcher();
								~SignalWatcher();

private:
								SignalWatcher(const SignalWatcher&) = delete;
			SignalWatcher&		operator=(const SignalWatcher&) = delete;

	static	void*				_Watch(void* watcher);

			pthread_t			fThread;
			bool				fWatching;
			std::atomic<bool>	fStopping;
			sigset_t			fUnblockOnExit;
};

} // namespace BPrivate

#endif // _PRIVATE_SIGNAL_WATCHER_H
