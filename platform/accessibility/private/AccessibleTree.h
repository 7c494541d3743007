/*
 * The application's accessible objects as a screen reader sees them: the
 * application itself, and under it the objects of every window that has
 * published a snapshot, each with its D-Bus object path. A tree is made
 * from the snapshots at hand and not changed afterwards; Changes() tells
 * what events turn one tree into the next.
 *
 * Paths: the application is /org/a11y/atspi/accessible/root, as AT-SPI
 * asks; node N of window W is /org/a11y/atspi/accessible/W_N. A window's
 * key is never used again, so a path names one object for the whole run.
 *
 * The tree is plain data; the accessibility thread alone makes and reads
 * its trees.
 */
#ifndef _PRIVATE_ACCESSIBLE_TREE_H
#define _PRIVATE_ACCESSIBLE_TREE_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <private/AccessibleSnapshot.h>

namespace BPrivate {

// One signal to send, in the terms of AT-SPI's event interfaces.
struct AccessibleEvent {
	enum Kind {
		// org.a11y.atspi.Event.Object or .Window, body (siiva{sv})
		kEvent,
		// org.a11y.atspi.Cache.RemoveAccessible, body (so): `data` is gone
		kRemoved,
	};
	enum DataType {
		kInt,
		kString,
		kReference,
	};

	Kind kind = kEvent;
	std::string path;
	const char* interface = "";
	const char* member = "";
	std::string detail;
	int32 detail1 = 0;
	int32 detail2 = 0;
	DataType dataType = kInt;
	// A string, or the path of an object of this application.
	std::string data;
};

class AccessibleTree {
public:
	static const int32 kRoot = 0;

	// The application alone.
	explicit AccessibleTree(const std::string& applicationName = "");
	// The application with the windows' objects under it, the windows in
	// the order of their keys.
	AccessibleTree(const std::string& applicationName,
		std::vector<std::shared_ptr<const AccessibleSnapshot>> windows);

	int32 Count() const { return int32(fObjects.size()); }
	// The object at `path`, or -1.
	int32 Find(const std::string& path) const;
	const std::string& PathOf(int32 object) const;
	// -1 for the application.
	int32 Parent(int32 object) const;
	const std::vector<int32>& Children(int32 object) const;
	int32 IndexInParent(int32 object) const;
	const AccessibleNode& Node(int32 object) const;
	// The window the object belongs to (the application's child it is
	// under, or is), or -1 for the application.
	int32 Toplevel(int32 object) const;
	// Where to ask for an action on the object: its window's key and its
	// index in the window's snapshot (0 and -1 for the application).
	uint32 WindowKey(int32 object) const;
	int32 NodeIndex(int32 object) const;

	// The events that tell a screen reader how `before` became `after`, in
	// the order it should hear them: what went away, what came, names,
	// windows deactivated, states gained, states lost, windows activated,
	// selections, and the focus last.
	static std::vector<AccessibleEvent> Changes(const AccessibleTree& before,
		const AccessibleTree& after);

	static std::string PathFor(uint32 window, int32 node);

private:
	struct Object {
		std::string path;
		int32 parent = -1;
		int32 indexInParent = -1;
		std::vector<int32> children;
		int32 toplevel = -1;
		uint32 window = 0;
		int32 node = -1;
		const AccessibleNode* data = nullptr;
	};

			void			_Add(const std::shared_ptr<const AccessibleSnapshot>&
								snapshot);

			AccessibleNode	fApplication;
			std::vector<std::shared_ptr<const AccessibleSnapshot>> fSnapshots;
			std::vector<Object> fObjects;
			std::map<std::string, int32> fByPath;
};

} // namespace BPrivate

#endif // _PRIVATE_ACCESSIBLE_TREE_H
