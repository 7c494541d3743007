#include <private/X11Guard.h>

#include <atomic>
#include <cstdio>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <errno.h>

#include <private/Display.h>

namespace BPrivate {

namespace {

std::atomic<bool> sReportedError{false};

// Loaded once, before SDL loads it, and never let go: SDL chains its own
// error handler to the one it finds when it connects, and puts that one
// back when it disconnects, so ours stays in force to the very end (where
// errors still in flight on SDL's second connection arrive).
void*
Xlib()
{
	static void* sXlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
	return sXlib;
}

int
IgnoreProtocolError(::Display*, XErrorEvent* error)
{
	// A window (or its pixmap) gone by the time the server read a request
	// that another connection had already sent is the normal lot of a
	// threaded client; anything else is worth one line, once.
	if (error->error_code == BadWindow || error->error_code == BadDrawable)
		return 0;
	if (!sReportedError.exchange(true)) {
		fprintf(stderr, "%s: the X server refused a request (error %d, "
			"request %d); carrying on\n", program_invocation_short_name,
			int(error->error_code), int(error->request_code));
	}
	return 0;
}

int
ConnectionBroken(::Display*)
{
	// Returning would let Xlib call exit() on this thread.
	BPrivate::Display::Lost();
}

} // namespace

bool
InstallX11Handlers()
{
	void* xlib = Xlib();
	if (xlib == nullptr)
		return false;
	typedef XErrorHandler (*SetErrorHandler)(XErrorHandler);
	typedef XIOErrorHandler (*SetIOErrorHandler)(XIOErrorHandler);
	SetErrorHandler setError = reinterpret_cast<SetErrorHandler>(
		dlsym(xlib, "XSetErrorHandler"));
	SetIOErrorHandler setIOError = reinterpret_cast<SetIOErrorHandler>(
		dlsym(xlib, "XSetIOErrorHandler"));
	if (setError == nullptr || setIOError == nullptr)
		return false;
	setError(&IgnoreProtocolError);
	setIOError(&ConnectionBroken);
	return true;
}

bool
X11WindowManagerRunning(void* xdisplay)
{
	void* xlib = Xlib();
	if (xlib == nullptr || xdisplay == nullptr)
		return true;
	typedef Atom (*InternAtom)(::Display*, const char*, Bool);
	typedef Window (*DefaultRoot)(::Display*);
	typedef int (*GetProperty)(::Display*, Window, Atom, long, long, Bool,
		Atom, Atom*, int*, unsigned long*, unsigned long*, unsigned char**);
	typedef int (*Free)(void*);
	static InternAtom internAtom = reinterpret_cast<InternAtom>(
		dlsym(xlib, "XInternAtom"));
	static DefaultRoot defaultRoot = reinterpret_cast<DefaultRoot>(
		dlsym(xlib, "XDefaultRootWindow"));
	static GetProperty getProperty = reinterpret_cast<GetProperty>(
		dlsym(xlib, "XGetWindowProperty"));
	static Free xFree = reinterpret_cast<Free>(dlsym(xlib, "XFree"));
	if (internAtom == nullptr || defaultRoot == nullptr
		|| getProperty == nullptr || xFree == nullptr) {
		return true;
	}

	::Display* display = static_cast<::Display*>(xdisplay);
	Atom check = internAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
	// The root names the manager's window, and that window names itself
	// (a stale property left by a manager that is gone names nothing).
	auto supportingWindow = [&](Window of) -> Window {
		Atom type = None;
		int format = 0;
		unsigned long count = 0, after = 0;
		unsigned char* data = nullptr;
		Window found = None;
		if (getProperty(display, of, check, 0, 1, False, XA_WINDOW, &type,
				&format, &count, &after, &data) == Success
			&& data != nullptr && type == XA_WINDOW && format == 32
			&& count == 1) {
			found = *reinterpret_cast<Window*>(data);
		}
		if (data != nullptr)
			xFree(data);
		return found;
	};
	Window manager = supportingWindow(defaultRoot(display));
	return manager != None && supportingWindow(manager) == manager;
}

std::string
X11ResourceString()
{
	void* xlib = Xlib();
	if (xlib == nullptr)
		return std::string();
	typedef ::Display* (*OpenDisplay)(const char*);
	typedef char* (*ResourceManagerString)(::Display*);
	typedef int (*CloseDisplay)(::Display*);
	OpenDisplay openDisplay = reinterpret_cast<OpenDisplay>(
		dlsym(xlib, "XOpenDisplay"));
	ResourceManagerString resourceString
		= reinterpret_cast<ResourceManagerString>(
			dlsym(xlib, "XResourceManagerString"));
	CloseDisplay closeDisplay = reinterpret_cast<CloseDisplay>(
		dlsym(xlib, "XCloseDisplay"));
	if (openDisplay == nullptr || resourceString == nullptr
		|| closeDisplay == nullptr) {
		return std::string();
	}
	::Display* display = openDisplay(nullptr);
	if (display == nullptr)
		return std::string();
	// Xlib read the property when it connected; the string is its copy.
	const char* resources = resourceString(display);
	std::string result = resources != nullptr ? resources : "";
	closeDisplay(display);
	return result;
}

} // namespace BPrivate
