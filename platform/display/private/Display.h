/*
 * The display thread: the one thread that talks to the window system. It
 * opens the back end, creates, shows and destroys native windows on request,
 * shows the pixels windows hand over, and turns the window system's events
 * into calls on the DisplayClient of the window they belong to (a BWindow
 * posts them to itself as messages). It sleeps in the back end's WaitEvent
 * while nothing happens.
 *
 * Every method may be called from any thread; requests run on the display
 * thread in the order they were made.
 */
#ifndef _PRIVATE_DISPLAY_H
#define _PRIVATE_DISPLAY_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <private/DisplayBackend.h>

namespace BPrivate {

// A window's end of the display. Events reach it outside the display's
// locks, and one that was being delivered as its window was destroyed may
// still arrive after DestroyWindow() returned: a client only posts, through
// a messenger that knows when its window is gone, and the display keeps the
// client alive while it delivers.
class DisplayClient {
public:
	virtual ~DisplayClient() {}
	// Runs on the display thread (or a test's); must not wait for the
	// client's thread.
	virtual void DisplayEventArrived(const DisplayEvent& event) = 0;
};

class Display {
public:
	// Starts the display thread once per process with the back end that
	// BELVO_DISPLAY names, or the first of DisplayBackendChoices() that
	// opens. Returns false and fills `error` when no display can be opened.
	static bool Start(std::string* error);
	// Null until Start() succeeded.
	static Display* Default();
	// What a later launch passes to the running instance so that its window
	// may come forward: the launcher's XDG_ACTIVATION_TOKEN, else one asked
	// of the Wayland compositor the session names; "" on X11, where none is
	// needed. Asks no display of this process's own to start.
	static std::string ActivationTokenForLaunch();
	// Ends the display thread (after every window is gone and their
	// threads have finished). After the connection was lost, it ends the
	// process instead, with status 1.
	static void Shutdown();
	// Whether Lost() has been called.
	static bool ConnectionLost();
	// What the display does when its connection is lost, besides saying so:
	// the application installs a hook that asks everything to quit. Set
	// before Start(); the hook runs on whichever thread found the loss.
	static void SetLostHook(void (*hook)());
	// The connection to the window system broke (the X server or the
	// compositor went away, or ended it: `why`, when not empty, says how).
	// Says so in one line, calls the lost hook, and from then on drops
	// every request. Never returns: the thread that found the loss (the
	// window system's library cannot go on on it) stays here until
	// Shutdown() ends the process, or ends it itself if the program has not
	// got that far within a few seconds. Any thread.
	[[noreturn]] static void Lost(const std::string& why = std::string());

	DisplayWindowId CreateWindow(const WindowSpec& spec,
		std::shared_ptr<DisplayClient> client);
	// Detaches the client: no event is routed to it after this returns (one
	// already on its way may still arrive).
	void DestroyWindow(DisplayWindowId id);
	void ShowWindow(DisplayWindowId id, bool show);
	void RaiseWindow(DisplayWindowId id);
	// Another launch's activation token, for the RaiseWindow that follows.
	void OfferActivationToken(const std::string& token);
	void MoveWindow(DisplayWindowId id, int32 x, int32 y);
	// Makes the window's front buffer WIDTH x HEIGHT device pixels, for
	// the scale a kScaleChanged event gave it; the next Present() fills it.
	void ResizeWindow(DisplayWindowId id, int32 width, int32 height,
		PixelScale scale);
	void SetTitle(DisplayWindowId id, const std::string& title);
	void SetIcon(DisplayWindowId id, std::vector<uint32> argb, int32 width,
		int32 height);
	// Copies `box` of `source` (the window's own pixels, same size) into the
	// window's front buffer and asks the display thread to show it.
	void Present(DisplayWindowId id, const Canvas& source, const ClipBox& box);

	// How many device pixels the kits' one pixel takes on each side: the
	// desktop's scale, read once when the display opened.
	PixelScale Scale() const { return PixelScale::FromUnits(fScaleUnits); }

	// Whether the windows' frames are where they are on the screen (false
	// on Wayland, where only a window's own coordinates mean anything).
	bool KnowsWindowPositions() const { return fKnowsPositions; }

	// The program's active window (never a menu), as the window system
	// last said; 0 when none is. Any thread.
	DisplayWindowId ActiveWindow();

	// In device pixels.
	BRect ScreenFrame();
	// The default display's screen frame in the kits' pixels (the device's
	// divided by Scale()), or FallbackScreenFrame() while no display runs.
	static BRect DefaultScreenFrame();

	// Waits until every request made before the call has been carried out.
	void Sync();

	// For the headless back end's test hooks: runs `function` on the
	// display thread, as if the window system had produced an event.
	void RunOnDisplayThread(std::function<void(DisplayBackend&)> function);
	// Delivers an event to its window's client, as the display thread does,
	// after the rules for focus and menus (see _Route). Any thread.
	void Deliver(const DisplayEvent& event);
	// The scale the windows made from now on take, as if the desktop had
	// said so.
	void OverrideScale(PixelScale scale) { fScaleUnits = scale.Units(); }

	std::shared_ptr<FrontBuffer> FrontBufferOf(DisplayWindowId id);

private:
	explicit Display(std::unique_ptr<DisplayBackend> backend);
	~Display();

	static bool _StartWith(std::unique_ptr<DisplayBackend> backend,
		std::string* error);

	void _Request(std::function<void(DisplayBackend&)> request);
	void _Loop();
	bool _Route(DisplayEvent* event);
	void _PopupGone(DisplayWindowId id);

	std::unique_ptr<DisplayBackend> fBackend;
	std::thread fThread;

	std::mutex fRequestLock;
	std::condition_variable fRequestsDone;
	std::deque<std::function<void(DisplayBackend&)>> fRequests;
	uint64 fRequested = 0;
	uint64 fCompleted = 0;
	bool fQuitting = false;
	// Read without the request lock: the thread that finds the loss may be
	// one that holds it (a wake-up call inside _Request).
	std::atomic<bool> fLost{false};

	std::mutex fWindowLock;
	struct WindowEntry {
		std::shared_ptr<DisplayClient> client;
		std::shared_ptr<FrontBuffer> buffer;
		bool popup;
	};
	std::map<DisplayWindowId, WindowEntry> fWindows;
	DisplayWindowId fNextId = 1;
	// Under fWindowLock: the program's active window (never a menu), and
	// the menu that holds the keyboard, if one was given it.
	DisplayWindowId fActive = 0;
	DisplayWindowId fFocusedPopup = 0;

	BRect fScreenFrame;
	std::atomic<int32> fScaleUnits{PixelScale::kUnit};
	std::atomic<bool> fKnowsPositions{true};
};

} // namespace BPrivate

#endif // _PRIVATE_DISPLAY_H
