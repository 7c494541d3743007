/*
 * SDL's subsystems are reference counted, but initialising them is not safe
 * from two threads at once, and the sound player and the display start them
 * on different threads. Every part of the platform layer starts and stops
 * SDL through these two calls, which serialise among themselves.
 */
#ifndef _PRIVATE_SDL_LIBRARY_H
#define _PRIVATE_SDL_LIBRARY_H

#include <SupportDefs.h>

namespace BPrivate {

// Starts the SDL subsystems in flags (SDL_INIT_*). Returns false, with the
// reason left in SDL_GetError(), when they cannot be started.
bool InitSdlSubsystem(uint32 flags);
void QuitSdlSubsystem(uint32 flags);

// For a thread of ours that called into SDL, just before it ends: SDL keeps
// per-thread state (the last error) that only its own threads let go of.
void ForgetSdlThreadState();

} // namespace BPrivate

#endif // _PRIVATE_SDL_LIBRARY_H
