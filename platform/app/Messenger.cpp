#include <Messenger.h>

#include <chrono>
#include <mutex>
#include <thread>

#include <Looper.h>
#include <Message.h>

#include <private/HandlerList.h>

using BPrivate::HandlerList;

BMessenger::BMessenger()
	:
	fHandler(nullptr),
	fHandlerSerial(0),
	fLooper(nullptr),
	fLooperSerial(0)
{
}

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper,
	status_t* result)
	:
	BMessenger()
{
	status_t status = B_OK;
	if (handler == nullptr && looper == nullptr)
		status = B_BAD_VALUE;
	else {
		std::lock_guard<std::mutex> lock(HandlerList::Lock());
		uint64 handlerSerial = handler != nullptr
			? HandlerList::SerialOf(handler) : 0;
		uint64 looperSerial = looper != nullptr
			? HandlerList::SerialOf(looper) : 0;
		if ((handler != nullptr && handlerSerial == 0)
			|| (looper != nullptr && looperSerial == 0)) {
			status = B_BAD_HANDLER;
		} else if (handler != nullptr && looper != nullptr
			&& handler->Looper() != nullptr && handler->Looper() != looper) {
			status = B_MISMATCHED_VALUES;
		} else {
			fHandler = handler;
			fHandlerSerial = handlerSerial;
			fLooper = looper;
			fLooperSerial = looperSerial;
			// A looper named as the handler is its own looper: once it is
			// gone, it is the looper that is.
			if (looper == nullptr && handler->Looper() == handler) {
				fLooper = handler->Looper();
				fLooperSerial = handlerSerial;
			}
		}
	}
	if (result != nullptr)
		*result = status;
}

bool
BMessenger::IsValid() const
{
	std::lock_guard<std::mutex> lock(HandlerList::Lock());
	BHandler* handler;
	BLooper* looper;
	return _Resolve(&handler, &looper) == B_OK;
}

BHandler*
BMessenger::Target(BLooper** looper) const
{
	std::lock_guard<std::mutex> lock(HandlerList::Lock());
	BHandler* handler = nullptr;
	BLooper* targetLooper = nullptr;
	if (_Resolve(&handler, &targetLooper) != B_OK) {
		handler = nullptr;
		targetLooper = nullptr;
	}
	if (looper != nullptr)
		*looper = targetLooper;
	return handler;
}

bool
BMessenger::LockTarget() const
{
	// Waiting for a looper's lock with the handler list locked could wait
	// on a looper that waits for the list; so the list is only held for a
	// try, and released between tries.
	for (;;) {
		{
			std::lock_guard<std::mutex> lock(HandlerList::Lock());
			BHandler* handler;
			BLooper* looper;
			if (_Resolve(&handler, &looper) != B_OK)
				return false;
			if (looper->LockWithTimeout(0) == B_OK)
				return true;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
}

status_t
BMessenger::SendMessage(BMessage* message) const
{
	if (message == nullptr)
		return B_BAD_VALUE;
	// Posting with the list locked keeps the looper from being destroyed
	// between finding it and queueing the copy. PostMessage only takes the
	// looper's queue lock, never the looper's own.
	std::lock_guard<std::mutex> lock(HandlerList::Lock());
	BHandler* handler;
	BLooper* looper;
	status_t status = _Resolve(&handler, &looper);
	if (status != B_OK)
		return status;
	return looper->PostMessage(message, handler);
}

status_t
BMessenger::SendMessage(uint32 command) const
{
	BMessage message(command);
	return SendMessage(&message);
}

bool
BMessenger::operator==(const BMessenger& other) const
{
	return fHandler == other.fHandler && fHandlerSerial == other.fHandlerSerial
		&& fLooper == other.fLooper && fLooperSerial == other.fLooperSerial;
}

status_t
BMessenger::_Resolve(BHandler** handler, BLooper** looper) const
{
	*handler = nullptr;
	*looper = nullptr;
	if (fHandler == nullptr && fLooper == nullptr)
		return B_BAD_PORT_ID;
	if (fLooper != nullptr && HandlerList::SerialOf(fLooper) != fLooperSerial)
		return B_BAD_PORT_ID;
	if (fHandler != nullptr && HandlerList::SerialOf(fHandler) != fHandlerSerial)
		return B_BAD_HANDLER;

	if (fHandler == nullptr) {
		*looper = const_cast<BLooper*>(fLooper);
		return B_OK;
	}
	BLooper* owner = fHandler->Looper();
	if (owner == nullptr || (fLooper != nullptr && owner != fLooper))
		return B_MISMATCHED_VALUES;
	// A looper being destroyed leaves the list before it lets go of its
	// handlers.
	if (HandlerList::SerialOf(owner) == 0)
		return B_BAD_PORT_ID;
	*handler = const_cast<BHandler*>(fHandler);
	*looper = owner;
	return B_OK;
}
