/*
 * A display with no window system behind it: each window's pixels stay in
 * its front buffer, where tests read them.
 */
#include <private/HeadlessDisplay.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

#include <InterfaceDefs.h>
#include <private/DesktopScale.h>
#include <private/Display.h>

namespace BPrivate {

namespace {

struct HeadlessWindow {
	Headless::WindowState state;
	std::shared_ptr<FrontBuffer> buffer;
	uint64 order = 0;
};

std::mutex sStateLock;
std::map<DisplayWindowId, HeadlessWindow> sWindows;
uint64 sOrder = 0;
DisplayWindowId sActive = 0;

int64
Now()
{
	return std::chrono::duration_cast<std::chrono::microseconds>(
		std::chrono::steady_clock::now().time_since_epoch()).count();
}

class HeadlessDisplayBackend : public DisplayBackend {
public:
	const char* Name() const override { return "headless"; }

	bool Open(std::string*) override { return true; }

	void Close() override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		sWindows.clear();
		sActive = 0;
	}

	bool WaitEvent(DisplayEvent* event) override
	{
		if (!fPending.empty()) {
			*event = fPending.front();
			fPending.pop_front();
			return true;
		}
		std::unique_lock<std::mutex> lock(fWakeLock);
		fWoken.wait(lock, [this] { return fWake; });
		fWake = false;
		return false;
	}

	void Wake() override
	{
		{
			std::lock_guard<std::mutex> lock(fWakeLock);
			fWake = true;
		}
		fWoken.notify_one();
	}

	BRect ScreenFrame() override { return FallbackScreenFrame(); }

	// There is no X server to ask: only GDK_SCALE counts.
	int32 DesktopScale() override
	{
		return DesktopScaleFrom(getenv("GDK_SCALE"), nullptr);
	}

	bool CreateWindow(DisplayWindowId id, const WindowSpec& spec,
		std::shared_ptr<FrontBuffer> buffer) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		HeadlessWindow& window = sWindows[id];
		window.state.id = id;
		window.state.title = spec.title;
		window.state.frame = spec.frame;
		window.state.popup = spec.popup;
		window.state.utility = spec.utility;
		window.state.resizable = spec.resizable;
		window.buffer = std::move(buffer);
		window.order = ++sOrder;
		return true;
	}

	void DestroyWindow(DisplayWindowId id) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		sWindows.erase(id);
		if (sActive == id)
			sActive = 0;
	}

	void ShowWindow(DisplayWindowId id, bool show) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		auto found = sWindows.find(id);
		if (found == sWindows.end())
			return;
		found->second.state.visible = show;
		found->second.order = ++sOrder;
		// Like a window manager, give the keyboard to a window that
		// appears; pop-up menus never take it.
		if (show && !found->second.state.popup && sActive != id) {
			DisplayEvent event;
			if (sActive != 0) {
				event.type = DisplayEvent::kDeactivated;
				event.window = sActive;
				fPending.push_back(event);
			}
			sActive = id;
			event.type = DisplayEvent::kActivated;
			event.window = id;
			fPending.push_back(event);
		} else if (!show && sActive == id) {
			sActive = 0;
			DisplayEvent event;
			event.type = DisplayEvent::kDeactivated;
			event.window = id;
			fPending.push_back(event);
		}
	}

	void RaiseWindow(DisplayWindowId id) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		auto found = sWindows.find(id);
		if (found != sWindows.end())
			found->second.state.raised++;
	}

	void FocusWindow(DisplayWindowId id) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		if (sWindows.find(id) == sWindows.end() || sActive == id)
			return;
		sActive = id;
		DisplayEvent event;
		event.type = DisplayEvent::kActivated;
		event.window = id;
		fPending.push_back(event);
	}

	void MoveWindow(DisplayWindowId id, int32 x, int32 y) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		auto found = sWindows.find(id);
		if (found != sWindows.end())
			found->second.state.frame.OffsetTo(x, y);
	}

	void SetTitle(DisplayWindowId id, const std::string& title) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		auto found = sWindows.find(id);
		if (found != sWindows.end())
			found->second.state.title = title;
	}

	void SetIcon(DisplayWindowId id, const std::vector<uint32>&, int32 width,
		int32) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		auto found = sWindows.find(id);
		if (found != sWindows.end()) {
			found->second.state.hasIcon = true;
			found->second.state.iconWidth = width;
		}
	}

	void Present(DisplayWindowId id, const ClipBox&) override
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		auto found = sWindows.find(id);
		if (found != sWindows.end())
			found->second.state.presents++;
	}

private:
	std::mutex fWakeLock;
	std::condition_variable fWoken;
	bool fWake = false;
	// Events the back end makes itself; display thread only.
	std::deque<DisplayEvent> fPending;
};

void
Inject(DisplayEvent event)
{
	Display* display = Display::Default();
	if (display == nullptr)
		return;
	event.when = Now();
	display->Deliver(event);
}

DisplayEvent
PointerEvent(DisplayEvent::Type type, DisplayWindowId id, float x, float y)
{
	DisplayEvent event;
	event.type = type;
	event.window = id;
	event.x = x;
	event.y = y;
	return event;
}

} // namespace

namespace {

std::unique_ptr<DisplayBackend>
CreateHeadlessDisplayBackend()
{
	return std::make_unique<HeadlessDisplayBackend>();
}

// Runs when a test program that links this library starts, before main.
const bool sInstalled = (InstallHeadlessDisplayBackend(
	&CreateHeadlessDisplayBackend), true);

} // namespace

namespace Headless {

std::vector<WindowState>
Windows()
{
	std::lock_guard<std::mutex> lock(sStateLock);
	std::vector<std::pair<uint64, WindowState>> ordered;
	for (auto& entry : sWindows) {
		ordered.emplace_back(entry.second.order, entry.second.state);
		ordered.back().second.active = entry.first == sActive;
	}
	std::sort(ordered.begin(), ordered.end(),
		[](const auto& a, const auto& b) { return a.first < b.first; });
	std::vector<WindowState> result;
	for (auto& entry : ordered)
		result.push_back(entry.second);
	return result;
}

bool
FindWindow(const std::string& title, WindowState* state)
{
	for (const WindowState& window : Windows()) {
		if (window.title == title) {
			if (state != nullptr)
				*state = window;
			return true;
		}
	}
	return false;
}

bool
FindPopup(WindowState* state)
{
	std::lock_guard<std::mutex> lock(sStateLock);
	const HeadlessWindow* newest = nullptr;
	for (auto& entry : sWindows) {
		const HeadlessWindow& window = entry.second;
		if (window.state.popup && window.state.visible
			&& (newest == nullptr || window.order > newest->order))
			newest = &window;
	}
	if (newest == nullptr)
		return false;
	if (state != nullptr)
		*state = newest->state;
	return true;
}

bool
Snapshot(DisplayWindowId id, std::vector<uint32>* pixels, int32* width,
	int32* height)
{
	std::shared_ptr<FrontBuffer> buffer;
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		auto found = sWindows.find(id);
		if (found == sWindows.end())
			return false;
		buffer = found->second.buffer;
	}
	std::lock_guard<std::mutex> lock(buffer->lock);
	*pixels = buffer->pixels;
	*width = buffer->width;
	*height = buffer->height;
	return true;
}

uint32
PixelAt(DisplayWindowId id, int32 x, int32 y)
{
	std::vector<uint32> pixels;
	int32 width = 0, height = 0;
	if (!Snapshot(id, &pixels, &width, &height) || x < 0 || y < 0
		|| x >= width || y >= height)
		return 0;
	return pixels[size_t(y) * width + x];
}

void
MouseDown(DisplayWindowId id, float x, float y, uint32 buttons, int32 clicks,
	uint32 modifiers)
{
	DisplayEvent event = PointerEvent(DisplayEvent::kMouseDown, id, x, y);
	event.buttons = buttons;
	event.clicks = clicks;
	event.modifiers = modifiers;
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		event.wasActive = sActive == id;
	}
	Inject(event);
}

void
MouseUp(DisplayWindowId id, float x, float y, uint32 modifiers)
{
	DisplayEvent event = PointerEvent(DisplayEvent::kMouseUp, id, x, y);
	event.modifiers = modifiers;
	Inject(event);
}

void
MouseMoved(DisplayWindowId id, float x, float y, uint32 buttons)
{
	DisplayEvent event = PointerEvent(DisplayEvent::kMouseMoved, id, x, y);
	event.buttons = buttons;
	Inject(event);
}

void
KeyDown(DisplayWindowId id, const char* bytes, uint32 modifiers, int32 key)
{
	DisplayEvent event;
	event.type = DisplayEvent::kKeyDown;
	event.window = id;
	event.modifiers = modifiers;
	event.key = key;
	if (bytes != nullptr)
		strncpy(event.bytes, bytes, sizeof(event.bytes) - 1);
	Inject(event);
}

void
ChangeScale(DisplayWindowId id, PixelScale scale)
{
	DisplayEvent event;
	event.type = DisplayEvent::kScaleChanged;
	event.window = id;
	event.scaleUnits = scale.Units();
	Inject(event);
}

void
CloseRequested(DisplayWindowId id)
{
	DisplayEvent event;
	event.type = DisplayEvent::kCloseRequested;
	event.window = id;
	Inject(event);
}

void
Activate(DisplayWindowId id, bool active)
{
	DisplayWindowId previous;
	{
		std::lock_guard<std::mutex> lock(sStateLock);
		previous = sActive;
		if (active)
			sActive = id;
		else if (sActive == id)
			sActive = 0;
	}
	DisplayEvent event;
	if (active && previous != 0 && previous != id) {
		// The keyboard moves: the window that had it hears first, as from
		// a window system, and is told where it went.
		event.type = DisplayEvent::kDeactivated;
		event.window = previous;
		event.related = id;
		Inject(event);
	}
	event.type = active ? DisplayEvent::kActivated : DisplayEvent::kDeactivated;
	event.window = id;
	Inject(event);
}

void
Sync()
{
	if (Display* display = Display::Default())
		display->Sync();
}

void
SetScale(PixelScale scale)
{
	if (Display* display = Display::Default()) {
		display->OverrideScale(PixelScale::FromUnits(std::min(scale.Units(),
			kMaxDesktopScale * PixelScale::kUnit)));
	}
}

} // namespace Headless
} // namespace BPrivate
