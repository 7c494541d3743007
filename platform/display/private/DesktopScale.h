/*
 * The desktop's scale: how many device pixels the kits' one pixel takes on
 * each side. HiDPI desktops on X11 say it in two ways, and GNOME and KDE
 * say both: GDK_SCALE in the environment, and Xft.dpi in the X server's
 * resource database (RESOURCE_MANAGER), 96 for each step of scale.
 *
 * Pure functions with no state: any thread. The back ends call them on the
 * display thread when it opens.
 */
#ifndef _PRIVATE_DESKTOP_SCALE_H
#define _PRIVATE_DESKTOP_SCALE_H

#include <SupportDefs.h>

namespace BPrivate {

const int32 kMaxDesktopScale = 4;

// The whole factor, 1 to kMaxDesktopScale, from GDK_SCALE's value and the
// X resource string (either may be null). GDK_SCALE counts when it is a
// whole number from 1 to 4; otherwise Xft.dpi does, rounded to the nearest
// step of 96 (144 and above is 2, 240 and above 3) and capped at 4. A value
// that is not a number, zero, negative or beyond reason counts as absent,
// which leaves scale 1; nothing is said about it.
int32 DesktopScaleFrom(const char* gdkScale, const char* xResources);
// GDK_SCALE's own answer: 1 to kMaxDesktopScale, or 0 when the value is
// absent or not a whole number in that range (then Xft.dpi decides).
int32 GdkScaleFrom(const char* gdkScale);

} // namespace BPrivate

#endif // _PRIVATE_DESKTOP_SCALE_H
