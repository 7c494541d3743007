/*
 * The X11 display: the X protocol spoken through XCB, on the display
 * thread only. Windows are plain X windows whose pixels go to the server
 * through MIT-SHM where the server shares memory with us (a local server),
 * or in PutImage requests otherwise, only the boxes that changed. Pop-up
 * menus are override-redirect windows that hold the pointer and the
 * keyboard while open, as the kits' menus expect; the keyboard is read
 * through xkbcommon. The libraries are loaded when this back end opens.
 *
 * Wake(), the one call other threads make, writes to an eventfd that the
 * display thread polls beside the connection.
 */
#include <private/DisplayBackend.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>

#include <private/DesktopScale.h>
#include <private/Display.h>
#include <private/KeyMap.h>
#include <private/X11Properties.h>
#include <private/XcbLibrary.h>

namespace BPrivate {

namespace {

// The atoms the back end uses, interned together when it opens.
#define BELVO_X11_ATOMS(X) \
	X(WM_PROTOCOLS) \
	X(WM_DELETE_WINDOW) \
	X(WM_CLIENT_MACHINE) \
	X(UTF8_STRING) \
	X(_NET_WM_NAME) \
	X(_NET_WM_ICON) \
	X(_NET_WM_PID) \
	X(_NET_WM_PING) \
	X(_NET_ACTIVE_WINDOW) \
	X(_NET_SUPPORTING_WM_CHECK) \
	X(_NET_WM_WINDOW_TYPE) \
	X(_NET_WM_WINDOW_TYPE_NORMAL) \
	X(_NET_WM_WINDOW_TYPE_DIALOG) \
	X(_NET_WM_WINDOW_TYPE_DROPDOWN_MENU)

struct Atoms {
#define BELVO_DECLARE_ATOM(name) xcb_atom_t name = XCB_ATOM_NONE;
	BELVO_X11_ATOMS(BELVO_DECLARE_ATOM)
#undef BELVO_DECLARE_ATOM
};

const XkbLibrary*
LoadXkb()
{
	RuntimeLibrary xcbXkb("libxcb-xkb.so.1");
	RuntimeLibrary common("libxkbcommon.so.0");
	RuntimeLibrary commonX11("libxkbcommon-x11.so.0");
	XkbLibrary* library = new XkbLibrary;
	{
		RuntimeLibrary& loader = xcbXkb;
		BELVO_XCB_XKB_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
	}
	{
		RuntimeLibrary& loader = common;
		BELVO_XKBCOMMON_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
	}
	{
		RuntimeLibrary& loader = commonX11;
		BELVO_XKBCOMMON_X11_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
	}
	if (!xcbXkb.IsComplete() || !common.IsComplete()
		|| !commonX11.IsComplete()) {
		delete library;
		return nullptr;
	}
	return library;
}

class X11DisplayBackend : public DisplayBackend {
public:
	~X11DisplayBackend() override
	{
		if (fWakeFd >= 0)
			close(fWakeFd);
	}

	const char* Name() const override { return "x11"; }

	bool Open(std::string* error) override
	{
		const char* name = getenv("DISPLAY");
		if (name == nullptr || name[0] == '\0') {
			const char* wayland = getenv("WAYLAND_DISPLAY");
			*error = wayland != nullptr && wayland[0] != '\0'
				? "no display available (DISPLAY is not set)"
				: "no display available (neither DISPLAY nor "
					"WAYLAND_DISPLAY is set)";
			return false;
		}
		fXcb = LoadXcbLibrary();
		if (fXcb == nullptr) {
			*error = "no display available (libxcb cannot be loaded)";
			return false;
		}
		int screenNumber = 0;
		fConnection = fXcb->xcb_connect(nullptr, &screenNumber);
		if (fXcb->xcb_connection_has_error(fConnection)) {
			fXcb->xcb_disconnect(fConnection);
			fConnection = nullptr;
			*error = std::string("no display available (cannot open the "
				"X display \"") + name + "\")";
			return false;
		}
		const xcb_setup_t* setup = fXcb->xcb_get_setup(fConnection);
		xcb_screen_iterator_t screens = fXcb->xcb_setup_roots_iterator(setup);
		for (int i = 0; i < screenNumber && screens.rem > 0; i++)
			fXcb->xcb_screen_next(&screens);
		if (screens.rem == 0) {
			*error = "no display available (the X display has no such "
				"screen)";
			Close();
			return false;
		}
		fScreen = screens.data;
		if (!_CheckVisual(setup)) {
			*error = "no display available (the X screen is not 24-bit "
				"true colour)";
			Close();
			return false;
		}
		fWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
		if (fWakeFd < 0) {
			*error = std::string("no display available (") + strerror(errno)
				+ ")";
			Close();
			return false;
		}

		_InternAtoms();
		_OpenShm();
		// Large enough for any of our windows in one request, yet the
		// fallback path splits by rows all the same.
		fMaxRequestBytes = size_t(fXcb->xcb_get_maximum_request_length(
			fConnection)) * 4;
		return true;
	}

	void Close() override
	{
		if (fConnection == nullptr)
			return;
		for (auto& entry : fWindows)
			_Forget(entry.second);
		fWindows.clear();
		fByXid.clear();
		fKeys.Release();
		fXcb->xcb_flush(fConnection);
		fXcb->xcb_disconnect(fConnection);
		fConnection = nullptr;
	}

	bool WaitEvent(DisplayEvent* event) override
	{
		for (;;) {
			if (!fPending.empty()) {
				*event = fPending.front();
				fPending.pop_front();
				return true;
			}
			if (xcb_generic_event_t* x = fXcb->xcb_poll_for_event(
					fConnection)) {
				bool translated = _Translate(x, event);
				free(x);
				if (translated)
					return true;
				continue;
			}
			if (fXcb->xcb_connection_has_error(fConnection))
				return _Lost(event);
			// The keymap takes a dozen round trips and a compile: read it
			// the first time there is nothing else to do, not before the
			// first window is up.
			if (!fKeyboardTried) {
				fKeyboardTried = true;
				_OpenKeyboard();
				continue;
			}
			fXcb->xcb_flush(fConnection);
			pollfd fds[2] = {
				{ fXcb->xcb_get_file_descriptor(fConnection), POLLIN, 0 },
				{ fWakeFd, POLLIN, 0 },
			};
			if (poll(fds, 2, -1) < 0 && errno != EINTR)
				return _Lost(event);
			if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0
				&& (fds[0].revents & POLLIN) == 0) {
				return _Lost(event);
			}
			if ((fds[1].revents & POLLIN) != 0) {
				uint64_t count;
				while (read(fWakeFd, &count, sizeof(count)) > 0) {
				}
				return false;
			}
		}
	}

	// The connection is gone: Display says so and ends the program.
	bool _Lost(DisplayEvent* event)
	{
		*event = DisplayEvent();
		event->type = DisplayEvent::kConnectionLost;
		event->when = MonotonicUsec();
		return true;
	}

	void Wake() override
	{
		uint64_t one = 1;
		// A full counter already wakes the thread.
		ssize_t written = write(fWakeFd, &one, sizeof(one));
		(void)written;
	}

	BRect ScreenFrame() override
	{
		return BRect(0, 0, fScreen->width_in_pixels - 1,
			fScreen->height_in_pixels - 1);
	}

	int32 DesktopScale() override
	{
		// Where GDK_SCALE decides, the X server is not asked.
		const char* gdkScale = getenv("GDK_SCALE");
		if (GdkScaleFrom(gdkScale) != 0)
			return DesktopScaleFrom(gdkScale, nullptr);
		std::string resources = _PropertyString(fScreen->root,
			XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING);
		return DesktopScaleFrom(gdkScale, resources.c_str());
	}

	bool CreateWindow(DisplayWindowId id, const WindowSpec& spec,
		std::shared_ptr<FrontBuffer> buffer) override
	{
		int32 width, height;
		{
			std::lock_guard<std::mutex> lock(buffer->lock);
			width = buffer->width;
			height = buffer->height;
		}
		if (width > 32767 || height > 32767) {
			fprintf(stderr, "%s: cannot create a window of %dx%d pixels\n",
				program_invocation_short_name, int(width), int(height));
			return false;
		}
		Entry entry;
		entry.id = id;
		entry.xid = fXcb->xcb_generate_id(fConnection);
		entry.buffer = std::move(buffer);
		entry.popup = spec.popup;
		entry.width = width;
		entry.height = height;
		entry.x = int32(spec.frame.left);
		entry.y = int32(spec.frame.top);

		uint32 mask = XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT
			| XCB_CW_EVENT_MASK;
		uint32 values[3] = {
			0xd8d8d8,
			spec.popup ? 1u : 0u,
			XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY
				| XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_KEY_PRESS
				| XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_BUTTON_PRESS
				| XCB_EVENT_MASK_BUTTON_RELEASE
				| XCB_EVENT_MASK_POINTER_MOTION
				| XCB_EVENT_MASK_LEAVE_WINDOW,
		};
		fXcb->xcb_create_window(fConnection, XCB_COPY_FROM_PARENT, entry.xid,
			fScreen->root, int16(entry.x), int16(entry.y), uint16(width),
			uint16(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
			fScreen->root_visual, mask, values);
		entry.gc = fXcb->xcb_generate_id(fConnection);
		uint32 noExposures = 0;
		fXcb->xcb_create_gc(fConnection, entry.gc, entry.xid,
			XCB_GC_GRAPHICS_EXPOSURES, &noExposures);

		_SetTitle(entry.xid, spec.title);
		std::string wmClass = X11WmClass(program_invocation_short_name);
		_SetProperty(entry.xid, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
			uint32(wmClass.size()), wmClass.data());
		xcb_atom_t type = spec.popup ? fAtoms._NET_WM_WINDOW_TYPE_DROPDOWN_MENU
			: spec.utility ? fAtoms._NET_WM_WINDOW_TYPE_DIALOG
			: fAtoms._NET_WM_WINDOW_TYPE_NORMAL;
		_SetProperty(entry.xid, fAtoms._NET_WM_WINDOW_TYPE, XCB_ATOM_ATOM, 32,
			1, &type);
		uint32 pid = uint32(getpid());
		_SetProperty(entry.xid, fAtoms._NET_WM_PID, XCB_ATOM_CARDINAL, 32, 1,
			&pid);
		char host[256] = {};
		if (gethostname(host, sizeof(host) - 1) == 0) {
			_SetProperty(entry.xid, fAtoms.WM_CLIENT_MACHINE, XCB_ATOM_STRING,
				8, uint32(strlen(host)), host);
		}
		if (!spec.popup) {
			xcb_atom_t protocols[2] = { fAtoms.WM_DELETE_WINDOW,
				fAtoms._NET_WM_PING };
			_SetProperty(entry.xid, fAtoms.WM_PROTOCOLS, XCB_ATOM_ATOM, 32, 2,
				protocols);
			std::array<uint32, 18> hints = X11NormalHints(entry.x, entry.y,
				width, height, spec.resizable);
			_SetProperty(entry.xid, XCB_ATOM_WM_NORMAL_HINTS,
				XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints.data());
			// WM_HINTS: the window takes the keyboard when given it, and
			// starts out shown (not iconic).
			uint32 wmHints[9] = { 1 | 2, 1, 1 };
			_SetProperty(entry.xid, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
				9, wmHints);
			if (spec.utility && fLastActive != 0) {
				if (Entry* owner = _Find(fLastActive)) {
					_SetProperty(entry.xid, XCB_ATOM_WM_TRANSIENT_FOR,
						XCB_ATOM_WINDOW, 32, 1, &owner->xid);
				}
			}
		}
		_AttachShm(entry);
		fByXid[entry.xid] = id;
		fWindows[id] = std::move(entry);
		return true;
	}

	void DestroyWindow(DisplayWindowId id) override
	{
		auto found = fWindows.find(id);
		if (found == fWindows.end())
			return;
		Entry& entry = found->second;
		if (entry.popup && entry.grabbed)
			_Ungrab();
		fByXid.erase(entry.xid);
		_Forget(entry);
		fWindows.erase(found);
		if (fLastActive == id)
			fLastActive = 0;
		if (fGrabWanted == id)
			fGrabWanted = 0;
	}

	void ShowWindow(DisplayWindowId id, bool show) override
	{
		Entry* entry = _Find(id);
		if (entry == nullptr || entry->mapped == show)
			return;
		entry->mapped = show;
		if (!show) {
			if (entry->popup && entry->grabbed)
				_Ungrab();
			if (fGrabWanted == id)
				fGrabWanted = 0;
			fXcb->xcb_unmap_window(fConnection, entry->xid);
			return;
		}
		fXcb->xcb_map_window(fConnection, entry->xid);
		// With no window manager nothing gives a window that appears the
		// keyboard, and with no window manager it is viewable at once.
		if (!entry->popup && !_WindowManagerRunning())
			_Focus(*entry);
		if (entry->popup) {
			// Over everything else, and holding the pointer and keyboard,
			// so that a click anywhere else reaches the menu (which closes
			// on it). A press still held (the one that opened the menu)
			// keeps the pointer with the window that took it, so that its
			// release goes where the kits expect; the grab follows it.
			uint32 above = XCB_STACK_MODE_ABOVE;
			fXcb->xcb_configure_window(fConnection, entry->xid,
				XCB_CONFIG_WINDOW_STACK_MODE, &above);
			fGrabWanted = id;
			if (fButtons == 0)
				_Grab(*entry);
		}
	}

	void RaiseWindow(DisplayWindowId id) override
	{
		Entry* entry = _Find(id);
		if (entry == nullptr)
			return;
		if (_WindowManagerRunning()) {
			// The window manager decides: ask it as a pager would, for the
			// user's own request (a second launch is one).
			xcb_client_message_event_t message = {};
			message.response_type = XCB_CLIENT_MESSAGE;
			message.format = 32;
			message.window = entry->xid;
			message.type = fAtoms._NET_ACTIVE_WINDOW;
			message.data.data32[0] = 2;
			message.data.data32[1] = XCB_CURRENT_TIME;
			fXcb->xcb_send_event(fConnection, 0, fScreen->root,
				XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY
					| XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
				reinterpret_cast<const char*>(&message));
			if (!entry->mapped) {
				fXcb->xcb_map_window(fConnection, entry->xid);
				entry->mapped = true;
			}
			return;
		}
		// With no window manager nothing else gives a window the keyboard.
		uint32 above = XCB_STACK_MODE_ABOVE;
		fXcb->xcb_configure_window(fConnection, entry->xid,
			XCB_CONFIG_WINDOW_STACK_MODE, &above);
		if (entry->mapped)
			_Focus(*entry);
	}

	void FocusWindow(DisplayWindowId id) override
	{
		Entry* entry = _Find(id);
		if (entry != nullptr && entry->mapped)
			_Focus(*entry);
	}

	void MoveWindow(DisplayWindowId id, int32 x, int32 y) override
	{
		Entry* entry = _Find(id);
		if (entry == nullptr)
			return;
		int32 values[2] = { x, y };
		fXcb->xcb_configure_window(fConnection, entry->xid,
			XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
		entry->x = x;
		entry->y = y;
	}

	void SetTitle(DisplayWindowId id, const std::string& title) override
	{
		if (Entry* entry = _Find(id))
			_SetTitle(entry->xid, title);
	}

	void SetIcon(DisplayWindowId id, const std::vector<uint32>& argb,
		int32 width, int32 height) override
	{
		Entry* entry = _Find(id);
		if (entry == nullptr)
			return;
		std::vector<uint32> icon;
		icon.reserve(argb.size() + 2);
		icon.push_back(uint32(width));
		icon.push_back(uint32(height));
		icon.insert(icon.end(), argb.begin(), argb.end());
		_SetProperty(entry->xid, fAtoms._NET_WM_ICON, XCB_ATOM_CARDINAL, 32,
			uint32(icon.size()), icon.data());
	}

	void Present(DisplayWindowId id, const ClipBox& box) override
	{
		Entry* entry = _Find(id);
		if (entry == nullptr || !entry->mapped)
			return;
		ClipBox clipped = box.Intersect(ClipBox{ 0, 0, entry->width - 1,
			entry->height - 1 });
		if (clipped.IsEmpty())
			return;
		if (entry->shmBusy) {
			// The server still reads the last one; this one follows when it
			// is done (see the completion event).
			entry->waiting = entry->waiting.IsEmpty() ? clipped
				: entry->waiting.Union(clipped);
			return;
		}
		FrontBuffer& buffer = *entry->buffer;
		std::lock_guard<std::mutex> lock(buffer.lock);
		if (buffer.width != entry->width || buffer.height != entry->height)
			return;
		int32 width = clipped.right - clipped.left + 1;
		int32 height = clipped.bottom - clipped.top + 1;
		if (entry->shm != nullptr && !fShmRefused) {
			for (int32 y = clipped.top; y <= clipped.bottom; y++) {
				size_t offset = size_t(y) * size_t(entry->width)
					+ size_t(clipped.left);
				memcpy(entry->shm + offset, buffer.pixels.data() + offset,
					size_t(width) * 4);
			}
			fShm->xcb_shm_put_image(fConnection, entry->xid, entry->gc,
				uint16(entry->width), uint16(entry->height),
				uint16(clipped.left), uint16(clipped.top), uint16(width),
				uint16(height), int16(clipped.left), int16(clipped.top),
				24, XCB_IMAGE_FORMAT_Z_PIXMAP, 1, entry->shmSegment, 0);
			entry->shmBusy = true;
			return;
		}
		// Over the connection, as many rows at a time as a request holds.
		size_t rowBytes = size_t(width) * 4;
		int32 rowsPerRequest = int32(std::max<size_t>(1,
			(fMaxRequestBytes - 64) / rowBytes));
		std::vector<uint32> rows;
		for (int32 top = clipped.top; top <= clipped.bottom;
				top += rowsPerRequest) {
			int32 count = std::min(rowsPerRequest, clipped.bottom - top + 1);
			rows.resize(size_t(width) * size_t(count));
			for (int32 y = 0; y < count; y++) {
				memcpy(rows.data() + size_t(y) * size_t(width),
					buffer.pixels.data() + size_t(top + y)
						* size_t(entry->width) + size_t(clipped.left),
					rowBytes);
			}
			fXcb->xcb_put_image(fConnection, XCB_IMAGE_FORMAT_Z_PIXMAP,
				entry->xid, entry->gc, uint16(width), uint16(count),
				int16(clipped.left), int16(top), 0, 24,
				uint32(rows.size() * 4),
				reinterpret_cast<const uint8*>(rows.data()));
		}
	}

private:
	struct Entry {
		DisplayWindowId id = 0;
		xcb_window_t xid = 0;
		xcb_gcontext_t gc = 0;
		std::shared_ptr<FrontBuffer> buffer;
		int32 width = 0;
		int32 height = 0;
		int32 x = 0;            // the content's screen position, last known
		int32 y = 0;
		bool popup = false;
		bool mapped = false;
		bool grabbed = false;
		bool reparented = false;
		// MIT-SHM: the segment the server reads the pixels from.
		uint8* shmAddress = nullptr;
		uint32* shm = nullptr;
		xcb_shm_seg_t shmSegment = 0;
		bool shmBusy = false;
		ClipBox waiting = ClipBox{ 0, 0, -1, -1 };
	};

	Entry* _Find(DisplayWindowId id)
	{
		auto found = fWindows.find(id);
		return found != fWindows.end() ? &found->second : nullptr;
	}

	Entry* _FindXid(xcb_window_t xid)
	{
		auto found = fByXid.find(xid);
		return found != fByXid.end() ? _Find(found->second) : nullptr;
	}

	void _Forget(Entry& entry)
	{
		if (entry.shm != nullptr) {
			fShm->xcb_shm_detach(fConnection, entry.shmSegment);
			shmdt(entry.shmAddress);
			entry.shm = nullptr;
		}
		fXcb->xcb_free_gc(fConnection, entry.gc);
		fXcb->xcb_destroy_window(fConnection, entry.xid);
	}

	bool _CheckVisual(const xcb_setup_t* setup)
	{
		if (fScreen->root_depth != 24)
			return false;
		bool visualFound = false;
		xcb_depth_iterator_t depths
			= fXcb->xcb_screen_allowed_depths_iterator(fScreen);
		for (; depths.rem > 0 && !visualFound; fXcb->xcb_depth_next(&depths)) {
			xcb_visualtype_iterator_t visuals
				= fXcb->xcb_depth_visuals_iterator(depths.data);
			for (int i = 0; i < visuals.rem; i++) {
				const xcb_visualtype_t& visual = visuals.data[i];
				if (visual.visual_id != fScreen->root_visual)
					continue;
				visualFound = visual._class == XCB_VISUAL_CLASS_TRUE_COLOR
					&& visual.red_mask == 0xff0000
					&& visual.green_mask == 0xff00
					&& visual.blue_mask == 0xff;
				if (!visualFound)
					return false;
				break;
			}
		}
		if (!visualFound || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
			return false;
		xcb_format_iterator_t formats
			= fXcb->xcb_setup_pixmap_formats_iterator(setup);
		for (; formats.rem > 0; fXcb->xcb_format_next(&formats)) {
			if (formats.data->depth == 24)
				return formats.data->bits_per_pixel == 32;
		}
		return false;
	}

	void _InternAtoms()
	{
		static const char* const kNames[] = {
#define BELVO_ATOM_NAME(name) #name,
			BELVO_X11_ATOMS(BELVO_ATOM_NAME)
#undef BELVO_ATOM_NAME
		};
		xcb_atom_t* targets[] = {
#define BELVO_ATOM_TARGET(name) &fAtoms.name,
			BELVO_X11_ATOMS(BELVO_ATOM_TARGET)
#undef BELVO_ATOM_TARGET
		};
		const size_t count = sizeof(kNames) / sizeof(kNames[0]);
		xcb_intern_atom_cookie_t cookies[count];
		for (size_t i = 0; i < count; i++) {
			cookies[i] = fXcb->xcb_intern_atom(fConnection, 0,
				uint16(strlen(kNames[i])), kNames[i]);
		}
		for (size_t i = 0; i < count; i++) {
			xcb_intern_atom_reply_t* reply = fXcb->xcb_intern_atom_reply(
				fConnection, cookies[i], nullptr);
			if (reply != nullptr) {
				*targets[i] = reply->atom;
				free(reply);
			}
		}
	}

	void _OpenShm()
	{
		fShm = LoadXcbShmLibrary();
		if (fShm == nullptr)
			return;
		const xcb_query_extension_reply_t* extension
			= fXcb->xcb_get_extension_data(fConnection, fShm->xcb_shm_id);
		if (extension == nullptr || !extension->present) {
			fShm = nullptr;
			return;
		}
		fShmCompletion = uint8(extension->first_event + XCB_SHM_COMPLETION);
		fShmOpcode = extension->major_opcode;
	}

	// A segment for the window's pixels, if the server can read our memory
	// (it cannot across a network); otherwise the window's pixels travel in
	// requests.
	void _AttachShm(Entry& entry)
	{
		if (fShm == nullptr || fShmRefused)
			return;
		size_t size = size_t(entry.width) * size_t(entry.height) * 4;
		int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
		if (id < 0)
			return;
		void* address = shmat(id, nullptr, 0);
		if (address == reinterpret_cast<void*>(-1)) {
			shmctl(id, IPC_RMID, nullptr);
			return;
		}
		xcb_shm_seg_t segment = fXcb->xcb_generate_id(fConnection);
		xcb_generic_error_t* error = fXcb->xcb_request_check(fConnection,
			fShm->xcb_shm_attach_checked(fConnection, segment, uint32(id), 1));
		// Attached or not, the segment goes with the last process to
		// detach it.
		shmctl(id, IPC_RMID, nullptr);
		if (error != nullptr) {
			free(error);
			shmdt(address);
			// Not a local server: no use asking again. The windows that
			// have segments still need the library to let them go.
			fShmRefused = true;
			return;
		}
		entry.shmAddress = static_cast<uint8*>(address);
		entry.shm = static_cast<uint32*>(address);
		entry.shmSegment = segment;
	}

	void _OpenKeyboard()
	{
		const XkbLibrary* xkb = LoadXkbLibrary();
		if (xkb == nullptr)
			return;
		uint8 eventBase = 0, errorBase = 0;
		if (!xkb->xkb_x11_setup_xkb_extension(fConnection,
				XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
				XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
				&eventBase, &errorBase))
			return;
		fKeys.xkb = xkb;
		int32_t device = xkb->xkb_x11_get_core_keyboard_device_id(
			fConnection);
		fKeys.context = xkb->xkb_context_new(XKB_CONTEXT_NO_FLAGS);
		if (device < 0 || fKeys.context == nullptr)
			return;
		xkb_keymap* keymap = xkb->xkb_x11_keymap_new_from_device(
			fKeys.context, fConnection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
		fKeys.Adopt(keymap, keymap == nullptr ? nullptr
			: xkb->xkb_x11_state_new_from_device(keymap, fConnection, device));
		// A held key repeats as presses alone, with no release between
		// them to be taken for the key being let go.
		uint32 repeat = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
		free(xkb->xcb_xkb_per_client_flags_reply(fConnection,
			xkb->xcb_xkb_per_client_flags(fConnection,
				XCB_XKB_ID_USE_CORE_KBD, repeat, repeat, 0, 0, 0),
			nullptr));
	}

	void _SetProperty(xcb_window_t window, xcb_atom_t property,
		xcb_atom_t type, uint8 format, uint32 count, const void* data)
	{
		fXcb->xcb_change_property(fConnection, XCB_PROP_MODE_REPLACE, window,
			property, type, format, count, data);
	}

	void _SetTitle(xcb_window_t window, const std::string& title)
	{
		_SetProperty(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
			uint32(title.size()), title.data());
		_SetProperty(window, fAtoms._NET_WM_NAME, fAtoms.UTF8_STRING, 8,
			uint32(title.size()), title.data());
	}

	std::string _PropertyString(xcb_window_t window, xcb_atom_t property,
		xcb_atom_t type)
	{
		xcb_get_property_reply_t* reply = fXcb->xcb_get_property_reply(
			fConnection, fXcb->xcb_get_property(fConnection, 0, window,
				property, type, 0, 1 << 20), nullptr);
		if (reply == nullptr)
			return std::string();
		std::string value(static_cast<const char*>(
				fXcb->xcb_get_property_value(reply)),
			size_t(std::max(0, fXcb->xcb_get_property_value_length(reply))));
		free(reply);
		return value;
	}

	xcb_window_t _PropertyWindow(xcb_window_t window, xcb_atom_t property)
	{
		xcb_get_property_reply_t* reply = fXcb->xcb_get_property_reply(
			fConnection, fXcb->xcb_get_property(fConnection, 0, window,
				property, XCB_ATOM_WINDOW, 0, 1), nullptr);
		xcb_window_t result = XCB_WINDOW_NONE;
		if (reply != nullptr) {
			if (fXcb->xcb_get_property_value_length(reply) >= 4) {
				result = *static_cast<const xcb_window_t*>(
					fXcb->xcb_get_property_value(reply));
			}
			free(reply);
		}
		return result;
	}

	// A window manager that says so (EWMH): the root names a window that
	// names itself.
	bool _WindowManagerRunning()
	{
		xcb_window_t check = _PropertyWindow(fScreen->root,
			fAtoms._NET_SUPPORTING_WM_CHECK);
		return check != XCB_WINDOW_NONE
			&& _PropertyWindow(check, fAtoms._NET_SUPPORTING_WM_CHECK)
				== check;
	}

	void _Focus(Entry& entry)
	{
		fXcb->xcb_set_input_focus(fConnection, XCB_INPUT_FOCUS_PARENT,
			entry.xid, XCB_CURRENT_TIME);
	}

	void _Grab(Entry& entry)
	{
		xcb_grab_pointer_cookie_t pointer = fXcb->xcb_grab_pointer(
			fConnection, 1, entry.xid,
			XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE
				| XCB_EVENT_MASK_POINTER_MOTION,
			XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_WINDOW_NONE,
			XCB_CURSOR_NONE, XCB_CURRENT_TIME);
		xcb_grab_keyboard_cookie_t keyboard = fXcb->xcb_grab_keyboard(
			fConnection, 1, entry.xid, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
			XCB_GRAB_MODE_ASYNC);
		// Not waited for: a grab another client holds (a window manager in
		// the middle of something) only means a click elsewhere goes there.
		(void)pointer;
		(void)keyboard;
		entry.grabbed = true;
		fGrabWanted = 0;
	}

	void _Ungrab()
	{
		fXcb->xcb_ungrab_pointer(fConnection, XCB_CURRENT_TIME);
		fXcb->xcb_ungrab_keyboard(fConnection, XCB_CURRENT_TIME);
		for (auto& entry : fWindows)
			entry.second.grabbed = false;
	}

	void _PresentAll(Entry& entry)
	{
		Present(entry.id, ClipBox{ 0, 0, entry.width - 1, entry.height - 1 });
	}

	// The content's top-left corner on the screen, after a move.
	void _Moved(Entry& entry, const xcb_configure_notify_event_t* configure)
	{
		int32 x = configure->x, y = configure->y;
		// A window manager's own notice (sent, not made by the server)
		// gives the position on the screen; the server's gives it within
		// the frame the window manager put the window in.
		if ((configure->response_type & 0x80) == 0 && entry.reparented) {
			xcb_translate_coordinates_reply_t* reply
				= fXcb->xcb_translate_coordinates_reply(fConnection,
					fXcb->xcb_translate_coordinates(fConnection, entry.xid,
						fScreen->root, 0, 0), nullptr);
			if (reply == nullptr)
				return;
			x = reply->dst_x;
			y = reply->dst_y;
			free(reply);
		}
		if (x == entry.x && y == entry.y)
			return;
		entry.x = x;
		entry.y = y;
		DisplayEvent moved;
		moved.type = DisplayEvent::kFrameMoved;
		moved.window = entry.id;
		moved.x = x;
		moved.y = y;
		moved.when = MonotonicUsec();
		fPending.push_back(moved);
	}

	bool _Translate(xcb_generic_event_t* x, DisplayEvent* event)
	{
		event->when = MonotonicUsec();
		uint8 type = x->response_type & 0x7f;
		if (type == 0) {
			// A request the server refused. A window that went away while a
			// request about it was on its way is the normal lot of a
			// program that closes windows; anything else is said once.
			auto* error = reinterpret_cast<xcb_generic_error_t*>(x);
			if (fShm != nullptr && error->major_code == fShmOpcode
				&& !fShmRefused) {
				// No completion follows a refused image: without this the
				// window would wait for one forever and never be drawn
				// again.
				fShmRefused = true;
				for (auto& entry : fWindows) {
					entry.second.shmBusy = false;
					if (entry.second.mapped)
						_PresentAll(entry.second);
				}
				return false;
			}
			if (error->error_code != XCB_WINDOW
				&& error->error_code != XCB_DRAWABLE
				&& error->error_code != XCB_MATCH && !fReportedError) {
				fReportedError = true;
				fprintf(stderr, "%s: the X server refused a request (error "
					"%d, request %d); carrying on\n",
					program_invocation_short_name, int(error->error_code),
					int(error->major_code));
			}
			return false;
		}
		if (fShm != nullptr && type == fShmCompletion) {
			auto* done = reinterpret_cast<xcb_shm_completion_event_t*>(x);
			if (Entry* entry = _FindXid(done->drawable)) {
				entry->shmBusy = false;
				if (!entry->waiting.IsEmpty()) {
					ClipBox waiting = entry->waiting;
					entry->waiting = ClipBox{ 0, 0, -1, -1 };
					Present(entry->id, waiting);
				}
			}
			return false;
		}
		switch (type) {
			case XCB_BUTTON_PRESS:
			case XCB_BUTTON_RELEASE:
			{
				auto* button = reinterpret_cast<xcb_button_press_event_t*>(x);
				uint32 which = ButtonFromX11Button(button->detail);
				bool press = type == XCB_BUTTON_PRESS;
				uint32 before = ButtonsFromX11State(button->state);
				fButtons = press ? (before | which) : (before & ~which);
				if (!press && fButtons == 0 && fGrabWanted != 0) {
					if (Entry* popup = _Find(fGrabWanted))
						_Grab(*popup);
				}
				Entry* entry = _FindXid(button->event);
				if (entry == nullptr || which == 0)
					return false;
				event->window = entry->id;
				event->type = press ? DisplayEvent::kMouseDown
					: DisplayEvent::kMouseUp;
				event->x = button->event_x;
				event->y = button->event_y;
				event->buttons = fButtons;
				event->modifiers = ModifiersFromX11State(button->state);
				if (press) {
					event->clicks = fClicks.Press(which, event->when,
						button->root_x, button->root_y);
				}
				return true;
			}

			case XCB_MOTION_NOTIFY:
			{
				auto* motion = reinterpret_cast<xcb_motion_notify_event_t*>(x);
				Entry* entry = _FindXid(motion->event);
				if (entry == nullptr)
					return false;
				event->window = entry->id;
				event->type = DisplayEvent::kMouseMoved;
				event->x = motion->event_x;
				event->y = motion->event_y;
				event->buttons = ButtonsFromX11State(motion->state);
				event->modifiers = ModifiersFromX11State(motion->state);
				return true;
			}

			case XCB_LEAVE_NOTIFY:
			{
				auto* leave = reinterpret_cast<xcb_leave_notify_event_t*>(x);
				Entry* entry = _FindXid(leave->event);
				// Leaving because a grab began or ended is no move of the
				// pointer's.
				if (entry == nullptr || leave->mode != XCB_NOTIFY_MODE_NORMAL)
					return false;
				event->window = entry->id;
				event->type = DisplayEvent::kMouseExited;
				return true;
			}

			case XCB_KEY_PRESS:
			case XCB_KEY_RELEASE:
			{
				auto* key = reinterpret_cast<xcb_key_press_event_t*>(x);
				Entry* entry = _FindXid(key->event);
				if (entry == nullptr || fKeys.state == nullptr)
					return false;
				// The core state says which modifiers are down and which
				// group is locked; that is all a key's meaning depends on.
				fKeys.UpdateMask(key->state & 0xff, 0, 0,
					(key->state >> 13) & 3);
				event->window = entry->id;
				event->type = type == XCB_KEY_PRESS ? DisplayEvent::kKeyDown
					: DisplayEvent::kKeyUp;
				event->modifiers = ModifiersFromX11State(key->state);
				return fKeys.KeyBytes(key->detail, event);
			}

			case XCB_FOCUS_IN:
			case XCB_FOCUS_OUT:
			{
				auto* focus = reinterpret_cast<xcb_focus_in_event_t*>(x);
				Entry* entry = _FindXid(focus->event);
				// A grab beginning or ending moves no focus, nor do the
				// notices about the pointer's window or our windows' own
				// children.
				if (entry == nullptr || focus->mode == XCB_NOTIFY_MODE_GRAB
					|| focus->mode == XCB_NOTIFY_MODE_UNGRAB
					|| focus->detail == XCB_NOTIFY_DETAIL_POINTER
					|| focus->detail == XCB_NOTIFY_DETAIL_INFERIOR) {
					return false;
				}
				event->window = entry->id;
				if (type == XCB_FOCUS_IN) {
					event->type = DisplayEvent::kActivated;
					if (!entry->popup)
						fLastActive = entry->id;
					return true;
				}
				event->type = DisplayEvent::kDeactivated;
				event->related = _FocusedWindow();
				return true;
			}

			case XCB_EXPOSE:
			{
				auto* expose = reinterpret_cast<xcb_expose_event_t*>(x);
				Entry* entry = _FindXid(expose->window);
				if (entry == nullptr)
					return false;
				// The display thread keeps the last pixels, so what the
				// server lost is put back without asking the window's
				// thread to draw again.
				Present(entry->id, ClipBox{ expose->x, expose->y,
					expose->x + expose->width - 1,
					expose->y + expose->height - 1 });
				return false;
			}

			case XCB_CONFIGURE_NOTIFY:
			{
				auto* configure
					= reinterpret_cast<xcb_configure_notify_event_t*>(x);
				Entry* entry = _FindXid(configure->window);
				if (entry == nullptr || configure->event != configure->window
					|| entry->popup) {
					return false;
				}
				_Moved(*entry, configure);
				return false;
			}

			case XCB_REPARENT_NOTIFY:
			{
				auto* reparent = reinterpret_cast<xcb_reparent_notify_event_t*>(
					x);
				if (Entry* entry = _FindXid(reparent->window))
					entry->reparented = reparent->parent != fScreen->root;
				return false;
			}

			case XCB_CLIENT_MESSAGE:
			{
				auto* message = reinterpret_cast<xcb_client_message_event_t*>(
					x);
				Entry* entry = _FindXid(message->window);
				if (entry == nullptr || message->type != fAtoms.WM_PROTOCOLS
					|| message->format != 32) {
					return false;
				}
				xcb_atom_t protocol = message->data.data32[0];
				if (protocol == fAtoms.WM_DELETE_WINDOW) {
					event->window = entry->id;
					event->type = DisplayEvent::kCloseRequested;
					return true;
				}
				if (protocol == fAtoms._NET_WM_PING) {
					// Still here: the window manager hears back at its root.
					xcb_client_message_event_t reply = *message;
					reply.response_type = XCB_CLIENT_MESSAGE;
					reply.window = fScreen->root;
					fXcb->xcb_send_event(fConnection, 0, fScreen->root,
						XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY
							| XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
						reinterpret_cast<const char*>(&reply));
				}
				return false;
			}

			default:
				return false;
		}
	}

	// Which of our windows holds the keyboard now, or 0.
	DisplayWindowId _FocusedWindow()
	{
		xcb_get_input_focus_reply_t* reply = fXcb->xcb_get_input_focus_reply(
			fConnection, fXcb->xcb_get_input_focus(fConnection), nullptr);
		if (reply == nullptr)
			return 0;
		xcb_window_t focus = reply->focus;
		free(reply);
		auto found = fByXid.find(focus);
		return found != fByXid.end() ? found->second : 0;
	}

	const XcbLibrary* fXcb = nullptr;
	const XcbShmLibrary* fShm = nullptr;
	xcb_connection_t* fConnection = nullptr;
	xcb_screen_t* fScreen = nullptr;
	int fWakeFd = -1;
	Atoms fAtoms;
	uint8 fShmCompletion = 0;
	uint8 fShmOpcode = 0;
	// The server refused a shared-memory image: every window's pixels go
	// in requests from then on.
	bool fShmRefused = false;
	size_t fMaxRequestBytes = 262144;
	XkbKeyboard<XkbLibrary> fKeys;
	bool fReportedError = false;
	bool fKeyboardTried = false;

	std::map<DisplayWindowId, Entry> fWindows;
	std::map<xcb_window_t, DisplayWindowId> fByXid;
	// The last of our ordinary windows (not a menu) to have had the focus:
	// an alert is the transient of it.
	DisplayWindowId fLastActive = 0;
	// A shown menu whose grab waits for the pointer's buttons to be let go.
	DisplayWindowId fGrabWanted = 0;
	uint32 fButtons = 0;
	ClickCounter fClicks;
	// Events made here rather than by the server.
	std::deque<DisplayEvent> fPending;
};

} // namespace

const XcbLibrary*
LoadXcbLibrary()
{
	static const XcbLibrary* sLibrary = LoadRuntimeLibrary<XcbLibrary>(
		"libxcb.so.1", [](RuntimeLibrary& loader, XcbLibrary* library) {
			BELVO_XCB_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
		});
	return sLibrary;
}

const XcbShmLibrary*
LoadXcbShmLibrary()
{
	static const XcbShmLibrary* sLibrary = LoadRuntimeLibrary<XcbShmLibrary>(
		"libxcb-shm.so.0", [](RuntimeLibrary& loader, XcbShmLibrary* library) {
			BELVO_XCB_SHM_FUNCTIONS(BELVO_FIND_LIBRARY_FUNCTION)
		});
	return sLibrary;
}

const XkbLibrary*
LoadXkbLibrary()
{
	static const XkbLibrary* sLibrary = LoadXkb();
	return sLibrary;
}

std::unique_ptr<DisplayBackend>
CreateX11DisplayBackend()
{
	return std::make_unique<X11DisplayBackend>();
}

} // namespace BPrivate
