#include <private/WindowRegistry.h>

#include <algorithm>
#include <mutex>

#include <Looper.h>
#include <private/AppPrivate.h>

namespace BPrivate {

namespace {

struct Entry {
	const BLooper* window;
	BMessenger messenger;
};

// Made on first use and never destroyed: a window's thread may still
// leave the list while the process exits.
std::mutex&
Lock()
{
	static auto* sLock = new std::mutex;
	return *sLock;
}

std::vector<Entry>&
List()
{
	static auto* sList = new std::vector<Entry>;
	return *sList;
}

std::vector<Entry>::iterator
Find(const BLooper* window)
{
	std::vector<Entry>& windows = List();
	return std::find_if(windows.begin(), windows.end(),
		[window](const Entry& entry) { return entry.window == window; });
}

} // namespace

void
WindowRegistry::Add(BLooper* window)
{
	if (window == nullptr)
		return;
	// Made before the lock: a messenger takes the handler list's.
	BMessenger messenger(window);
	std::lock_guard<std::mutex> lock(Lock());
	if (Find(window) != List().end())
		return;
	try {
		List().push_back(Entry{ window, messenger });
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
		auto found = Find(window);
		if (found != List().end()) {
			List().erase(found);
			removed = true;
		}
	}
	if (removed)
		PostToApplication(kMsgWindowGone);
}

int32
WindowRegistry::Count()
{
	std::lock_guard<std::mutex> lock(Lock());
	return int32(List().size());
}

bool
WindowRegistry::IsListed(const BLooper* window)
{
	std::lock_guard<std::mutex> lock(Lock());
	return Find(window) != List().end();
}

std::vector<BMessenger>
WindowRegistry::Windows()
{
	std::vector<BMessenger> windows;
	std::lock_guard<std::mutex> lock(Lock());
	windows.reserve(List().size());
	for (const Entry& entry : List())
		windows.push_back(entry.messenger);
	return windows;
}

} // namespace BPrivate
