/*
 * The application's accessible objects and the events between two of their
 * states, without a bus: what a screen reader would be told, in the order
 * it would hear it.
 */
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include <private/AccessibilityBridge.h>
#include <private/AccessibleTree.h>

using namespace BPrivate;

namespace {

const uint32 kMain = 1;
const uint32 kAlert = 2;

AccessibleNode
Node(int32 parent, uint32 role, const char* name, AccessibleStateSet states)
{
	AccessibleNode node;
	node.parent = parent;
	node.role = role;
	node.name = name;
	node.states = states;
	return node;
}

const AccessibleStateSet kShown = StateBit(kStateVisible)
	| StateBit(kStateShowing);

// The program's window: a frame, its panel, two combo boxes, the first
// with its menu of two items. `focus` is the combo box (0 or 1) that has
// the focus, or the highlighted item (2 or 3) of the open menu.
std::shared_ptr<AccessibleSnapshot>
MainWindow(int32 focus, const char* volume = "Mute", bool active = true)
{
	auto snapshot = std::make_shared<AccessibleSnapshot>();
	snapshot->window = kMain;
	bool open = focus >= 2;
	auto focused = [&](int32 which) {
		return which == focus ? StateBit(kStateFocused) : 0;
	};
	AccessibleStateSet menuShown = StateBit(kStateVisible)
		| (open ? StateBit(kStateShowing) : 0);
	snapshot->nodes = {
		Node(-1, kRoleFrame, "Belvo v0.6",
			kShown | (active ? StateBit(kStateActive) : 0)),
		Node(0, kRolePanel, "", kShown),
		Node(1, kRoleComboBox, volume, kShown | focused(0)),
		Node(2, kRoleMenu, "", menuShown),
		Node(3, kRoleRadioMenuItem, "Unity", menuShown | focused(2)
			| (focus == 2 ? StateBit(kStateSelected) : 0)),
		Node(3, kRoleRadioMenuItem, "Mute", menuShown | focused(3)
			| (focus == 3 ? StateBit(kStateSelected) : 0)),
		Node(1, kRoleComboBox, "A(440)", kShown | focused(1)),
	};
	snapshot->nodes[3].selection = true;
	return snapshot;
}

std::shared_ptr<AccessibleSnapshot>
AlertWindow()
{
	auto snapshot = std::make_shared<AccessibleSnapshot>();
	snapshot->window = kAlert;
	snapshot->nodes = {
		Node(-1, kRoleAlert, "Belvo", kShown | StateBit(kStateActive)),
		Node(0, kRoleLabel, "Belvo v0.6 10/05/01", kShown),
		Node(0, kRolePushButton, "by Ardley", kShown
			| StateBit(kStateFocused) | StateBit(kStateIsDefault)),
	};
	return snapshot;
}

AccessibleTree
Tree(std::vector<std::shared_ptr<const AccessibleSnapshot>> windows)
{
	return AccessibleTree("Belvo", std::move(windows));
}

// Each event as one line: "Member:detail detail1 source [data]".
std::vector<std::string>
Said(const std::vector<AccessibleEvent>& events)
{
	std::vector<std::string> lines;
	for (const AccessibleEvent& event : events) {
		if (event.kind == AccessibleEvent::kRemoved) {
			lines.push_back("RemoveAccessible " + event.data);
			continue;
		}
		std::string line = std::string(event.member) + ":" + event.detail
			+ " " + std::to_string(event.detail1) + " " + event.path;
		if (event.dataType != AccessibleEvent::kInt)
			line += " " + event.data;
		lines.push_back(line);
	}
	return lines;
}

std::string
P(uint32 window, int32 node)
{
	return AccessibleTree::PathFor(window, node);
}

} // namespace

TEST(AccessibleTreeTest, WindowsHangUnderTheApplicationWithTheirOwnPaths)
{
	AccessibleTree tree = Tree({ AlertWindow(), MainWindow(0) });

	ASSERT_EQ(tree.Count(), 1 + 7 + 3);
	EXPECT_EQ(tree.PathOf(AccessibleTree::kRoot),
		"/org/a11y/atspi/accessible/root");
	EXPECT_EQ(tree.Node(AccessibleTree::kRoot).role, kRoleApplication);
	EXPECT_EQ(tree.Node(AccessibleTree::kRoot).name, "Belvo");
	// The windows in the order of their keys, whatever order they came in.
	const std::vector<int32>& windows = tree.Children(AccessibleTree::kRoot);
	ASSERT_EQ(windows.size(), 2u);
	EXPECT_EQ(tree.PathOf(windows[0]), P(kMain, 0));
	EXPECT_EQ(tree.PathOf(windows[1]), P(kAlert, 0));
	EXPECT_EQ(tree.IndexInParent(windows[1]), 1);

	int32 mute = tree.Find(P(kMain, 5));
	ASSERT_GE(mute, 0);
	EXPECT_EQ(tree.Node(mute).name, "Mute");
	EXPECT_EQ(tree.IndexInParent(mute), 1);
	EXPECT_EQ(tree.PathOf(tree.Parent(mute)), P(kMain, 3));
	EXPECT_EQ(tree.Toplevel(mute), windows[0]);
	EXPECT_EQ(tree.WindowKey(mute), kMain);
	EXPECT_EQ(tree.NodeIndex(mute), 5);
	int32 note = tree.Find(P(kMain, 6));
	EXPECT_EQ(tree.PathOf(tree.Parent(note)), P(kMain, 1));
	EXPECT_EQ(tree.IndexInParent(note), 1);
	EXPECT_EQ(tree.Find("/org/a11y/atspi/accessible/9_9"), -1);
}

TEST(AccessibleTreeTest, ANodeWhoseParentIsNotBeforeItIsLeftOutWithItsChildren)
{
	auto snapshot = MainWindow(0);
	// The panel names itself as its parent, and the item a later node.
	snapshot->nodes[1].parent = 1;
	snapshot->nodes[5].parent = 6;
	AccessibleTree tree = Tree({ snapshot });

	EXPECT_EQ(tree.Count(), 2);
	EXPECT_EQ(tree.Children(tree.Find(P(kMain, 0))).size(), 0u);
	EXPECT_EQ(tree.Find(P(kMain, 2)), -1);
}

TEST(AccessibleTreeTest, StateSetsGoOverTheBusAsTwoWords)
{
	struct Case {
		AccessibleStateSet states;
		uint32 low;
		uint32 high;
	};
	const Case kCases[] = {
		{ 0, 0, 0 },
		{ StateBit(kStateChecked) | StateBit(kStateFocused),
			(1u << 4) | (1u << 12), 0 },
		{ StateBit(kStateVisible) | StateBit(kStateIsDefault)
			| StateBit(kStateHasPopup), 1u << 30, (1u << 7) | (1u << 10) },
	};
	for (const Case& test : kCases) {
		uint32 words[2];
		SplitStateSet(test.states, words);
		EXPECT_EQ(words[0], test.low);
		EXPECT_EQ(words[1], test.high);
	}
	EXPECT_EQ(StateBit(64), 0u);
	EXPECT_STREQ(AccessibleStateName(kStateIsDefault), "is-default");
	EXPECT_EQ(AccessibleStateName(kStateVisible + 1), nullptr);
}

TEST(AccessibleTreeTest, ScreenReadersHearWhatChangedFocusLast)
{
	struct Case {
		const char* what;
		std::shared_ptr<AccessibleSnapshot> before;
		std::shared_ptr<AccessibleSnapshot> after;
		std::vector<std::string> said;
	};
	const std::string kObject = "org.a11y.atspi.Event.Object";
	const Case kCases[] = {
		{ "nothing changed", MainWindow(0), MainWindow(0), {} },
		{ "Tab to the note field", MainWindow(0), MainWindow(1), {
			"StateChanged:focused 0 " + P(kMain, 2),
			"StateChanged:focused 1 " + P(kMain, 6) } },
		{ "the menu opens on its first item", MainWindow(0), MainWindow(2), {
			"StateChanged:showing 1 " + P(kMain, 3),
			"StateChanged:selected 1 " + P(kMain, 4),
			"StateChanged:showing 1 " + P(kMain, 4),
			"StateChanged:showing 1 " + P(kMain, 5),
			"StateChanged:focused 0 " + P(kMain, 2),
			"SelectionChanged: 0 " + P(kMain, 3),
			"StateChanged:focused 1 " + P(kMain, 4) } },
		{ "the highlight moves down", MainWindow(2), MainWindow(3), {
			"StateChanged:selected 1 " + P(kMain, 5),
			"StateChanged:focused 0 " + P(kMain, 4),
			"StateChanged:selected 0 " + P(kMain, 4),
			"SelectionChanged: 0 " + P(kMain, 3),
			"StateChanged:focused 1 " + P(kMain, 5) } },
		{ "a pick renames the field", MainWindow(0), MainWindow(0, "Unity"), {
			"PropertyChange:accessible-name 0 " + P(kMain, 2) + " Unity" } },
		{ "the window loses the desktop's focus", MainWindow(0),
			MainWindow(-1, "Mute", false), {
			"StateChanged:active 0 " + P(kMain, 0),
			"Deactivate: 0 " + P(kMain, 0) + " Belvo v0.6",
			"StateChanged:focused 0 " + P(kMain, 2) } },
	};
	for (const Case& test : kCases) {
		SCOPED_TRACE(test.what);
		EXPECT_EQ(Said(AccessibleTree::Changes(Tree({ test.before }),
			Tree({ test.after }))), test.said);
	}
}

TEST(AccessibleTreeTest, AnAlertIsAnnouncedWhenItComesAndLetGoOfWhenItGoes)
{
	AccessibleTree without = Tree({ MainWindow(-1, "Mute", false) });
	AccessibleTree with = Tree({ MainWindow(-1, "Mute", false),
		AlertWindow() });

	std::vector<std::string> opened = Said(AccessibleTree::Changes(without,
		with));
	std::vector<std::string> expected = {
		"ChildrenChanged:add 1 /org/a11y/atspi/accessible/root " + P(kAlert, 0),
		"Create: 0 " + P(kAlert, 0) + " Belvo",
		"StateChanged:showing 1 " + P(kAlert, 0),
		"StateChanged:visible 1 " + P(kAlert, 0),
		"StateChanged:active 1 " + P(kAlert, 0),
		"Activate: 0 " + P(kAlert, 0) + " Belvo",
		"StateChanged:focused 1 " + P(kAlert, 2),
	};
	EXPECT_EQ(opened, expected);

	std::vector<std::string> closed = Said(AccessibleTree::Changes(with,
		without));
	expected = {
		"StateChanged:active 0 " + P(kAlert, 0),
		"Deactivate: 0 " + P(kAlert, 0) + " Belvo",
		"Destroy: 0 " + P(kAlert, 0) + " Belvo",
		"ChildrenChanged:remove 1 /org/a11y/atspi/accessible/root "
			+ P(kAlert, 0),
		"RemoveAccessible " + P(kAlert, 0),
		"RemoveAccessible " + P(kAlert, 1),
		"RemoveAccessible " + P(kAlert, 2),
	};
	EXPECT_EQ(closed, expected);
}

// Where no bus can be reached, the bridge gives up and the windows stop
// publishing (they may go on publishing meanwhile), and the program's end
// collects its thread.
TEST(AccessibilityBridgeTest, WithoutABusItGivesUpAndTakesNoMore)
{
	setenv("AT_SPI_BUS_ADDRESS", "unix:path=/nonexistent/at-spi-bus", 1);
	unsetenv("NO_AT_BRIDGE");
	bool askedWindows = false;
	static bool* sAsked = &askedWindows;
	AccessibilityBridge::Start("Belvo", "0", nullptr,
		[] { *sAsked = true; });
	std::thread window([] {
		for (int i = 0; i < 2000 && AccessibilityBridge::IsListening(); i++) {
			AccessibilityBridge::Publish(MainWindow(i % 2), nullptr);
			std::this_thread::yield();
		}
	});
	window.join();
	for (int i = 0; i < 2000 && AccessibilityBridge::IsListening(); i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	EXPECT_FALSE(AccessibilityBridge::IsListening());
	EXPECT_FALSE(askedWindows);
	// The program's end finds the thread gone and collects it.
	AccessibilityBridge::Stop();
	EXPECT_NE(AccessibilityBridge::NewWindowKey(),
		AccessibilityBridge::NewWindowKey());
}
