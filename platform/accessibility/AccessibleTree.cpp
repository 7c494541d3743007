/*
 * The accessible objects of the whole application, and the events between
 * two of its states.
 */
#include <private/AccessibleTree.h>

#include <algorithm>
#include <cstdio>

namespace BPrivate {

namespace {

const char* const kRootPath = "/org/a11y/atspi/accessible/root";
const char* const kObjectEvents = "org.a11y.atspi.Event.Object";
const char* const kWindowEvents = "org.a11y.atspi.Event.Window";

AccessibleEvent
ObjectEvent(const std::string& path, const char* member,
	const std::string& detail, int32 detail1 = 0, int32 detail2 = 0)
{
	AccessibleEvent event;
	event.path = path;
	event.interface = kObjectEvents;
	event.member = member;
	event.detail = detail;
	event.detail1 = detail1;
	event.detail2 = detail2;
	return event;
}

AccessibleEvent
WindowEvent(const std::string& path, const char* member,
	const std::string& name)
{
	AccessibleEvent event;
	event.path = path;
	event.interface = kWindowEvents;
	event.member = member;
	event.dataType = AccessibleEvent::kString;
	event.data = name;
	return event;
}

AccessibleEvent
ChildrenChanged(const AccessibleTree& tree, int32 object, bool added)
{
	AccessibleEvent event = ObjectEvent(tree.PathOf(tree.Parent(object)),
		"ChildrenChanged", added ? "add" : "remove",
		tree.IndexInParent(object));
	event.dataType = AccessibleEvent::kReference;
	event.data = tree.PathOf(object);
	return event;
}

AccessibleEvent
StateChanged(const std::string& path, uint32 state, bool on)
{
	return ObjectEvent(path, "StateChanged", AccessibleStateName(state),
		on ? 1 : 0);
}

bool
IsWindow(const AccessibleTree& tree, int32 object)
{
	return object != AccessibleTree::kRoot
		&& tree.Parent(object) == AccessibleTree::kRoot;
}

// The states that changed and have a name, in the order of their numbers.
std::vector<uint32>
ChangedStates(AccessibleStateSet before, AccessibleStateSet after, bool gained)
{
	std::vector<uint32> states;
	AccessibleStateSet changed = before ^ after;
	for (uint32 state = 0; state < 64; state++) {
		if ((changed & StateBit(state)) == 0
			|| ((after & StateBit(state)) != 0) != gained
			|| AccessibleStateName(state) == nullptr)
			continue;
		states.push_back(state);
	}
	return states;
}

std::vector<int32>
SelectedChildren(const AccessibleTree& tree, int32 object)
{
	std::vector<int32> selected;
	const std::vector<int32>& children = tree.Children(object);
	for (size_t i = 0; i < children.size(); i++) {
		if ((tree.Node(children[i]).states & StateBit(kStateSelected)) != 0)
			selected.push_back(int32(i));
	}
	return selected;
}

} // namespace

const char*
AccessibleStateName(uint32 state)
{
	switch (state) {
		case kStateActive: return "active";
		case kStateChecked: return "checked";
		case kStateEnabled: return "enabled";
		case kStateExpandable: return "expandable";
		case kStateExpanded: return "expanded";
		case kStateFocusable: return "focusable";
		case kStateFocused: return "focused";
		case kStateSelectable: return "selectable";
		case kStateSelected: return "selected";
		case kStateSensitive: return "sensitive";
		case kStateShowing: return "showing";
		case kStateVisible: return "visible";
		case kStateIsDefault: return "is-default";
		case kStateCheckable: return "checkable";
		case kStateHasPopup: return "has-popup";
		default: return nullptr;
	}
}

void
SplitStateSet(AccessibleStateSet states, uint32 words[2])
{
	words[0] = uint32(states & 0xffffffffu);
	words[1] = uint32(states >> 32);
}

std::string
AccessibleTree::PathFor(uint32 window, int32 node)
{
	char path[64];
	snprintf(path, sizeof(path), "/org/a11y/atspi/accessible/%u_%d", window,
		node);
	return path;
}

AccessibleTree::AccessibleTree(const std::string& applicationName)
{
	fApplication.role = kRoleApplication;
	fApplication.name = applicationName;
	Object root;
	root.path = kRootPath;
	fObjects.push_back(root);
	fByPath[root.path] = kRoot;
}

AccessibleTree::AccessibleTree(const std::string& applicationName,
	std::vector<std::shared_ptr<const AccessibleSnapshot>> windows)
	:
	AccessibleTree(applicationName)
{
	std::sort(windows.begin(), windows.end(),
		[](const std::shared_ptr<const AccessibleSnapshot>& a,
			const std::shared_ptr<const AccessibleSnapshot>& b) {
			return a->window < b->window;
		});
	for (const std::shared_ptr<const AccessibleSnapshot>& snapshot : windows)
		_Add(snapshot);
}

void
AccessibleTree::_Add(const std::shared_ptr<const AccessibleSnapshot>& snapshot)
{
	if (snapshot == nullptr || snapshot->nodes.empty())
		return;
	fSnapshots.push_back(snapshot);
	// Where each of the snapshot's nodes went in the tree; a node whose
	// parent is not an earlier node is left out, with what is under it.
	std::vector<int32> placed(snapshot->nodes.size(), -1);
	for (size_t i = 0; i < snapshot->nodes.size(); i++) {
		const AccessibleNode& node = snapshot->nodes[i];
		int32 parent;
		if (i == 0)
			parent = kRoot;
		else if (node.parent >= 0 && size_t(node.parent) < i
			&& placed[node.parent] >= 0)
			parent = placed[node.parent];
		else
			continue;
		Object object;
		object.path = PathFor(snapshot->window, int32(i));
		object.parent = parent;
		object.indexInParent = int32(fObjects[parent].children.size());
		object.window = snapshot->window;
		object.node = int32(i);
		object.data = &node;
		int32 index = int32(fObjects.size());
		object.toplevel = parent == kRoot ? index : fObjects[parent].toplevel;
		fObjects[parent].children.push_back(index);
		fByPath[object.path] = index;
		fObjects.push_back(std::move(object));
		placed[i] = index;
	}
}

int32
AccessibleTree::Find(const std::string& path) const
{
	auto found = fByPath.find(path);
	return found != fByPath.end() ? found->second : -1;
}

const std::string&
AccessibleTree::PathOf(int32 object) const
{
	return fObjects[object].path;
}

int32
AccessibleTree::Parent(int32 object) const
{
	return fObjects[object].parent;
}

const std::vector<int32>&
AccessibleTree::Children(int32 object) const
{
	return fObjects[object].children;
}

int32
AccessibleTree::IndexInParent(int32 object) const
{
	return fObjects[object].indexInParent;
}

const AccessibleNode&
AccessibleTree::Node(int32 object) const
{
	// The others point into the snapshots the tree keeps, which a copy of
	// the tree shares.
	return object == kRoot ? fApplication : *fObjects[object].data;
}

int32
AccessibleTree::Toplevel(int32 object) const
{
	return fObjects[object].toplevel;
}

uint32
AccessibleTree::WindowKey(int32 object) const
{
	return fObjects[object].window;
}

int32
AccessibleTree::NodeIndex(int32 object) const
{
	return fObjects[object].node;
}

std::vector<AccessibleEvent>
AccessibleTree::Changes(const AccessibleTree& before,
	const AccessibleTree& after)
{
	std::vector<AccessibleEvent> events;

	// What went away: a window is deactivated and destroyed first, and
	// every object's parent, where it stays, hears that it lost a child.
	for (int32 object = 1; object < before.Count(); object++) {
		if (after.Find(before.PathOf(object)) >= 0)
			continue;
		const AccessibleNode& node = before.Node(object);
		if (IsWindow(before, object)) {
			if ((node.states & StateBit(kStateActive)) != 0) {
				events.push_back(StateChanged(before.PathOf(object),
					kStateActive, false));
				events.push_back(WindowEvent(before.PathOf(object),
					"Deactivate", node.name));
			}
			events.push_back(WindowEvent(before.PathOf(object), "Destroy",
				node.name));
		}
		if (after.Find(before.PathOf(before.Parent(object))) >= 0)
			events.push_back(ChildrenChanged(before, object, false));
		AccessibleEvent removed;
		removed.kind = AccessibleEvent::kRemoved;
		removed.data = before.PathOf(object);
		events.push_back(removed);
	}

	// What came.
	for (int32 object = 1; object < after.Count(); object++) {
		if (before.Find(after.PathOf(object)) >= 0
			|| before.Find(after.PathOf(after.Parent(object))) < 0)
			continue;
		events.push_back(ChildrenChanged(after, object, true));
		if (IsWindow(after, object)) {
			events.push_back(WindowEvent(after.PathOf(object), "Create",
				after.Node(object).name));
		}
	}

	for (int32 object = 1; object < after.Count(); object++) {
		int32 old = before.Find(after.PathOf(object));
		if (old >= 0 && before.Node(old).name != after.Node(object).name) {
			AccessibleEvent event = ObjectEvent(after.PathOf(object),
				"PropertyChange", "accessible-name");
			event.dataType = AccessibleEvent::kString;
			event.data = after.Node(object).name;
			events.push_back(event);
		}
	}

	// The states each object had before, or none for one that is new:
	// a new window says it is showing and active, and a new object that
	// has the focus says so.
	auto statesBefore = [&](int32 object) -> AccessibleStateSet {
		int32 old = before.Find(after.PathOf(object));
		if (old >= 0)
			return before.Node(old).states;
		if (IsWindow(after, object))
			return 0;
		return after.Node(object).states & ~StateBit(kStateFocused);
	};
	auto isNewAndQuiet = [&](int32 object) {
		return before.Find(after.PathOf(object)) < 0
			&& before.Find(after.PathOf(after.Parent(object))) < 0;
	};

	for (int32 object = 1; object < after.Count(); object++) {
		if (!IsWindow(after, object))
			continue;
		AccessibleStateSet was = statesBefore(object);
		if ((was & StateBit(kStateActive)) != 0
			&& (after.Node(object).states & StateBit(kStateActive)) == 0) {
			events.push_back(StateChanged(after.PathOf(object), kStateActive,
				false));
			events.push_back(WindowEvent(after.PathOf(object), "Deactivate",
				after.Node(object).name));
		}
	}
	// What an object gains is said while it still has the focus it may
	// lose: a picked item is checked before its menu closes.
	for (int32 object = 1; object < after.Count(); object++) {
		if (isNewAndQuiet(object))
			continue;
		for (uint32 state : ChangedStates(statesBefore(object),
				after.Node(object).states, true)) {
			if ((state == kStateActive && IsWindow(after, object))
				|| state == kStateFocused)
				continue;
			events.push_back(StateChanged(after.PathOf(object), state, true));
		}
	}
	for (int32 object = 1; object < after.Count(); object++) {
		if (isNewAndQuiet(object))
			continue;
		for (uint32 state : ChangedStates(statesBefore(object),
				after.Node(object).states, false)) {
			if (state == kStateActive && IsWindow(after, object))
				continue;
			events.push_back(StateChanged(after.PathOf(object), state, false));
		}
	}
	for (int32 object = 1; object < after.Count(); object++) {
		if (!IsWindow(after, object))
			continue;
		AccessibleStateSet was = statesBefore(object);
		if ((was & StateBit(kStateActive)) == 0
			&& (after.Node(object).states & StateBit(kStateActive)) != 0) {
			events.push_back(StateChanged(after.PathOf(object), kStateActive,
				true));
			events.push_back(WindowEvent(after.PathOf(object), "Activate",
				after.Node(object).name));
		}
	}

	for (int32 object = 1; object < after.Count(); object++) {
		int32 old = before.Find(after.PathOf(object));
		if (old < 0 || !after.Node(object).selection
			|| SelectedChildren(before, old)
				== SelectedChildren(after, object))
			continue;
		events.push_back(ObjectEvent(after.PathOf(object), "SelectionChanged",
			""));
	}

	// The focus last, where a screen reader speaks from.
	for (int32 object = 1; object < after.Count(); object++) {
		if ((after.Node(object).states & StateBit(kStateFocused)) != 0
			&& (statesBefore(object) & StateBit(kStateFocused)) == 0) {
			events.push_back(StateChanged(after.PathOf(object), kStateFocused,
				true));
		}
	}
	return events;
}

} // namespace BPrivate
