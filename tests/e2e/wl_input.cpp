/*
 * e2e-wl-input: a mouse and a keyboard for a Wayland compositor that has
 * none, such as a headless sway. It makes a virtual pointer
 * (zwlr_virtual_pointer_manager_v1) and a virtual keyboard
 * (zwp_virtual_keyboard_manager_v1) on the compositor's seat and keeps
 * them for as long as it runs, so that the devices do not come and go
 * between two commands (a one-shot tool's keys were lost under Xwayland:
 * the device was gone before Xwayland saw them). The end-to-end rig
 * (rig.sh) starts one for the whole run and writes it commands, one a line:
 *
 *   move X Y        the pointer to pixel (X, Y) of the screen
 *   down [BUTTON]   presses a button: 1 left (the default), 2 middle, 3 right
 *   up [BUTTON]     releases it
 *   click [BUTTON]  presses and releases it
 *   key NAME...     types each key or chord, as xdotool names them: Tab,
 *                   space, Return, Home, F1, m, alt+F4
 *   delay MS        the pause between two keys of one command (20 ms)
 *
 * Each is answered "ok", once the compositor has taken it, or "error: ..."
 * on one line. The screen is WIDTH by HEIGHT pixels as a screenshot shows
 * it (device pixels: at an output scale of 2, twice the layout's size each
 * way); the compositor maps that box onto its output layout.
 *
 *   e2e-wl-input WIDTH HEIGHT
 *
 * It connects where WAYLAND_DISPLAY says. It ends at the end of its input,
 * or with status 1 when the compositor goes away.
 */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

// evdev's button codes (linux/input-event-codes.h).
const uint32_t kButtonLeft = 0x110;
const uint32_t kButtonRight = 0x111;
const uint32_t kButtonMiddle = 0x112;
// The keymap's keycodes are evdev's plus 8.
const uint32_t kEvdevOffset = 8;

struct Globals {
	wl_seat* seat = nullptr;
	zwlr_virtual_pointer_manager_v1* pointerManager = nullptr;
	zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
};

void
HandleGlobal(void* data, wl_registry* registry, uint32_t name,
	const char* interface, uint32_t /*version*/)
{
	Globals* globals = static_cast<Globals*>(data);
	if (strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr) {
		globals->seat = static_cast<wl_seat*>(
			wl_registry_bind(registry, name, &wl_seat_interface, 1));
	} else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
		globals->pointerManager = static_cast<zwlr_virtual_pointer_manager_v1*>(
			wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
	} else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
		globals->keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
			wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
	}
}

void
HandleGlobalRemove(void*, wl_registry*, uint32_t)
{
}

const wl_registry_listener kRegistryListener = { HandleGlobal, HandleGlobalRemove };

uint32_t
NowMs()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return uint32_t(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

void
SleepMs(int ms)
{
	timespec pause = { ms / 1000, long(ms % 1000) * 1000000 };
	while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
	}
}

// The keyboard's keymap, and the state of its modifiers as the keys sent
// so far leave them: the compositor takes a virtual keyboard's modifiers
// from what it is told, not from its keys, so they are worked out here and
// sent after each key that changes them, as a real keyboard's are.
class Keys {
public:
	~Keys()
	{
		if (fState != nullptr)
			xkb_state_unref(fState);
		if (fKeymap != nullptr)
			xkb_keymap_unref(fKeymap);
		if (fContext != nullptr)
			xkb_context_unref(fContext);
	}

	bool Init(zwp_virtual_keyboard_v1* keyboard, std::string* error)
	{
		fKeyboard = keyboard;
		fContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
		if (fContext == nullptr) {
			*error = "no xkbcommon context";
			return false;
		}
		xkb_rule_names names = {};
		names.rules = "evdev";
		names.model = "pc105";
		names.layout = "us";
		fKeymap = xkb_keymap_new_from_names(fContext, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
		if (fKeymap == nullptr) {
			*error = "no keymap for evdev/pc105/us (is xkb-data installed?)";
			return false;
		}
		fState = xkb_state_new(fKeymap);
		char* text = xkb_keymap_get_as_string(fKeymap, XKB_KEYMAP_FORMAT_TEXT_V1);
		if (text == nullptr || fState == nullptr) {
			free(text);
			*error = "cannot write the keymap out";
			return false;
		}
		size_t size = strlen(text) + 1;
		int fd = memfd_create("e2e-wl-input-keymap", MFD_CLOEXEC);
		bool written = fd >= 0 && write(fd, text, size) == ssize_t(size);
		free(text);
		if (!written) {
			*error = std::string("cannot put the keymap in shared memory: ") + strerror(errno);
			if (fd >= 0)
				close(fd);
			return false;
		}
		zwp_virtual_keyboard_v1_keymap(fKeyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
			uint32_t(size));
		close(fd);
		return true;
	}

	// The evdev codes of the keys that type NAME ("Tab", "alt+F4", "A"),
	// modifiers first; false if a part names no key of the keymap.
	bool Chord(const std::string& name, std::vector<uint32_t>* codes, std::string* error)
	{
		codes->clear();
		std::string part;
		std::istringstream parts(name);
		while (std::getline(parts, part, '+')) {
			if (part.empty())
				part = "plus";
			bool shifted = false;
			uint32_t code;
			if (!_Code(part, &code, &shifted)) {
				*error = "no key \"" + part + "\" in the keymap";
				return false;
			}
			if (shifted)
				codes->push_back(_Code("Shift_L"));
			codes->push_back(code);
		}
		return !codes->empty();
	}

	void Send(uint32_t code, bool down)
	{
		zwp_virtual_keyboard_v1_key(fKeyboard, NowMs(), code,
			down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
		xkb_state_update_key(fState, code + kEvdevOffset, down ? XKB_KEY_DOWN : XKB_KEY_UP);
		uint32_t depressed = xkb_state_serialize_mods(fState, XKB_STATE_MODS_DEPRESSED);
		uint32_t latched = xkb_state_serialize_mods(fState, XKB_STATE_MODS_LATCHED);
		uint32_t locked = xkb_state_serialize_mods(fState, XKB_STATE_MODS_LOCKED);
		uint32_t group = xkb_state_serialize_layout(fState, XKB_STATE_LAYOUT_EFFECTIVE);
		if (depressed != fDepressed || latched != fLatched || locked != fLocked
				|| group != fGroup) {
			fDepressed = depressed;
			fLatched = latched;
			fLocked = locked;
			fGroup = group;
			zwp_virtual_keyboard_v1_modifiers(fKeyboard, depressed, latched, locked, group);
		}
	}

private:
	uint32_t _Code(const std::string& name)
	{
		uint32_t code = 0;
		bool shifted;
		_Code(name, &code, &shifted);
		return code;
	}

	// The key whose first or second level is NAME's keysym (xdotool's short
	// names for the modifiers too); *shifted when it is the second.
	bool _Code(const std::string& name, uint32_t* code, bool* shifted)
	{
		std::string symName = name;
		if (name == "alt")
			symName = "Alt_L";
		else if (name == "ctrl" || name == "control")
			symName = "Control_L";
		else if (name == "shift")
			symName = "Shift_L";
		else if (name == "super")
			symName = "Super_L";
		xkb_keysym_t sym = xkb_keysym_from_name(symName.c_str(), XKB_KEYSYM_NO_FLAGS);
		if (sym == XKB_KEY_NoSymbol)
			sym = xkb_keysym_from_name(symName.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
		if (sym == XKB_KEY_NoSymbol)
			return false;
		for (xkb_level_index_t level = 0; level < 2; level++) {
			for (xkb_keycode_t key = xkb_keymap_min_keycode(fKeymap);
					key <= xkb_keymap_max_keycode(fKeymap); key++) {
				const xkb_keysym_t* syms;
				int count = xkb_keymap_key_get_syms_by_level(fKeymap, key, 0, level, &syms);
				for (int i = 0; i < count; i++) {
					if (syms[i] == sym && key >= kEvdevOffset) {
						*code = key - kEvdevOffset;
						*shifted = level == 1;
						return true;
					}
				}
			}
		}
		return false;
	}

	zwp_virtual_keyboard_v1* fKeyboard = nullptr;
	xkb_context* fContext = nullptr;
	xkb_keymap* fKeymap = nullptr;
	xkb_state* fState = nullptr;
	uint32_t fDepressed = 0;
	uint32_t fLatched = 0;
	uint32_t fLocked = 0;
	uint32_t fGroup = 0;
};

class Input {
public:
	Input(int width, int height)
		:
		fWidth(width),
		fHeight(height)
	{
	}

	~Input()
	{
		if (fPointer != nullptr)
			zwlr_virtual_pointer_v1_destroy(fPointer);
		if (fKeyboard != nullptr)
			zwp_virtual_keyboard_v1_destroy(fKeyboard);
		if (fDisplay != nullptr) {
			wl_display_flush(fDisplay);
			wl_display_disconnect(fDisplay);
		}
	}

	bool Connect(std::string* error)
	{
		fDisplay = wl_display_connect(nullptr);
		if (fDisplay == nullptr) {
			*error = std::string("cannot connect to the compositor at ")
				+ (getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "wayland-0");
			return false;
		}
		wl_registry* registry = wl_display_get_registry(fDisplay);
		wl_registry_add_listener(registry, &kRegistryListener, &fGlobals);
		if (wl_display_roundtrip(fDisplay) < 0) {
			*error = "the compositor went away";
			return false;
		}
		if (fGlobals.seat == nullptr || fGlobals.pointerManager == nullptr
				|| fGlobals.keyboardManager == nullptr) {
			*error = "the compositor offers no ";
			*error += fGlobals.seat == nullptr ? "seat"
				: fGlobals.pointerManager == nullptr ? "zwlr_virtual_pointer_manager_v1"
				: "zwp_virtual_keyboard_manager_v1";
			return false;
		}
		fPointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
			fGlobals.pointerManager, fGlobals.seat);
		fKeyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
			fGlobals.keyboardManager, fGlobals.seat);
		if (!fKeys.Init(fKeyboard, error))
			return false;
		return Settle(error);
	}

	// Waits until the compositor has taken every request sent so far.
	bool Settle(std::string* error)
	{
		if (wl_display_roundtrip(fDisplay) < 0) {
			*error = std::string("the compositor went away (")
				+ strerror(wl_display_get_error(fDisplay)) + ")";
			return false;
		}
		return true;
	}

	// One command; false with *error when it cannot be done, *lost when the
	// compositor is gone.
	bool Run(const std::string& line, std::string* error, bool* lost)
	{
		std::istringstream words(line);
		std::string verb;
		words >> verb;
		*lost = false;
		if (verb == "move") {
			long x, y;
			if (!(words >> x >> y) || x < 0 || y < 0 || x >= fWidth || y >= fHeight) {
				*error = "move takes X Y inside the screen, " + std::to_string(fWidth) + "x"
					+ std::to_string(fHeight);
				return false;
			}
			// Xwayland delivers a press that follows one jump at the place
			// the pointer was before it: a jump to the next pixel, then a
			// step to the place, gives it a move it takes.
			long nearX = x + 1 < fWidth ? x + 1 : x - 1;
			_Move(nearX, y);
			if (!Settle(error)) {
				*lost = true;
				return false;
			}
			_Move(x, y);
		} else if (verb == "down" || verb == "up" || verb == "click") {
			int number = 1;
			words >> number;
			uint32_t button = number == 1 ? kButtonLeft : number == 2 ? kButtonMiddle
				: number == 3 ? kButtonRight : 0;
			if (button == 0) {
				*error = "no button " + std::to_string(number) + " (there are 1, 2 and 3)";
				return false;
			}
			if (verb != "up")
				_Button(button, true);
			if (verb == "click" && !Settle(error)) {
				*lost = true;
				return false;
			}
			if (verb != "down")
				_Button(button, false);
		} else if (verb == "key") {
			std::string name;
			std::vector<std::vector<uint32_t>> chords;
			while (words >> name) {
				std::vector<uint32_t> codes;
				if (!fKeys.Chord(name, &codes, error))
					return false;
				chords.push_back(codes);
			}
			for (size_t i = 0; i < chords.size(); i++) {
				if (i > 0)
					SleepMs(fKeyDelayMs);
				for (uint32_t code : chords[i])
					fKeys.Send(code, true);
				for (size_t k = chords[i].size(); k-- > 0;)
					fKeys.Send(chords[i][k], false);
				if (!Settle(error)) {
					*lost = true;
					return false;
				}
			}
		} else if (verb == "delay") {
			int ms = -1;
			if (!(words >> ms) || ms < 0 || ms > 10000) {
				*error = "delay takes milliseconds, 0 to 10000";
				return false;
			}
			fKeyDelayMs = ms;
		} else {
			*error = "no command \"" + verb + "\" (there are move, down, up, click, key, delay)";
			return false;
		}
		if (!Settle(error)) {
			*lost = true;
			return false;
		}
		return true;
	}

private:
	void _Move(long x, long y)
	{
		zwlr_virtual_pointer_v1_motion_absolute(fPointer, NowMs(), uint32_t(x), uint32_t(y),
			uint32_t(fWidth), uint32_t(fHeight));
		zwlr_virtual_pointer_v1_frame(fPointer);
	}

	void _Button(uint32_t button, bool down)
	{
		zwlr_virtual_pointer_v1_button(fPointer, NowMs(), button,
			down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
		zwlr_virtual_pointer_v1_frame(fPointer);
	}

	int fWidth;
	int fHeight;
	int fKeyDelayMs = 20;
	wl_display* fDisplay = nullptr;
	Globals fGlobals;
	zwlr_virtual_pointer_v1* fPointer = nullptr;
	zwp_virtual_keyboard_v1* fKeyboard = nullptr;
	Keys fKeys;
};

}  // namespace

int
main(int argc, char** argv)
{
	int width = argc == 3 ? atoi(argv[1]) : 0;
	int height = argc == 3 ? atoi(argv[2]) : 0;
	if (width <= 0 || height <= 0) {
		fprintf(stderr, "usage: e2e-wl-input WIDTH HEIGHT (the screen, in pixels)\n");
		return 2;
	}
	Input input(width, height);
	std::string error;
	if (!input.Connect(&error)) {
		fprintf(stderr, "e2e-wl-input: %s\n", error.c_str());
		return 1;
	}
	std::string line;
	while (std::getline(std::cin, line)) {
		if (line.find_first_not_of(" \t") == std::string::npos)
			continue;
		bool lost;
		if (input.Run(line, &error, &lost)) {
			std::cout << "ok" << std::endl;
		} else {
			std::cout << "error: " << error << std::endl;
			if (lost) {
				fprintf(stderr, "e2e-wl-input: %s\n", error.c_str());
				return 1;
			}
		}
	}
	return 0;
}
