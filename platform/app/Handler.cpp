#include <Handler.h>

#include <unordered_map>

#include <Looper.h>
#include <Message.h>

#include <private/HandlerList.h>

namespace BPrivate {

namespace {

std::unordered_map<const BHandler*, uint64>&
LiveHandlers()
{
	// Built on first use and never destroyed, so that handlers that are
	// static objects elsewhere can still unregister at exit.
	static auto* sHandlers = new std::unordered_map<const BHandler*, uint64>;
	return *sHandlers;
}

uint64 sNextSerial = 1;

} // namespace

std::mutex&
HandlerList::Lock()
{
	static auto* sLock = new std::mutex;
	return *sLock;
}

uint64
HandlerList::SerialOf(const BHandler* handler)
{
	auto it = LiveHandlers().find(handler);
	return it != LiveHandlers().end() ? it->second : 0;
}

uint64
HandlerList::Register(const BHandler* handler)
{
	std::lock_guard<std::mutex> lock(Lock());
	uint64 serial = sNextSerial++;
	LiveHandlers()[handler] = serial;
	return serial;
}

void
HandlerList::Unregister(const BHandler* handler)
{
	std::lock_guard<std::mutex> lock(Lock());
	LiveHandlers().erase(handler);
}

} // namespace BPrivate

using BPrivate::HandlerList;

BHandler::BHandler(const char* name)
	:
	fName(name != nullptr ? name : ""),
	fHasName(name != nullptr),
	fLooper(nullptr),
	fNextHandler(nullptr)
{
	HandlerList::Register(this);
}

BHandler::~BHandler()
{
	BLooper* looper = fLooper.load();
	if (looper != nullptr && looper != static_cast<BHandler*>(this))
		looper->RemoveHandler(this);
	HandlerList::Unregister(this);
}

void
BHandler::MessageReceived(BMessage* message)
{
	// Pass on what this handler does not know; the end of the chain drops
	// it. There are no cycles (SetNextHandler refuses them), so this ends.
	BHandler* next = fNextHandler.load();
	if (next != nullptr && message != nullptr)
		next->MessageReceived(message);
}

BLooper*
BHandler::Looper() const
{
	return fLooper.load();
}

void
BHandler::SetName(const char* name)
{
	fName = name != nullptr ? name : "";
	fHasName = name != nullptr;
}

const char*
BHandler::Name() const
{
	return fHasName ? fName.c_str() : nullptr;
}

void
BHandler::SetNextHandler(BHandler* handler)
{
	_SetNextHandler(handler);
}

BHandler*
BHandler::NextHandler() const
{
	return fNextHandler.load();
}

void
BHandler::_SetLooper(BLooper* looper)
{
	fLooper.store(looper);
}

bool
BHandler::_SetNextHandler(BHandler* handler)
{
	if (handler != nullptr) {
		// Passing a message on runs the next handler on this handler's
		// looper thread, so it must live in the same looper.
		if (handler->Looper() != Looper())
			return false;
		for (BHandler* step = handler; step != nullptr;
				step = step->NextHandler()) {
			if (step == this)
				return false;
		}
	}
	fNextHandler.store(handler);
	return true;
}
