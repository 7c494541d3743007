#include <Invoker.h>

#include <Looper.h>
#include <Message.h>

BInvoker::BInvoker()
	:
	fMessage(nullptr)
{
}

BInvoker::BInvoker(BMessage* message, const BHandler* handler,
	const BLooper* looper)
	:
	fMessage(message)
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
	fMessenger = BMessenger();
	if (handler == nullptr && looper == nullptr)
		return B_OK;
	status_t status;
	BMessenger messenger(handler, looper, &status);
	if (status == B_OK)
		fMessenger = messenger;
	return status;
}

bool
BInvoker::IsTargetLocal() const
{
	// Every looper lives in this process; what is left to ask is whether
	// there is a target at all.
	return fMessenger.IsValid();
}

BHandler*
BInvoker::Target(BLooper** looper) const
{
	return fMessenger.Target(looper);
}

status_t
BInvoker::Invoke(BMessage* message)
{
	if (message == nullptr)
		message = fMessage;
	if (message == nullptr)
		return B_BAD_VALUE;
	// However it cannot be reached, for the invoker's caller the target
	// is not there.
	status_t status = fMessenger.SendMessage(message);
	return status == B_OK ? status_t(B_OK) : status_t(B_BAD_HANDLER);
}
