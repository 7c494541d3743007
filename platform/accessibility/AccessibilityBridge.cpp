/*
 * The accessibility thread: finding the bus, registering, and the loop that
 * answers screen readers and tells them what the windows' new snapshots
 * changed.
 */
#include <private/AccessibilityBridge.h>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <private/AtSpiServer.h>
#include <private/DBusLibrary.h>

namespace BPrivate {

namespace {

// How long the start-up's calls to a bus may take before the bridge gives
// up: a bus that does not answer within it is as good as none.
const int kCallTimeoutMs = 3000;

struct Published {
	std::shared_ptr<const AccessibleSnapshot> snapshot;
	std::shared_ptr<AccessibleActionSink> sink;
};

// What the windows and the accessibility thread share, under fLock. Made
// once and never deleted, so that a window publishing as the process ends
// finds it still there.
struct BridgeState {
	std::mutex lock;
	std::condition_variable ended;
	std::map<uint32, Published> windows;
	bool changed = false;
	bool stopping = false;
	bool running = true;
	std::thread thread;
	int wakeFd = -1;
	std::string applicationName;
	std::string toolkitVersion;
	void (*waitForScreen)() = nullptr;
	void (*askWindows)() = nullptr;
};

std::atomic<bool> sListening{false};
std::atomic<uint32> sNextWindowKey{1};
std::once_flag sStarted;
std::atomic<BridgeState*> sState{nullptr};

// A path as D-Bus addresses write it: bytes outside the few it allows as
// they are become %XX.
std::string
EscapeAddressValue(const std::string& value)
{
	static const char kHex[] = "0123456789abcdef";
	std::string escaped;
	for (unsigned char c : value) {
		if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')
			|| (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '/'
			|| c == '.' || c == '\\' || c == '*') {
			escaped += char(c);
		} else {
			escaped += '%';
			escaped += kHex[c >> 4];
			escaped += kHex[c & 0xf];
		}
	}
	return escaped;
}

// The session bus's address, without ever starting one: the environment's,
// or the user's bus in the runtime folder, or none.
std::string
SessionBusAddress()
{
	const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
	if (address != nullptr && address[0] != '\0')
		return address;
	const char* runtime = getenv("XDG_RUNTIME_DIR");
	if (runtime == nullptr || runtime[0] == '\0')
		return "";
	std::string path = std::string(runtime) + "/bus";
	struct stat info;
	if (stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
		return "";
	return "unix:path=" + EscapeAddressValue(path);
}

// A private connection to the bus at `address`, registered with it, or
// null; `uniqueName` is what the bus calls us.
DBusConnection*
Connect(const DBusLibrary* dbus, const std::string& address,
	std::string* uniqueName)
{
	DBusError error;
	dbus->dbus_error_init(&error);
	DBusConnection* connection = dbus->dbus_connection_open_private(
		address.c_str(), &error);
	if (connection == nullptr) {
		dbus->dbus_error_free(&error);
		return nullptr;
	}
	// Losing the bus must not end the program.
	dbus->dbus_connection_set_exit_on_disconnect(connection, FALSE);

	DBusMessage* hello = dbus->dbus_message_new_method_call(
		"org.freedesktop.DBus", "/org/freedesktop/DBus",
		"org.freedesktop.DBus", "Hello");
	DBusMessage* reply = hello == nullptr ? nullptr
		: dbus->dbus_connection_send_with_reply_and_block(connection, hello,
			kCallTimeoutMs, &error);
	if (hello != nullptr)
		dbus->dbus_message_unref(hello);
	const char* name = nullptr;
	DBusMessageIter iter;
	if (reply != nullptr && dbus->dbus_message_has_signature(reply, "s")
		&& dbus->dbus_message_iter_init(reply, &iter)) {
		dbus->dbus_message_iter_get_basic(&iter, &name);
	}
	if (name != nullptr) {
		*uniqueName = name;
		dbus->dbus_bus_set_unique_name(connection, name);
	}
	if (reply != nullptr)
		dbus->dbus_message_unref(reply);
	dbus->dbus_error_free(&error);
	if (uniqueName->empty()) {
		dbus->dbus_connection_close(connection);
		dbus->dbus_connection_unref(connection);
		return nullptr;
	}
	return connection;
}

// The accessibility bus's address: AT_SPI_BUS_ADDRESS, else what the
// session bus's org.a11y.Bus says, else none.
std::string
AccessibilityBusAddress(const DBusLibrary* dbus, const std::string& session)
{
	const char* given = getenv("AT_SPI_BUS_ADDRESS");
	if (given != nullptr && given[0] != '\0')
		return given;
	std::string name;
	DBusConnection* connection = Connect(dbus, session, &name);
	if (connection == nullptr)
		return "";
	std::string address;
	DBusMessage* call = dbus->dbus_message_new_method_call("org.a11y.Bus",
		"/org/a11y/bus", "org.a11y.Bus", "GetAddress");
	DBusError error;
	dbus->dbus_error_init(&error);
	DBusMessage* reply = call == nullptr ? nullptr
		: dbus->dbus_connection_send_with_reply_and_block(connection, call,
			kCallTimeoutMs, &error);
	if (call != nullptr)
		dbus->dbus_message_unref(call);
	DBusMessageIter iter;
	const char* value = nullptr;
	if (reply != nullptr && dbus->dbus_message_has_signature(reply, "s")
		&& dbus->dbus_message_iter_init(reply, &iter)) {
		dbus->dbus_message_iter_get_basic(&iter, &value);
		if (value != nullptr)
			address = value;
	}
	if (reply != nullptr)
		dbus->dbus_message_unref(reply);
	dbus->dbus_error_free(&error);
	dbus->dbus_connection_close(connection);
	dbus->dbus_connection_unref(connection);
	return address;
}

bool
IsStopping(BridgeState* state)
{
	std::lock_guard<std::mutex> guard(state->lock);
	return state->stopping;
}

// The snapshots as they are now, and whether any changed since last asked.
std::vector<std::shared_ptr<const AccessibleSnapshot>>
TakeSnapshots(BridgeState* state, bool* changed)
{
	std::vector<std::shared_ptr<const AccessibleSnapshot>> snapshots;
	std::lock_guard<std::mutex> guard(state->lock);
	for (const auto& entry : state->windows)
		snapshots.push_back(entry.second.snapshot);
	*changed = state->changed;
	state->changed = false;
	return snapshots;
}

bool
PerformAction(BridgeState* state, uint32 window, int32 node, int32 action)
{
	// Under the lock, so that a window that withdraws waits for an action
	// on its way to it to be posted; the sink only posts.
	std::lock_guard<std::mutex> guard(state->lock);
	auto found = state->windows.find(window);
	if (found == state->windows.end() || found->second.sink == nullptr)
		return false;
	return found->second.sink->Perform(node, action);
}

void
Serve(BridgeState* state, const DBusLibrary* dbus, DBusConnection* connection,
	const std::string& uniqueName)
{
	int busFd = -1;
	if (!dbus->dbus_connection_get_unix_fd(connection, &busFd) || busFd < 0)
		return;

	bool changed = false;
	AccessibleTree tree(state->applicationName,
		TakeSnapshots(state, &changed));
	AtSpiServer server(dbus, connection, uniqueName, state->toolkitVersion);
	AtSpiServer::ActionHandler act = [state](uint32 window, int32 node,
			int32 action) {
		return PerformAction(state, window, node, action);
	};
	if (!server.Register())
		return;
	dbus->dbus_connection_flush(connection);
	// Windows that had nothing to say since they were shown say it now.
	if (state->askWindows != nullptr && !IsStopping(state))
		state->askWindows();

	while (dbus->dbus_connection_get_is_connected(connection)) {
		// Whatever libdbus has read already is answered before sleeping.
		while (DBusMessage* message
				= dbus->dbus_connection_pop_message(connection)) {
			server.Handle(message, tree, act);
			dbus->dbus_message_unref(message);
		}
		dbus->dbus_connection_flush(connection);

		pollfd fds[2] = { { busFd, POLLIN, 0 }, { state->wakeFd, POLLIN, 0 } };
		if (poll(fds, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if ((fds[1].revents & POLLIN) != 0) {
			uint64_t count;
			if (read(state->wakeFd, &count, sizeof(count)) < 0) {
				// Already emptied: nothing to do.
			}
			if (IsStopping(state))
				return;
			std::vector<std::shared_ptr<const AccessibleSnapshot>> snapshots
				= TakeSnapshots(state, &changed);
			if (changed) {
				AccessibleTree next(state->applicationName,
					std::move(snapshots));
				server.Emit(AccessibleTree::Changes(tree, next));
				tree = std::move(next);
			}
		}
		if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
			// Reads what came (and notices a bus that went away).
			if (!dbus->dbus_connection_read_write(connection, 0))
				return;
		}
	}
}

void
RunBridge(BridgeState* state)
{
	pthread_setname_np(pthread_self(), "belvo-a11y");
	if (state->waitForScreen != nullptr)
		state->waitForScreen();
	std::string session = SessionBusAddress();
	const char* given = getenv("AT_SPI_BUS_ADDRESS");
	const DBusLibrary* dbus = nullptr;
	if ((given != nullptr && given[0] != '\0') || !session.empty())
		dbus = LoadDBusLibrary();
	std::string address = dbus != nullptr && !IsStopping(state)
		? AccessibilityBusAddress(dbus, session) : std::string();
	std::string uniqueName;
	DBusConnection* connection = address.empty() || IsStopping(state)
		? nullptr : Connect(dbus, address, &uniqueName);
	if (connection != nullptr) {
		Serve(state, dbus, connection, uniqueName);
		dbus->dbus_connection_close(connection);
		dbus->dbus_connection_unref(connection);
	}
	// Nobody listens: the windows stop publishing, and what they left is
	// let go of.
	sListening = false;
	std::lock_guard<std::mutex> guard(state->lock);
	state->windows.clear();
	state->running = false;
	state->ended.notify_all();
}

} // namespace

const DBusLibrary*
LoadDBusLibrary()
{
	static const DBusLibrary* sLibrary = LoadRuntimeLibrary<DBusLibrary>(
		"libdbus-1.so.3", [](RuntimeLibrary& loader, DBusLibrary* library) {
			BELVO_DBUS_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
		});
	return sLibrary;
}

void
AccessibilityBridge::Start(const std::string& applicationName,
	const std::string& toolkitVersion, void (*waitForScreen)(),
	void (*askWindows)())
{
	std::call_once(sStarted, [&] {
		const char* off = getenv("NO_AT_BRIDGE");
		if (off != nullptr && strcmp(off, "1") == 0)
			return;
		int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
		if (wakeFd < 0)
			return;
		BridgeState* state = new BridgeState;
		state->wakeFd = wakeFd;
		state->applicationName = applicationName;
		state->toolkitVersion = toolkitVersion;
		state->waitForScreen = waitForScreen;
		state->askWindows = askWindows;
		sState = state;
		sListening = true;
		try {
			std::lock_guard<std::mutex> guard(state->lock);
			state->thread = std::thread(RunBridge, state);
		} catch (const std::system_error&) {
			sListening = false;
			state->running = false;
		}
	});
}

bool
AccessibilityBridge::IsListening()
{
	return sListening.load(std::memory_order_relaxed);
}

uint32
AccessibilityBridge::NewWindowKey()
{
	return sNextWindowKey++;
}

void
AccessibilityBridge::Publish(std::shared_ptr<const AccessibleSnapshot> snapshot,
	std::shared_ptr<AccessibleActionSink> sink)
{
	BridgeState* state = sState;
	if (state == nullptr || snapshot == nullptr || !IsListening())
		return;
	{
		std::lock_guard<std::mutex> guard(state->lock);
		Published& published = state->windows[snapshot->window];
		published.sink = std::move(sink);
		if (published.snapshot != nullptr && *published.snapshot == *snapshot)
			return;
		published.snapshot = std::move(snapshot);
		state->changed = true;
	}
	uint64_t one = 1;
	if (write(state->wakeFd, &one, sizeof(one)) < 0) {
		// The counter is full: the thread has a wake-up waiting anyway.
	}
}

void
AccessibilityBridge::Withdraw(uint32 window)
{
	BridgeState* state = sState;
	if (state == nullptr)
		return;
	{
		std::lock_guard<std::mutex> guard(state->lock);
		if (state->windows.erase(window) == 0)
			return;
		state->changed = true;
	}
	uint64_t one = 1;
	if (write(state->wakeFd, &one, sizeof(one)) < 0) {
		// As above.
	}
}

void
AccessibilityBridge::Stop()
{
	BridgeState* state = sState;
	if (state == nullptr)
		return;
	sListening = false;
	std::unique_lock<std::mutex> guard(state->lock);
	state->stopping = true;
	uint64_t one = 1;
	if (write(state->wakeFd, &one, sizeof(one)) < 0) {
		// As above.
	}
	bool ended = state->ended.wait_for(guard, std::chrono::milliseconds(200),
		[state] { return !state->running; });
	std::thread thread = std::move(state->thread);
	guard.unlock();
	// A thread held up by a bus that does not answer is left to the end
	// of the process.
	if (ended && thread.joinable())
		thread.join();
	else if (thread.joinable())
		thread.detach();
}

} // namespace BPrivate
