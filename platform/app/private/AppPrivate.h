/*
 * What the Application Kit's parts say to each other and to the application
 * object behind the program's back.
 *
 * Both functions are safe from any thread: they reach the application and
 * the windows through messengers, and neither waits for a looper's lock, so
 * they cannot deadlock a window that is busy.
 */
#ifndef _PRIVATE_APP_PRIVATE_H
#define _PRIVATE_APP_PRIVATE_H

#include <string>

#include <SupportDefs.h>

namespace BPrivate {

class Display;

enum {
	// A window left the registry: the application looks whether a pending
	// quit can now end its loop.
	kMsgWindowGone = '_WGN',
	// Quit() was called on the application from another thread, or before
	// it ran; the loop itself carries it out.
	kMsgQuitApplication = '_QAP',
	// A later launch of a single-launch program asks this one to come
	// forward: the application passes it on to every window.
	kMsgActivateWindows = '_AWN',
};

// Posts a message that carries only a code to be_app. Safe from any thread
// at any time, also while the application object is being destroyed; fails
// with B_NO_INIT when there is no application.
status_t PostToApplication(uint32 what);

// Asks the application and every window to quit at once, as a quit signal
// or the loss of the display does: the windows are asked straight away too,
// since the application's thread may be held up (in an alert's Go(), say)
// and could not pass the request on until it is free again. Any thread.
void RequestQuitEverywhere();

// Work a higher kit can do beside the display's start-up, on a thread of
// its own that the application starts as it connects to the display and
// joins before it goes: the interface kit loads the fonts there, which
// would otherwise come after the display on the way to the first frame.
// Set before main (by a static initialiser); the last one set counts.
void SetStartupWarmUp(void (*warmUp)());

// The display, which the application kit alone starts, once for the
// process: the application does as it starts; a window made without one
// (a test's, a tool's) asks here for it too. Null, with `error` saying why
// in one line, when no display can be opened. Any thread.
Display* StartDisplay(std::string* error);

} // namespace BPrivate

#endif // _PRIVATE_APP_PRIVATE_H
