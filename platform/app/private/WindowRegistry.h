/*
 * The windows the application waits for when it quits.
 *
 * A window adds itself when it is built and removes itself at the end of
 * its destructor (on its own thread), before its looper is taken apart; the
 * loopers themselves know nothing of it. Removing a window wakes the
 * application, which ends its Run() once a quit has been asked for and the
 * list is empty.
 *
 * The list hands out messengers, not windows: whoever reads it may post to
 * a window that is being destroyed meanwhile, and the messenger then says
 * so instead of touching it.
 *
 * Every function may be called from any thread. The registry's lock guards
 * its list alone and is never held while anything else runs.
 */
#ifndef _PRIVATE_WINDOW_REGISTRY_H
#define _PRIVATE_WINDOW_REGISTRY_H

#include <vector>

#include <Messenger.h>
#include <SupportDefs.h>

class BLooper;

namespace BPrivate {

class WindowRegistry {
public:
	static	void				Add(BLooper* window);
	static	void				Remove(BLooper* window);
	static	int32				Count();
	static	bool				IsListed(const BLooper* window);
	// A messenger to each window listed now, in the order they were added.
	static	std::vector<BMessenger> Windows();
};

} // namespace BPrivate

#endif // _PRIVATE_WINDOW_REGISTRY_H
