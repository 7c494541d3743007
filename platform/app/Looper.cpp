/*
 * BLooper: a message queue and the thread that empties it. Run() starts
 * that thread, and every message is dispatched there, with the looper's
 * (recursive) lock held; PostMessage() may be called from any thread and
 * never waits. Quit() on the looper's thread ends the loop and deletes
 * the looper there; from any other thread it returns once that is done.
 * The loopers' threads are counted, so that the end of the program can
 * wait for the last of them.
 */
#include <Looper.h>

#include <private/LooperThreads.h>

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <unordered_map>

#include <AppDefs.h>
#include <Message.h>

#include <private/HandlerList.h>
#include <private/ThreadId.h>

namespace BPrivate {

thread_id
CurrentThread()
{
	// Not cached: a forked child's thread gets a new id, and a cached one
	// would still name the parent's.
	return thread_id(gettid());
}

// What a looper's thread shares with the threads waiting for it to end. It
// outlives the looper, which is deleted on that thread before it says so.
struct LooperThreadState {
	std::mutex					lock;
	std::condition_variable		changed;
	thread_id					thread = B_ERROR;
	bool						started = false;
	bool						finished = false;
};

namespace {

const thread_id kNoThread = B_ERROR;

// Lock timeouts beyond this (more than thirty years) are taken as infinite,
// which keeps the deadline arithmetic from overflowing.
const bigtime_t kLongestTimeout = 1000000000000000LL;

std::mutex&
LooperThreadsLock()
{
	static auto* sLock = new std::mutex;
	return *sLock;
}

std::unordered_map<thread_id, BLooper*>&
LooperThreads()
{
	static auto* sThreads = new std::unordered_map<thread_id, BLooper*>;
	return *sThreads;
}

} // namespace

} // namespace BPrivate

using namespace BPrivate;

BLooper::BLooper(const char* name)
	:
	BHandler(name),
	fQuitting(false),
	fDraining(false),
	fOwner(kNoThread),
	fOwnerCount(0),
	fPreferred(nullptr),
	fCurrentMessage(nullptr),
	fThread(kNoThread),
	fRunCalled(false)
{
	fHandlers.push_back(this);
	_SetLooper(this);
}

BLooper::~BLooper()
{
	// Out of reach first: invokers and the application stop finding this
	// looper before any of it is taken apart.
	HandlerList::Unregister(this);
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		fQuitting = true;
	}

	// The handlers outlive their looper; they must not point back at it.
	for (BHandler* handler : fHandlers) {
		if (handler == this)
			continue;
		handler->_SetLooper(nullptr);
		handler->fNextHandler.store(nullptr);
	}
	fHandlers.clear();
	_SetLooper(nullptr);
}

status_t
BLooper::PostMessage(uint32 what)
{
	BMessage message(what);
	return _Post(message, nullptr);
}

status_t
BLooper::PostMessage(BMessage* message, BHandler* handler)
{
	if (message == nullptr)
		return B_BAD_VALUE;
	if (handler != nullptr) {
		BLooper* owner = handler->Looper();
		if (owner == nullptr)
			return B_BAD_HANDLER;
		if (owner != this)
			return B_MISMATCHED_VALUES;
	}
	return _Post(*message, handler);
}

void
BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message == nullptr || handler == nullptr)
		return;
	if (message->what == B_QUIT_REQUESTED && handler == this) {
		if (QuitRequested())
			Quit();
		return;
	}
	handler->MessageReceived(message);
}

void
BLooper::MessageReceived(BMessage* message)
{
	BHandler::MessageReceived(message);
}

BMessage*
BLooper::CurrentMessage() const
{
	return fCurrentMessage;
}

void
BLooper::AddHandler(BHandler* handler)
{
	if (handler == nullptr)
		return;
	Lock();
	// A handler already in a looper, this one or another (a looper is
	// always in itself), stays where it is.
	BLooper* expected = nullptr;
	if (handler->fLooper.compare_exchange_strong(expected, this)) {
		fHandlers.push_back(handler);
		handler->_SetNextHandler(this);
	}
	Unlock();
}

bool
BLooper::RemoveHandler(BHandler* handler)
{
	if (handler == nullptr || handler == this)
		return false;
	Lock();
	auto it = std::find(fHandlers.begin(), fHandlers.end(), handler);
	if (it == fHandlers.end()) {
		Unlock();
		return false;
	}
	fHandlers.erase(it);
	handler->_SetLooper(nullptr);
	handler->fNextHandler.store(nullptr);
	if (fPreferred == handler)
		fPreferred = nullptr;

	// Messages already queued for it are dropped here; the handler may be
	// about to be deleted.
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		fQueue.erase(std::remove_if(fQueue.begin(), fQueue.end(),
				[handler](const QueueEntry& entry) {
					return entry.handler == handler;
				}),
			fQueue.end());
	}
	Unlock();
	return true;
}

int32
BLooper::CountHandlers() const
{
	BLooper* self = const_cast<BLooper*>(this);
	self->Lock();
	int32 count = int32(fHandlers.size());
	self->Unlock();
	return count;
}

BHandler*
BLooper::HandlerAt(int32 index) const
{
	BLooper* self = const_cast<BLooper*>(this);
	self->Lock();
	BHandler* handler = nullptr;
	if (index >= 0 && size_t(index) < fHandlers.size())
		handler = fHandlers[index];
	self->Unlock();
	return handler;
}

int32
BLooper::IndexOf(BHandler* handler) const
{
	BLooper* self = const_cast<BLooper*>(this);
	self->Lock();
	int32 index = -1;
	auto it = std::find(fHandlers.begin(), fHandlers.end(), handler);
	if (it != fHandlers.end())
		index = int32(it - fHandlers.begin());
	self->Unlock();
	return index;
}

BHandler*
BLooper::PreferredHandler() const
{
	BLooper* self = const_cast<BLooper*>(this);
	self->Lock();
	BHandler* handler = fPreferred != nullptr ? fPreferred : self;
	self->Unlock();
	return handler;
}

void
BLooper::SetPreferredHandler(BHandler* handler)
{
	Lock();
	if (handler == nullptr || handler->Looper() == this)
		fPreferred = handler;
	Unlock();
}

thread_id
BLooper::Run()
{
	if (fRunCalled.exchange(true))
		return B_ALREADY_RUNNING;

	std::shared_ptr<LooperThreadState> state;
	try {
		state = std::make_shared<LooperThreadState>();
	} catch (const std::bad_alloc&) {
		fRunCalled = false;
		return B_NO_MEMORY;
	}
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		fThreadState = state;
	}

	pthread_attr_t attributes;
	pthread_attr_init(&attributes);
	pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
	pthread_t thread;
	BPrivate::LooperThreadStarting();
	int error = pthread_create(&thread, &attributes, &_ThreadEntry, this);
	pthread_attr_destroy(&attributes);
	if (error != 0) {
		BPrivate::LooperThreadFinished();
		{
			std::lock_guard<std::mutex> lock(fQueueLock);
			fThreadState.reset();
		}
		fRunCalled = false;
		return B_ERROR;
	}

	// From here on the looper may already be gone: a message posted before
	// Run() can make it quit at once. Only the shared state is safe to use.
	std::unique_lock<std::mutex> lock(state->lock);
	state->changed.wait(lock, [&state] { return state->started; });
	return state->thread;
}

void
BLooper::Quit()
{
	if (_OnLooperThread()) {
		_EndLoop();
		return;
	}

	std::shared_ptr<LooperThreadState> state;
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		state = fThreadState;
	}
	if (state == nullptr) {
		// Never run: nothing else will ever delete it.
		delete this;
		return;
	}

	// The loop needs the lock to finish its current message; holding on to
	// it here would wait forever. What was posted before this call is
	// still handled, as a quit message at the end of the queue would be;
	// nothing posted after it is taken.
	_UnlockFully();
	{
		std::lock_guard<std::mutex> lock(fQueueLock);
		fDraining = true;
		fQueueChanged.notify_all();
	}

	std::unique_lock<std::mutex> lock(state->lock);
	state->changed.wait(lock, [&state] { return state->finished; });
}

bool
BLooper::QuitRequested()
{
	return true;
}

bool
BLooper::Lock()
{
	return LockWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t
BLooper::LockWithTimeout(bigtime_t timeout)
{
	thread_id self = CurrentThread();
	std::unique_lock<std::mutex> lock(fLockLock);
	if (fOwner.load() == self) {
		fOwnerCount++;
		return B_OK;
	}
	auto isFree = [this] { return fOwner.load() == kNoThread; };
	if (timeout >= kLongestTimeout)
		fLockReleased.wait(lock, isFree);
	else if (timeout <= 0) {
		if (!isFree())
			return B_TIMED_OUT;
	} else if (!fLockReleased.wait_for(lock,
			std::chrono::microseconds(timeout), isFree)) {
		return B_TIMED_OUT;
	}
	fOwner.store(self);
	fOwnerCount = 1;
	return B_OK;
}

void
BLooper::Unlock()
{
	std::lock_guard<std::mutex> lock(fLockLock);
	// Unlocking a lock one does not hold would let another thread in while
	// the holder still relies on it, so it is ignored.
	if (fOwner.load() != CurrentThread())
		return;
	if (--fOwnerCount == 0) {
		fOwner.store(kNoThread);
		fLockReleased.notify_one();
	}
}

bool
BLooper::IsLocked() const
{
	return fOwner.load() == CurrentThread();
}

thread_id
BLooper::LockingThread() const
{
	return fOwner.load();
}

int32
BLooper::CountLocks() const
{
	std::lock_guard<std::mutex> lock(fLockLock);
	return fOwner.load() != kNoThread ? fOwnerCount : 0;
}

thread_id
BLooper::Thread() const
{
	return fThread.load();
}

BLooper*
BLooper::LooperForThread(thread_id thread)
{
	std::lock_guard<std::mutex> lock(LooperThreadsLock());
	auto it = LooperThreads().find(thread);
	return it != LooperThreads().end() ? it->second : nullptr;
}

status_t
BLooper::_Post(const BMessage& message, BHandler* handler)
{
	QueueEntry entry;
	try {
		entry.message.reset(new BMessage(message));
	} catch (const std::bad_alloc&) {
		return B_NO_MEMORY;
	}
	entry.handler = handler;

	std::lock_guard<std::mutex> lock(fQueueLock);
	if (fQuitting || fDraining)
		return B_BAD_PORT_ID;
	try {
		fQueue.push_back(std::move(entry));
	} catch (const std::bad_alloc&) {
		return B_NO_MEMORY;
	}
	// Under the queue lock: once it is released the loop may handle the
	// message, quit and delete the looper, condition variable and all.
	fQueueChanged.notify_one();
	return B_OK;
}

void
BLooper::_Loop()
{
	thread_id self = CurrentThread();
	{
		std::lock_guard<std::mutex> lock(LooperThreadsLock());
		LooperThreads()[self] = this;
	}

	for (;;) {
		QueueEntry entry;
		{
			std::unique_lock<std::mutex> lock(fQueueLock);
			fQueueChanged.wait(lock, [this] {
				return fQuitting || fDraining || !fQueue.empty();
			});
			if (fQuitting || (fDraining && fQueue.empty()))
				break;
			entry = std::move(fQueue.front());
			fQueue.pop_front();
		}

		Lock();
		BHandler* handler = entry.handler;
		if (handler == nullptr)
			handler = fPreferred != nullptr ? fPreferred : this;
		else if (std::find(fHandlers.begin(), fHandlers.end(), handler)
				== fHandlers.end()) {
			// Removed since it was posted: never deliver to it.
			handler = nullptr;
		}
		if (handler != nullptr) {
			BMessage* previous = fCurrentMessage;
			fCurrentMessage = entry.message.get();
			DispatchMessage(entry.message.get(), handler);
			fCurrentMessage = previous;
		}
		Unlock();
	}

	std::lock_guard<std::mutex> lock(LooperThreadsLock());
	auto it = LooperThreads().find(self);
	if (it != LooperThreads().end() && it->second == this)
		LooperThreads().erase(it);
}

void
BLooper::_EndLoop()
{
	std::lock_guard<std::mutex> lock(fQueueLock);
	fQuitting = true;
	fQueueChanged.notify_all();
}

void
BLooper::_SetThread(thread_id thread)
{
	fThread.store(thread);
}

bool
BLooper::_OnLooperThread() const
{
	return fThread.load() == CurrentThread();
}

int32
BLooper::_UnlockFully()
{
	std::lock_guard<std::mutex> lock(fLockLock);
	if (fOwner.load() != CurrentThread())
		return 0;
	int32 count = fOwnerCount;
	fOwnerCount = 0;
	fOwner.store(kNoThread);
	fLockReleased.notify_one();
	return count;
}

void*
BLooper::_ThreadEntry(void* data)
{
	BLooper* looper = static_cast<BLooper*>(data);
	std::shared_ptr<LooperThreadState> state;
	{
		std::lock_guard<std::mutex> lock(looper->fQueueLock);
		state = looper->fThreadState;
	}

	thread_id self = CurrentThread();
	looper->_SetThread(self);
	// Named on its own thread: once Run() has returned, the looper may
	// already be gone.
	if (!looper->fThreadName.empty())
		NameThread(self, looper->fThreadName.c_str());
	else if (looper->Name() != nullptr && looper->Name()[0] != '\0')
		NameThread(self, looper->Name());
	{
		std::lock_guard<std::mutex> lock(state->lock);
		state->thread = self;
		state->started = true;
		state->changed.notify_all();
	}

	looper->_Loop();
	// Whoever holds the lock now (a messenger's LockTarget, say) keeps a
	// looper that is still there until it lets go.
	looper->Lock();
	delete looper;

	{
		std::lock_guard<std::mutex> lock(state->lock);
		state->finished = true;
		state->changed.notify_all();
	}
	BPrivate::LooperThreadFinished();
	return nullptr;
}

namespace BPrivate {

namespace {

// Never destroyed: the last looper threads may still be finishing while the
// process runs its exit handlers.
struct LooperThreadCount {
	std::mutex lock;
	std::condition_variable done;
	int32 running = 0;
};

LooperThreadCount&
ThreadCount()
{
	static LooperThreadCount* sCount = new LooperThreadCount;
	return *sCount;
}

} // namespace

void
LooperThreadStarting()
{
	LooperThreadCount& count = ThreadCount();
	std::lock_guard<std::mutex> lock(count.lock);
	count.running++;
}

void
LooperThreadFinished()
{
	LooperThreadCount& count = ThreadCount();
	std::lock_guard<std::mutex> lock(count.lock);
	if (--count.running == 0)
		count.done.notify_all();
}

bool
WaitForLooperThreads(bigtime_t timeout)
{
	LooperThreadCount& count = ThreadCount();
	std::unique_lock<std::mutex> lock(count.lock);
	return count.done.wait_for(lock, std::chrono::microseconds(timeout),
		[&count] { return count.running == 0; });
}

} // namespace BPrivate
