/*
 * BLooper: a handler with its own message queue and a thread that empties it.
 *
 * Messages posted to a looper are copied into its queue, first in, first
 * out, and delivered one at a time by its loop through DispatchMessage. The
 * loop runs on the looper's own thread, started by Run(); messages posted
 * before Run() wait in the queue. PostMessage never waits for the looper to
 * finish what it is doing.
 *
 * The looper's lock is recursive and is held by the loop while it
 * dispatches each message, so a thread that holds it knows the looper is
 * not in the middle of handling anything.
 *
 * Thread ids are the kernel's (gettid).
 *
 * A looper that has been Run() ends through Quit(), and deletes itself on
 * its own thread; it must not be deleted with delete while its thread runs.
 * Quit() on the looper's own thread ends the loop after the current
 * message; from another thread it lets the loop handle every message
 * already queued, refuses new ones (PostMessage says B_BAD_PORT_ID), and
 * returns once the looper is gone.
 * A looper that was never run is deleted by Quit() at once, or may simply
 * be deleted.
 */
#ifndef _LOOPER_H
#define _LOOPER_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Handler.h>
#include <SupportDefs.h>

class BMessage;

namespace BPrivate {
struct LooperThreadState;
}

class BLooper : public BHandler {
public:
								BLooper(const char* name = nullptr);
	virtual						~BLooper();

	// Posting. A null handler means the preferred handler, which is the
	// looper itself unless SetPreferredHandler() named another. Errors:
	// B_BAD_VALUE for a null message, B_BAD_HANDLER for a handler in no
	// looper, B_MISMATCHED_VALUES for one in another looper, B_BAD_PORT_ID
	// once the looper is quitting.
			status_t			PostMessage(uint32 what);
			status_t			PostMessage(BMessage* message,
									BHandler* handler = nullptr);

	// Called by the loop, with the looper locked, for every message. The
	// base version answers B_QUIT_REQUESTED sent to the looper itself by
	// quitting if QuitRequested() agrees, and gives everything else to the
	// handler's MessageReceived.
	virtual	void				DispatchMessage(BMessage* message,
									BHandler* handler);
	virtual	void				MessageReceived(BMessage* message);

	// The message being dispatched, or nullptr outside of dispatching. It
	// belongs to the looper.
			BMessage*			CurrentMessage() const;

	// Handlers. The looper is always its own first handler.
			void				AddHandler(BHandler* handler);
			bool				RemoveHandler(BHandler* handler);
			int32				CountHandlers() const;
			BHandler*			HandlerAt(int32 index) const;
			int32				IndexOf(BHandler* handler) const;

			BHandler*			PreferredHandler() const;
			void				SetPreferredHandler(BHandler* handler);

	// Starts the looper's thread and returns its id, or an error if it
	// cannot be started or was started before.
	virtual	thread_id			Run();

	// On the looper's own thread: the loop ends once the current message has
	// been handled, and the looper is then deleted on that thread. From
	// another thread: the same, and Quit() returns once the looper is gone;
	// any hold the caller had on the lock is given up first. On a looper
	// that was never run: deleted at once.
	virtual	void				Quit();
	virtual	bool				QuitRequested();

	// Locking
			bool				Lock();
			status_t			LockWithTimeout(bigtime_t timeout);
			void				Unlock();
			bool				IsLocked() const;
			thread_id			LockingThread() const;
			int32				CountLocks() const;

	// The id of the thread that runs the loop, or B_ERROR before Run().
			thread_id			Thread() const;

	// The looper whose loop runs on the thread, or nullptr.
	static	BLooper*			LooperForThread(thread_id thread);

private:
	friend class BApplication;
	friend class BWindow;

	struct QueueEntry {
		std::unique_ptr<BMessage> message;
		BHandler*				handler;
	};

								BLooper(const BLooper&) = delete;
			BLooper&			operator=(const BLooper&) = delete;

			status_t			_Post(const BMessage& message,
									BHandler* handler);
			// Runs the loop on the calling thread until the looper quits.
			void				_Loop();
			// Makes the loop end after the message in hand, if any.
			void				_EndLoop();
			void				_SetThread(thread_id thread);
			bool				_OnLooperThread() const;
			// Gives up every hold the calling thread has on the lock, and
			// returns how many there were.
			int32				_UnlockFully();
	static	void*				_ThreadEntry(void* looper);

	// The queue, guarded by fQueueLock alone, which is only ever held for a
	// moment.
	mutable	std::mutex			fQueueLock;
			std::condition_variable fQueueChanged;
			std::deque<QueueEntry> fQueue;
			bool				fQuitting;
			// Quit() was called from another thread: the queue is
			// emptied, then the loop ends.
			bool				fDraining;

	// The looper's own recursive lock.
	mutable	std::mutex			fLockLock;
			std::condition_variable fLockReleased;
			std::atomic<thread_id> fOwner;
			int32				fOwnerCount;

	// Guarded by the looper's lock.
			std::vector<BHandler*> fHandlers;
			BHandler*			fPreferred;
			BMessage*			fCurrentMessage;

			std::atomic<thread_id> fThread;
			std::atomic<bool>	fRunCalled;
			// What the thread is called, if not the looper's name: set
			// before Run() (a window's is "w>" and its title).
			std::string			fThreadName;
			std::shared_ptr<BPrivate::LooperThreadState> fThreadState;
};

#endif // _LOOPER_H
