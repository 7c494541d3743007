/*
 * BInvoker: a message and a target to send copies of it to.
 *
 * The invoker owns its message. The target is a handler, a looper, or both;
 * a handler without a looper is reached through whatever looper it belongs
 * to when Invoke() is called, so it may be added to its looper after
 * SetTarget(). A looper without a handler means the looper's preferred
 * handler. A target that has been deleted is noticed, never touched.
 *
 * Threads: an invoker has no lock, so use it from one thread at a time,
 * normally the thread of the looper its owner lives in (a menu item's is its
 * window's). Invoke() finds the target under the handler list's lock and
 * only posts, so it never locks or waits for the target's looper.
 */
#ifndef _INVOKER_H
#define _INVOKER_H

#include <Messenger.h>
#include <SupportDefs.h>

class BHandler;
class BLooper;
class BMessage;

class BInvoker {
public:
								BInvoker();
								BInvoker(BMessage* message,
									const BHandler* handler,
									const BLooper* looper = nullptr);
	virtual						~BInvoker();

	// Takes the message over, deleting the one held before.
	virtual	status_t			SetMessage(BMessage* message);
			BMessage*			Message() const;
			uint32				Command() const;

	// B_MISMATCHED_VALUES, and no target, when the handler is in a looper
	// other than the one given.
	virtual	status_t			SetTarget(const BHandler* handler,
									const BLooper* looper = nullptr);
			bool				IsTargetLocal() const;
			BHandler*			Target(BLooper** looper = nullptr) const;

	// Posts a copy of message, or of the invoker's own message when it is
	// nullptr, to the target through the target's looper. B_BAD_VALUE without
	// a message, B_BAD_HANDLER without a target that can be reached.
	virtual	status_t			Invoke(BMessage* message = nullptr);

private:
								BInvoker(const BInvoker&) = delete;
			BInvoker&			operator=(const BInvoker&) = delete;

			BMessage*			fMessage;
			BMessenger			fMessenger;
};

#endif // _INVOKER_H
