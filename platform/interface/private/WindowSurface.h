/*
 * What a window draws into, and which of its boxes wait to be drawn again.
 * BWindow holds it by pointer, so that its public header shows none of it.
 *
 * The pixels and the update's state belong to the window's thread (or
 * whichever thread holds the window's lock to draw); the dirty boxes are
 * added from any thread, under dirtyLock.
 *
 * The canvas and the scale never change after the window's constructor, so
 * a box can be clipped against the canvas without a lock.
 */
#ifndef _PRIVATE_WINDOW_SURFACE_H
#define _PRIVATE_WINDOW_SURFACE_H

#include <mutex>
#include <vector>

#include <private/Canvas.h>

namespace BPrivate {

// Posted to the window when boxes are waiting to be drawn.
const uint32 kUpdateMessage = '_UPD';

struct WindowSurface {
	std::vector<uint32> pixels;
	Canvas canvas;

	// While an update draws: the box being drawn now, which views drawing
	// are clipped to.
	bool inUpdate = false;
	ClipBox updating = { 0, 0, -1, -1 };

	std::mutex dirtyLock;
	std::vector<ClipBox> dirty;
	bool updatePosted = false;
};

} // namespace BPrivate

#endif // _PRIVATE_WINDOW_SURFACE_H
