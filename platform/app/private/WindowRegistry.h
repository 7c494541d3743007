/*
 * The windows the application waits for when it quits.
 *
 * A window adds itself when it is built and removes itself at the end of
 * its destructor (on its own thread), before its looper is taken apart, so
 * no entry outlives its object; the loopers themselves know nothing of it.
 * Removing a window wakes the application, which ends its Run() once a
 * quit has been asked for and the list is empty.
 *
 * While Lock() is held a listed looper cannot finish being destroyed, so it
 * may be posted to; nothing that holds the lock may lock a looper, wait on
 * one or remove a window.
 *
 * Add, Remove, Count and Snapshot take Lock() themselves and may be called
 * from any thread; IsListed and Listed want it held by the caller.
 */
#ifndef _PRIVATE_WINDOW_REGISTRY_H
#define _PRIVATE_WINDOW_REGISTRY_H

#include <mutex>
#include <vector>

#include <SupportDefs.h>

class BLooper;

namespace BPrivate {

class WindowRegistry {
public:
	static	void				Add(BLooper* window);
	static	void				Remove(BLooper* window);
	static	int32				Count();
	static	std::vector<BLooper*> Snapshot();

	static	std::mutex&			Lock();
	// With Lock() held.
	static	bool				IsListed(const BLooper* window);
	static	const std::vector<BLooper*>& Listed();
};

} // namespace BPrivate

#endif // _PRIVATE_WINDOW_REGISTRY_H
