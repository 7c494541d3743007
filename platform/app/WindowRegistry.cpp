#include <private/WindowRegistry.h>

#include <algorithm>

#include <private/AppPrivate.h>

namespace BPrivate {

namespace {

std::vector<BLooper*>&
Windows()
{
	static auto* sWindows = new std::vector<BLooper*>;
	return *sWindows;
}

} // namespace

void
WindowRegistry::Add(BLooper* window)
{
	if (window == nullptr)
		return;
	std::lock_guard<std::mutex> lock(Lock());
	std::vector<BLooper*>& windows = Windows();
	if (std::find(windows.begin(), windows.end(), window) != windows.end())
		return;
	try {
		windows.push_back(window);
	} catch (...) {
		// Not listed: the application will not wait for this window.
	}
}

void
WindowRegistry::Remove(BLooper* window)
{
	bool removed = false;
	{
		std::lock_guard<std::mutex> lock(Lock());
		std::vector<BLooper*>& windows = Windows();
		auto it = std::find(windows.begin(), windows.end(), window);
		if (it != windows.end()) {
			windows.erase(it);
			removed = true;
		}
	}
	// Outside the registry's lock, which the application holds while it
	// posts to windows.
	if (removed)
		PostToApplication(kMsgWindowGone);
}

int32
WindowRegistry::Count()
{
	std::lock_guard<std::mutex> lock(Lock());
	return int32(Windows().size());
}

std::vector<BLooper*>
WindowRegistry::Snapshot()
{
	std::lock_guard<std::mutex> lock(Lock());
	return Windows();
}

std::mutex&
WindowRegistry::Lock()
{
	static auto* sLock = new std::mutex;
	return *sLock;
}

const std::vector<BLooper*>&
WindowRegistry::Listed()
{
	return Windows();
}

bool
WindowRegistry::IsListed(const BLooper* window)
{
	const std::vector<BLooper*>& windows = Windows();
	return std::find(windows.begin(), windows.end(), window) != windows.end();
}

} // namespace BPrivate
