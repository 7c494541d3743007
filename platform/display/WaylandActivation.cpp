/*
 * A later launch's activation token on Wayland: asked of the compositor on
 * a connection of its own, in a process that shows no window, and passed
 * to the running instance so that it may raise its window
 * (xdg_activation_v1).
 */
#include <private/DisplayBackend.h>

#include <poll.h>

#include <cstdarg>
#include <cstring>

#include <private/WaylandProtocols.h>

namespace BPrivate {

namespace {

struct TokenRequest {
	xdg_activation_v1* activation = nullptr;
	std::string token;
	bool done = false;
};

// Dispatches the compositor's events until `done` or the time is up; false
// on a lost connection or timeout. A compositor that does not answer
// costs a later launch a bounded wait, never a hang.
bool
DispatchUntil(wl_display* display, const bool& done, int64 deadlineUsec)
{
	int fd = wl_display_get_fd(display);
	while (!done) {
		while (wl_display_prepare_read(display) != 0) {
			if (wl_display_dispatch_pending(display) < 0)
				return false;
			if (done)
				return true;
		}
		wl_display_flush(display);
		int64 left = deadlineUsec - int64(MonotonicUsec());
		pollfd poller = { fd, POLLIN, 0 };
		if (left <= 0 || poll(&poller, 1, int(left / 1000) + 1) <= 0) {
			wl_display_cancel_read(display);
			return false;
		}
		if (wl_display_read_events(display) < 0
			|| wl_display_dispatch_pending(display) < 0)
			return false;
	}
	return true;
}

} // namespace

std::string
RequestWaylandActivationToken(int timeoutMs)
{
	gWaylandClient = LoadWaylandClientLibrary();
	if (gWaylandClient == nullptr)
		return std::string();
	// What the library would say of a failure is of no use to a launch
	// that goes on without a token.
	wl_log_set_handler_client([](const char*, va_list) {});
	wl_display* display = wl_display_connect(nullptr);
	if (display == nullptr)
		return std::string();
	int64 deadline = int64(MonotonicUsec()) + int64(timeoutMs) * 1000;
	TokenRequest request;
	wl_registry* registry = wl_display_get_registry(display);
	static const wl_registry_listener kListener = [] {
		wl_registry_listener listener = {};
		listener.global = [](void* data, wl_registry* registry,
				uint32_t name, const char* interface, uint32_t) {
			auto* request = static_cast<TokenRequest*>(data);
			if (strcmp(interface, xdg_activation_v1_interface.name) == 0
				&& request->activation == nullptr) {
				request->activation = static_cast<xdg_activation_v1*>(
					wl_registry_bind(registry, name,
						&xdg_activation_v1_interface, 1));
			}
		};
		listener.global_remove = [](void*, wl_registry*, uint32_t) {};
		return listener;
	}();
	wl_registry_add_listener(registry, &kListener, &request);
	// The globals come before the answer to a sync.
	bool synced = false;
	wl_callback* sync = wl_display_sync(display);
	static const wl_callback_listener kSyncListener = [] {
		wl_callback_listener listener = {};
		listener.done = [](void* data, wl_callback*, uint32_t) {
			*static_cast<bool*>(data) = true;
		};
		return listener;
	}();
	wl_callback_add_listener(sync, &kSyncListener, &synced);
	bool answered = DispatchUntil(display, synced, deadline);
	wl_callback_destroy(sync);
	if (answered && request.activation != nullptr) {
		// No surface and no input of this launch's own: the compositor
		// judges it by the running one's window.
		xdg_activation_token_v1* token
			= xdg_activation_v1_get_activation_token(request.activation);
		static const xdg_activation_token_v1_listener kTokenListener = [] {
			xdg_activation_token_v1_listener listener = {};
			listener.done = [](void* data, xdg_activation_token_v1*,
					const char* name) {
				auto* request = static_cast<TokenRequest*>(data);
				request->token = name != nullptr ? name : "";
				request->done = true;
			};
			return listener;
		}();
		xdg_activation_token_v1_add_listener(token, &kTokenListener,
			&request);
		xdg_activation_token_v1_set_app_id(token, kWaylandAppId);
		xdg_activation_token_v1_commit(token);
		DispatchUntil(display, request.done, deadline);
		xdg_activation_token_v1_destroy(token);
		xdg_activation_v1_destroy(request.activation);
	}
	wl_registry_destroy(registry);
	wl_display_flush(display);
	wl_display_disconnect(display);
	return request.token;
}

} // namespace BPrivate
