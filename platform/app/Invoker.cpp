#include <Invoker.h>

#include <Looper.h>
#include <Message.h>

#include <private/HandlerList.h>

using BPrivate::HandlerList;

BInvoker::BInvoker()
	:
	fMessage(nullptr),
	fHandler(nullptr),
	fHandlerSerial(0),
	fLooper(nullptr),
	fLooperSerial(0)
{
}

BInvoker::BInvoker(BMessage* message, const BHandler* handler,
	const BLooper* looper)
	:
	fMessage(message),
	fHandler(nullptr),
	fHandlerSerial(0),
	fLooper(nullptr),
	fLooperSerial(0)
{
	SetTarget(handler, looper);
}

BInvoker::~BInvoker()
{
	delete fMessage;
}

status_t
BInvoker::SetMessage(BMessage* message)
{
	if (message != fMessage) {
		delete fMessage;
		fMessage = message;
	}
	return B_OK;
}

BMessage*
BInvoker::Message() const
{
	return fMessage;
}

uint32
BInvoker::Command() const
{
	return fMessage != nullptr ? fMessage->what : 0;
}

status_t
BInvoker::SetTarget(const BHandler* handler, const BLooper* looper)
{
	fHandler = nullptr;
	fHandlerSerial = 0;
	fLooper = nullptr;
	fLooperSerial = 0;

	std::lock_guard<std::mutex> lock(HandlerList::Lock());
	uint64 handlerSerial = handler != nullptr ? HandlerList::SerialOf(handler) : 0;
	uint64 looperSerial = looper != nullptr ? HandlerList::SerialOf(looper) : 0;
	if ((handler != nullptr && handlerSerial == 0)
		|| (looper != nullptr && looperSerial == 0)) {
		return B_BAD_HANDLER;
	}
	if (handler != nullptr && looper != nullptr && handler->Looper() != nullptr
		&& handler->Looper() != looper) {
		return B_MISMATCHED_VALUES;
	}
	fHandler = handler;
	fHandlerSerial = handlerSerial;
	fLooper = looper;
	fLooperSerial = looperSerial;
	return B_OK;
}

bool
BInvoker::IsTargetLocal() const
{
	// Every looper lives in this process; what is left to ask is whether
	// there is a target at all.
	std::lock_guard<std::mutex> lock(HandlerList::Lock());
	BHandler* handler;
	BLooper* looper;
	return _Resolve(&handler, &looper) == B_OK;
}

BHandler*
BInvoker::Target(BLooper** looper) const
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

status_t
BInvoker::Invoke(BMessage* message)
{
	if (message == nullptr)
		message = fMessage;
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
	status = looper->PostMessage(message, handler);
	if (status == B_MISMATCHED_VALUES)
		status = B_BAD_HANDLER;
	return status;
}

status_t
BInvoker::_Resolve(BHandler** handler, BLooper** looper) const
{
	*handler = nullptr;
	*looper = nullptr;
	if (fHandler == nullptr && fLooper == nullptr)
		return B_BAD_HANDLER;
	if (fHandler != nullptr && HandlerList::SerialOf(fHandler) != fHandlerSerial)
		return B_BAD_HANDLER;
	if (fLooper != nullptr && HandlerList::SerialOf(fLooper) != fLooperSerial)
		return B_BAD_HANDLER;

	BLooper* owner = fHandler != nullptr ? fHandler->Looper() : nullptr;
	if (fHandler != nullptr) {
		// A looper being destroyed leaves the list before it lets go of
		// its handlers.
		if (owner == nullptr || HandlerList::SerialOf(owner) == 0)
			return B_BAD_HANDLER;
		if (fLooper != nullptr && owner != fLooper)
			return B_BAD_HANDLER;
		*handler = const_cast<BHandler*>(fHandler);
		*looper = owner;
	} else
		*looper = const_cast<BLooper*>(fLooper);
	return B_OK;
}
