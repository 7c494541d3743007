/*
 * The headless display: windows that exist only in memory. Tests look at
 * what a window shows, inject the mouse and keyboard, and dump a window to
 * an image file. Chosen with BELVO_DISPLAY=headless.
 *
 * Threads: the test hooks may be called from any thread (a test's main
 * thread, usually). The windows' state sits behind one lock that the back
 * end, on the display thread, takes too; injected events are delivered as
 * the display thread delivers the window system's, under the display's
 * window lock. What the hooks read is current only after Sync().
 */
#ifndef _PRIVATE_HEADLESS_DISPLAY_H
#define _PRIVATE_HEADLESS_DISPLAY_H

#include <string>
#include <vector>

#include <private/DisplayBackend.h>

namespace BPrivate {
namespace Headless {

struct WindowState {
	DisplayWindowId id = 0;
	std::string title;
	BRect frame;           // screen coordinates of the content area
	bool visible = false;
	bool popup = false;
	bool utility = false;
	bool resizable = false;
	int32 raised = 0;      // how often it was asked to come to the front
	int32 presents = 0;    // how many boxes were shown
	bool hasIcon = false;
	int32 iconWidth = 0;   // in pixels, as the window manager gets it
	bool active = false;   // holds the keyboard, as the window system sees it
};

// The windows that exist now, oldest first. Call Sync() first to see the
// effect of everything asked so far.
std::vector<WindowState> Windows();
bool FindWindow(const std::string& title, WindowState* state);
// The newest visible pop-up window, if one is open.
bool FindPopup(WindowState* state);

// Copies what the window shows; false when there is no such window.
bool Snapshot(DisplayWindowId id, std::vector<uint32>* pixels, int32* width,
	int32* height);
uint32 PixelAt(DisplayWindowId id, int32 x, int32 y);

// Events, as the window system would send them; coordinates are the
// window's own. Clicks count up for presses in quick succession as usual.
void MouseDown(DisplayWindowId id, float x, float y,
	uint32 buttons = 1, int32 clicks = 1, uint32 modifiers = 0);
void MouseUp(DisplayWindowId id, float x, float y, uint32 modifiers = 0);
void MouseMoved(DisplayWindowId id, float x, float y, uint32 buttons = 0);
// A key by its character ("a", "\n", "\t", " ", B_ESCAPE ...) or, with
// bytes B_FUNCTION_KEY, by `key` (B_F1_KEY ...).
void KeyDown(DisplayWindowId id, const char* bytes, uint32 modifiers = 0,
	int32 key = 0);
void CloseRequested(DisplayWindowId id);
// The desktop's scale changes under a shown window, as the compositor says
// when the user sets another or the window goes to another output.
void ChangeScale(DisplayWindowId id, PixelScale scale);
// The window system gives the keyboard to the window (the one that had it
// hears so first) or takes it away, as a window manager may, menus
// included.
void Activate(DisplayWindowId id, bool active);

// Waits until the display thread has done everything asked of it so far.
void Sync();

// The desktop's scale for the windows made from now on (1 to 4, whole or
// fractional); the display starts with GDK_SCALE's.
void SetScale(PixelScale scale);

} // namespace Headless
} // namespace BPrivate

#endif // _PRIVATE_HEADLESS_DISPLAY_H
