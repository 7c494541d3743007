/*
 * A window's accessible objects, read from its views on the window's own
 * thread, and a screen reader's actions carried out there as the user's
 * keys would be.
 *
 * Nodes are numbered in the order the views are walked, which is the same
 * for every snapshot of a window whose views stay as they are (the kits'
 * windows build their views once): a node's number names the same object
 * from one snapshot to the next, and an action names its node by it.
 */
#include <private/WindowAccessible.h>

#include <cctype>
#include <cmath>
#include <cerrno>
#include <string>

#include <Alert.h>
#include <Application.h>
#include <Menu.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <Message.h>
#include <Messenger.h>
#include <View.h>
#include <Window.h>
#include <private/AccessibilityBridge.h>
#include <private/Canvas.h>
#include <private/Display.h>
#include <private/MenuWindow.h>
#include <private/WindowPrivate.h>
#include <private/WindowRegistry.h>

namespace BPrivate {

namespace {

const char* const kPress = "press";
const char* const kClick = "click";

// What a node stands for, to carry out its actions.
struct Target {
	enum Kind {
		kNone,
		kField,
		kItem,
		kButton,
	};

	Kind kind = kNone;
	BView* view = nullptr;
	int32 index = -1;
};

class Builder {
public:
	Builder(BWindow* window, PixelScale scale)
		:
		fWindow(window),
		fScale(scale),
		fSnapshot(std::make_shared<AccessibleSnapshot>())
	{
		// Where the display cannot tell where windows are (Wayland), the
		// screen a reader is told of starts at the window's corner.
		Display* display = Display::Default();
		if (display != nullptr && !display->KnowsWindowPositions())
			fOrigin = window->Frame().LeftTop();
	}

	std::shared_ptr<AccessibleSnapshot> Build(uint32 key)
	{
		fSnapshot->window = key;
		BAlert* alert = dynamic_cast<BAlert*>(fWindow);
		AccessibleNode window;
		window.role = alert != nullptr ? kRoleAlert : kRoleFrame;
		window.name = fWindow->Title();
		if (window.name.empty()) {
			// As the window manager captions it: the program's name.
			window.name = program_invocation_short_name;
			if (!window.name.empty())
				window.name[0] = char(toupper((unsigned char)window.name[0]));
		}
		window.states = Shown() | StateBit(kStateEnabled)
			| StateBit(kStateSensitive);
		if (fWindow->IsActive())
			window.states |= StateBit(kStateActive);
		window.frame = Screen(fWindow->Frame());
		Add(window, Target());

		if (alert != nullptr)
			_AddAlert(alert);
		else {
			for (int32 i = 0; i < fWindow->CountChildren(); i++)
				_AddView(fWindow->ChildAt(i), 0);
		}
		return fSnapshot;
	}

	const std::vector<Target>& Targets() const { return fTargets; }

private:
	int32 Add(const AccessibleNode& node, const Target& target)
	{
		fSnapshot->nodes.push_back(node);
		fTargets.push_back(target);
		return int32(fSnapshot->nodes.size()) - 1;
	}

	AccessibleStateSet Shown() const
	{
		return StateBit(kStateVisible)
			| (fWindow->IsHidden() ? 0 : StateBit(kStateShowing));
	}

	// A rectangle on the screen in the kits' pixels, in the device's:
	// from the first device pixel of its first pixel to the last of its
	// last.
	AccessibleRect Screen(BRect frame) const
	{
		AccessibleRect rect;
		if (!frame.IsValid())
			return rect;
		frame.OffsetBy(-fOrigin.x, -fOrigin.y);
		int32 left = int32(std::floor(frame.left));
		int32 top = int32(std::floor(frame.top));
		rect.x = fScale.Start(left);
		rect.y = fScale.Start(top);
		rect.width = fScale.Start(int64(std::floor(frame.right)) + 1) - rect.x;
		rect.height = fScale.Start(int64(std::floor(frame.bottom)) + 1)
			- rect.y;
		return rect;
	}

	bool HasFocus(BView* view) const
	{
		return fWindow->IsActive() && view->IsFocus();
	}

	void _AddView(BView* view, int32 parent)
	{
		if (view->IsHidden())
			return;
		if (BMenuField* field = dynamic_cast<BMenuField*>(view)) {
			_AddField(field, parent);
			return;
		}
		// A view that holds others groups them; one that holds nothing
		// and is no control of the kits' has nothing to say.
		if (view->CountChildren() == 0)
			return;
		AccessibleNode panel;
		panel.parent = parent;
		panel.role = kRolePanel;
		panel.states = Shown() | StateBit(kStateEnabled)
			| StateBit(kStateSensitive);
		panel.frame = Screen(view->ConvertToScreen(view->Bounds()));
		int32 node = Add(panel, Target());
		for (int32 i = 0; i < view->CountChildren(); i++)
			_AddView(view->ChildAt(i), node);
	}

	void _AddField(BMenuField* field, int32 parent)
	{
		bool open = field->IsMenuOpen();
		int32 highlight = open ? AccessibleViews::MenuHighlight(field) : -1;
		AccessibleStateSet enabled = field->IsEnabled()
			? StateBit(kStateEnabled) | StateBit(kStateSensitive) : 0;

		AccessibleNode combo;
		combo.parent = parent;
		combo.role = kRoleComboBox;
		combo.name = field->ShownLabel();
		combo.states = Shown() | enabled | StateBit(kStateExpandable)
			| StateBit(kStateHasPopup);
		if ((field->Flags() & B_NAVIGABLE) != 0)
			combo.states |= StateBit(kStateFocusable);
		// While the menu shows a highlighted item, that item has the
		// focus; the field has it again once the menu closes.
		if (HasFocus(field) && highlight < 0)
			combo.states |= StateBit(kStateFocused);
		if (open)
			combo.states |= StateBit(kStateExpanded);
		combo.frame = Screen(field->ConvertToScreen(field->ControlFrame()));
		combo.actions.push_back(kPress);
		Target fieldTarget;
		fieldTarget.kind = Target::kField;
		fieldTarget.view = field;
		int32 comboNode = Add(combo, fieldTarget);

		BMenu* menu = field->Menu();
		if (menu == nullptr)
			return;
		AccessibleStateSet showing = StateBit(kStateVisible)
			| (open && !fWindow->IsHidden() ? StateBit(kStateShowing) : 0);
		AccessibleNode list;
		list.parent = comboNode;
		list.role = kRoleMenu;
		list.states = showing | enabled;
		list.selection = true;
		if (open)
			list.frame = Screen(AccessibleViews::MenuFrame(field));
		int32 menuNode = Add(list, Target());

		for (int32 i = 0; i < menu->CountItems(); i++) {
			BMenuItem* item = menu->ItemAt(i);
			AccessibleNode row;
			row.parent = menuNode;
			row.role = kRoleRadioMenuItem;
			row.name = item->Label();
			row.states = showing | StateBit(kStateSelectable)
				| StateBit(kStateFocusable) | StateBit(kStateCheckable);
			if (item->IsEnabled()) {
				row.states |= StateBit(kStateEnabled)
					| StateBit(kStateSensitive);
			}
			if (item->IsMarked())
				row.states |= StateBit(kStateChecked);
			if (i == highlight) {
				row.states |= StateBit(kStateSelected)
					| StateBit(kStateFocused);
			}
			if (open)
				row.frame = Screen(MenuWindow::RowFrame(
					AccessibleViews::MenuFrame(field), i));
			row.actions.push_back(kClick);
			Target itemTarget;
			itemTarget.kind = Target::kItem;
			itemTarget.view = field;
			itemTarget.index = i;
			Add(row, itemTarget);
		}
	}

	// An alert: its text, line by line, and its buttons, which are the
	// views in it that take the focus. Until one of them has it, the
	// default button (the last) is where Enter goes, and a screen reader
	// is told it has the focus.
	void _AddAlert(BAlert* alert)
	{
		std::string text = alert->Text();
		size_t start = 0;
		while (start <= text.size()) {
			size_t end = text.find('\n', start);
			std::string line = text.substr(start,
				end == std::string::npos ? std::string::npos : end - start);
			if (!line.empty()) {
				AccessibleNode label;
				label.parent = 0;
				label.role = kRoleLabel;
				label.name = line;
				label.states = Shown() | StateBit(kStateEnabled)
					| StateBit(kStateSensitive);
				label.frame = fSnapshot->nodes[0].frame;
				Add(label, Target());
			}
			if (end == std::string::npos)
				break;
			start = end + 1;
		}

		std::vector<BView*> buttons;
		for (int32 i = 0; i < alert->CountChildren(); i++)
			_CollectNavigable(alert->ChildAt(i), &buttons);
		BView* focus = alert->CurrentFocus();
		bool buttonFocused = false;
		for (BView* button : buttons)
			buttonFocused = buttonFocused || button == focus;
		for (size_t i = 0; i < buttons.size(); i++) {
			BView* view = buttons[i];
			bool isDefault = i + 1 == buttons.size();
			AccessibleNode button;
			button.parent = 0;
			button.role = kRolePushButton;
			button.name = view->Name() != nullptr ? view->Name() : "";
			button.states = Shown() | StateBit(kStateEnabled)
				| StateBit(kStateSensitive) | StateBit(kStateFocusable);
			if (isDefault)
				button.states |= StateBit(kStateIsDefault);
			if (alert->IsActive()
				&& (view == focus || (!buttonFocused && isDefault)))
				button.states |= StateBit(kStateFocused);
			button.frame = Screen(view->ConvertToScreen(view->Bounds()));
			button.actions.push_back(kClick);
			Target target;
			target.kind = Target::kButton;
			target.view = view;
			target.index = int32(i);
			Add(button, target);
		}
	}

	static void _CollectNavigable(BView* view, std::vector<BView*>* list)
	{
		if (view->IsHidden())
			return;
		if ((view->Flags() & B_NAVIGABLE) != 0)
			list->push_back(view);
		for (int32 i = 0; i < view->CountChildren(); i++)
			_CollectNavigable(view->ChildAt(i), list);
	}

	BWindow* fWindow;
	BPoint fOrigin;
	PixelScale fScale;
	std::shared_ptr<AccessibleSnapshot> fSnapshot;
	std::vector<Target> fTargets;
};

// Posts a screen reader's action to the window, where it is carried out.
class WindowActionSink : public AccessibleActionSink {
public:
	explicit WindowActionSink(BWindow* window)
		:
		fWindow(nullptr, window)
	{
	}

	bool Perform(int32 node, int32 action) override
	{
		BMessage message(kMsgAccessibleAction);
		message.AddInt32("node", node);
		message.AddInt32("action", action);
		return fWindow.SendMessage(&message) == B_OK;
	}

private:
	BMessenger fWindow;
};

} // namespace

std::shared_ptr<AccessibleSnapshot>
AccessibleViews::Snapshot(BWindow* window)
{
	if (window == nullptr || dynamic_cast<MenuWindow*>(window) != nullptr)
		return nullptr;
	return Builder(window, window->_Scale()).Build(window->fAccessibleKey);
}

void
AccessibleViews::Publish(BWindow* window)
{
	if (!AccessibilityBridge::IsListening() || !window->fShownOnce)
		return;
	std::shared_ptr<AccessibleSnapshot> snapshot = Snapshot(window);
	if (snapshot == nullptr)
		return;
	AccessibilityBridge::Publish(snapshot,
		std::make_shared<WindowActionSink>(window));
}

bool
AccessibleViews::Perform(BWindow* window, BMessage* message)
{
	if (message->what == kMsgAccessiblePublish)
		return true;
	if (message->what != kMsgAccessibleAction)
		return false;
	int32 node = -1;
	int32 action = 0;
	if (message->FindInt32("node", &node) != B_OK
		|| message->FindInt32("action", &action) != B_OK)
		return true;
	Builder builder(window, window->_Scale());
	builder.Build(window->fAccessibleKey);
	const std::vector<Target>& targets = builder.Targets();
	if (node < 0 || size_t(node) >= targets.size())
		return true;
	const Target& target = targets[node];
	if (action == AccessibleActionSink::kGrabFocus) {
		if (target.kind == Target::kField || target.kind == Target::kButton)
			target.view->MakeFocus(true);
		return true;
	}
	if (action != 0)
		return true;
	switch (target.kind) {
		case Target::kField:
		{
			// As Space does: the menu opens on the marked item, or closes.
			BMenuField* field = static_cast<BMenuField*>(target.view);
			if (field->IsMenuOpen()) {
				field->_Close();
				break;
			}
			if (!field->IsFocus())
				field->MakeFocus(true);
			field->_Open(true);
			break;
		}
		case Target::kItem:
		{
			// As Enter does on the item: the menu closes and the item is
			// chosen.
			BMenuField* field = static_cast<BMenuField*>(target.view);
			field->_Close();
			field->_Chosen(target.index);
			break;
		}
		case Target::kButton:
		{
			BMessage pressed(kAlertButtonPressed);
			pressed.AddInt32("which", target.index);
			window->PostMessage(&pressed);
			break;
		}
		case Target::kNone:
			break;
	}
	return true;
}

BRect
AccessibleViews::MenuFrame(const BMenuField* field)
{
	return field->fMenuFrame;
}

int32
AccessibleViews::MenuHighlight(const BMenuField* field)
{
	return field->fHighlight;
}

void
AccessibleViews::StartListening()
{
	// Named as the window manager names the program's windows.
	std::string name = program_invocation_short_name;
	if (!name.empty())
		name[0] = char(toupper((unsigned char)name[0]));
	AccessibilityBridge::Start(name, BELVO_KITS_VERSION, [] {
		// The first frame goes out before the bridge does anything.
		if (Display* display = Display::Default())
			display->Sync();
	}, [] {
		for (const BMessenger& window : WindowRegistry::Windows())
			window.SendMessage(kMsgAccessiblePublish);
	});
}

} // namespace BPrivate
