/*
 * The one place that starts and stops SDL's subsystems, for the display
 * thread (video) and the sound output (audio), which start them on
 * different threads.
 */
#include <private/SdlLibrary.h>

#include <mutex>

#include <SDL.h>

namespace BPrivate {

namespace {

std::mutex sSdlLock;

} // namespace

bool
InitSdlSubsystem(uint32 flags)
{
	std::lock_guard<std::mutex> lock(sSdlLock);
	// The program waits for SIGINT and SIGTERM itself; SDL's handlers would
	// only set a flag that nobody reads while the event loop sleeps.
	SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
	return SDL_InitSubSystem(flags) == 0;
}

void
QuitSdlSubsystem(uint32 flags)
{
	std::lock_guard<std::mutex> lock(sSdlLock);
	SDL_QuitSubSystem(flags);
	if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0)
		SDL_Quit();
}

void
ForgetSdlThreadState()
{
	SDL_TLSCleanup();
}

} // namespace BPrivate
