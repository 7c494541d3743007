/*
 * The display thread and its request queue. The thread is started once, by
 * the application, and is the only one that talks to the window system:
 * it carries out the requests any thread makes (create, show, present a
 * window's pixels...) in the order they were made, and sleeps in the back
 * end's WaitEvent between them, waking for the window system's events,
 * which it hands to the window they belong to. The back end is the X11 one
 * (display/X11DisplayBackend.cpp), or in test programs the headless one.
 *
 * The rules for focus and menus live here, above the back ends, so that
 * every back end and the tests share them: a menu never takes the focus
 * from the window it belongs to, and the keys go to that window (which
 * hands them to its open menu) wherever the window system sends them.
 */
#include <private/Display.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace BPrivate {

namespace {

// How long a later launch waits for the compositor's token at most: it
// takes a few milliseconds, and a compositor that does not answer must not
// keep the launch from ending.
const int kLaunchTokenTimeoutMs = 500;

std::mutex sStartLock;
Display* sDisplay = nullptr;
// The display for Lost(), which may not take sStartLock: Shutdown() holds it
// only briefly, but the thread that finds the loss may be anywhere.
std::atomic<Display*> sLostDisplay{nullptr};
std::atomic<bool> sConnectionLost{false};
std::atomic<void (*)()> sLostHook{nullptr};
// Constant-initialised, so that it is there before any static initialiser
// of the headless library installs its maker.
std::atomic<DisplayBackendMaker> sHeadlessMaker{nullptr};

// How long the program gets to wind down after the display went away
// before the thread that found the loss ends it.
const bigtime_t kLostGrace = 3000000;

} // namespace

Display::Display(std::unique_ptr<DisplayBackend> backend)
	:
	fBackend(std::move(backend))
{
}

Display::~Display()
{
}

bool
Display::Start(std::string* error)
{
	std::lock_guard<std::mutex> guard(sStartLock);
	if (sDisplay != nullptr)
		return true;

	const char* choice = getenv("BELVO_DISPLAY");
	if (choice != nullptr && choice[0] == '\0')
		choice = nullptr;
	std::vector<DisplayBackendChoice> candidates;
	std::string known;
	for (const DisplayBackendChoice& backend : DisplayBackendChoices()) {
		if (backend.maker == nullptr)
			continue;
		known += (known.empty() ? "" : ", ") + std::string(backend.name);
		if (choice != nullptr ? strcmp(choice, backend.name) == 0
				: !backend.byNameOnly) {
			candidates.push_back(backend);
		}
	}
	if (candidates.empty()) {
		if (error != nullptr) {
			*error = std::string("BELVO_DISPLAY=") + (choice ? choice : "")
				+ ": this build has no such display (it has " + known + ")";
		}
		return false;
	}
	// What the first back end tried says is what the program says, when
	// none opens: Wayland's, when the session names a compositor.
	std::string firstError;
	for (const DisplayBackendChoice& candidate : candidates) {
		std::string candidateError;
		if (_StartWith(candidate.maker(), &candidateError))
			return true;
		if (firstError.empty())
			firstError = candidateError;
	}
	if (error != nullptr)
		*error = firstError;
	return false;
}

bool
Display::_StartWith(std::unique_ptr<DisplayBackend> backend,
	std::string* error)
{
	Display* display = new Display(std::move(backend));

	// The back end is opened on the display thread itself, since that is the
	// only thread that may touch the window system. The thread outlives this
	// call, so what it reports back lives on the heap.
	struct OpenResult {
		std::mutex lock;
		std::condition_variable ready;
		int result = -1;
		std::string error;
	};
	auto opened = std::make_shared<OpenResult>();
	display->fThread = std::thread([opened, display] {
		// So that top -H, gdb and perf can tell it from the others.
		pthread_setname_np(pthread_self(), "belvo-display");
		std::string openError;
		bool success = display->fBackend->Open(&openError);
		if (success) {
			display->fScreenFrame = display->fBackend->ScreenFrame();
			display->fScaleUnits
				= PixelScale(display->fBackend->DesktopScale()).Units();
			display->fKnowsPositions
				= display->fBackend->KnowsWindowPositions();
		}
		{
			std::lock_guard<std::mutex> lock(opened->lock);
			opened->result = success ? 1 : 0;
			opened->error = openError;
			opened->ready.notify_one();
		}
		if (success)
			display->_Loop();
	});
	int result;
	{
		std::unique_lock<std::mutex> lock(opened->lock);
		opened->ready.wait(lock, [&] { return opened->result >= 0; });
		result = opened->result;
		if (result == 0 && error != nullptr)
			*error = opened->error;
	}
	if (result == 0) {
		display->fThread.join();
		delete display;
		return false;
	}
	sDisplay = display;
	sLostDisplay = display;
	return true;
}

Display*
Display::Default()
{
	std::lock_guard<std::mutex> guard(sStartLock);
	return sDisplay;
}

void
Display::Shutdown()
{
	if (sConnectionLost) {
		// The display thread (or whichever found the loss) is stuck inside
		// the window system's library and cannot be joined; the windows are
		// gone and the sound has stopped, so the process ends here, before
		// anything static is torn down under that thread.
		fflush(stdout);
		fflush(stderr);
		_exit(1);
	}
	Display* display;
	{
		std::lock_guard<std::mutex> guard(sStartLock);
		display = sDisplay;
		sDisplay = nullptr;
	}
	if (display == nullptr)
		return;
	sLostDisplay = nullptr;
	{
		std::lock_guard<std::mutex> lock(display->fRequestLock);
		display->fQuitting = true;
		display->fBackend->Wake();
	}
	display->fThread.join();
	delete display;
}

void
InstallHeadlessDisplayBackend(DisplayBackendMaker maker)
{
	sHeadlessMaker = maker;
}

std::vector<DisplayBackendChoice>
DisplayBackendChoices()
{
	const char* waylandDisplay = getenv("WAYLAND_DISPLAY");
	const char* waylandSocket = getenv("WAYLAND_SOCKET");
	bool waylandNamed = (waylandDisplay != nullptr && waylandDisplay[0] != '\0')
		|| (waylandSocket != nullptr && waylandSocket[0] != '\0');
	return {
		{ "wayland", &CreateWaylandDisplayBackend, !waylandNamed },
		{ "x11", &CreateX11DisplayBackend, false },
		{ "headless", sHeadlessMaker.load(), true },
	};
}

bool
Display::ConnectionLost()
{
	return sConnectionLost;
}

void
Display::SetLostHook(void (*hook)())
{
	sLostHook = hook;
}

void
Display::_Request(std::function<void(DisplayBackend&)> request)
{
	{
		std::lock_guard<std::mutex> lock(fRequestLock);
		if (fQuitting || fLost)
			return;
		fRequests.push_back(std::move(request));
		fRequested++;
		// Under the lock, so that Shutdown cannot take the back end away
		// between the two.
		fBackend->Wake();
	}
}

void
Display::_Loop()
{
	for (;;) {
		std::deque<std::function<void(DisplayBackend&)>> requests;
		bool quitting;
		{
			std::lock_guard<std::mutex> lock(fRequestLock);
			requests.swap(fRequests);
			quitting = fQuitting;
		}
		for (auto& request : requests)
			request(*fBackend);
		if (!requests.empty()) {
			{
				std::lock_guard<std::mutex> lock(fRequestLock);
				fCompleted += requests.size();
			}
			fRequestsDone.notify_all();
		}
		if (quitting)
			break;

		DisplayEvent event;
		if (fBackend->WaitEvent(&event)) {
			if (event.type == DisplayEvent::kConnectionLost)
				Lost(fBackend->LostReason());
			Deliver(event);
		}
	}

	// Whatever was still asked for goes unanswered, but nobody may wait for
	// it forever.
	{
		std::lock_guard<std::mutex> lock(fRequestLock);
		fCompleted = fRequested;
		fRequests.clear();
	}
	fRequestsDone.notify_all();
	fBackend->Close();
}

void
Display::Deliver(const DisplayEvent& original)
{
	DisplayEvent event = original;
	std::shared_ptr<DisplayClient> client;
	// The windows made from now on take the new scale.
	if (event.type == DisplayEvent::kScaleChanged)
		fScaleUnits = PixelScale::FromUnits(event.scaleUnits).Units();
	{
		std::lock_guard<std::mutex> lock(fWindowLock);
		if (!_Route(&event))
			return;
		auto found = fWindows.find(event.window);
		if (found == fWindows.end())
			return;
		client = found->second.client;
	}
	// Outside the lock that every Present() takes: a client's work (making
	// and posting a message) never holds up a window handing over pixels.
	if (client != nullptr)
		client->DisplayEventArrived(event);
}

// What the window system's focus means for the kits. Window managers and
// toolkits differ in whether a shown menu gets the keyboard (some give it
// every window that maps, some on request, some never), but for the kits a
// menu is part of the window it opened from: that window stays active
// while it is open, and gets the keys, which it hands to the menu. Returns
// false for an event that means nothing to the kits. Under fWindowLock.
bool
Display::_Route(DisplayEvent* event)
{
	auto found = fWindows.find(event->window);
	if (found == fWindows.end())
		return false;
	bool popup = found->second.popup;
	auto isPopup = [this](DisplayWindowId id) {
		auto window = fWindows.find(id);
		return window != fWindows.end() && window->second.popup;
	};
	switch (event->type) {
		case DisplayEvent::kActivated:
			if (popup) {
				fFocusedPopup = event->window;
				return false;
			}
			fFocusedPopup = 0;
			fActive = event->window;
			return true;

		case DisplayEvent::kDeactivated:
			if (popup) {
				// Only a menu that holds the keyboard can lose it to
				// another program, and then its window has lost it too.
				if (fFocusedPopup != event->window)
					return false;
				fFocusedPopup = 0;
				if (event->related != 0 || fActive == 0)
					return false;
				event->window = fActive;
			} else if (isPopup(event->related)) {
				// To the window's own menu: nothing has changed for it.
				return false;
			}
			if (fActive == event->window)
				fActive = 0;
			return true;

		case DisplayEvent::kKeyDown:
		case DisplayEvent::kKeyUp:
			if (popup && fActive != 0)
				event->window = fActive;
			return true;

		case DisplayEvent::kMouseDown:
			event->wasActive = fActive == event->window;
			return true;

		default:
			return true;
	}
}

// A menu that holds the keyboard is going: the keyboard goes back to the
// window it belongs to, which never knew it was gone (where nothing else
// would give it back: the window system hands it to the screen's root).
void
Display::_PopupGone(DisplayWindowId id)
{
	DisplayWindowId target;
	{
		std::lock_guard<std::mutex> lock(fWindowLock);
		if (fFocusedPopup != id)
			return;
		fFocusedPopup = 0;
		target = fActive;
	}
	if (target != 0) {
		_Request([target](DisplayBackend& backend) {
			backend.FocusWindow(target);
		});
	}
}

void
Display::Sync()
{
	std::unique_lock<std::mutex> lock(fRequestLock);
	if (std::this_thread::get_id() == fThread.get_id())
		return;
	uint64 target = fRequested;
	// Lost() cannot take the lock to wake us, so the loss is looked for
	// now and then.
	while (!fRequestsDone.wait_for(lock, std::chrono::milliseconds(100), [&] {
			return fCompleted >= target || (fQuitting && fRequests.empty())
				|| fLost;
		})) {
	}
}

void
Display::Lost(const std::string& why)
{
	if (!sConnectionLost.exchange(true)) {
		fprintf(stderr, "%s: lost the connection to the display%s%s%s\n",
			program_invocation_short_name, why.empty() ? "" : " (",
			why.c_str(), why.empty() ? "" : ")");
		Display* display = sLostDisplay;
		if (display != nullptr) {
			display->fLost = true;
			display->fRequestsDone.notify_all();
		}
		if (void (*hook)() = sLostHook.load())
			hook();
	}
	// Shutdown() normally ends the process long before this.
	std::this_thread::sleep_for(std::chrono::microseconds(kLostGrace));
	fflush(stdout);
	fflush(stderr);
	_exit(1);
}

void
Display::RunOnDisplayThread(std::function<void(DisplayBackend&)> function)
{
	_Request(std::move(function));
}

DisplayWindowId
Display::CreateWindow(const WindowSpec& spec,
	std::shared_ptr<DisplayClient> client)
{
	auto buffer = std::make_shared<FrontBuffer>();
	buffer->width = std::max<int32>(1, int32(spec.frame.Width()) + 1);
	buffer->height = std::max<int32>(1, int32(spec.frame.Height()) + 1);
	buffer->pixels.assign(size_t(buffer->width) * size_t(buffer->height),
		0xffd8d8d8u);

	DisplayWindowId id;
	{
		std::lock_guard<std::mutex> lock(fWindowLock);
		id = fNextId++;
		fWindows[id] = WindowEntry{ std::move(client), buffer, spec.popup };
	}
	_Request([this, id, spec, buffer](DisplayBackend& backend) {
		if (backend.CreateWindow(id, spec, buffer))
			return;
		// The back end has said why. The window is forgotten, so that what
		// is drawn into it or asked of it later goes nowhere.
		std::lock_guard<std::mutex> lock(fWindowLock);
		fWindows.erase(id);
	});
	return id;
}

void
Display::DestroyWindow(DisplayWindowId id)
{
	_PopupGone(id);
	{
		std::lock_guard<std::mutex> lock(fWindowLock);
		fWindows.erase(id);
		if (fActive == id)
			fActive = 0;
	}
	_Request([id](DisplayBackend& backend) { backend.DestroyWindow(id); });
}

void
Display::ShowWindow(DisplayWindowId id, bool show)
{
	if (!show)
		_PopupGone(id);
	_Request([id, show](DisplayBackend& backend) {
		backend.ShowWindow(id, show);
	});
}

void
Display::RaiseWindow(DisplayWindowId id)
{
	_Request([id](DisplayBackend& backend) { backend.RaiseWindow(id); });
}

void
Display::OfferActivationToken(const std::string& token)
{
	_Request([token](DisplayBackend& backend) {
		backend.OfferActivationToken(token);
	});
}

std::string
Display::ActivationTokenForLaunch()
{
	const char* given = getenv("XDG_ACTIVATION_TOKEN");
	if (given != nullptr && given[0] != '\0')
		return given;
	const char* choice = getenv("BELVO_DISPLAY");
	if (choice != nullptr && choice[0] != '\0'
		&& strcmp(choice, "wayland") != 0)
		return std::string();
	for (const DisplayBackendChoice& backend : DisplayBackendChoices()) {
		// Wayland is a candidate only when the session names a compositor.
		if (strcmp(backend.name, "wayland") == 0 && !backend.byNameOnly)
			return RequestWaylandActivationToken(kLaunchTokenTimeoutMs);
	}
	return std::string();
}

void
Display::MoveWindow(DisplayWindowId id, int32 x, int32 y)
{
	_Request([id, x, y](DisplayBackend& backend) {
		backend.MoveWindow(id, x, y);
	});
}

void
Display::ResizeWindow(DisplayWindowId id, int32 width, int32 height,
	PixelScale scale)
{
	std::shared_ptr<FrontBuffer> buffer = FrontBufferOf(id);
	if (buffer == nullptr || width <= 0 || height <= 0)
		return;
	{
		std::lock_guard<std::mutex> lock(buffer->lock);
		buffer->width = width;
		buffer->height = height;
		buffer->pixels.assign(size_t(width) * size_t(height), 0xffd8d8d8u);
	}
	int32 units = scale.Units();
	_Request([id, width, height, units](DisplayBackend& backend) {
		backend.ResizeWindow(id, width, height, units);
	});
}

void
Display::SetTitle(DisplayWindowId id, const std::string& title)
{
	_Request([id, title](DisplayBackend& backend) {
		backend.SetTitle(id, title);
	});
}

void
Display::SetIcon(DisplayWindowId id, std::vector<uint32> argb, int32 width,
	int32 height)
{
	if (width <= 0 || height <= 0 || argb.size() != size_t(width) * height)
		return;
	_Request([id, argb = std::move(argb), width, height](
			DisplayBackend& backend) {
		backend.SetIcon(id, argb, width, height);
	});
}

std::shared_ptr<FrontBuffer>
Display::FrontBufferOf(DisplayWindowId id)
{
	std::lock_guard<std::mutex> lock(fWindowLock);
	auto found = fWindows.find(id);
	return found != fWindows.end() ? found->second.buffer : nullptr;
}

void
Display::Present(DisplayWindowId id, const Canvas& source, const ClipBox& box)
{
	std::shared_ptr<FrontBuffer> buffer = FrontBufferOf(id);
	if (buffer == nullptr || source.pixels == nullptr)
		return;
	ClipBox clipped;
	{
		std::lock_guard<std::mutex> lock(buffer->lock);
		clipped = box.Intersect(ClipBox{ 0, 0,
			std::min(buffer->width, source.width) - 1,
			std::min(buffer->height, source.height) - 1 });
		if (clipped.IsEmpty())
			return;
		size_t count = size_t(clipped.right - clipped.left + 1);
		for (int32 y = clipped.top; y <= clipped.bottom; y++) {
			memcpy(buffer->pixels.data() + size_t(y) * buffer->width
					+ clipped.left,
				source.Row(y) + clipped.left, count * sizeof(uint32));
		}
	}
	_Request([id, clipped](DisplayBackend& backend) {
		backend.Present(id, clipped);
	});
}

DisplayWindowId
Display::ActiveWindow()
{
	std::lock_guard<std::mutex> lock(fWindowLock);
	return fActive;
}

BRect
Display::ScreenFrame()
{
	return fScreenFrame;
}

BRect
Display::DefaultScreenFrame()
{
	Display* display = Default();
	if (display == nullptr)
		return FallbackScreenFrame();
	BRect frame = display->ScreenFrame();
	PixelScale scale = display->Scale();
	if (scale == PixelScale())
		return frame;
	return BRect(scale.PixelAt(int32(frame.left)),
		scale.PixelAt(int32(frame.top)),
		scale.PixelAt(int32(frame.right) + 1) - 1,
		scale.PixelAt(int32(frame.bottom) + 1) - 1);
}

} // namespace BPrivate
