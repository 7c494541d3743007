/*
 * BMessenger: the way to reach a handler, or a looper, that may be gone by
 * the time a message is sent. It keeps the target's address together with
 * the serial number the handler list gave it, so a target that has been
 * destroyed (even one whose memory a new object took) is noticed and never
 * touched.
 *
 * The target is a handler, a looper, or both. A handler without a looper
 * is reached through whatever looper it belongs to at the time of sending,
 * so it may be added to its looper after the messenger was made. A looper
 * without a handler means the looper's preferred handler.
 *
 * Threads: a messenger is a small value. Copy it freely; every call is safe
 * from any thread, since it finds the target under the handler list's lock
 * and only posts. SendMessage never locks or waits for the target's
 * looper; LockTarget does, and only that.
 */
#ifndef _MESSENGER_H
#define _MESSENGER_H

#include <SupportDefs.h>

class BHandler;
class BLooper;
class BMessage;

class BMessenger {
public:
								BMessenger();
	// *result: B_OK; B_BAD_VALUE with neither; B_BAD_HANDLER for a handler
	// or looper that is not alive; B_MISMATCHED_VALUES for a handler in a
	// looper other than the one given. The messenger is invalid unless
	// B_OK.
								BMessenger(const BHandler* handler,
									const BLooper* looper = nullptr,
									status_t* result = nullptr);

	// Whether the target can be reached now.
			bool				IsValid() const;
	// The handler (null when the target is a looper's preferred handler),
	// and in *looper the looper it would reach; both null when the target
	// is gone.
			BHandler*			Target(BLooper** looper) const;
	// Locks the target's looper, waiting as long as it takes; false when
	// the target is gone (before or while waiting).
			bool				LockTarget() const;

	// Posts a copy of the message to the target through its looper.
	// B_BAD_VALUE without a message; B_BAD_PORT_ID when the looper is gone
	// or takes no more messages; B_BAD_HANDLER when the handler is gone;
	// B_MISMATCHED_VALUES when the handler is no longer in the looper the
	// messenger was made for (or in none).
			status_t			SendMessage(BMessage* message) const;
			status_t			SendMessage(uint32 command) const;

			bool				operator==(const BMessenger& other) const;
			bool				operator!=(const BMessenger& other) const
									{ return !(*this == other); }

private:
			// With the handler list locked: the target as it stands now.
			status_t			_Resolve(BHandler** handler,
									BLooper** looper) const;

			const BHandler*		fHandler;
			uint64				fHandlerSerial;
			const BLooper*		fLooper;
			uint64				fLooperSerial;
};

#endif // _MESSENGER_H
