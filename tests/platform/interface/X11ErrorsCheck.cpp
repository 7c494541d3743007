/*
 * Xlib's default handler ends the process on any protocol error. SDL wakes
 * its event loop through a second connection that can name a window the
 * first connection has just destroyed, so under load a BadWindow error can
 * arrive at any time: while SDL runs, and while it disconnects (when it
 * puts back the handler it found). Both must leave the program running.
 *
 *   x11_errors_check   (with DISPLAY naming an X server)
 */
#include <cstdio>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <private/X11Guard.h>

namespace {

// Sends an event to a window that no longer exists and waits for the
// server's answer, which is a BadWindow error.
void
ProvokeBadWindow(::Display* display, Window gone)
{
	XEvent event = {};
	event.xclient.type = ClientMessage;
	event.xclient.window = gone;
	event.xclient.format = 32;
	XSendEvent(display, gone, False, NoEventMask, &event);
	XSync(display, False);
}

} // namespace

int
main()
{
	if (!BPrivate::InstallX11Handlers()) {
		fprintf(stderr, "libX11 cannot be loaded\n");
		return 1;
	}
	SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
	if (SDL_Init(SDL_INIT_VIDEO) != 0) {
		fprintf(stderr, "no X server: %s\n", SDL_GetError());
		return 77;
	}
	SDL_Window* window = SDL_CreateWindow("x11 errors", 0, 0, 16, 16,
		SDL_WINDOW_HIDDEN);
	SDL_SysWMinfo info;
	SDL_VERSION(&info.version);
	if (window == nullptr || !SDL_GetWindowWMInfo(window, &info)) {
		fprintf(stderr, "cannot make a window: %s\n", SDL_GetError());
		return 1;
	}
	::Display* sdlDisplay = info.info.x11.display;
	Window gone = info.info.x11.window;
	SDL_DestroyWindow(window);
	SDL_PumpEvents();

	// On SDL's own connection, as its wake-up does.
	ProvokeBadWindow(sdlDisplay, gone);
	printf("a protocol error while SDL runs was ignored\n");

	// On a connection that outlives SDL's, after SDL restored its handler.
	::Display* own = XOpenDisplay(nullptr);
	SDL_Quit();
	if (own == nullptr) {
		fprintf(stderr, "cannot open a second connection\n");
		return 1;
	}
	ProvokeBadWindow(own, gone);
	printf("a protocol error after SDL disconnected was ignored\n");
	XCloseDisplay(own);
	return 0;
}
