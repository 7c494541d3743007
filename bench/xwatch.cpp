/*
 * xwatch: tells when a window appears on the X display, for the performance
 * budget's start-up times.
 *
 *   xwatch TITLE X Y RED GREEN BLUE [TIMEOUT_S]
 *
 * Prints "ready" once it watches, then "mapped=NS" when a window titled
 * TITLE is viewable (all its ancestors mapped, so on the screen), then
 * "painted=NS" when the pixel (X, Y) of that window has the colour RED,
 * GREEN, BLUE: the program has drawn its content. NS is CLOCK_REALTIME in
 * nanoseconds. The display is asked every millisecond, which is the
 * resolution of both times. Exits 1 if either has not happened within
 * TIMEOUT_S seconds (default 10).
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

long long
Now()
{
	timespec now;
	clock_gettime(CLOCK_REALTIME, &now);
	return now.tv_sec * 1000000000LL + now.tv_nsec;
}

void
Pause()
{
	timespec pause = { 0, 1000000 };
	nanosleep(&pause, nullptr);
}

bool
HasTitle(Display* display, Window window, const char* title)
{
	char* name = nullptr;
	if (XFetchName(display, window, &name) == 0 || name == nullptr)
		return false;
	bool same = strcmp(name, title) == 0;
	XFree(name);
	return same;
}

// A viewable window with the title, at most two levels below the root (a
// window manager puts clients into frames).
Window
FindViewable(Display* display, Window parent, const char* title, int depth)
{
	Window root, grandparent, *children = nullptr;
	unsigned int count = 0;
	if (XQueryTree(display, parent, &root, &grandparent, &children, &count) == 0)
		return 0;
	Window found = 0;
	for (unsigned int i = 0; i < count && found == 0; i++) {
		if (HasTitle(display, children[i], title)) {
			XWindowAttributes attributes;
			if (XGetWindowAttributes(display, children[i], &attributes) != 0
				&& attributes.map_state == IsViewable)
				found = children[i];
		} else if (depth > 0)
			found = FindViewable(display, children[i], title, depth - 1);
	}
	if (children != nullptr)
		XFree(children);
	return found;
}

int
IgnoreErrors(Display*, XErrorEvent*)
{
	// Windows come and go while we look at them.
	return 0;
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc != 7 && argc != 8) {
		fprintf(stderr, "usage: xwatch TITLE X Y RED GREEN BLUE [TIMEOUT_S]\n");
		return 2;
	}
	const char* title = argv[1];
	int x = atoi(argv[2]), y = atoi(argv[3]);
	unsigned long wanted = (strtoul(argv[4], nullptr, 10) << 16)
		| (strtoul(argv[5], nullptr, 10) << 8) | strtoul(argv[6], nullptr, 10);
	double timeout = argc == 8 ? atof(argv[7]) : 10;

	Display* display = XOpenDisplay(nullptr);
	if (display == nullptr) {
		fprintf(stderr, "xwatch: cannot open the display\n");
		return 2;
	}
	XSetErrorHandler(IgnoreErrors);
	long long deadline = Now() + (long long)(timeout * 1e9);
	printf("ready\n");
	fflush(stdout);

	Window window = 0;
	while ((window = FindViewable(display, DefaultRootWindow(display), title,
			2)) == 0) {
		if (Now() > deadline) {
			fprintf(stderr, "xwatch: no window \"%s\" within %g s\n", title,
				timeout);
			return 1;
		}
		Pause();
	}
	printf("mapped=%lld\n", Now());
	fflush(stdout);

	while (true) {
		XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes,
			ZPixmap);
		if (image != nullptr) {
			unsigned long pixel = XGetPixel(image, 0, 0) & 0xffffff;
			XDestroyImage(image);
			if (pixel == wanted)
				break;
		}
		if (Now() > deadline) {
			fprintf(stderr, "xwatch: \"%s\" not drawn within %g s\n", title,
				timeout);
			return 1;
		}
		Pause();
	}
	printf("painted=%lld\n", Now());
	XCloseDisplay(display);
	return 0;
}
