/*
 * The real display: SDL2 windows (X11, or Wayland where SDL offers it) with
 * software surfaces. Runs on the display thread only; Wake() is the one
 * call other threads make, through SDL's thread-safe event queue.
 */
#include <private/Display.h>
#include <private/DisplayBackend.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstring>
#include <deque>
#include <map>

#include <InterfaceDefs.h>
#include <private/DesktopScale.h>
#include <private/SdlLibrary.h>
#include <private/X11Guard.h>

namespace BPrivate {

namespace {

uint32
ModifiersFrom(SDL_Keymod state)
{
	uint32 modifiers = 0;
	if (state & KMOD_SHIFT)
		modifiers |= B_SHIFT_KEY;
	if (state & KMOD_CTRL)
		modifiers |= B_CONTROL_KEY | B_COMMAND_KEY;
	if (state & KMOD_ALT)
		modifiers |= B_OPTION_KEY;
	if (state & KMOD_CAPS)
		modifiers |= B_CAPS_LOCK;
	return modifiers;
}

uint32
ButtonsFrom(uint32 state)
{
	uint32 buttons = 0;
	if (state & SDL_BUTTON_LMASK)
		buttons |= B_PRIMARY_MOUSE_BUTTON;
	if (state & SDL_BUTTON_RMASK)
		buttons |= B_SECONDARY_MOUSE_BUTTON;
	if (state & SDL_BUTTON_MMASK)
		buttons |= B_TERTIARY_MOUSE_BUTTON;
	return buttons;
}

// The bytes BeOS hands KeyDown for a key, or false for keys it ignores.
bool
KeyBytes(const SDL_Keysym& keysym, DisplayEvent* event)
{
	char byte = 0;
	switch (keysym.sym) {
		case SDLK_RETURN:
		case SDLK_KP_ENTER:
			byte = B_ENTER;
			break;
		case SDLK_TAB:
			byte = B_TAB;
			break;
		case SDLK_ESCAPE:
			byte = B_ESCAPE;
			break;
		case SDLK_BACKSPACE:
			byte = B_BACKSPACE;
			break;
		case SDLK_DELETE:
			byte = B_DELETE;
			break;
		case SDLK_UP:
			byte = B_UP_ARROW;
			break;
		case SDLK_DOWN:
			byte = B_DOWN_ARROW;
			break;
		case SDLK_LEFT:
			byte = B_LEFT_ARROW;
			break;
		case SDLK_RIGHT:
			byte = B_RIGHT_ARROW;
			break;
		case SDLK_HOME:
			byte = B_HOME;
			break;
		case SDLK_END:
			byte = B_END;
			break;
		case SDLK_PAGEUP:
			byte = B_PAGE_UP;
			break;
		case SDLK_PAGEDOWN:
			byte = B_PAGE_DOWN;
			break;
		case SDLK_INSERT:
			byte = B_INSERT;
			break;
		default:
			if (keysym.sym >= SDLK_F1 && keysym.sym <= SDLK_F12) {
				byte = B_FUNCTION_KEY;
				event->key = B_F1_KEY + (keysym.sym - SDLK_F1);
			} else if (keysym.sym >= 0x20 && keysym.sym < 0x7f) {
				byte = char(keysym.sym);
				bool shifted = (keysym.mod & KMOD_SHIFT) != 0;
				if ((keysym.mod & KMOD_CAPS) != 0)
					shifted = !shifted;
				if (shifted && byte >= 'a' && byte <= 'z')
					byte = char(byte - 'a' + 'A');
			} else
				return false;
			break;
	}
	event->bytes[0] = byte;
	event->bytes[1] = '\0';
	return true;
}

class SdlDisplayBackend : public DisplayBackend {
public:
	const char* Name() const override { return fDriver.c_str(); }

	bool Open(std::string* error) override
	{
		// A click that activates one of our windows must also reach the
		// control under it, as a window that accepts the first click needs.
		SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
		SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
		SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
		SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
		// Our windows are a few hundred pixels of software drawing: X11's
		// own shared-memory images show them at once, where SDL would
		// otherwise load a whole OpenGL stack (tens of megabytes, and a
		// slower start) to put them on a texture.
		SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
		if (SDL_GetHint(SDL_HINT_APP_NAME) == nullptr)
			SDL_SetHint(SDL_HINT_APP_NAME, program_invocation_short_name);

		// With nothing that names a display, do not let SDL's drivers probe
		// (and print their own complaints): there is none.
		const char* x11 = getenv("DISPLAY");
		const char* wayland = getenv("WAYLAND_DISPLAY");
		const char* requested = getenv("SDL_VIDEODRIVER");
		if ((x11 == nullptr || x11[0] == '\0')
			&& (wayland == nullptr || wayland[0] == '\0')
			&& requested == nullptr) {
			*error = "no display available (neither DISPLAY nor "
				"WAYLAND_DISPLAY is set)";
			return false;
		}
		// Only X11 is named: keep SDL from trying Wayland too, whose library
		// complains on stderr when it finds nothing.
		if (requested == nullptr && (wayland == nullptr || wayland[0] == '\0'))
			SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
		if (x11 != nullptr && x11[0] != '\0')
			InstallX11Handlers();
		if (!InitSdlSubsystem(SDL_INIT_VIDEO)) {
			*error = std::string("no display available (")
				+ SDL_GetError() + ")";
			return false;
		}
		const char* driver = SDL_GetCurrentVideoDriver();
		// Without a display SDL quietly settles for its offscreen driver,
		// which would run the program with nothing on any screen.
		if (driver == nullptr || ((strcmp(driver, "offscreen") == 0
				|| strcmp(driver, "dummy") == 0)
			&& (requested == nullptr || strcmp(requested, driver) != 0))) {
			QuitSdlSubsystem(SDL_INIT_VIDEO);
			*error = "no display available (the display named by DISPLAY "
				"or WAYLAND_DISPLAY cannot be opened)";
			return false;
		}
		fDriver = driver;
		fWakeEvent = SDL_RegisterEvents(1);
		SDL_StopTextInput();
		return true;
	}

	void Close() override
	{
		for (auto& entry : fWindows)
			SDL_DestroyWindow(entry.second.window);
		fWindows.clear();
		fBySdlId.clear();
		QuitSdlSubsystem(SDL_INIT_VIDEO);
	}

	bool WaitEvent(DisplayEvent* event) override
	{
		if (!fPending.empty()) {
			*event = fPending.front();
			fPending.pop_front();
			return true;
		}
		SDL_Event sdlEvent;
		if (SDL_WaitEvent(&sdlEvent) == 0) {
			// The display's connection failing for good (where no library
			// handler reports it, as Xlib's does) would otherwise have this
			// thread spin: a second of nothing but failures is a lost
			// display.
			if (++fWaitFailures >= 100)
				Display::Lost();
			SDL_Delay(10);
			return false;
		}
		fWaitFailures = 0;
		return _Translate(sdlEvent, event);
	}

	void Wake() override
	{
		SDL_Event event;
		memset(&event, 0, sizeof(event));
		event.type = fWakeEvent;
		SDL_PushEvent(&event);
	}

	BRect ScreenFrame() override
	{
		SDL_Rect bounds;
		if (SDL_GetDisplayBounds(0, &bounds) != 0)
			return FallbackScreenFrame();
		return BRect(bounds.x, bounds.y, bounds.x + bounds.w - 1,
			bounds.y + bounds.h - 1);
	}

	int32 DesktopScale() override
	{
		// Where GDK_SCALE decides, the X server is not asked.
		const char* gdkScale = getenv("GDK_SCALE");
		if (GdkScaleFrom(gdkScale) != 0 || fDriver != "x11")
			return DesktopScaleFrom(gdkScale, nullptr);
		return DesktopScaleFrom(gdkScale, X11ResourceString().c_str());
	}

	bool CreateWindow(DisplayWindowId id, const WindowSpec& spec,
		std::shared_ptr<FrontBuffer> buffer) override
	{
		uint32 flags = SDL_WINDOW_HIDDEN;
		if (spec.resizable)
			flags |= SDL_WINDOW_RESIZABLE;
		if (spec.popup) {
			flags |= SDL_WINDOW_POPUP_MENU | SDL_WINDOW_BORDERLESS
				| SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR;
		}
		SDL_Window* window = SDL_CreateWindow(spec.title.c_str(),
			int(spec.frame.left), int(spec.frame.top), buffer->width,
			buffer->height, flags);
		if (window == nullptr) {
			fprintf(stderr, "%s: cannot create a window (%s)\n",
				program_invocation_short_name, SDL_GetError());
			return false;
		}
		Entry entry;
		entry.window = window;
		entry.buffer = std::move(buffer);
		entry.frame = spec.frame;
		entry.popup = spec.popup;
		entry.shownOnce = false;
		entry.id = id;
		fWindows[id] = entry;
		fBySdlId[SDL_GetWindowID(window)] = id;
		return true;
	}

	void DestroyWindow(DisplayWindowId id) override
	{
		auto found = fWindows.find(id);
		if (found == fWindows.end())
			return;
		bool managed = !found->second.popup
			|| _WindowManagerRunning(found->second.window);
		fBySdlId.erase(SDL_GetWindowID(found->second.window));
		SDL_DestroyWindow(found->second.window);
		fWindows.erase(found);
		if (fFocused == id)
			fFocused = 0;
		if (fLastActive == id)
			fLastActive = 0;
		// Without a window manager SDL gives a menu the focus when it shows
		// it, and the focus goes nowhere when the menu goes: hand it back to
		// the window the menu was opened from.
		if (!managed && fLastActive != 0) {
			if (SDL_Window* window = _Find(fLastActive))
				SDL_SetWindowInputFocus(window);
		}
	}

	void ShowWindow(DisplayWindowId id, bool show) override
	{
		auto found = fWindows.find(id);
		if (found == fWindows.end())
			return;
		Entry& entry = found->second;
		if (!show) {
			SDL_HideWindow(entry.window);
			return;
		}
		SDL_ShowWindow(entry.window);
		// A window manager places the frame where the content was asked to
		// be; once it has told SDL how big the frame is, the content's
		// top-left corner is moved where it belongs (see _FixPosition).
		if (!entry.shownOnce && !entry.popup)
			entry.fixPosition = true;
		entry.shownOnce = true;
		_FixPosition(entry);
		_PresentAll(id);
	}

	void RaiseWindow(DisplayWindowId id) override
	{
		if (SDL_Window* window = _Find(id)) {
			if ((SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) != 0)
				SDL_RestoreWindow(window);
			SDL_RaiseWindow(window);
			// With no window manager the focus stays wherever the pointer
			// is, and a window that only comes forward on a click would
			// never become active: it takes the focus itself.
			if (!_WindowManagerRunning(window))
				SDL_SetWindowInputFocus(window);
		}
	}

	void MoveWindow(DisplayWindowId id, int32 x, int32 y) override
	{
		if (SDL_Window* window = _Find(id))
			SDL_SetWindowPosition(window, x, y);
	}

	void SetTitle(DisplayWindowId id, const std::string& title) override
	{
		if (SDL_Window* window = _Find(id))
			SDL_SetWindowTitle(window, title.c_str());
	}

	void SetIcon(DisplayWindowId id, const std::vector<uint32>& argb,
		int32 width, int32 height) override
	{
		SDL_Window* window = _Find(id);
		if (window == nullptr)
			return;
		SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
			const_cast<uint32*>(argb.data()), width, height, 32, width * 4,
			SDL_PIXELFORMAT_ARGB8888);
		if (surface == nullptr)
			return;
		SDL_SetWindowIcon(window, surface);
		SDL_FreeSurface(surface);
	}

	void Present(DisplayWindowId id, const ClipBox& box) override
	{
		auto found = fWindows.find(id);
		if (found == fWindows.end())
			return;
		SDL_Window* window = found->second.window;
		if ((SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) == 0)
			return;
		SDL_Surface* surface = SDL_GetWindowSurface(window);
		if (surface == nullptr)
			return;
		FrontBuffer& buffer = *found->second.buffer;
		std::lock_guard<std::mutex> lock(buffer.lock);
		ClipBox clipped = box.Intersect(ClipBox{ 0, 0,
			std::min(buffer.width, surface->w) - 1,
			std::min(buffer.height, surface->h) - 1 });
		if (clipped.IsEmpty())
			return;
		int32 width = clipped.right - clipped.left + 1;
		int32 height = clipped.bottom - clipped.top + 1;
		const uint32* source = buffer.pixels.data()
			+ size_t(clipped.top) * buffer.width + clipped.left;
		if (SDL_MUSTLOCK(surface))
			SDL_LockSurface(surface);
		uint8* destination = static_cast<uint8*>(surface->pixels)
			+ size_t(clipped.top) * surface->pitch
			+ size_t(clipped.left) * surface->format->BytesPerPixel;
		SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_ARGB8888, source,
			buffer.width * 4, surface->format->format, destination,
			surface->pitch);
		if (SDL_MUSTLOCK(surface))
			SDL_UnlockSurface(surface);
		SDL_Rect rect = { clipped.left, clipped.top, width, height };
		SDL_UpdateWindowSurfaceRects(window, &rect, 1);
	}

private:
	struct Entry {
		SDL_Window* window;
		std::shared_ptr<FrontBuffer> buffer;
		BRect frame;
		bool popup;
		bool shownOnce;
		bool fixPosition = false;
		DisplayWindowId id = 0;
	};

	void _FixPosition(Entry& entry)
	{
		if (!entry.fixPosition)
			return;
		// Until the frame's size is known SDL's idea of the position is only
		// what was asked for, so nothing can be told from it.
		int wantX = int(entry.frame.left), wantY = int(entry.frame.top);
		int top = 0, left = 0, bottom = 0, right = 0;
		if (SDL_GetWindowBordersSize(entry.window, &top, &left, &bottom,
				&right) == 0 && (top > 0 || left > 0)) {
			entry.fixPosition = false;
			SDL_SetWindowPosition(entry.window, wantX, wantY);
			// SDL takes the new position as known and will not report the
			// move it asked for, so the window hears of it from here.
			DisplayEvent moved;
			moved.type = DisplayEvent::kFrameMoved;
			moved.window = entry.id;
			moved.x = wantX;
			moved.y = wantY;
			fPending.push_back(moved);
		}
	}

	// True unless the window is on an X server that has no window manager.
	bool _WindowManagerRunning(SDL_Window* window)
	{
		SDL_SysWMinfo info;
		SDL_VERSION(&info.version);
		if (!SDL_GetWindowWMInfo(window, &info)
			|| info.subsystem != SDL_SYSWM_X11) {
			return true;
		}
		return X11WindowManagerRunning(info.info.x11.display);
	}

	SDL_Window* _Find(DisplayWindowId id)
	{
		auto found = fWindows.find(id);
		return found != fWindows.end() ? found->second.window : nullptr;
	}

	void _PresentAll(DisplayWindowId id)
	{
		auto found = fWindows.find(id);
		if (found == fWindows.end())
			return;
		int32 width, height;
		{
			std::lock_guard<std::mutex> lock(found->second.buffer->lock);
			width = found->second.buffer->width;
			height = found->second.buffer->height;
		}
		Present(id, ClipBox{ 0, 0, width - 1, height - 1 });
	}

	bool _PopupShown()
	{
		for (auto& entry : fWindows) {
			if (entry.second.popup && (SDL_GetWindowFlags(entry.second.window)
					& SDL_WINDOW_SHOWN) != 0) {
				return true;
			}
		}
		return false;
	}

	bool _IsPopup(DisplayWindowId id)
	{
		auto found = fWindows.find(id);
		return found != fWindows.end() && found->second.popup;
	}

	DisplayWindowId _Ours(uint32 sdlId)
	{
		auto found = fBySdlId.find(sdlId);
		return found != fBySdlId.end() ? found->second : 0;
	}

	bool _Translate(const SDL_Event& sdl, DisplayEvent* event)
	{
		event->when = int64(SDL_GetTicks64()) * 1000;
		switch (sdl.type) {
			case SDL_MOUSEBUTTONDOWN:
			case SDL_MOUSEBUTTONUP:
				event->window = _Ours(sdl.button.windowID);
				event->type = sdl.type == SDL_MOUSEBUTTONDOWN
					? DisplayEvent::kMouseDown : DisplayEvent::kMouseUp;
				event->x = sdl.button.x;
				event->y = sdl.button.y;
				event->buttons = ButtonsFrom(SDL_GetMouseState(nullptr,
					nullptr));
				if (sdl.type == SDL_MOUSEBUTTONDOWN) {
					event->buttons |= ButtonsFrom(
						SDL_BUTTON(sdl.button.button));
				}
				event->clicks = sdl.button.clicks;
				event->modifiers = ModifiersFrom(SDL_GetModState());
				event->wasActive = fFocused == event->window;
				return event->window != 0;

			case SDL_MOUSEMOTION:
				event->window = _Ours(sdl.motion.windowID);
				event->type = DisplayEvent::kMouseMoved;
				event->x = sdl.motion.x;
				event->y = sdl.motion.y;
				event->buttons = ButtonsFrom(sdl.motion.state);
				event->modifiers = ModifiersFrom(SDL_GetModState());
				return event->window != 0;

			case SDL_KEYDOWN:
			case SDL_KEYUP:
				event->window = _Ours(sdl.key.windowID);
				event->type = sdl.type == SDL_KEYDOWN
					? DisplayEvent::kKeyDown : DisplayEvent::kKeyUp;
				event->modifiers = ModifiersFrom(SDL_Keymod(sdl.key.keysym.mod));
				return event->window != 0 && KeyBytes(sdl.key.keysym, event);

			case SDL_WINDOWEVENT:
			{
				event->window = _Ours(sdl.window.windowID);
				if (event->window == 0)
					return false;
				_FixPosition(fWindows[event->window]);
				switch (sdl.window.event) {
					case SDL_WINDOWEVENT_CLOSE:
						event->type = DisplayEvent::kCloseRequested;
						return true;
					case SDL_WINDOWEVENT_FOCUS_GAINED:
						// Only where no window manager keeps it from them
						// do our menus get the focus; for their windows the
						// focus has not moved, and the keys the menu gets
						// are its own.
						if (_IsPopup(event->window))
							return false;
						fFocused = event->window;
						fLastActive = event->window;
						event->type = DisplayEvent::kActivated;
						return true;
					case SDL_WINDOWEVENT_FOCUS_LOST:
						// Nor has it moved when it goes from a window to one
						// of our menus.
						if (_IsPopup(event->window) || (_PopupShown()
								&& !_WindowManagerRunning(
									_Find(event->window)))) {
							return false;
						}
						if (fFocused == event->window)
							fFocused = 0;
						event->type = DisplayEvent::kDeactivated;
						return true;
					case SDL_WINDOWEVENT_LEAVE:
						event->type = DisplayEvent::kMouseExited;
						return true;
					case SDL_WINDOWEVENT_MOVED:
					{
						// A move SDL reports may be older than the one we
						// asked for since; SDL's current idea is the latest.
						int x = sdl.window.data1, y = sdl.window.data2;
						if (SDL_Window* window = _Find(event->window))
							SDL_GetWindowPosition(window, &x, &y);
						event->type = DisplayEvent::kFrameMoved;
						event->x = x;
						event->y = y;
						return true;
					}
					case SDL_WINDOWEVENT_EXPOSED:
					case SDL_WINDOWEVENT_SHOWN:
					case SDL_WINDOWEVENT_SIZE_CHANGED:
						// The display thread keeps the last pixels, so a
						// window the window system lost is put back here
						// without asking its thread to draw again.
						_PresentAll(event->window);
						return false;
					default:
						return false;
				}
			}

			default:
				return false;
		}
	}

	std::string fDriver = "sdl";
	uint32 fWakeEvent = 0;
	std::map<DisplayWindowId, Entry> fWindows;
	std::map<uint32, DisplayWindowId> fBySdlId;
	DisplayWindowId fFocused = 0;
	int32 fWaitFailures = 0;
	// The last of our ordinary windows (not a menu) to have had the focus.
	DisplayWindowId fLastActive = 0;
	// Events made here rather than by SDL; display thread only.
	std::deque<DisplayEvent> fPending;
};

} // namespace

std::unique_ptr<DisplayBackend>
CreateSdlDisplayBackend()
{
	return std::make_unique<SdlDisplayBackend>();
}

} // namespace BPrivate
