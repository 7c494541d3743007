/*
 * BHandler: something a looper can deliver messages to.
 *
 * A handler belongs to at most one looper at a time (see BLooper's
 * AddHandler). Messages it does not handle go on to its next handler: the
 * base MessageReceived passes them there, and when there is none it drops
 * them. Adding a handler to a looper makes the looper its next handler.
 *
 * Deleting a handler that is still in a looper takes it out first, so no
 * message can reach it afterwards.
 *
 * Threads: Looper() and NextHandler() are atomics, so any thread may ask
 * them. The rest (SetNextHandler, SetName and Name, MessageReceived) belongs
 * to the looper's thread, or to a thread holding the looper's lock; the name
 * has no lock of its own. A handler may be built and deleted on any thread:
 * the list of live handlers takes its own lock.
 */
#ifndef _HANDLER_H
#define _HANDLER_H

#include <atomic>
#include <string>

#include <SupportDefs.h>

class BLooper;
class BMessage;

class BHandler {
public:
								BHandler(const char* name = nullptr);
	virtual						~BHandler();

	virtual	void				MessageReceived(BMessage* message);

			BLooper*			Looper() const;

			void				SetName(const char* name);
			const char*			Name() const;

	// A handler that would lead back to itself, or one in another looper, is
	// refused, and the next handler stays as it was.
	virtual	void				SetNextHandler(BHandler* handler);
			BHandler*			NextHandler() const;

private:
	friend class BLooper;

								BHandler(const BHandler&) = delete;
			BHandler&			operator=(const BHandler&) = delete;

			void				_SetLooper(BLooper* looper);
			bool				_SetNextHandler(BHandler* handler);

			std::string			fName;
			bool				fHasName;
			std::atomic<BLooper*> fLooper;
			std::atomic<BHandler*> fNextHandler;
};

#endif // _HANDLER_H
