/*
 * The program's link to the desktop's screen readers: a thread of its own
 * that finds the accessibility bus as the toolkits do (AT_SPI_BUS_ADDRESS
 * when set, else org.a11y.Bus.GetAddress on the session bus), registers the
 * application with AT-SPI's registry, and from then on answers the screen
 * readers from the snapshots the windows publish and tells them what
 * changed. Where there is no session bus, no accessibility bus or no
 * libdbus, it gives up quietly and the windows stop publishing. NO_AT_BRIDGE=1
 * keeps it from starting, as it does GTK's.
 *
 * The thread sleeps in poll() on the bus and on an eventfd that Publish()
 * and Withdraw() write: it costs nothing while nobody asks and nothing
 * changes. It never locks a window or touches a view; what it needs of a
 * window comes in the window's snapshot, and what it asks of one (a screen
 * reader's action) goes through the window's action sink, which only
 * posts.
 *
 * Threads: every function is safe from any thread. Publish() and Withdraw()
 * take the bridge's own lock for a moment and never wait for the
 * accessibility thread. The bridge lives for the rest of the process once
 * started, like the libraries it loads.
 */
#ifndef _PRIVATE_ACCESSIBILITY_BRIDGE_H
#define _PRIVATE_ACCESSIBILITY_BRIDGE_H

#include <memory>
#include <string>

#include <private/AccessibleSnapshot.h>

namespace BPrivate {

class AccessibilityBridge {
public:
	// Starts the accessibility thread, once per process; the application
	// is called `applicationName` on the bus, and `toolkitVersion` is what
	// the kits say their version is. Before anything else the thread calls
	// `waitForScreen`, which returns once what the windows have asked of the
	// screen is done, so that the bridge's start-up never competes with the
	// first frame; once on the bus, it calls `askWindows`, which asks every
	// window to publish its snapshot (and must only post). Either may be
	// null. Returns at once.
	static void Start(const std::string& applicationName,
		const std::string& toolkitVersion, void (*waitForScreen)(),
		void (*askWindows)());
	// Whether windows should publish their snapshots: from Start() until
	// the thread has given up (no bus) or lost its bus.
	static bool IsListening();

	// A key for a new window's snapshots, never handed out twice.
	static uint32 NewWindowKey();
	// The window's snapshot as it is now, replacing the one it published
	// before, and where its actions go. Wakes the accessibility thread only
	// when the snapshot differs from the last.
	static void Publish(std::shared_ptr<const AccessibleSnapshot> snapshot,
		std::shared_ptr<AccessibleActionSink> sink);
	// The window is gone: its objects leave the tree.
	static void Withdraw(uint32 window);

	// The program is ending: the thread leaves the bus and ends, waited for
	// a moment (it may be in the middle of a call to a bus that is slow to
	// answer, which it then leaves to the process's end).
	static void Stop();
};

} // namespace BPrivate

#endif // _PRIVATE_ACCESSIBILITY_BRIDGE_H
