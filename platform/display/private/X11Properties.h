/*
 * What the X11 back end tells the window manager about a window, worked
 * out apart from the connection so that it can be checked on its own.
 *
 * Pure functions: any thread; the X11 back end calls them on the display
 * thread.
 */
#ifndef _PRIVATE_X11_PROPERTIES_H
#define _PRIVATE_X11_PROPERTIES_H

#include <array>
#include <string>

#include <SupportDefs.h>

namespace BPrivate {

// WM_NORMAL_HINTS (ICCCM's WM_SIZE_HINTS, 18 words): the content asked for
// at x, y (static gravity: the position is the content's, not the
// frame's, so that the window manager puts what the window draws where the
// window asked) and of width x height, held at that size unless resizable.
std::array<uint32, 18> X11NormalHints(int32 x, int32 y, int32 width,
	int32 height, bool resizable);

// WM_CLASS: instance and class, each ending in a zero byte. The instance
// is the program's name, which desktop entries match (StartupWMClass).
std::string X11WmClass(const char* programName);

} // namespace BPrivate

#endif // _PRIVATE_X11_PROPERTIES_H
