/*
 * The Wayland display: a Wayland client on the display thread only, on
 * libwayland-client, libwayland-cursor and xkbcommon, all loaded when this
 * back end opens (see WaylandLibrary.h and WaylandProtocols.h for how the
 * protocol code generated at build time reaches them).
 *
 * Windows are xdg_toplevels (title, app id, their size held as minimum and
 * maximum, decorations from the compositor through xdg-decoration where it
 * offers them, an alert the child of its window); pop-up menus are
 * xdg_popups placed by a positioner against their field's control in the
 * parent's surface, with a grab taken with the serial of the press or key
 * that opened them. Each window's pixels go to the compositor in wl_shm
 * buffers of the program's own, at the kits' scale (wl_surface's buffer
 * scale), two of them taking turns and a third only while both are held;
 * only what changed is copied and damaged, and a window commits again only
 * once the compositor has said (frame callback) that it showed the last.
 *
 * The thread sleeps in poll() on the connection, an eventfd for Wake() (the
 * one call other threads make) and a timerfd for key repeat; nothing wakes
 * it while nothing happens. A lost connection or a protocol error is
 * reported through the seam (kConnectionLost, LostReason()).
 */
#include <private/DisplayBackend.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <vector>

#include <InterfaceDefs.h>
#include <private/KeyMap.h>
#include <private/WaylandCursor.h>
#include <private/WaylandGeometry.h>
#include <private/WaylandProtocols.h>

namespace BPrivate {

const WaylandClientLibrary* gWaylandClient = nullptr;

namespace {

// The buffers a window may have at once: two take turns; a third only
// while the compositor holds both.
const size_t kMaxBuffers = 3;

// Linux's input event codes for the pointer's buttons.
const uint32 kButtonLeft = 0x110;
const uint32 kButtonRight = 0x111;
const uint32 kButtonMiddle = 0x112;

// wl_surface 6 sends the scale the compositor prefers; the protocol code is
// made from the system's wayland.xml, which has it from Wayland 1.22 on.
#ifdef WL_SURFACE_PREFERRED_BUFFER_SCALE_SINCE_VERSION
const uint32_t kCompositorVersion = 6;
#else
const uint32_t kCompositorVersion = 4;
#endif

const ClipBox kNoBox = ClipBox{ 0, 0, -1, -1 };

ClipBox
Merge(const ClipBox& a, const ClipBox& b)
{
	if (a.IsEmpty())
		return b;
	if (b.IsEmpty())
		return a;
	return a.Union(b);
}

// What libwayland-client last said. It says it on stderr unless told
// otherwise, and what it says (a protocol error's message, the objects
// involved) belongs in the one line the program says when the connection
// ends; only the display thread talks to the library.
char sWaylandLog[256];

void
KeepWaylandLog(const char* format, va_list arguments)
{
	vsnprintf(sWaylandLog, sizeof(sWaylandLog), format, arguments);
	size_t length = strlen(sWaylandLog);
	while (length > 0 && (sWaylandLog[length - 1] == '\n'
			|| sWaylandLog[length - 1] == ' ')) {
		sWaylandLog[--length] = '\0';
	}
}

class WaylandDisplayBackend;

struct WaylandWindow;

struct ShmBuffer {
	WaylandWindow* window = nullptr;
	wl_buffer* buffer = nullptr;
	uint32* pixels = nullptr;
	size_t size = 0;
	bool busy = false;
	// Made for the window's size at an earlier scale: destroyed as soon as
	// the compositor lets go of it.
	bool retired = false;
	// What of the window's pixels this buffer does not hold yet.
	ClipBox stale = kNoBox;
};

struct WaylandWindow {
	WaylandDisplayBackend* backend = nullptr;
	DisplayWindowId id = 0;
	std::shared_ptr<FrontBuffer> front;
	int32 width = 0;            // device pixels
	int32 height = 0;
	PixelScale scale;           // the scale its pixels are drawn at
	// The scale the compositor was last told of, by the buffer scale or the
	// viewport's size (it changes with the buffer that follows a new scale,
	// never before it).
	PixelScale committedScale;
	int32 x = 0;                // the kits' idea of where it is (device)
	int32 y = 0;
	bool popup = false;
	bool utility = false;
	bool resizable = false;
	DisplayWindowId parent = 0;
	BRect anchor;
	std::string title;

	// While shown.
	bool shown = false;
	wl_surface* surface = nullptr;
	xdg_surface* xdgSurface = nullptr;
	xdg_toplevel* toplevel = nullptr;
	xdg_popup* xdgPopup = nullptr;
	zxdg_toplevel_decoration_v1* decoration = nullptr;
	// Where the compositor scales by fractions: the surface's scale as it
	// prefers it, and the viewport that shows the buffer at logical size.
	wp_fractional_scale_v1* fractional = nullptr;
	wp_viewport* viewport = nullptr;
	// Where the compositor draws no decorations: libdecor's frame, which
	// owns the xdg_surface and xdg_toplevel then.
	libdecor_frame* decorFrame = nullptr;
	// A pop-up whose grab libdecor has been told of.
	bool decorGrab = false;
	wl_callback* frame = nullptr;
	bool configured = false;
	// What changed since the last commit.
	ClipBox damage = kNoBox;

	std::vector<ShmBuffer*> buffers;
};

struct WaylandOutput {
	uint32 name = 0;
	wl_output* output = nullptr;
	int32 scale = 1;
	int32 modeWidth = 0;
	int32 modeHeight = 0;
	int32 transform = 0;
};

class WaylandDisplayBackend : public DisplayBackend {
public:
	~WaylandDisplayBackend() override
	{
		if (fWakeFd >= 0)
			close(fWakeFd);
		if (fRepeatFd >= 0)
			close(fRepeatFd);
	}

	const char* Name() const override { return "wayland"; }

	bool Open(std::string* error) override
	{
		const char* name = getenv("WAYLAND_DISPLAY");
		const char* socket = getenv("WAYLAND_SOCKET");
		if ((name == nullptr || name[0] == '\0')
			&& (socket == nullptr || socket[0] == '\0')) {
			*error = "no display available (neither WAYLAND_DISPLAY nor "
				"WAYLAND_SOCKET is set)";
			return false;
		}
		std::string which = name != nullptr && name[0] != '\0' ? name
			: "WAYLAND_SOCKET";
		gWaylandClient = LoadWaylandClientLibrary();
		if (gWaylandClient == nullptr) {
			*error = "no display available (libwayland-client cannot be "
				"loaded)";
			return false;
		}
		wl_log_set_handler_client(&KeepWaylandLog);
		fDisplay = wl_display_connect(nullptr);
		if (fDisplay == nullptr) {
			*error = "no display available (cannot connect to the Wayland "
				"compositor \"" + which + "\")";
			return false;
		}
		fRegistry = wl_display_get_registry(fDisplay);
		static const wl_registry_listener kRegistryListener = [] {
			wl_registry_listener listener = {};
			listener.global = &_Global;
			listener.global_remove = &_GlobalRemove;
			return listener;
		}();
		wl_registry_add_listener(fRegistry, &kRegistryListener, this);
		// The globals, then what the outputs and the seat say of
		// themselves (scales, sizes, the seat's devices).
		if (wl_display_roundtrip(fDisplay) < 0
			|| wl_display_roundtrip(fDisplay) < 0) {
			*error = "no display available (the Wayland compositor \""
				+ which + "\" does not answer)";
			Close();
			return false;
		}
		if (fCompositor == nullptr || fShm == nullptr || fWmBase == nullptr) {
			*error = "no display available (the Wayland compositor \""
				+ which + "\" has no xdg-shell)";
			Close();
			return false;
		}
		fWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
		fRepeatFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
		if (fWakeFd < 0 || fRepeatFd < 0) {
			*error = std::string("no display available (") + strerror(errno)
				+ ")";
			Close();
			return false;
		}
		std::vector<int32> scales;
		for (const WaylandOutput& output : fOutputs)
			scales.push_back(output.scale);
		fScale = SurfaceScaleFor(0, scales);
		// The launcher's token for this start, which the first window
		// shows itself with, so that the compositor gives it the focus
		// the user's click asked for.
		const char* launched = getenv("XDG_ACTIVATION_TOKEN");
		if (launched != nullptr)
			fLaunchToken = launched;
		return true;
	}

	void Close() override
	{
		if (fDisplay == nullptr)
			return;
		if (!fLost) {
			// Pop-ups before the windows they belong to.
			for (auto& entry : fWindows) {
				if (entry.second->popup)
					_Hide(*entry.second);
			}
			for (auto& entry : fWindows)
				_Forget(*entry.second);
			fWindows.clear();
			_CloseInput();
			if (fDecorContext != nullptr)
				fDecor->libdecor_unref(fDecorContext);
			fCursor.Forget();
			for (WaylandOutput& output : fOutputs) {
				if (wl_output_get_version(output.output)
						>= WL_OUTPUT_RELEASE_SINCE_VERSION) {
					wl_output_release(output.output);
				} else
					wl_output_destroy(output.output);
			}
			if (fActivation != nullptr)
				xdg_activation_v1_destroy(fActivation);
			if (fFractionalScale != nullptr)
				wp_fractional_scale_manager_v1_destroy(fFractionalScale);
			if (fViewporter != nullptr)
				wp_viewporter_destroy(fViewporter);
			if (fDecorationManager != nullptr)
				zxdg_decoration_manager_v1_destroy(fDecorationManager);
			if (fWmBase != nullptr)
				xdg_wm_base_destroy(fWmBase);
			if (fShm != nullptr)
				wl_shm_destroy(fShm);
			if (fCompositor != nullptr)
				wl_compositor_destroy(fCompositor);
			if (fRegistry != nullptr)
				wl_registry_destroy(fRegistry);
			wl_display_flush(fDisplay);
		}
		wl_display_disconnect(fDisplay);
		fDisplay = nullptr;
	}

	bool WaitEvent(DisplayEvent* event) override
	{
		for (;;) {
			if (!fPending.empty()) {
				*event = fPending.front();
				fPending.pop_front();
				return true;
			}
			if (fLost)
				return _Lost(event);
			if (wl_display_dispatch_pending(fDisplay) < 0) {
				_Failed();
				continue;
			}
			if (!fPending.empty())
				continue;
			while (wl_display_prepare_read(fDisplay) != 0) {
				if (wl_display_dispatch_pending(fDisplay) < 0) {
					_Failed();
					break;
				}
			}
			if (fLost)
				continue;
			if (!fPending.empty()) {
				wl_display_cancel_read(fDisplay);
				continue;
			}
			bool writable = true;
			if (wl_display_flush(fDisplay) < 0) {
				if (errno != EAGAIN) {
					wl_display_cancel_read(fDisplay);
					_Failed();
					continue;
				}
				writable = false;
			}
			pollfd fds[3] = {
				{ wl_display_get_fd(fDisplay),
					short(POLLIN | (writable ? 0 : POLLOUT)), 0 },
				{ fWakeFd, POLLIN, 0 },
				{ fRepeatFd, POLLIN, 0 },
			};
			// A keyboard that left one of our windows is said to have gone
			// to another of ours if the compositor says so in the same
			// breath; otherwise it left them all.
			int timeout = fLeftWindow != 0 ? 0 : -1;
			int ready = poll(fds, 3, timeout);
			if (ready < 0) {
				wl_display_cancel_read(fDisplay);
				if (errno != EINTR)
					_Failed();
				continue;
			}
			if (ready == 0) {
				wl_display_cancel_read(fDisplay);
				_KeyboardLeft(0);
				continue;
			}
			if ((fds[0].revents & POLLIN) != 0) {
				if (wl_display_read_events(fDisplay) < 0)
					_Failed();
			} else {
				wl_display_cancel_read(fDisplay);
				if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
					_Failed();
			}
			if ((fds[2].revents & POLLIN) != 0)
				_Repeat();
			if ((fds[1].revents & POLLIN) != 0) {
				uint64_t count;
				while (read(fWakeFd, &count, sizeof(count)) > 0) {
				}
				return false;
			}
		}
	}

	void Wake() override
	{
		uint64_t one = 1;
		// A full counter already wakes the thread.
		ssize_t written = write(fWakeFd, &one, sizeof(one));
		(void)written;
	}

	std::string LostReason() const override { return fLostReason; }

	BRect ScreenFrame() override
	{
		// Wayland has no screen the program sees; the largest output
		// stands for it, in the kits' device pixels.
		int32 width = 0, height = 0;
		for (const WaylandOutput& output : fOutputs) {
			if (output.modeWidth <= 0 || output.modeHeight <= 0)
				continue;
			bool turned = (output.transform & 1) != 0;
			int32 w = fScale.Length((turned ? output.modeHeight
				: output.modeWidth) / std::max<int32>(1, output.scale));
			int32 h = fScale.Length((turned ? output.modeWidth
				: output.modeHeight) / std::max<int32>(1, output.scale));
			if (int64(w) * h > int64(width) * height) {
				width = w;
				height = h;
			}
		}
		if (width <= 0 || height <= 0)
			return FallbackScreenFrame();
		return BRect(0, 0, width - 1, height - 1);
	}

	// At start only whole scales are known: a fractional one comes with
	// the first window's surface, as a scale change.
	int32 DesktopScale() override { return fScale.Ceiling(); }
	bool KnowsWindowPositions() const override { return false; }

	bool CreateWindow(DisplayWindowId id, const WindowSpec& spec,
		std::shared_ptr<FrontBuffer> buffer) override
	{
		int32 width, height;
		{
			std::lock_guard<std::mutex> lock(buffer->lock);
			width = buffer->width;
			height = buffer->height;
		}
		int32 logicalWidth, logicalHeight;
		if (!SurfaceSizeFor(width, height, fScale, &logicalWidth,
				&logicalHeight)) {
			fprintf(stderr, "%s: cannot create a window of %dx%d pixels at "
				"scale %g\n", program_invocation_short_name, int(width),
				int(height), fScale.Factor());
			return false;
		}
		auto window = std::make_unique<WaylandWindow>();
		window->backend = this;
		window->id = id;
		window->front = std::move(buffer);
		window->width = width;
		window->height = height;
		window->scale = fScale;
		window->x = int32(spec.frame.left);
		window->y = int32(spec.frame.top);
		window->popup = spec.popup;
		window->utility = spec.utility;
		window->resizable = spec.resizable;
		window->parent = spec.parent;
		window->anchor = spec.anchor;
		window->title = spec.title;
		fWindows[id] = std::move(window);
		return true;
	}

	void DestroyWindow(DisplayWindowId id) override
	{
		auto found = fWindows.find(id);
		if (found == fWindows.end())
			return;
		_Hide(*found->second);
		_Forget(*found->second);
		fWindows.erase(found);
	}

	void ShowWindow(DisplayWindowId id, bool show) override
	{
		WaylandWindow* window = _Find(id);
		if (window == nullptr || window->shown == show)
			return;
		if (show)
			_Show(*window);
		else
			_Hide(*window);
	}

	void RaiseWindow(DisplayWindowId id) override
	{
		// Wayland lets a program ask, not take: with xdg-activation the
		// compositor decides whether the window comes forward.
		WaylandWindow* window = _Find(id);
		if (window == nullptr)
			return;
		if (!window->shown)
			_Show(*window);
		if (fActivation == nullptr || window->toplevel == nullptr)
			return;
		// A later launch's token (the user's start of it, as the
		// compositor saw it) is what may bring the window forward.
		if (_ActivateWith(&fOfferedToken, *window))
			return;
		xdg_activation_token_v1* token
			= xdg_activation_v1_get_activation_token(fActivation);
		static const xdg_activation_token_v1_listener kTokenListener = [] {
			xdg_activation_token_v1_listener listener = {};
			listener.done = &_TokenDone;
			return listener;
		}();
		xdg_activation_token_v1_add_listener(token, &kTokenListener, this);
		xdg_activation_token_v1_set_app_id(token, kWaylandAppId);
		xdg_activation_token_v1_set_surface(token, window->surface);
		if (fSeat != nullptr && fInputSerial != 0)
			xdg_activation_token_v1_set_serial(token, fInputSerial, fSeat);
		xdg_activation_token_v1_commit(token);
		fActivating[token] = id;
	}

	void OfferActivationToken(const std::string& token) override
	{
		fOfferedToken = token;
	}

	void FocusWindow(DisplayWindowId) override
	{
		// The compositor alone gives the keyboard; a pop-up's going gives
		// it back to the window it belongs to.
	}

	void MoveWindow(DisplayWindowId id, int32 x, int32 y) override
	{
		// The compositor places windows; the kits' idea of where they are
		// is kept, since pop-ups are placed relative to it.
		if (WaylandWindow* window = _Find(id)) {
			window->x = x;
			window->y = y;
		}
	}

	void ResizeWindow(DisplayWindowId id, int32 width, int32 height,
		int32 scaleUnits) override
	{
		WaylandWindow* window = _Find(id);
		PixelScale scale = PixelScale::FromUnits(scaleUnits);
		int32 logicalWidth, logicalHeight;
		if (window == nullptr
			|| !SurfaceSizeFor(width, height, scale, &logicalWidth,
				&logicalHeight))
			return;
		window->x = scale.Start(window->scale.PixelAt(window->x));
		window->y = scale.Start(window->scale.PixelAt(window->y));
		window->width = width;
		window->height = height;
		window->scale = scale;
		for (auto buffer = window->buffers.begin();
				buffer != window->buffers.end();) {
			if ((*buffer)->busy) {
				(*buffer)->retired = true;
				++buffer;
			} else {
				_FreeBuffer(*buffer);
				buffer = window->buffers.erase(buffer);
			}
		}
		window->damage = ClipBox{ 0, 0, width - 1, height - 1 };
		// Drawn by the Present() that follows, with its new pixels.
	}

	void SetTitle(DisplayWindowId id, const std::string& title) override
	{
		WaylandWindow* window = _Find(id);
		if (window == nullptr)
			return;
		window->title = title;
		if (window->decorFrame != nullptr)
			fDecor->libdecor_frame_set_title(window->decorFrame, title.c_str());
		else if (window->toplevel != nullptr)
			xdg_toplevel_set_title(window->toplevel, title.c_str());
	}

	void SetIcon(DisplayWindowId, const std::vector<uint32>&, int32,
		int32) override
	{
		// The desktop takes the icon from the desktop entry the app id
		// names.
	}

	void Present(DisplayWindowId id, const ClipBox& box) override
	{
		WaylandWindow* window = _Find(id);
		if (window == nullptr)
			return;
		ClipBox clipped = box.Intersect(ClipBox{ 0, 0, window->width - 1,
			window->height - 1 });
		if (clipped.IsEmpty())
			return;
		window->damage = Merge(window->damage, clipped);
		_Draw(*window);
	}

private:
	WaylandWindow* _Find(DisplayWindowId id)
	{
		auto found = fWindows.find(id);
		return found != fWindows.end() ? found->second.get() : nullptr;
	}

	// Which of our windows a surface is; null for the others (the
	// cursor's, libdecor's title bars).
	WaylandWindow* _WindowOf(wl_surface* surface)
	{
		auto found = fBySurface.find(surface);
		return found != fBySurface.end() ? found->second : nullptr;
	}

	// The connection is gone, or the compositor ended it.
	void _Failed()
	{
		if (fLost)
			return;
		fLost = true;
		int error = wl_display_get_error(fDisplay);
		if (error == EPROTO) {
			// libwayland's own words name the object and the error
			// ("xdg_surface@12: error 5: ..."); without them, the code.
			const wl_interface* interface = nullptr;
			uint32_t objectId = 0;
			uint32_t code = wl_display_get_protocol_error(fDisplay,
				&interface, &objectId);
			char reason[320];
			if (sWaylandLog[0] != '\0') {
				snprintf(reason, sizeof(reason), "the compositor ended it: "
					"%s", sWaylandLog);
			} else {
				snprintf(reason, sizeof(reason), "the compositor ended it: "
					"%s@%u: error %u", interface != nullptr ? interface->name
						: "[destroyed object]", unsigned(objectId),
					unsigned(code));
			}
			fLostReason = reason;
		}
	}

	bool _Lost(DisplayEvent* event)
	{
		*event = DisplayEvent();
		event->type = DisplayEvent::kConnectionLost;
		event->when = MonotonicUsec();
		return true;
	}

	void _Push(DisplayEvent event)
	{
		if (event.when == 0)
			event.when = MonotonicUsec();
		fPending.push_back(event);
	}

	// #pragma mark - Globals

	static void _Global(void* data, wl_registry* registry, uint32_t name,
		const char* interface, uint32_t version)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		auto bind = [&](const wl_interface* type, uint32_t highest) {
			uint32_t chosen = std::min<uint32_t>(version,
				std::min<uint32_t>(uint32_t(type->version), highest));
			return wl_registry_bind(registry, name, type, chosen);
		};
		if (strcmp(interface, wl_compositor_interface.name) == 0) {
			self->fCompositor = static_cast<wl_compositor*>(
				bind(&wl_compositor_interface, kCompositorVersion));
		} else if (strcmp(interface, wl_shm_interface.name) == 0) {
			self->fShm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
		} else if (strcmp(interface, xdg_wm_base_interface.name) == 0) {
			self->fWmBase = static_cast<xdg_wm_base*>(
				bind(&xdg_wm_base_interface, 2));
			static const xdg_wm_base_listener kWmBaseListener = [] {
				xdg_wm_base_listener listener = {};
				listener.ping = &_Ping;
				return listener;
			}();
			xdg_wm_base_add_listener(self->fWmBase, &kWmBaseListener, self);
		} else if (strcmp(interface, zxdg_decoration_manager_v1_interface.name)
				== 0) {
			self->fDecorationManager = static_cast<zxdg_decoration_manager_v1*>(
				bind(&zxdg_decoration_manager_v1_interface, 1));
		} else if (strcmp(interface, xdg_activation_v1_interface.name) == 0) {
			self->fActivation = static_cast<xdg_activation_v1*>(
				bind(&xdg_activation_v1_interface, 1));
		} else if (strcmp(interface,
				wp_fractional_scale_manager_v1_interface.name) == 0) {
			self->fFractionalScale
				= static_cast<wp_fractional_scale_manager_v1*>(
					bind(&wp_fractional_scale_manager_v1_interface, 1));
		} else if (strcmp(interface, wp_viewporter_interface.name) == 0) {
			self->fViewporter = static_cast<wp_viewporter*>(
				bind(&wp_viewporter_interface, 1));
		} else if (strcmp(interface, wl_seat_interface.name) == 0
			&& self->fSeat == nullptr) {
			self->fSeat = static_cast<wl_seat*>(bind(&wl_seat_interface, 7));
			static const wl_seat_listener kSeatListener = [] {
				wl_seat_listener listener = {};
				listener.capabilities = &_SeatCapabilities;
				listener.name = &_SeatName;
				return listener;
			}();
			wl_seat_add_listener(self->fSeat, &kSeatListener, self);
		} else if (strcmp(interface, wl_output_interface.name) == 0) {
			WaylandOutput output;
			output.name = name;
			output.output = static_cast<wl_output*>(
				bind(&wl_output_interface, 3));
			self->fOutputs.push_back(output);
			static const wl_output_listener kOutputListener = [] {
				wl_output_listener listener = {};
				listener.geometry = &_OutputGeometry;
				listener.mode = &_OutputMode;
				listener.done = &_OutputDone;
				listener.scale = &_OutputScale;
				return listener;
			}();
			wl_output_add_listener(output.output, &kOutputListener, self);
		}
	}

	static void _GlobalRemove(void* data, wl_registry*, uint32_t name)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		for (auto output = self->fOutputs.begin();
				output != self->fOutputs.end(); ++output) {
			if (output->name == name) {
				if (wl_output_get_version(output->output)
						>= WL_OUTPUT_RELEASE_SINCE_VERSION) {
					wl_output_release(output->output);
				} else
					wl_output_destroy(output->output);
				self->fOutputs.erase(output);
				self->_OutputsChanged();
				break;
			}
		}
	}

	static void _Ping(void*, xdg_wm_base* base, uint32_t serial)
	{
		xdg_wm_base_pong(base, serial);
	}

	WaylandOutput* _Output(wl_output* output)
	{
		for (WaylandOutput& candidate : fOutputs) {
			if (candidate.output == output)
				return &candidate;
		}
		return nullptr;
	}

	static void _OutputGeometry(void* data, wl_output* output, int32_t,
		int32_t, int32_t, int32_t, int32_t, const char*, const char*,
		int32_t transform)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		if (WaylandOutput* known = self->_Output(output))
			known->transform = transform;
	}

	static void _OutputMode(void* data, wl_output* output, uint32_t flags,
		int32_t width, int32_t height, int32_t)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		WaylandOutput* known = self->_Output(output);
		if (known != nullptr && (flags & WL_OUTPUT_MODE_CURRENT) != 0) {
			known->modeWidth = width;
			known->modeHeight = height;
		}
	}

	static void _OutputDone(void* data, wl_output*)
	{
		static_cast<WaylandDisplayBackend*>(data)->_OutputsChanged();
	}

	// The outputs say what they are at start, and again whenever the user
	// changes one or one comes or goes: the program follows the largest
	// scale among them, as it took at start.
	void _OutputsChanged()
	{
		if (fDisplay == nullptr || fWakeFd < 0)
			return;     // still opening: Open() reads them
		// Once the compositor has said the scale it wants for the window
		// (a fractional one, or a whole one through wl_surface 6), the
		// outputs' whole ones (rounded up) no longer count: it says the new
		// one itself when the user changes it.
		if (fPreferredUnits > 0 || fPreferredWhole > 0)
			return;
		std::vector<int32> scales;
		for (const WaylandOutput& output : fOutputs)
			scales.push_back(output.scale);
		_ScaleChanged(SurfaceScaleFor(0, scales));
	}

	void _ScaleChanged(PixelScale scale)
	{
		if (scale == fScale)
			return;
		fScale = scale;
		// Menus close (as a click outside closes them), so that none is
		// left placed by the old scale; the windows are drawn again at the
		// new one, each keeping its buffers until its new pixels come.
		for (auto& entry : fWindows) {
			if (entry.second->popup && entry.second->shown) {
				DisplayEvent closed;
				closed.type = DisplayEvent::kCloseRequested;
				closed.window = entry.first;
				_Push(closed);
			}
		}
		// The pointer's image too, from the theme at the new size.
		fCursor.Forget();
		if (fPointerWindow != nullptr && fPointerSerial != 0) {
			fCursor.Set(fPointer, fPointerSerial, fScale, fCompositor,
				fShm);
		}
		for (auto& entry : fWindows) {
			DisplayEvent changed;
			changed.type = DisplayEvent::kScaleChanged;
			changed.window = entry.first;
			changed.scaleUnits = scale.Units();
			_Push(changed);
		}
	}

	// A whole scale the compositor prefers for a toplevel (wl_surface 6):
	// it stands for the outputs' where it has not said a fractional one.
	static void _PreferredBufferScale(void* data, wl_surface*, int32_t factor)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		if (factor < 1 || self->fPreferredUnits > 0)
			return;
		self->fPreferredWhole = SurfaceScaleFor(factor, {});
		self->_ScaleChanged(self->fPreferredWhole);
	}

	static void _PreferredScale(void* data, wp_fractional_scale_v1*,
		uint32_t units)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		if (units == 0)
			return;
		self->fPreferredUnits = int32(std::min<uint32_t>(units,
			PixelScale::kMost * PixelScale::kUnit));
		self->_ScaleChanged(PixelScale::FromUnits(self->fPreferredUnits));
	}

	// The window's size in its surface's logical pixels.
	static void _LogicalSize(const WaylandWindow& window, int32* width,
		int32* height)
	{
		if (!SurfaceSizeFor(window.width, window.height, window.scale, width,
				height)) {
			*width = std::max<int32>(1, window.scale.PixelAt(window.width));
			*height = std::max<int32>(1, window.scale.PixelAt(window.height));
		}
	}

	// Tells the compositor the scale the window's buffers are drawn at:
	// through the viewport, which shows the buffer at the window's logical
	// size whatever the scale, where there is one; else as the buffer
	// scale, which only a whole scale can be.
	void _CommitScale(WaylandWindow& window)
	{
		if (window.viewport != nullptr) {
			int32 width, height;
			_LogicalSize(window, &width, &height);
			wp_viewport_set_destination(window.viewport, width, height);
		} else if (window.committedScale != window.scale
			|| window.scale.Units() != PixelScale::kUnit) {
			wl_surface_set_buffer_scale(window.surface,
				window.scale.Ceiling());
		}
		window.committedScale = window.scale;
	}

	static void _OutputScale(void* data, wl_output* output, int32_t factor)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		if (WaylandOutput* known = self->_Output(output))
			known->scale = std::max<int32_t>(1, factor);
	}

	// #pragma mark - Windows

	void _Show(WaylandWindow& window)
	{
		WaylandWindow* parent = _Find(window.parent);
		if (window.popup && (parent == nullptr || parent->xdgSurface == nullptr
				|| !parent->configured)) {
			// A pop-up with nothing to open from cannot be shown: it ends
			// as a menu the user closed.
			DisplayEvent closed;
			closed.type = DisplayEvent::kCloseRequested;
			closed.window = window.id;
			_Push(closed);
			return;
		}
		window.shown = true;
		window.configured = false;
		window.surface = wl_compositor_create_surface(fCompositor);
		fBySurface[window.surface] = &window;
#ifdef WL_SURFACE_PREFERRED_BUFFER_SCALE_SINCE_VERSION
		if (!window.popup && wl_surface_get_version(window.surface)
				>= WL_SURFACE_PREFERRED_BUFFER_SCALE_SINCE_VERSION) {
			static const wl_surface_listener kSurfaceListener = [] {
				wl_surface_listener listener = {};
				listener.enter = [](void*, wl_surface*, wl_output*) {};
				listener.leave = [](void*, wl_surface*, wl_output*) {};
				listener.preferred_buffer_scale = &_PreferredBufferScale;
				listener.preferred_buffer_transform
					= [](void*, wl_surface*, uint32_t) {};
				return listener;
			}();
			wl_surface_add_listener(window.surface, &kSurfaceListener, this);
		}
#endif
		if (fFractionalScale != nullptr && fViewporter != nullptr) {
			window.viewport = wp_viewporter_get_viewport(fViewporter,
				window.surface);
			// Each toplevel's preference is the program's scale; a
			// pop-up's is its parent's.
			if (!window.popup) {
				window.fractional
					= wp_fractional_scale_manager_v1_get_fractional_scale(
						fFractionalScale, window.surface);
				static const wp_fractional_scale_v1_listener
					kFractionalListener = [] {
						wp_fractional_scale_v1_listener listener = {};
						listener.preferred_scale = &_PreferredScale;
						return listener;
					}();
				wp_fractional_scale_v1_add_listener(window.fractional,
					&kFractionalListener, this);
			}
		}
		_CommitScale(window);
		if (!window.popup && fDecorationManager == nullptr && _OpenDecor()) {
			_ShowDecorated(window, parent);
			return;
		}
		window.xdgSurface = xdg_wm_base_get_xdg_surface(fWmBase,
			window.surface);
		static const xdg_surface_listener kXdgSurfaceListener = [] {
			xdg_surface_listener listener = {};
			listener.configure = &_SurfaceConfigure;
			return listener;
		}();
		xdg_surface_add_listener(window.xdgSurface, &kXdgSurfaceListener,
			&window);

		if (window.popup) {
			BRect parentFrame(parent->x, parent->y,
				parent->x + parent->width - 1, parent->y + parent->height - 1);
			BRect frame(window.x, window.y, window.x + window.width - 1,
				window.y + window.height - 1);
			PopupPositioner placement = PopupPositionerFor(window.anchor,
				frame, parentFrame, window.scale);
			xdg_positioner* positioner
				= xdg_wm_base_create_positioner(fWmBase);
			xdg_positioner_set_size(positioner, placement.width,
				placement.height);
			xdg_positioner_set_anchor_rect(positioner, placement.anchorX,
				placement.anchorY, placement.anchorWidth,
				placement.anchorHeight);
			xdg_positioner_set_anchor(positioner,
				XDG_POSITIONER_ANCHOR_BOTTOM_LEFT);
			xdg_positioner_set_gravity(positioner,
				XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
			xdg_positioner_set_constraint_adjustment(positioner,
				XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_X
					| XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_Y
					| XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_FLIP_Y);
			window.xdgPopup = xdg_surface_get_popup(window.xdgSurface,
				parent->xdgSurface, positioner);
			xdg_positioner_destroy(positioner);
			static const xdg_popup_listener kPopupListener = [] {
				xdg_popup_listener listener = {};
				listener.configure = &_PopupConfigure;
				listener.popup_done = &_PopupDone;
				listener.repositioned = &_PopupRepositioned;
				return listener;
			}();
			xdg_popup_add_listener(window.xdgPopup, &kPopupListener, &window);
			// Held with the press or key that opened it: a click anywhere
			// but the program's own windows closes it (popup_done).
			if (fSeat != nullptr && fInputSerial != 0) {
				xdg_popup_grab(window.xdgPopup, fSeat, fInputSerial);
				// libdecor's title bar leaves the pointer to the grab.
				if (parent->decorFrame != nullptr) {
					fDecor->libdecor_frame_popup_grab(parent->decorFrame,
						fSeatName.c_str());
					window.decorGrab = true;
				}
			}
		} else {
			window.toplevel = xdg_surface_get_toplevel(window.xdgSurface);
			static const xdg_toplevel_listener kToplevelListener = [] {
				xdg_toplevel_listener listener = {};
				listener.configure = &_ToplevelConfigure;
				listener.close = &_ToplevelClose;
				listener.configure_bounds = &_ToplevelBounds;
				listener.wm_capabilities = &_ToplevelCapabilities;
				return listener;
			}();
			xdg_toplevel_add_listener(window.toplevel, &kToplevelListener,
				&window);
			xdg_toplevel_set_title(window.toplevel, window.title.c_str());
			xdg_toplevel_set_app_id(window.toplevel, kWaylandAppId);
			if (!window.resizable) {
				int32 width, height;
				_LogicalSize(window, &width, &height);
				xdg_toplevel_set_min_size(window.toplevel, width, height);
				xdg_toplevel_set_max_size(window.toplevel, width, height);
			}
			if (parent != nullptr && parent->toplevel != nullptr)
				xdg_toplevel_set_parent(window.toplevel, parent->toplevel);
			if (fDecorationManager != nullptr) {
				window.decoration
					= zxdg_decoration_manager_v1_get_toplevel_decoration(
						fDecorationManager, window.toplevel);
				typedef zxdg_toplevel_decoration_v1_listener Listener;
				static const Listener kDecorationListener = [] {
					Listener listener = {};
					listener.configure = &_DecorationConfigure;
					return listener;
				}();
				zxdg_toplevel_decoration_v1_add_listener(window.decoration,
					&kDecorationListener, &window);
				zxdg_toplevel_decoration_v1_set_mode(window.decoration,
					ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
			}
		}
		// The first commit carries no buffer: the compositor answers with
		// a configure, after which the window's pixels go.
		wl_surface_commit(window.surface);
	}

	// libdecor, the first time a window needs a title bar the compositor
	// does not draw.
	bool _OpenDecor()
	{
		if (!fDecorTried) {
			fDecorTried = true;
			fDecor = LoadWaylandDecorLibrary();
			if (fDecor != nullptr) {
				static libdecor_interface sDecorInterface = [] {
					libdecor_interface interface = {};
					interface.error = &_DecorError;
					return interface;
				}();
				fDecorContext = fDecor->libdecor_new(fDisplay,
					&sDecorInterface);
			}
		}
		return fDecorContext != nullptr;
	}

	// A toplevel through libdecor, which makes its xdg_surface and
	// xdg_toplevel and draws the title bar around it.
	void _ShowDecorated(WaylandWindow& window, WaylandWindow* parent)
	{
		static libdecor_frame_interface sFrameInterface = [] {
			libdecor_frame_interface interface = {};
			interface.configure = &_DecorConfigure;
			interface.close = &_DecorClose;
			interface.commit = &_DecorCommit;
			interface.dismiss_popup = &_DecorDismissPopup;
			return interface;
		}();
		window.decorFrame = fDecor->libdecor_decorate(fDecorContext,
			window.surface, &sFrameInterface, &window);
		if (window.decorFrame == nullptr)
			return;
		libdecor_frame* frame = window.decorFrame;
		fDecor->libdecor_frame_set_title(frame, window.title.c_str());
		fDecor->libdecor_frame_set_app_id(frame, kWaylandAppId);
		if (!window.resizable) {
			int32 width, height;
			_LogicalSize(window, &width, &height);
			fDecor->libdecor_frame_set_min_content_size(frame, width, height);
			fDecor->libdecor_frame_set_max_content_size(frame, width, height);
			fDecor->libdecor_frame_unset_capabilities(frame,
				libdecor_capabilities(LIBDECOR_ACTION_RESIZE
					| LIBDECOR_ACTION_FULLSCREEN));
		}
		if (parent != nullptr && parent->decorFrame != nullptr)
			fDecor->libdecor_frame_set_parent(frame, parent->decorFrame);
		fDecor->libdecor_frame_map(frame);
		window.xdgSurface = fDecor->libdecor_frame_get_xdg_surface(frame);
		window.toplevel = fDecor->libdecor_frame_get_xdg_toplevel(frame);
		if (parent != nullptr && parent->decorFrame == nullptr
			&& parent->toplevel != nullptr && window.toplevel != nullptr) {
			xdg_toplevel_set_parent(window.toplevel, parent->toplevel);
		}
	}

	static void _DecorError(libdecor*, libdecor_error, const char*)
	{
		// A title bar that cannot be drawn leaves the window without one.
	}

	static void _DecorConfigure(libdecor_frame* frame,
		libdecor_configuration* configuration, void* data)
	{
		auto* window = static_cast<WaylandWindow*>(data);
		WaylandDisplayBackend* self = window->backend;
		// The content keeps its size, whatever the compositor offers.
		int32 width, height;
		_LogicalSize(*window, &width, &height);
		libdecor_state* state = self->fDecor->libdecor_state_new(width,
			height);
		self->fDecor->libdecor_frame_commit(frame, state, configuration);
		self->fDecor->libdecor_state_free(state);
		if (!window->configured) {
			window->configured = true;
			window->damage = ClipBox{ 0, 0, window->width - 1,
				window->height - 1 };
			self->_Draw(*window);
			self->_UseLaunchToken(*window);
		} else if (window->frame == nullptr)
			wl_surface_commit(window->surface);
	}

	static void _DecorClose(libdecor_frame*, void* data)
	{
		auto* window = static_cast<WaylandWindow*>(data);
		DisplayEvent close;
		close.type = DisplayEvent::kCloseRequested;
		close.window = window->id;
		window->backend->_Push(close);
	}

	static void _DecorCommit(libdecor_frame*, void* data)
	{
		auto* window = static_cast<WaylandWindow*>(data);
		if (window->surface != nullptr)
			wl_surface_commit(window->surface);
	}

	static void _DecorDismissPopup(libdecor_frame*, const char*, void*) {}

	void _Hide(WaylandWindow& window)
	{
		if (!window.shown)
			return;
		// Its pop-ups go first, as a click outside would close them.
		for (auto& entry : fWindows) {
			WaylandWindow& child = *entry.second;
			if (child.popup && child.parent == window.id && child.shown) {
				_Hide(child);
				DisplayEvent closed;
				closed.type = DisplayEvent::kCloseRequested;
				closed.window = child.id;
				_Push(closed);
			}
		}
		if (fPointerWindow == &window)
			fPointerWindow = nullptr;
		if (fKeyboardWindow == &window) {
			fKeyboardWindow = nullptr;
			_StopRepeat();
		}
		if (fLeftWindow == window.id)
			fLeftWindow = 0;
		if (window.decorGrab) {
			WaylandWindow* parent = _Find(window.parent);
			if (parent != nullptr && parent->decorFrame != nullptr) {
				fDecor->libdecor_frame_popup_ungrab(parent->decorFrame,
					fSeatName.c_str());
			}
			window.decorGrab = false;
		}
		if (window.frame != nullptr)
			wl_callback_destroy(window.frame);
		if (window.decoration != nullptr)
			zxdg_toplevel_decoration_v1_destroy(window.decoration);
		if (window.xdgPopup != nullptr)
			xdg_popup_destroy(window.xdgPopup);
		if (window.decorFrame != nullptr) {
			// Its xdg_toplevel and xdg_surface go with it.
			fDecor->libdecor_frame_unref(window.decorFrame);
			window.decorFrame = nullptr;
		} else {
			if (window.toplevel != nullptr)
				xdg_toplevel_destroy(window.toplevel);
			if (window.xdgSurface != nullptr)
				xdg_surface_destroy(window.xdgSurface);
		}
		if (window.fractional != nullptr)
			wp_fractional_scale_v1_destroy(window.fractional);
		if (window.viewport != nullptr)
			wp_viewport_destroy(window.viewport);
		if (window.surface != nullptr) {
			fBySurface.erase(window.surface);
			wl_surface_destroy(window.surface);
		}
		window.fractional = nullptr;
		window.viewport = nullptr;
		window.frame = nullptr;
		window.decoration = nullptr;
		window.xdgPopup = nullptr;
		window.toplevel = nullptr;
		window.xdgSurface = nullptr;
		window.surface = nullptr;
		window.shown = false;
		window.configured = false;
		window.damage = kNoBox;
		for (auto activating = fActivating.begin();
				activating != fActivating.end();) {
			if (activating->second == window.id) {
				xdg_activation_token_v1_destroy(activating->first);
				activating = fActivating.erase(activating);
			} else
				++activating;
		}
	}

	void _Forget(WaylandWindow& window)
	{
		for (ShmBuffer* buffer : window.buffers)
			_FreeBuffer(buffer);
		window.buffers.clear();
	}

	static void _FreeBuffer(ShmBuffer* buffer)
	{
		wl_buffer_destroy(buffer->buffer);
		munmap(buffer->pixels, buffer->size);
		delete buffer;
	}

	static void _SurfaceConfigure(void* data, xdg_surface* surface,
		uint32_t serial)
	{
		auto* window = static_cast<WaylandWindow*>(data);
		xdg_surface_ack_configure(surface, serial);
		if (!window->configured) {
			window->configured = true;
			window->damage = ClipBox{ 0, 0, window->width - 1,
				window->height - 1 };
			window->backend->_Draw(*window);
			window->backend->_UseLaunchToken(*window);
		} else if (window->frame == nullptr)
			wl_surface_commit(window->surface);
	}

	// The launcher's token goes with the first toplevel that has a buffer
	// on screen.
	void _UseLaunchToken(WaylandWindow& window)
	{
		if (!window.popup)
			_ActivateWith(&fLaunchToken, window);
	}

	// Activates the window with a token held for it, which is good for one
	// use; false when there is none.
	bool _ActivateWith(std::string* token, WaylandWindow& window)
	{
		if (token->empty() || fActivation == nullptr
			|| window.surface == nullptr)
			return false;
		xdg_activation_v1_activate(fActivation, token->c_str(),
			window.surface);
		token->clear();
		return true;
	}

	static void _ToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t,
		wl_array*)
	{
		// The window keeps its size; whether it is active is the
		// keyboard's to say.
	}

	static void _ToplevelClose(void* data, xdg_toplevel*)
	{
		auto* window = static_cast<WaylandWindow*>(data);
		DisplayEvent close;
		close.type = DisplayEvent::kCloseRequested;
		close.window = window->id;
		window->backend->_Push(close);
	}

	static void _ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
	static void _ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

	static void _DecorationConfigure(void*, zxdg_toplevel_decoration_v1*,
		uint32_t)
	{
		// Client-side decorations (libdecor) where the compositor wants
		// them are not drawn yet: the window then has no title bar.
	}

	static void _PopupConfigure(void* data, xdg_popup*, int32_t x, int32_t y,
		int32_t, int32_t)
	{
		auto* window = static_cast<WaylandWindow*>(data);
		WaylandDisplayBackend* self = window->backend;
		WaylandWindow* parent = self->_Find(window->parent);
		if (parent == nullptr)
			return;
		// Where the compositor put it (slid or flipped to stay on the
		// output) becomes where the kits have it, so that the field's
		// tracking in screen coordinates finds the right rows.
		BPoint leftTop = PopupLeftTopFor(BPoint(parent->x, parent->y), x, y,
			window->scale);
		if (int32(leftTop.x) == window->x && int32(leftTop.y) == window->y)
			return;
		window->x = int32(leftTop.x);
		window->y = int32(leftTop.y);
		DisplayEvent moved;
		moved.type = DisplayEvent::kFrameMoved;
		moved.window = window->id;
		moved.x = leftTop.x;
		moved.y = leftTop.y;
		self->_Push(moved);
	}

	static void _PopupDone(void* data, xdg_popup*)
	{
		// Dismissed by the compositor (a click outside the program's
		// windows): the menu closes as after a click outside.
		auto* window = static_cast<WaylandWindow*>(data);
		DisplayEvent closed;
		closed.type = DisplayEvent::kCloseRequested;
		closed.window = window->id;
		window->backend->_Push(closed);
	}

	static void _PopupRepositioned(void*, xdg_popup*, uint32_t) {}

	static void _TokenDone(void* data, xdg_activation_token_v1* token,
		const char* name)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		auto found = self->fActivating.find(token);
		if (found != self->fActivating.end()) {
			WaylandWindow* window = self->_Find(found->second);
			if (window != nullptr && window->surface != nullptr)
				xdg_activation_v1_activate(self->fActivation, name,
					window->surface);
			self->fActivating.erase(found);
		}
		xdg_activation_token_v1_destroy(token);
	}

	// #pragma mark - Frames

	ShmBuffer* _NewBuffer(WaylandWindow& window)
	{
		size_t stride = size_t(window.width) * 4;
		size_t size = stride * size_t(window.height);
		int fd = memfd_create("belvo-window", MFD_CLOEXEC | MFD_ALLOW_SEALING);
		if (fd < 0)
			return nullptr;
		if (ftruncate(fd, off_t(size)) < 0) {
			close(fd);
			return nullptr;
		}
		// The compositor may not shrink it under us.
		fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
		void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED,
			fd, 0);
		if (pixels == MAP_FAILED) {
			close(fd);
			return nullptr;
		}
		wl_shm_pool* pool = wl_shm_create_pool(fShm, fd, int32_t(size));
		wl_buffer* wlBuffer = wl_shm_pool_create_buffer(pool, 0, window.width,
			window.height, int32_t(stride), WL_SHM_FORMAT_XRGB8888);
		wl_shm_pool_destroy(pool);
		close(fd);
		auto* buffer = new ShmBuffer;
		buffer->window = &window;
		buffer->buffer = wlBuffer;
		buffer->pixels = static_cast<uint32*>(pixels);
		buffer->size = size;
		buffer->stale = ClipBox{ 0, 0, window.width - 1, window.height - 1 };
		static const wl_buffer_listener kBufferListener = [] {
			wl_buffer_listener listener = {};
			listener.release = &_BufferRelease;
			return listener;
		}();
		wl_buffer_add_listener(wlBuffer, &kBufferListener, buffer);
		window.buffers.push_back(buffer);
		return buffer;
	}

	// Sends what changed, when the compositor is ready for it: after the
	// first configure, not while it has yet to show the last frame, and
	// into a buffer it does not hold.
	void _Draw(WaylandWindow& window)
	{
		if (!window.shown || !window.configured || window.frame != nullptr
			|| window.damage.IsEmpty()) {
			return;
		}
		ShmBuffer* buffer = nullptr;
		for (ShmBuffer* candidate : window.buffers) {
			if (!candidate->busy && !candidate->retired) {
				buffer = candidate;
				break;
			}
		}
		if (buffer == nullptr) {
			if (window.buffers.size() >= kMaxBuffers)
				return;     // on the next release
			buffer = _NewBuffer(window);
			if (buffer == nullptr)
				return;
		}
		ClipBox copy = Merge(window.damage, buffer->stale).Intersect(
			ClipBox{ 0, 0, window.width - 1, window.height - 1 });
		{
			FrontBuffer& front = *window.front;
			std::lock_guard<std::mutex> lock(front.lock);
			if (front.width != window.width || front.height != window.height)
				return;
			size_t count = size_t(copy.right - copy.left + 1);
			for (int32 y = copy.top; y <= copy.bottom; y++) {
				size_t offset = size_t(y) * size_t(window.width)
					+ size_t(copy.left);
				memcpy(buffer->pixels + offset, front.pixels.data() + offset,
					count * 4);
			}
		}
		buffer->stale = kNoBox;
		for (ShmBuffer* other : window.buffers) {
			if (other != buffer)
				other->stale = Merge(other->stale, window.damage);
		}
		// With the first buffer of the new size, so that no commit ever
		// pairs a scale with a buffer it does not divide.
		if (window.committedScale != window.scale)
			_CommitScale(window);
		wl_surface_attach(window.surface, buffer->buffer, 0, 0);
		const ClipBox& damage = window.damage;
		if (wl_surface_get_version(window.surface)
				>= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
			wl_surface_damage_buffer(window.surface, damage.left, damage.top,
				damage.right - damage.left + 1, damage.bottom - damage.top + 1);
		} else {
			// In the surface's pixels, rounded out.
			int32 left = window.scale.PixelAt(damage.left);
			int32 top = window.scale.PixelAt(damage.top);
			int32 right = window.scale.PixelAt(damage.right);
			int32 bottom = window.scale.PixelAt(damage.bottom);
			wl_surface_damage(window.surface, left, top, right - left + 1,
				bottom - top + 1);
		}
		window.frame = wl_surface_frame(window.surface);
		static const wl_callback_listener kFrameListener = [] {
			wl_callback_listener listener = {};
			listener.done = &_FrameDone;
			return listener;
		}();
		wl_callback_add_listener(window.frame, &kFrameListener, &window);
		wl_surface_commit(window.surface);
		buffer->busy = true;
		window.damage = kNoBox;
	}

	static void _FrameDone(void* data, wl_callback* callback, uint32_t)
	{
		auto* window = static_cast<WaylandWindow*>(data);
		wl_callback_destroy(callback);
		if (window->frame == callback)
			window->frame = nullptr;
		window->backend->_Draw(*window);
	}

	static void _BufferRelease(void* data, wl_buffer*)
	{
		auto* buffer = static_cast<ShmBuffer*>(data);
		buffer->busy = false;
		WaylandWindow* window = buffer->window;
		if (buffer->retired) {
			auto& buffers = window->buffers;
			buffers.erase(std::find(buffers.begin(), buffers.end(), buffer));
			_FreeBuffer(buffer);
		}
		window->backend->_Draw(*window);
	}

	// #pragma mark - Input

	static void _SeatCapabilities(void* data, wl_seat* seat,
		uint32_t capabilities)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
		bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
		if (pointer && self->fPointer == nullptr) {
			self->fPointer = wl_seat_get_pointer(seat);
			static const wl_pointer_listener kPointerListener = [] {
				wl_pointer_listener listener = {};
				listener.enter = &_PointerEnter;
				listener.leave = &_PointerLeave;
				listener.motion = &_PointerMotion;
				listener.button = &_PointerButton;
				listener.axis = &_PointerAxis;
				listener.frame = &_PointerFrame;
				listener.axis_source = &_PointerAxisSource;
				listener.axis_stop = &_PointerAxisStop;
				listener.axis_discrete = &_PointerAxisDiscrete;
				return listener;
			}();
			wl_pointer_add_listener(self->fPointer, &kPointerListener, self);
		} else if (!pointer && self->fPointer != nullptr) {
			self->_ReleasePointer();
		}
		if (keyboard && self->fKeyboard == nullptr) {
			self->fKeyboard = wl_seat_get_keyboard(seat);
			static const wl_keyboard_listener kKeyboardListener = [] {
				wl_keyboard_listener listener = {};
				listener.keymap = &_KeyboardKeymap;
				listener.enter = &_KeyboardEnter;
				listener.leave = &_KeyboardLeave;
				listener.key = &_KeyboardKey;
				listener.modifiers = &_KeyboardModifiers;
				listener.repeat_info = &_KeyboardRepeatInfo;
				return listener;
			}();
			wl_keyboard_add_listener(self->fKeyboard, &kKeyboardListener,
				self);
		} else if (!keyboard && self->fKeyboard != nullptr) {
			self->_ReleaseKeyboard();
		}
	}

	static void _SeatName(void* data, wl_seat*, const char* name)
	{
		static_cast<WaylandDisplayBackend*>(data)->fSeatName
			= name != nullptr ? name : "";
	}

	void _ReleasePointer()
	{
		if (wl_pointer_get_version(fPointer)
				>= WL_POINTER_RELEASE_SINCE_VERSION) {
			wl_pointer_release(fPointer);
		} else
			wl_pointer_destroy(fPointer);
		fPointer = nullptr;
		fPointerWindow = nullptr;
		fButtons = 0;
	}

	void _ReleaseKeyboard()
	{
		_StopRepeat();
		if (wl_keyboard_get_version(fKeyboard)
				>= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
			wl_keyboard_release(fKeyboard);
		} else
			wl_keyboard_destroy(fKeyboard);
		fKeyboard = nullptr;
		fKeyboardWindow = nullptr;
	}

	void _CloseInput()
	{
		if (fPointer != nullptr)
			_ReleasePointer();
		if (fKeyboard != nullptr)
			_ReleaseKeyboard();
		if (fSeat != nullptr) {
			if (wl_seat_get_version(fSeat) >= WL_SEAT_RELEASE_SINCE_VERSION)
				wl_seat_release(fSeat);
			else
				wl_seat_destroy(fSeat);
			fSeat = nullptr;
		}
		for (auto& activating : fActivating)
			xdg_activation_token_v1_destroy(activating.first);
		fActivating.clear();
		fKeys.Release();
	}

	uint32 _Modifiers()
	{
		if (fKeys.state == nullptr)
			return 0;
		// xkbcommon's first eight modifiers are X11's core ones, in order.
		xkb_mod_mask_t mask = fKeys.xkb->xkb_state_serialize_mods(fKeys.state,
			XKB_STATE_MODS_EFFECTIVE);
		return ModifiersFromX11State(mask & 0xff);
	}

	static void _PointerEnter(void* data, wl_pointer*, uint32_t serial,
		wl_surface* surface, wl_fixed_t x, wl_fixed_t y)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		self->fPointerWindow = self->_WindowOf(surface);
		self->fPointerSerial = serial;
		self->fPointerX = wl_fixed_to_double(x) * self->fScale.Factor();
		self->fPointerY = wl_fixed_to_double(y) * self->fScale.Factor();
		self->fCursor.Set(self->fPointer, serial, self->fScale,
			self->fCompositor, self->fShm);
	}

	static void _PointerLeave(void* data, wl_pointer*, uint32_t,
		wl_surface* surface)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		WaylandWindow* window = self->_WindowOf(surface);
		if (window == nullptr)
			window = self->fPointerWindow;
		self->fPointerWindow = nullptr;
		if (window == nullptr)
			return;
		DisplayEvent exited;
		exited.type = DisplayEvent::kMouseExited;
		exited.window = window->id;
		self->_Push(exited);
	}

	static void _PointerMotion(void* data, wl_pointer*, uint32_t,
		wl_fixed_t x, wl_fixed_t y)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		self->fPointerX = wl_fixed_to_double(x) * self->fScale.Factor();
		self->fPointerY = wl_fixed_to_double(y) * self->fScale.Factor();
		if (self->fPointerWindow == nullptr)
			return;
		DisplayEvent moved;
		moved.type = DisplayEvent::kMouseMoved;
		moved.window = self->fPointerWindow->id;
		moved.x = float(self->fPointerX);
		moved.y = float(self->fPointerY);
		moved.buttons = self->fButtons;
		moved.modifiers = self->_Modifiers();
		self->_Push(moved);
	}

	static void _PointerButton(void* data, wl_pointer*, uint32_t serial,
		uint32_t, uint32_t button, uint32_t state)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		uint32 which = button == kButtonLeft ? B_PRIMARY_MOUSE_BUTTON
			: button == kButtonRight ? B_SECONDARY_MOUSE_BUTTON
			: button == kButtonMiddle ? B_TERTIARY_MOUSE_BUTTON : 0;
		bool press = state == WL_POINTER_BUTTON_STATE_PRESSED;
		if (press)
			self->fInputSerial = serial;
		if (which == 0)
			return;
		self->fButtons = press ? (self->fButtons | which)
			: (self->fButtons & ~which);
		WaylandWindow* window = self->fPointerWindow;
		if (window == nullptr)
			return;
		DisplayEvent event;
		event.when = MonotonicUsec();
		event.type = press ? DisplayEvent::kMouseDown : DisplayEvent::kMouseUp;
		event.window = window->id;
		event.x = float(self->fPointerX);
		event.y = float(self->fPointerY);
		event.buttons = self->fButtons;
		event.modifiers = self->_Modifiers();
		if (press) {
			// Counted where the kits have the window, as X11 counts on the
			// screen.
			int32 screenX = window->x + int32(std::floor(self->fPointerX));
			int32 screenY = window->y + int32(std::floor(self->fPointerY));
			event.clicks = self->fClicks.Press(which, event.when, screenX,
				screenY);
		}
		self->_Push(event);
	}

	// The wheel means nothing to the kits' windows here, as on X11.
	static void _PointerAxis(void*, wl_pointer*, uint32_t, uint32_t,
		wl_fixed_t) {}
	static void _PointerFrame(void*, wl_pointer*) {}
	static void _PointerAxisSource(void*, wl_pointer*, uint32_t) {}
	static void _PointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
	static void _PointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

	static void _KeyboardKeymap(void* data, wl_keyboard*, uint32_t format,
		int32_t fd, uint32_t size)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		self->_ReadKeymap(format, fd, size);
		close(fd);
	}

	void _ReadKeymap(uint32_t format, int fd, uint32_t size)
	{
		if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0)
			return;
		if (fKeys.xkb == nullptr)
			fKeys.xkb = LoadWaylandXkbLibrary();
		const WaylandXkbLibrary* xkb = fKeys.xkb;
		if (xkb == nullptr)
			return;
		if (fKeys.context == nullptr)
			fKeys.context = xkb->xkb_context_new(XKB_CONTEXT_NO_FLAGS);
		if (fKeys.context == nullptr)
			return;
		void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
		if (text == MAP_FAILED)
			return;
		xkb_keymap* keymap = xkb->xkb_keymap_new_from_string(fKeys.context,
			static_cast<const char*>(text), XKB_KEYMAP_FORMAT_TEXT_V1,
			XKB_KEYMAP_COMPILE_NO_FLAGS);
		munmap(text, size);
		if (keymap == nullptr)
			return;
		xkb_state* state = xkb->xkb_state_new(keymap);
		if (state == nullptr) {
			xkb->xkb_keymap_unref(keymap);
			return;
		}
		fKeys.Adopt(keymap, state);
		_StopRepeat();
	}

	static void _KeyboardEnter(void* data, wl_keyboard*, uint32_t,
		wl_surface* surface, wl_array*)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		WaylandWindow* window = self->_WindowOf(surface);
		self->_KeyboardLeft(window != nullptr ? window->id : 0);
		self->fKeyboardWindow = window;
		if (window == nullptr)
			return;
		DisplayEvent activated;
		activated.type = DisplayEvent::kActivated;
		activated.window = window->id;
		self->_Push(activated);
	}

	static void _KeyboardLeave(void* data, wl_keyboard*, uint32_t,
		wl_surface* surface)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		WaylandWindow* window = self->_WindowOf(surface);
		if (window == nullptr)
			window = self->fKeyboardWindow;
		self->fKeyboardWindow = nullptr;
		self->_StopRepeat();
		self->_KeyboardLeft(0);
		// Said when it is known where the keyboard went (see WaitEvent).
		if (window != nullptr)
			self->fLeftWindow = window->id;
	}

	// The keyboard that left fLeftWindow went to `related` (one of ours,
	// or 0).
	void _KeyboardLeft(DisplayWindowId related)
	{
		if (fLeftWindow == 0)
			return;
		DisplayEvent deactivated;
		deactivated.type = DisplayEvent::kDeactivated;
		deactivated.window = fLeftWindow;
		deactivated.related = related;
		fLeftWindow = 0;
		_Push(deactivated);
	}

	// The kits' key event for the key `code` (evdev), in the keyboard's
	// window; false for a key the kits hand nothing for.
	bool _KeyEvent(uint32_t code, bool press, DisplayEvent* event)
	{
		if (fKeyboardWindow == nullptr)
			return false;
		event->type = press ? DisplayEvent::kKeyDown : DisplayEvent::kKeyUp;
		event->window = fKeyboardWindow->id;
		event->modifiers = _Modifiers();
		event->when = MonotonicUsec();
		return fKeys.KeyBytes(code + 8, event);
	}

	static void _KeyboardKey(void* data, wl_keyboard*, uint32_t serial,
		uint32_t, uint32_t key, uint32_t state)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		bool press = state == WL_KEYBOARD_KEY_STATE_PRESSED;
		if (press)
			self->fInputSerial = serial;
		if (press) {
			self->_StartRepeat(key);
		} else if (key == self->fRepeatKey)
			self->_StopRepeat();
		DisplayEvent event;
		if (self->_KeyEvent(key, press, &event))
			self->_Push(event);
	}

	static void _KeyboardModifiers(void* data, wl_keyboard*, uint32_t,
		uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group)
	{
		static_cast<WaylandDisplayBackend*>(data)->fKeys.UpdateMask(depressed,
			latched, locked, group);
	}

	static void _KeyboardRepeatInfo(void* data, wl_keyboard*, int32_t rate,
		int32_t delay)
	{
		auto* self = static_cast<WaylandDisplayBackend*>(data);
		self->fRepeatRate = std::max<int32_t>(0, rate);
		self->fRepeatDelay = std::max<int32_t>(0, delay);
		if (self->fRepeatRate == 0)
			self->_StopRepeat();
	}

	// A held key repeats as presses alone, as X11's detectable repeat
	// does: after the compositor's delay, at its rate.
	void _StartRepeat(uint32_t key)
	{
		_StopRepeat();
		if (fRepeatRate <= 0 || fKeys.keymap == nullptr
			|| !fKeys.xkb->xkb_keymap_key_repeats(fKeys.keymap, key + 8)) {
			return;
		}
		fRepeatKey = key;
		itimerspec timer = {};
		int64 delay = std::max<int64>(1, fRepeatDelay) * 1000000;
		int64 interval = 1000000000 / fRepeatRate;
		timer.it_value.tv_sec = time_t(delay / 1000000000);
		timer.it_value.tv_nsec = long(delay % 1000000000);
		timer.it_interval.tv_sec = time_t(interval / 1000000000);
		timer.it_interval.tv_nsec = long(interval % 1000000000);
		timerfd_settime(fRepeatFd, 0, &timer, nullptr);
	}

	void _StopRepeat()
	{
		if (fRepeatKey == kNoKey)
			return;
		fRepeatKey = kNoKey;
		itimerspec off = {};
		if (fRepeatFd >= 0)
			timerfd_settime(fRepeatFd, 0, &off, nullptr);
	}

	void _Repeat()
	{
		uint64_t expirations = 0;
		if (read(fRepeatFd, &expirations, sizeof(expirations)) <= 0
			|| fRepeatKey == kNoKey) {
			return;
		}
		DisplayEvent event;
		if (_KeyEvent(fRepeatKey, true, &event))
			_Push(event);
	}

	static const uint32_t kNoKey = UINT32_MAX;

	wl_display* fDisplay = nullptr;
	wl_registry* fRegistry = nullptr;
	wl_compositor* fCompositor = nullptr;
	wl_shm* fShm = nullptr;
	xdg_wm_base* fWmBase = nullptr;
	zxdg_decoration_manager_v1* fDecorationManager = nullptr;
	xdg_activation_v1* fActivation = nullptr;
	// A later launch's token, for the next RaiseWindow; the launcher's,
	// for the first toplevel once it is configured.
	std::string fOfferedToken;
	std::string fLaunchToken;
	// Both or neither: a fractional scale is only of use with a viewport
	// to show the buffer at its logical size.
	wp_fractional_scale_manager_v1* fFractionalScale = nullptr;
	wp_viewporter* fViewporter = nullptr;
	wl_seat* fSeat = nullptr;
	std::string fSeatName = "seat0";
	wl_pointer* fPointer = nullptr;
	wl_keyboard* fKeyboard = nullptr;
	std::vector<WaylandOutput> fOutputs;
	int fWakeFd = -1;
	int fRepeatFd = -1;
	PixelScale fScale;
	// The scale the compositor prefers for the program's surfaces, in
	// 120ths, once it has said one (wp_fractional_scale_v1); 0 before.
	int32 fPreferredUnits = 0;
	// The whole scale it prefers (wl_surface 6), where it says one; 0 before.
	int32 fPreferredWhole = 0;
	bool fLost = false;
	std::string fLostReason;

	std::map<DisplayWindowId, std::unique_ptr<WaylandWindow>> fWindows;
	std::map<wl_surface*, WaylandWindow*> fBySurface;

	const WaylandDecorLibrary* fDecor = nullptr;
	bool fDecorTried = false;
	libdecor* fDecorContext = nullptr;
	std::map<xdg_activation_token_v1*, DisplayWindowId> fActivating;

	// The serial of the last press or key, for a pop-up's grab.
	uint32_t fInputSerial = 0;
	WaylandWindow* fPointerWindow = nullptr;
	double fPointerX = 0;   // device pixels, in fPointerWindow
	double fPointerY = 0;
	uint32 fButtons = 0;
	ClickCounter fClicks;

	WaylandWindow* fKeyboardWindow = nullptr;
	// A window the keyboard left, until it is known where it went.
	DisplayWindowId fLeftWindow = 0;
	XkbKeyboard<WaylandXkbLibrary> fKeys;
	int32 fRepeatRate = 25;
	int32 fRepeatDelay = 600;
	uint32_t fRepeatKey = kNoKey;

	uint32_t fPointerSerial = 0;    // of the pointer's last enter
	WaylandCursor fCursor;

	// Events made here, in the order the compositor's came.
	std::deque<DisplayEvent> fPending;
};

} // namespace

std::unique_ptr<DisplayBackend>
CreateWaylandDisplayBackend()
{
	return std::make_unique<WaylandDisplayBackend>();
}

} // namespace BPrivate
