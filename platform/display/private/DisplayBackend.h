/*
 * What the kits need from a window system, kept small so that the real one
 * (X11) and the headless one the tests drive can stand behind it. A back
 * end is used only from the display thread, except for Wake(), which any
 * thread may call.
 *
 * A back end reports what its window system says, and no more: which of
 * its windows gained or lost the keyboard, menus included. What that means
 * for the kits (a menu never takes the focus from its window, keys go to
 * the window a menu belongs to) is decided above it, in Display.
 *
 * The one other thing shared across threads is a window's FrontBuffer,
 * which the window's thread fills and the display thread reads, each under
 * the buffer's own lock.
 */
#ifndef _PRIVATE_DISPLAY_BACKEND_H
#define _PRIVATE_DISPLAY_BACKEND_H

#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Rect.h>
#include <private/Canvas.h>

namespace BPrivate {

typedef uint32 DisplayWindowId;

// The screen's frame where the window system cannot tell it, or no display
// runs; the headless display's screen is this size too.
inline BRect
FallbackScreenFrame()
{
	return BRect(0, 0, 1023, 767);
}

struct WindowSpec {
	BRect frame;            // content area, screen coordinates, inclusive
	std::string title;
	bool resizable = false;
	bool popup = false;     // a pop-up menu: no decorations, over the rest
	bool utility = false;   // an alert or another transient window
	// The program's window this one belongs to (0: none): a pop-up menu's
	// opener, an alert's window. Where a window system places pop-ups
	// relative to their parent (Wayland), `anchor` is the part of the
	// parent the pop-up opens from (a menu field's control), in the same
	// screen coordinates as `frame`, as the kits know both; invalid: none.
	// A back end that places windows on the screen itself (X11) may
	// ignore both.
	DisplayWindowId parent = 0;
	BRect anchor;
};

// The pixels last handed over for one window, shared between the window's
// thread, which fills them, and the display thread, which shows them.
struct FrontBuffer {
	std::mutex lock;
	std::vector<uint32> pixels;
	int32 width = 0;
	int32 height = 0;
};

struct DisplayEvent {
	enum Type {
		kNone,
		kMouseDown,
		kMouseUp,
		kMouseMoved,
		kMouseExited,
		kKeyDown,
		kKeyUp,
		kCloseRequested,
		kActivated,
		kDeactivated,
		kFrameMoved,
		// The connection to the window system is gone (or the window
		// system ended it); the back end's LostReason() may say why.
		kConnectionLost,
		// The window is to be drawn at another scale from now on
		// (scaleUnits); its pointer events already come at that scale.
		// Its buffer stays as it was until ResizeWindow().
		kScaleChanged,
	};

	Type type = kNone;
	DisplayWindowId window = 0;
	float x = 0;            // window coordinates, or the new screen position
	float y = 0;
	uint32 buttons = 0;     // B_PRIMARY_MOUSE_BUTTON ...
	int32 clicks = 0;
	uint32 modifiers = 0;   // B_SHIFT_KEY ...
	char bytes[8] = {};     // the key's character(s), zero-terminated
	int32 key = 0;          // for B_FUNCTION_KEY: B_F1_KEY ...
	bool wasActive = false; // mouse down: the window had the focus already
	// kDeactivated: which of the program's own windows the focus went to,
	// where the back end can tell (0: none of ours, or not known).
	DisplayWindowId related = 0;
	int64 when = 0;         // microseconds, monotonic
	int32 scaleUnits = 0;   // kScaleChanged: 120ths (PixelScale::Units())
};

// Now, in DisplayEvent::when's clock.
inline int64
MonotonicUsec()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return int64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Counts a press as the next click of a multiple click when it comes
// within half a second of the last one, of the same button, and within
// four pixels of it (on the screen, or where the kits have the window).
class ClickCounter {
public:
	int32 Press(uint32 button, int64 when, int32 x, int32 y)
	{
		if (button == fButton && when - fWhen <= kMultiClickUsec
			&& std::abs(x - fX) <= kMultiClickDistance
			&& std::abs(y - fY) <= kMultiClickDistance) {
			fClicks++;
		} else
			fClicks = 1;
		fButton = button;
		fWhen = when;
		fX = x;
		fY = y;
		return fClicks;
	}

private:
	static constexpr int64 kMultiClickUsec = 500000;
	static constexpr int32 kMultiClickDistance = 4;

	uint32 fButton = 0;
	int64 fWhen = 0;
	int32 fX = 0;
	int32 fY = 0;
	int32 fClicks = 0;
};

class DisplayBackend {
public:
	virtual ~DisplayBackend() {}

	virtual const char* Name() const = 0;

	// Connects to the window system; on failure fills `error` with one line.
	virtual bool Open(std::string* error) = 0;
	virtual void Close() = 0;

	// Blocks until the window system has an event (true) or Wake() was
	// called (false, or true with the event that came first). A lost
	// connection is an event too (kConnectionLost), after which the back
	// end is not called again; Display ends the program.
	virtual bool WaitEvent(DisplayEvent* event) = 0;
	virtual void Wake() = 0;
	// After kConnectionLost: why, in a few words, where there is more to
	// say than that the connection went away (a protocol error); else empty.
	virtual std::string LostReason() const { return std::string(); }

	virtual BRect ScreenFrame() = 0;
	// The desktop's scale (see DesktopScale.h), asked once, after Open().
	virtual int32 DesktopScale() = 0;
	// Whether a window's position is where it is on the screen. A Wayland
	// compositor places windows itself and never says where: there the
	// program knows its windows only from their own corners.
	virtual bool KnowsWindowPositions() const { return true; }

	// On failure says why in one line on stderr and returns false; the
	// calls for that id that follow do nothing.
	virtual bool CreateWindow(DisplayWindowId id, const WindowSpec& spec,
		std::shared_ptr<FrontBuffer> buffer) = 0;
	virtual void DestroyWindow(DisplayWindowId id) = 0;
	virtual void ShowWindow(DisplayWindowId id, bool show) = 0;
	virtual void RaiseWindow(DisplayWindowId id) = 0;
	// A token from the window system that another launch of the program
	// got for bringing it forward (Wayland's xdg-activation); the next
	// RaiseWindow goes with it. Window systems without them ignore it.
	virtual void OfferActivationToken(const std::string& /*token*/) {}
	// Gives the window the keyboard, as the window system lets a program
	// do for its own windows.
	virtual void FocusWindow(DisplayWindowId id) = 0;
	virtual void MoveWindow(DisplayWindowId id, int32 x, int32 y) = 0;
	// The window's front buffer has been made WIDTH x HEIGHT for a new
	// scale (after kScaleChanged); its next Present() fills it.
	virtual void ResizeWindow(DisplayWindowId, int32 /*width*/,
		int32 /*height*/, int32 /*scaleUnits*/) {}
	virtual void SetTitle(DisplayWindowId id, const std::string& title) = 0;
	// `argb` holds width * height pixels, 0xAARRGGBB.
	virtual void SetIcon(DisplayWindowId id, const std::vector<uint32>& argb,
		int32 width, int32 height) = 0;
	// Shows the given box of the window's front buffer.
	virtual void Present(DisplayWindowId id, const ClipBox& box) = 0;
};

typedef std::unique_ptr<DisplayBackend> (*DisplayBackendMaker)();

std::unique_ptr<DisplayBackend> CreateX11DisplayBackend();
std::unique_ptr<DisplayBackend> CreateWaylandDisplayBackend();
// An activation token from the Wayland compositor the environment names,
// for a later launch to pass to the running one; "" when there is none to
// be had within timeoutMs.
std::string RequestWaylandActivationToken(int timeoutMs);

// The headless back end lives in a library of its own that only test
// programs link; linking it installs its maker here, and BELVO_DISPLAY=
// headless then chooses it. The shipped program has no headless display.
void InstallHeadlessDisplayBackend(DisplayBackendMaker maker);

// The back ends a program can use, in the order they are tried: those not
// `byNameOnly` in turn, until one opens; BELVO_DISPLAY=name forces one.
// A back end whose maker is null is not in this build. Wayland comes
// first, and is tried only when the environment names a compositor
// (WAYLAND_DISPLAY or WAYLAND_SOCKET); X11 after it.
struct DisplayBackendChoice {
	const char* name;
	DisplayBackendMaker maker;
	bool byNameOnly;
};
std::vector<DisplayBackendChoice> DisplayBackendChoices();

} // namespace BPrivate

#endif // _PRIVATE_DISPLAY_BACKEND_H
