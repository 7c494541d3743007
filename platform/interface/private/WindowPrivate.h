/*
 * What the kits' own windows (pop-up menus, alerts) and the tests need to
 * know of a window beyond the public API.
 *
 * DisplayIdOf may be asked from any thread while the window lives (the id is
 * set once, by the constructor); SetMenuOwner belongs to the window's thread,
 * or to one holding the window's lock.
 */
#ifndef _PRIVATE_WINDOW_PRIVATE_H
#define _PRIVATE_WINDOW_PRIVATE_H

#include <Window.h>

namespace BPrivate {

// Window types of the kits' own: a pop-up menu (no decorations, over
// everything, never takes the keyboard focus) and an alert.
const window_type kPopUpMenuWindow = window_type(1000);
const window_type kAlertWindow = window_type(1001);

// An alert's button was pressed: "which" (int32), its index.
const uint32 kAlertButtonPressed = '_ABP';

// The display's name for a window, for the headless display's test hooks;
// 0 while the window has none.
uint32 DisplayIdOf(const BWindow* window);

// While a view has a menu open, every press and key in its window goes to
// it, wherever the pointer is, so that it can close the menu; null ends it.
void SetMenuOwner(BWindow* window, BView* owner);

} // namespace BPrivate

#endif // _PRIVATE_WINDOW_PRIVATE_H
