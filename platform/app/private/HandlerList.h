/*
 * The process-wide list of live handlers (loopers included).
 *
 * Every handler gets a serial number when it is built and loses its entry
 * when it is destroyed. Code that keeps a handler's address for later, as an
 * invoker keeps its target, also keeps the serial number: if the address is
 * not listed any more, or listed with another number because a new object
 * took the memory, the target is gone and is never touched.
 *
 * While the list's lock is held no listed handler can finish being
 * destroyed, so a looper found through it may be posted to. Nothing that
 * holds the lock may lock a looper or wait on one.
 *
 * Any thread may use it: Register and Unregister run on the thread that
 * builds or destroys the handler and take the lock themselves; SerialOf
 * wants it held by the caller.
 */
#ifndef _PRIVATE_HANDLER_LIST_H
#define _PRIVATE_HANDLER_LIST_H

#include <mutex>

#include <SupportDefs.h>

class BHandler;

namespace BPrivate {

class HandlerList {
public:
	static	std::mutex&			Lock();

	// With Lock() held: the handler's serial number, or 0 if it is not alive.
	static	uint64				SerialOf(const BHandler* handler);

	// Both take Lock() themselves.
	static	uint64				Register(const BHandler* handler);
	static	void				Unregister(const BHandler* handler);
};

} // namespace BPrivate

#endif // _PRIVATE_HANDLER_LIST_H
