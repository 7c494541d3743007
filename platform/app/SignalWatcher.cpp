#include <private/SignalWatcher.h>

#include <Looper.h>
#include <Message.h>

#include <cerrno>
#include <ctime>

#include <AppDefs.h>

#include <private/AppPrivate.h>

namespace BPrivate {

namespace {

void
QuitSignals(sigset_t* set)
{
	sigemptyset(set);
	sigaddset(set, SIGINT);
	sigaddset(set, SIGTERM);
}

} // namespace

SignalWatcher::SignalWatcher()
	:
	fThread(),
	fWatching(false),
	fStopping(false)
{
	sigset_t quitSignals;
	QuitSignals(&quitSignals);
	sigset_t previous;
	sigemptyset(&fUnblockOnExit);
	if (pthread_sigmask(SIG_BLOCK, &quitSignals, &previous) != 0)
		return;
	if (!sigismember(&previous, SIGINT))
		sigaddset(&fUnblockOnExit, SIGINT);
	if (!sigismember(&previous, SIGTERM))
		sigaddset(&fUnblockOnExit, SIGTERM);

	fWatching = pthread_create(&fThread, nullptr, &_Watch, this) == 0;
}

SignalWatcher::~SignalWatcher()
{
	if (fWatching) {
		// The watcher only ever wakes for these two signals; one aimed at
		// its own thread, after the flag is set, wakes it without being
		// taken for a request from outside.
		fStopping = true;
		pthread_kill(fThread, SIGTERM);
		pthread_join(fThread, nullptr);
	}
	pthread_sigmask(SIG_UNBLOCK, &fUnblockOnExit, nullptr);
}

void*
SignalWatcher::_Watch(void* data)
{
	SignalWatcher* watcher = static_cast<SignalWatcher*>(data);
	pthread_setname_np(pthread_self(), "belvo-signals");
	sigset_t quitSignals;
	QuitSignals(&quitSignals);

	// The timeout is only a fallback in case the wake-up signal is lost;
	// stopping does not wait for it.
	const struct timespec kFallback = {1, 0};
	while (!watcher->fStopping) {
		int signal = sigtimedwait(&quitSignals, nullptr, &kFallback);
		if (watcher->fStopping)
			break;
		if (signal == SIGINT || signal == SIGTERM)
			RequestQuitEverywhere();
	}
	return nullptr;
}

} // namespace BPrivate
