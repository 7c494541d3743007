/*
 * Pop-up menus in menu fields, driven with injected mouse and keyboard
 * events on the headless display.
 */
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include <Menu.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <Message.h>
#include <PopUpMenu.h>
#include <View.h>
#include <Window.h>
#include <private/MenuLook.h>
#include <private/MenuWindow.h>
#include <private/WindowAccessible.h>

#include "../../support/KitTest.h"
#include "../../support/Watchdog.h"

using namespace std::chrono_literals;
using BPrivate::DisplayIdOf;
namespace Headless = BPrivate::Headless;
using KitTest::WaitUntil;

namespace {

const uint32 kPick = 'pick';
const char* const kLabels[] = { "Unity", "-3 dB", "", "Mute" };
const int32 kItemCount = 4;

// Receives the items' messages, as the program's control view does.
class TargetView : public BView {
public:
	TargetView(BRect frame)
		:
		BView(frame, "target", B_FOLLOW_ALL_SIDES, B_WILL_DRAW)
	{
		SetViewColor(255, 255, 255);
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what != kPick) {
			BView::MessageReceived(message);
			return;
		}
		int16 value = -1;
		message->FindInt16("value", &value);
		std::lock_guard<std::mutex> guard(fLock);
		fValues.push_back(value);
		fThreads.push_back(std::this_thread::get_id());
	}

	std::vector<int16> Values()
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fValues;
	}

	std::vector<std::thread::id> Threads()
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fThreads;
	}

private:
	std::mutex fLock;
	std::vector<int16> fValues;
	std::vector<std::thread::id> fThreads;
};

class MenuTest : public testing::Test {
protected:
	void SetUp() override
	{
		fWindow = new BWindow(BRect(100, 100, 230, 170), "menus",
			B_TITLED_WINDOW, B_NOT_RESIZABLE | B_WILL_ACCEPT_FIRST_CLICK);
		fTarget = new TargetView(fWindow->Bounds());
		fWindow->AddChild(fTarget);
		fMenu = new BPopUpMenu("Title");
		for (int32 i = 0; i < kItemCount; i++) {
			BMessage* message = new BMessage(kPick);
			message->AddInt16("value", int16(i * 10));
			BMenuItem* item = new BMenuItem(kLabels[i], message);
			item->SetTarget(fTarget);
			fMenu->AddItem(item);
		}
		fField = new BMenuField(BRect(46, 10, 140, 60), "", "", fMenu,
			B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
		fField->SetDivider(0);
		fTarget->AddChild(fField);
		fMarker = KitTest::AddMarker(fWindow);
		fWindow->Show();
		KitTest::Settle(fWindow, fMarker);
		fId = DisplayIdOf(fWindow);
		fRowHeight = BPrivate::MenuRowHeight(*be_plain_font);
	}

	void TearDown() override
	{
		KitTest::RemoveMarker(fWindow, fMarker);
		KitTest::QuitWindow(fWindow);
		// Whatever menu was left open goes with its field.
		EXPECT_TRUE(WaitUntil([] { return !Headless::FindPopup(nullptr); }));
	}

	void Settle() { KitTest::Settle(fWindow, fMarker); }

	std::string Shown()
	{
		fWindow->Lock();
		std::string shown = fField->ShownLabel();
		fWindow->Unlock();
		return shown;
	}

	std::vector<bool> Marks()
	{
		std::vector<bool> marks;
		fWindow->Lock();
		for (int32 i = 0; i < kItemCount; i++)
			marks.push_back(fMenu->ItemAt(i)->IsMarked());
		fWindow->Unlock();
		return marks;
	}

	bool WaitForPopup(Headless::WindowState* state)
	{
		return WaitUntil([&] { return Headless::FindPopup(state); });
	}

	bool WaitForNoPopup()
	{
		return WaitUntil([] { return !Headless::FindPopup(nullptr); });
	}

	bool WaitForValues(size_t count)
	{
		return WaitUntil([&] { return fTarget->Values().size() >= count; });
	}

	// The centre of an item's row, in the pop-up's own coordinates.
	BPoint RowCentre(int32 index)
	{
		return BPoint(20, 2 + index * fRowHeight + fRowHeight / 2);
	}

	// The same point in the main window's coordinates.
	BPoint InWindow(const Headless::WindowState& popup, BPoint point)
	{
		return BPoint(popup.frame.left + point.x - 100,
			popup.frame.top + point.y - 100);
	}

	BWindow* fWindow;
	TargetView* fTarget;
	BPopUpMenu* fMenu;
	BMenuField* fField;
	KitTest::Marker* fMarker;
	uint32 fId;
	float fRowHeight;
};

} // namespace

TEST_F(MenuTest, TheFieldShowsOneLineAtTheTopAndIsTransparentBelow)
{
	Watchdog watchdog(30s, "FieldLook");
	EXPECT_EQ(Shown(), "Title") << "until an item is marked, the title";
	fWindow->Lock();
	BRect control = fField->ControlFrame();
	fWindow->Unlock();
	EXPECT_EQ(control.left, 0);
	EXPECT_EQ(control.top, 0);
	EXPECT_GE(control.Height(), 14);
	EXPECT_LE(control.Height(), 24);

	// The control: its dark outline on its first row and column.
	uint32 outline = KitTest::Rgb(96, 96, 96);
	EXPECT_EQ(KitTest::Pixel(fWindow, 46, 10), outline);
	EXPECT_EQ(KitTest::Pixel(fWindow, 46, 10 + int32(control.bottom)),
		outline);
	// Below the control and right of it, the view behind shows.
	uint32 white = KitTest::Rgb(255, 255, 255);
	EXPECT_EQ(KitTest::Pixel(fWindow, 60, 10 + int32(control.bottom) + 2),
		white);
	EXPECT_EQ(KitTest::Pixel(fWindow, 60, 59), white);
	EXPECT_EQ(KitTest::Pixel(fWindow, 47 + int32(control.right) + 1, 15),
		white);
	// The title is drawn inside: some dark pixels in the control.
	int dark = 0;
	for (int32 x = 47; x < 46 + int32(control.right); x++) {
		for (int32 y = 11; y < 10 + int32(control.bottom); y++) {
			uint32 pixel = KitTest::Pixel(fWindow, x, y);
			if ((pixel & 0xff) < 80)
				dark++;
		}
	}
	EXPECT_GT(dark, 10);
}

TEST_F(MenuTest, PressDragReleaseChoosesTheItemUnderThePointer)
{
	Watchdog watchdog(30s, "PressDragRelease");
	Headless::MouseDown(fId, 50, 15);
	Headless::WindowState popup;
	ASSERT_TRUE(WaitForPopup(&popup));
	// It opens right below its field.
	fWindow->Lock();
	BRect control = fField->ConvertToScreen(fField->ControlFrame());
	fWindow->Unlock();
	EXPECT_EQ(popup.frame.left, control.left);
	EXPECT_EQ(popup.frame.top, control.bottom + 1);
	EXPECT_EQ(popup.frame.Height() + 1, kItemCount * fRowHeight + 4)
		<< "every row, the empty one too, has the same height";

	BPoint over = InWindow(popup, RowCentre(1));
	Headless::MouseMoved(fId, over.x, over.y, B_PRIMARY_MOUSE_BUTTON);
	Headless::MouseUp(fId, over.x, over.y);
	ASSERT_TRUE(WaitForValues(1));
	EXPECT_EQ(fTarget->Values(), std::vector<int16>{ 10 });
	EXPECT_TRUE(WaitForNoPopup());
	EXPECT_EQ(Shown(), "-3 dB");
	EXPECT_EQ(Marks(), (std::vector<bool>{ false, true, false, false }));
}

TEST_F(MenuTest, ClickThenClickChoosesAndTheMessageReachesTheTargetsThread)
{
	Watchdog watchdog(30s, "ClickClick");
	Headless::MouseDown(fId, 50, 15);
	Headless::MouseUp(fId, 50, 15);
	Headless::WindowState popup;
	ASSERT_TRUE(WaitForPopup(&popup));
	Settle();
	EXPECT_TRUE(Headless::FindPopup(nullptr))
		<< "released over the field, the menu stays open";

	BPoint row = RowCentre(3);
	Headless::MouseMoved(popup.id, row.x, row.y);
	Headless::MouseDown(popup.id, row.x, row.y);
	Headless::MouseUp(popup.id, row.x, row.y);
	ASSERT_TRUE(WaitForValues(1));
	EXPECT_EQ(fTarget->Values(), std::vector<int16>{ 30 });
	EXPECT_EQ(Shown(), "Mute");
	EXPECT_NE(fTarget->Threads().front(), std::this_thread::get_id());
	EXPECT_TRUE(WaitForNoPopup());
}

TEST_F(MenuTest, ChoosingTheMarkedItemAgainStillSendsItsMessage)
{
	Watchdog watchdog(30s, "MarkedAgain");
	for (int round = 0; round < 2; round++) {
		Headless::MouseDown(fId, 50, 15);
		Headless::MouseUp(fId, 50, 15);
		Headless::WindowState popup;
		ASSERT_TRUE(WaitForPopup(&popup));
		BPoint row = RowCentre(0);
		Headless::MouseDown(popup.id, row.x, row.y);
		Headless::MouseUp(popup.id, row.x, row.y);
		ASSERT_TRUE(WaitForValues(size_t(round + 1)));
		ASSERT_TRUE(WaitForNoPopup());
	}
	EXPECT_EQ(fTarget->Values(), (std::vector<int16>{ 0, 0 }));
	EXPECT_EQ(Marks(), (std::vector<bool>{ true, false, false, false }));
}

TEST_F(MenuTest, RadioModeKeepsOneMarkAndTheEmptyItemEmptiesTheLabel)
{
	Watchdog watchdog(30s, "RadioAndEmpty");
	for (int32 index : { 0, 2 }) {
		Headless::MouseDown(fId, 50, 15);
		Headless::MouseUp(fId, 50, 15);
		Headless::WindowState popup;
		ASSERT_TRUE(WaitForPopup(&popup));
		BPoint row = RowCentre(index);
		Headless::MouseDown(popup.id, row.x, row.y);
		Headless::MouseUp(popup.id, row.x, row.y);
		ASSERT_TRUE(WaitForNoPopup());
	}
	ASSERT_TRUE(WaitForValues(2));
	EXPECT_EQ(fTarget->Values(), (std::vector<int16>{ 0, 20 }));
	EXPECT_EQ(Marks(), (std::vector<bool>{ false, false, true, false }));
	EXPECT_EQ(Shown(), "");
}

TEST_F(MenuTest, AClickOutsideOrEscapeClosesWithoutChoosing)
{
	Watchdog watchdog(30s, "Dismiss");
	Headless::MouseDown(fId, 50, 15);
	Headless::MouseUp(fId, 50, 15);
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::MouseDown(fId, 10, 60);
	Headless::MouseUp(fId, 10, 60);
	EXPECT_TRUE(WaitForNoPopup());

	Headless::MouseDown(fId, 50, 15);
	Headless::MouseUp(fId, 50, 15);
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::KeyDown(fId, "\x1b");
	EXPECT_TRUE(WaitForNoPopup());

	// Pressed on the field, dragged away from everything, released.
	Headless::MouseDown(fId, 50, 15);
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::MouseMoved(fId, 5, 60, B_PRIMARY_MOUSE_BUTTON);
	Headless::MouseUp(fId, 5, 60);
	EXPECT_TRUE(WaitForNoPopup());

	Settle();
	EXPECT_TRUE(fTarget->Values().empty());
	EXPECT_EQ(Shown(), "Title");
}

TEST_F(MenuTest, TheKeyboardOpensMovesChoosesAndCloses)
{
	Watchdog watchdog(30s, "Keyboard");
	Headless::KeyDown(fId, "\t");
	Settle();
	fWindow->Lock();
	EXPECT_TRUE(fField->IsFocus());
	fWindow->Unlock();

	// Space opens on the first item (nothing marked yet); Down, Enter.
	Headless::KeyDown(fId, " ");
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::KeyDown(fId, "\x1f");
	Headless::KeyDown(fId, "\n");
	ASSERT_TRUE(WaitForValues(1));
	EXPECT_EQ(fTarget->Values().back(), 10);
	ASSERT_TRUE(WaitForNoPopup());

	// Enter opens on the marked item; Up twice goes round to the last.
	Headless::KeyDown(fId, "\n");
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::KeyDown(fId, "\x1e");
	Headless::KeyDown(fId, "\x1e");
	Headless::KeyDown(fId, "\n");
	ASSERT_TRUE(WaitForValues(2));
	EXPECT_EQ(fTarget->Values().back(), 30) << "Up from the first wraps";
	ASSERT_TRUE(WaitForNoPopup());

	// Down opens too; Home, End, and a letter.
	Headless::KeyDown(fId, "\x1f");
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::KeyDown(fId, "\x01");   // Home
	Headless::KeyDown(fId, "m");      // "Mute"
	Headless::KeyDown(fId, "\n");
	ASSERT_TRUE(WaitForValues(3));
	EXPECT_EQ(fTarget->Values().back(), 30);
	ASSERT_TRUE(WaitForNoPopup());

	Headless::KeyDown(fId, " ");
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::KeyDown(fId, "\x04");   // End
	Headless::KeyDown(fId, "u");      // back round to "Unity"
	Headless::KeyDown(fId, "\n");
	ASSERT_TRUE(WaitForValues(4));
	EXPECT_EQ(fTarget->Values().back(), 0);
	ASSERT_TRUE(WaitForNoPopup());

	// Escape closes and leaves the focus where it was.
	Headless::KeyDown(fId, " ");
	ASSERT_TRUE(WaitForPopup(nullptr));
	Headless::KeyDown(fId, "\x1b");
	ASSERT_TRUE(WaitForNoPopup());
	Settle();
	EXPECT_EQ(fTarget->Values().size(), 4u);
	fWindow->Lock();
	EXPECT_TRUE(fField->IsFocus());
	fWindow->Unlock();
	EXPECT_EQ(Shown(), "Unity");
}

TEST_F(MenuTest, APressIntoTheInactiveWindowOpensTheMenuAtOnce)
{
	Watchdog watchdog(30s, "FirstClick");
	Headless::Activate(fId, false);
	Settle();
	Headless::MouseDown(fId, 50, 15);
	Headless::MouseUp(fId, 50, 15);
	EXPECT_TRUE(WaitForPopup(nullptr));
}

// Some window managers, and some toolkits under a program, give a shown menu
// the keyboard: the menu must stay open and answer the keys it gets, and
// the keyboard go back to the window when it closes.
TEST_F(MenuTest, AMenuGivenTheKeyboardStaysOpenAndHandsItBack)
{
	Watchdog watchdog(30s, "PopupFocus");
	Headless::KeyDown(fId, "\t");
	Headless::KeyDown(fId, " ");
	Headless::WindowState popup;
	ASSERT_TRUE(WaitForPopup(&popup));
	Headless::Activate(popup.id, true);
	Settle();
	ASSERT_TRUE(Headless::FindPopup(nullptr)) << "the menu closed";
	fWindow->Lock();
	EXPECT_TRUE(fWindow->IsActive());
	fWindow->Unlock();

	Headless::KeyDown(popup.id, "\x1f");
	Headless::KeyDown(popup.id, "\n");
	ASSERT_TRUE(WaitForValues(1));
	ASSERT_TRUE(WaitForNoPopup());
	EXPECT_TRUE(WaitUntil([&] {
		for (const Headless::WindowState& window : Headless::Windows()) {
			if (window.id == fId)
				return window.active;
		}
		return false;
	})) << "the keyboard stayed with the closed menu";

	// Given the keyboard again and then losing it to another program, the
	// menu's window has lost it: the menu closes.
	Headless::KeyDown(fId, " ");
	ASSERT_TRUE(WaitForPopup(&popup));
	Headless::Activate(popup.id, true);
	Headless::Activate(popup.id, false);
	EXPECT_TRUE(WaitForNoPopup());
	Settle();
	fWindow->Lock();
	EXPECT_FALSE(fWindow->IsActive());
	fWindow->Unlock();
	EXPECT_EQ(fTarget->Values().size(), 1u);
}

TEST(MenuPlacementTest, AMenuNearTheScreensEdgeStaysOnTheScreen)
{
	std::vector<BPrivate::MenuRow> rows(13);
	BRect screen(0, 0, 1023, 767);
	float rowHeight = BPrivate::MenuRowHeight(*be_plain_font);
	BRect low = BPrivate::MenuWindow::FrameFor(rows,
		BRect(1000, 740, 1060, 757), screen);
	EXPECT_TRUE(screen.Contains(low));
	EXPECT_EQ(low.bottom, 739) << "opens above a field near the bottom";
	EXPECT_EQ(low.Height() + 1, 13 * rowHeight + 4);
	BRect high = BPrivate::MenuWindow::FrameFor(rows,
		BRect(146, 110, 230, 127), screen);
	EXPECT_EQ(high.LeftTop(), BPoint(146, 128));
}

// What a screen reader reads of the field, and its actions: "press" opens
// the menu as Space does, "click" on an item chooses it as Enter does.
TEST_F(MenuTest, AScreenReaderReadsTheFieldAndActsThroughIt)
{
	Watchdog watchdog(30s, "Accessible");
	using namespace BPrivate;
	auto snapshot = [this] {
		fWindow->Lock();
		std::shared_ptr<AccessibleSnapshot> taken
			= AccessibleViews::Snapshot(fWindow);
		fWindow->Unlock();
		return taken;
	};
	auto act = [this](int32 node) {
		BMessage action(kMsgAccessibleAction);
		action.AddInt32("node", node);
		action.AddInt32("action", 0);
		fWindow->PostMessage(&action);
		Settle();
	};
	const int32 kCombo = 2;
	const int32 kMenu = 3;
	const int32 kFirstItem = 4;

	std::shared_ptr<AccessibleSnapshot> before = snapshot();
	ASSERT_EQ(before->nodes.size(), size_t(kFirstItem + kItemCount));
	EXPECT_EQ(before->nodes[0].role, kRoleFrame);
	EXPECT_EQ(before->nodes[0].name, "menus");
	EXPECT_EQ(before->nodes[1].role, kRolePanel);
	const AccessibleNode& combo = before->nodes[kCombo];
	EXPECT_EQ(combo.role, kRoleComboBox);
	EXPECT_EQ(combo.name, "Title") << "what the field shows";
	EXPECT_EQ(combo.actions, std::vector<std::string>{ "press" });
	EXPECT_EQ(combo.states & StateBit(kStateExpanded), 0u);
	EXPECT_NE(combo.states & StateBit(kStateFocusable), 0u);
	EXPECT_EQ(before->nodes[kMenu].states & StateBit(kStateShowing), 0u);
	for (int32 i = 0; i < kItemCount; i++) {
		const AccessibleNode& item = before->nodes[kFirstItem + i];
		EXPECT_EQ(item.parent, kMenu);
		EXPECT_EQ(item.role, kRoleRadioMenuItem);
		EXPECT_EQ(item.name, kLabels[i]) << "the empty row too";
		EXPECT_EQ(item.states & StateBit(kStateChecked), 0u);
	}
	// The window's node numbers are the same from one snapshot to the next.
	EXPECT_TRUE(*snapshot() == *before);

	act(kCombo);
	Headless::WindowState popup;
	ASSERT_TRUE(WaitForPopup(&popup)) << "\"press\" opens the menu";
	std::shared_ptr<AccessibleSnapshot> open = snapshot();
	EXPECT_NE(open->nodes[kCombo].states & StateBit(kStateExpanded), 0u);
	EXPECT_NE(open->nodes[kMenu].states & StateBit(kStateShowing), 0u);
	AccessibleStateSet highlighted = StateBit(kStateSelected)
		| StateBit(kStateFocused);
	EXPECT_EQ(open->nodes[kFirstItem].states & highlighted, highlighted)
		<< "opened as by Space, on the first item";
	// The items lie where the pop-up's rows are.
	EXPECT_EQ(open->nodes[kFirstItem + 1].frame.x, int32(popup.frame.left) + 2);
	EXPECT_EQ(open->nodes[kFirstItem + 1].frame.y,
		int32(popup.frame.top + 2 + fRowHeight));

	act(kFirstItem + 3);
	ASSERT_TRUE(WaitForValues(1)) << "\"click\" chooses the item";
	EXPECT_EQ(fTarget->Values(), std::vector<int16>{ 30 });
	EXPECT_TRUE(WaitForNoPopup());
	std::shared_ptr<AccessibleSnapshot> after = snapshot();
	EXPECT_EQ(after->nodes[kCombo].name, "Mute");
	EXPECT_NE(after->nodes[kFirstItem + 3].states & StateBit(kStateChecked),
		0u);
	EXPECT_EQ(after->nodes[kMenu].states & StateBit(kStateShowing), 0u);
}
