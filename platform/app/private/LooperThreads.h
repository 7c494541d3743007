/*
 * How many loopers' threads are still running, counted from Run() until
 * the very last thing each thread does. The program's end waits for them,
 * so that no window is still tearing itself down (and using the display or
 * the kits' shared state) while the process exits.
 *
 * The count sits behind a mutex of its own: Starting and Finished are called
 * from any thread, and the wait from a thread that runs no loop (the
 * application's destructor), since a looper waiting for itself never ends.
 */
#ifndef _PRIVATE_LOOPER_THREADS_H
#define _PRIVATE_LOOPER_THREADS_H

#include <SupportDefs.h>

namespace BPrivate {

void LooperThreadStarting();
void LooperThreadFinished();
// Waits until no looper thread is left, or the timeout (microseconds)
// passes; returns whether none is left. A looper thread may not call it.
bool WaitForLooperThreads(bigtime_t timeout);

} // namespace BPrivate

#endif // _PRIVATE_LOOPER_THREADS_H
