/*
 * What a window shows a screen reader: a snapshot of its accessible objects,
 * made by the window's own thread from its views and handed to the
 * accessibility thread, which answers the desktop's questions from it and
 * tells the desktop what changed between two snapshots.
 *
 * A snapshot is plain data, built and then only read: the window's thread
 * makes a new one instead of changing the one it published, so the
 * accessibility thread never needs the window's lock to read it.
 *
 * Roles and states carry AT-SPI's own numbers (AtspiRole, AtspiStateType),
 * since they go over the bus as they are.
 */
#ifndef _PRIVATE_ACCESSIBLE_SNAPSHOT_H
#define _PRIVATE_ACCESSIBLE_SNAPSHOT_H

#include <memory>
#include <string>
#include <vector>

#include <SupportDefs.h>

namespace BPrivate {

// The roles the kits' objects take.
enum AccessibleRole : uint32 {
	kRoleInvalid = 0,
	kRoleAlert = 2,
	kRoleComboBox = 11,
	kRoleFrame = 23,
	kRoleLabel = 29,
	kRoleMenu = 33,
	kRolePanel = 39,
	kRolePushButton = 43,
	kRoleRadioMenuItem = 45,
	kRoleApplication = 75,
};

// The states they may be in: state N is bit N of a state set.
enum AccessibleState : uint32 {
	kStateActive = 1,
	kStateChecked = 4,
	kStateEnabled = 8,
	kStateExpandable = 9,
	kStateExpanded = 10,
	kStateFocusable = 11,
	kStateFocused = 12,
	kStateSelectable = 22,
	kStateSelected = 23,
	kStateSensitive = 24,
	kStateShowing = 25,
	kStateVisible = 30,
	kStateIsDefault = 39,
	kStateCheckable = 41,
	kStateHasPopup = 42,
};

typedef uint64 AccessibleStateSet;

inline AccessibleStateSet
StateBit(uint32 state)
{
	return state < 64 ? AccessibleStateSet(1) << state : 0;
}

// The name AT-SPI gives a state in its events ("focused", "checked"...),
// or null for one the kits have no name for.
const char* AccessibleStateName(uint32 state);

// The set as it goes over the bus: two 32-bit words, states 0 to 31 first.
void SplitStateSet(AccessibleStateSet states, uint32 words[2]);

// A rectangle on the screen, in device pixels (the desktop's scale applied).
struct AccessibleRect {
	int32 x = 0;
	int32 y = 0;
	int32 width = 0;
	int32 height = 0;

	bool operator==(const AccessibleRect& other) const
	{
		return x == other.x && y == other.y && width == other.width
			&& height == other.height;
	}
};

struct AccessibleNode {
	// The node's parent in the snapshot, always an earlier node; -1 for the
	// window itself, whose parent is the application.
	int32 parent = -1;
	uint32 role = kRoleInvalid;
	std::string name;
	AccessibleStateSet states = 0;
	AccessibleRect frame;
	// What a screen reader may do with it ("press", "click"), in order.
	std::vector<std::string> actions;
	// Whether it answers as a selection of its children (a menu): the
	// selected ones are those children in kStateSelected.
	bool selection = false;

	bool operator==(const AccessibleNode& other) const
	{
		return parent == other.parent && role == other.role
			&& name == other.name && states == other.states
			&& frame == other.frame && actions == other.actions
			&& selection == other.selection;
	}
	bool operator!=(const AccessibleNode& other) const
		{ return !(*this == other); }
};

// Carries a screen reader's request to the window that published the
// snapshot. It is called on the accessibility thread and only posts to the
// window, which acts on its own thread as it would on the user's input.
class AccessibleActionSink {
public:
	// Component's GrabFocus, beside the node's numbered actions.
	static const int32 kGrabFocus = -1;

	virtual ~AccessibleActionSink() {}
	// False when the window is gone.
	virtual bool Perform(int32 node, int32 action) = 0;
};

struct AccessibleSnapshot {
	// The window, unique in the process for its whole run: the key of its
	// objects' paths, so that a window's objects are never taken for those
	// of one that went before it.
	uint32 window = 0;
	// nodes[0] is the window; every parent comes before its children, and
	// siblings in the order a screen reader reads them.
	std::vector<AccessibleNode> nodes;

	bool operator==(const AccessibleSnapshot& other) const
		{ return window == other.window && nodes == other.nodes; }
};

} // namespace BPrivate

#endif // _PRIVATE_ACCESSIBLE_SNAPSHOT_H
