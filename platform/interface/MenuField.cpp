/*
 * The menu field: its control, and the opening, tracking and closing of
 * its menu's pop-up window.
 */
#include <MenuField.h>

#include <algorithm>
#include <cmath>

#include <Looper.h>
#include <Menu.h>
#include <MenuItem.h>
#include <Message.h>
#include <Window.h>
#include <private/Display.h>
#include <private/MenuLook.h>
#include <private/MenuWindow.h>
#include <private/WindowPrivate.h>

using namespace BPrivate;

namespace {

// Space left of the text and, right of it, for the pop-up mark.
const float kTextInset = 6;
const float kMarkSpace = 22;

} // namespace

BMenuField::BMenuField(BRect frame, const char* name, const char* label,
	BMenu* menu, uint32 resizingMode, uint32 flags)
	:
	BView(frame, name, resizingMode, flags),
	fMenu(menu),
	fLabel(label != nullptr ? label : ""),
	fDivider(0),
	fEnabled(true),
	fPressedOnControl(false),
	fDragged(false),
	fGeneration(0),
	fWidestLabel(-1),
	fMenuOpen(false),
	fHighlight(-1)
{
	// Only the control is drawn; the rest of the frame shows what lies
	// beneath.
	SetViewColor(B_TRANSPARENT_COLOR);
	if (!fLabel.empty())
		fDivider = std::floor(StringWidth(fLabel.c_str()) + 6);
	if (fMenu != nullptr)
		fMenu->fField = this;
}

BMenuField::~BMenuField()
{
	_Close();
	if (fMenu != nullptr) {
		fMenu->fField = nullptr;
		delete fMenu;
	}
}

void
BMenuField::AttachedToWindow()
{
	BView::AttachedToWindow();
}

void
BMenuField::DetachedFromWindow()
{
	_Close();
	BView::DetachedFromWindow();
}

void
BMenuField::SetLabel(const char* label)
{
	fLabel = label != nullptr ? label : "";
	Invalidate();
}

void
BMenuField::SetDivider(float divider)
{
	fDivider = std::max(0.0f, divider);
	Invalidate();
}

void
BMenuField::SetEnabled(bool enabled)
{
	if (enabled == fEnabled)
		return;
	fEnabled = enabled;
	if (!enabled)
		_Close();
	Invalidate();
}

const char*
BMenuField::ShownLabel() const
{
	if (fMenu == nullptr)
		return "";
	if (fMenu->IsLabelFromMarked()) {
		if (BMenuItem* marked = fMenu->FindMarked())
			return marked->Label();
	}
	return fMenu->Name() != nullptr ? fMenu->Name() : "";
}

BRect
BMenuField::ControlFrame() const
{
	// Wide enough for the longest label it can show, so that it keeps its
	// size when the choice changes.
	if (fWidestLabel < 0) {
		float widest = 0;
		if (fMenu != nullptr) {
			if (fMenu->Name() != nullptr)
				widest = StringWidth(fMenu->Name());
			for (int32 i = 0; i < fMenu->CountItems(); i++) {
				widest = std::max(widest,
					StringWidth(fMenu->ItemAt(i)->Label()));
			}
		}
		// Measured once, and again only when the menu's labels change.
		fWidestLabel = widest;
	}
	BFont font;
	GetFont(&font);
	float width = std::ceil(fWidestLabel + kTextInset + kMarkSpace);
	BRect bounds = Bounds();
	return BRect(fDivider, 0, std::min(bounds.right, fDivider + width - 1),
		std::min(bounds.bottom, ControlHeight(font) - 1));
}

void
BMenuField::Draw(BRect)
{
	BFont font;
	GetFont(&font);
	BRect control = ControlFrame();
	if (!fLabel.empty() && fDivider > 0) {
		SetHighColor(fEnabled ? kText : kDisabledText);
		DrawString(fLabel.c_str(), BPoint(0,
			CenteredBaseline(font, control.top, control.bottom)));
	}
	if (!control.IsValid())
		return;

	bool open = IsMenuOpen();
	DrawBevelBox(this, control, open ? kControlPressed : kControlFace, open);

	const char* shown = ShownLabel();
	float baseline = CenteredBaseline(font, control.top, control.bottom);
	float textLeft = control.left + kTextInset;
	SetHighColor(fEnabled ? kText : kDisabledText);
	DrawString(shown, BPoint(textLeft, baseline));
	DrawPopUpMark(this, control.right - 5, control.top, control.bottom,
		fEnabled ? kText : kDisabledText);

	// The keyboard focus: a blue line under the label, as BeOS marks it.
	if (IsFocus() && Window() != nullptr && Window()->IsActive()) {
		float width = std::max(StringWidth(shown), 8.0f);
		SetHighColor(ui_color(B_KEYBOARD_NAVIGATION_COLOR));
		StrokeLine(BPoint(textLeft - 1, baseline + 2),
			BPoint(textLeft + width, baseline + 2));
	}
}

void
BMenuField::MouseDown(BPoint where)
{
	if (IsMenuOpen()) {
		// While the menu is open every press in the window comes here: one
		// on the control or anywhere else closes the menu without a choice.
		_Close();
		return;
	}
	if (!fEnabled || fMenu == nullptr || !ControlFrame().Contains(where))
		return;
	fPressedOnControl = true;
	fDragged = false;
	SetMouseEventMask(B_POINTER_EVENTS);
	_Open(false);
}

void
BMenuField::MouseMoved(BPoint where, uint32, const BMessage*)
{
	if (!IsMenuOpen() || !fPressedOnControl)
		return;
	uint32 buttons = 0;
	GetMouse(nullptr, &buttons);
	if (buttons == 0)
		return;
	if (!ControlFrame().Contains(where))
		fDragged = true;
	BMessage track(kMenuTrack);
	track.AddPoint("where", ConvertToScreen(where));
	track.AddBool("up", false);
	_PostToMenu(&track);
}

void
BMenuField::MouseUp(BPoint where)
{
	if (!fPressedOnControl)
		return;
	fPressedOnControl = false;
	if (!IsMenuOpen())
		return;
	BMessage track(kMenuTrack);
	track.AddPoint("where", ConvertToScreen(where));
	track.AddBool("up", true);
	track.AddBool("on_field", ControlFrame().Contains(where));
	_PostToMenu(&track);
}

void
BMenuField::KeyDown(const char* bytes, int32 numBytes)
{
	if (numBytes <= 0)
		return;
	if (IsMenuOpen()) {
		if (bytes[0] == B_ESCAPE || bytes[0] == B_TAB) {
			_Close();
			return;
		}
		BMessage key(kMenuKey);
		key.AddString("bytes", bytes);
		_PostToMenu(&key);
		return;
	}
	if (fEnabled && fMenu != nullptr && (bytes[0] == B_SPACE
			|| bytes[0] == B_ENTER || bytes[0] == B_DOWN_ARROW)) {
		_Open(true);
		return;
	}
	BView::KeyDown(bytes, numBytes);
}

void
BMenuField::MakeFocus(bool focus)
{
	if (!focus && IsMenuOpen())
		_Close();
	BView::MakeFocus(focus);
}

void
BMenuField::WindowActivated(bool active)
{
	if (!active)
		_Close();
	Invalidate();
}

void
BMenuField::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kMenuItemChosen:
		case kMenuClosed:
		{
			int32 generation = -1;
			message->FindInt32("generation", &generation);
			if (!fMenuOpen || uint32(generation) != fGeneration)
				break;
			// The menu window is closing itself; just let go of it.
			fMenuOpen = false;
			fHighlight = -1;
			fMenuWindow = BMessenger();
			fPressedOnControl = false;
			SetMenuOwner(Window(), nullptr);
			Invalidate();
			int32 index = -1;
			if (message->what == kMenuItemChosen
				&& message->FindInt32("index", &index) == B_OK)
				_Chosen(index);
			break;
		}
		case kMenuHighlighted:
		{
			int32 generation = -1;
			int32 index = -1;
			message->FindInt32("generation", &generation);
			if (fMenuOpen && uint32(generation) == fGeneration
				&& message->FindInt32("index", &index) == B_OK)
				fHighlight = index;
			break;
		}
		default:
			BView::MessageReceived(message);
			break;
	}
}

void
BMenuField::_Open(bool fromKeyboard)
{
	if (IsMenuOpen() || fMenu == nullptr || Window() == nullptr)
		return;
	std::vector<MenuRow> rows;
	int32 marked = -1;
	for (int32 i = 0; i < fMenu->CountItems(); i++) {
		BMenuItem* item = fMenu->ItemAt(i);
		rows.push_back(MenuRow{ item->Label(), item->IsMarked(),
			item->IsEnabled() });
		if (item->IsMarked() && marked < 0)
			marked = i;
	}
	if (rows.empty())
		return;

	BRect screen = Display::DefaultScreenFrame();
	BRect control = ConvertToScreen(ControlFrame());
	BRect frame = MenuWindow::FrameFor(rows, control, screen);

	fGeneration++;
	int32 highlight = fromKeyboard ? std::max<int32>(marked, 0) : -1;
	// Opened from the control: where the window system places pop-ups
	// itself, it places the menu against it.
	WindowPlacement placement;
	placement.parent = DisplayIdOf(Window());
	placement.anchor = control;
	MenuWindow* menu = new MenuWindow(frame, rows, highlight,
		BMessenger(this, Window()), fGeneration, placement);
	fMenuWindow = BMessenger(menu);
	fMenuOpen = true;
	fMenuFrame = frame;
	fHighlight = highlight;
	SetMenuOwner(Window(), this);
	Invalidate();
	menu->Show();
}

void
BMenuField::_Close()
{
	if (!fMenuOpen)
		return;
	BMessage quit(kMenuQuit);
	fMenuWindow.SendMessage(&quit);
	// Whatever the menu still says carries this generation, which the
	// field no longer listens to.
	fGeneration++;
	fMenuOpen = false;
	fHighlight = -1;
	fMenuWindow = BMessenger();
	fPressedOnControl = false;
	if (Window() != nullptr)
		SetMenuOwner(Window(), nullptr);
	Invalidate();
}

void
BMenuField::_LabelsChanged()
{
	fWidestLabel = -1;
	Invalidate();
}

void
BMenuField::_PostToMenu(BMessage* message)
{
	if (fMenuOpen)
		fMenuWindow.SendMessage(message);
}

void
BMenuField::_Chosen(int32 index)
{
	BMenuItem* item = fMenu != nullptr ? fMenu->ItemAt(index) : nullptr;
	if (item == nullptr || !item->IsEnabled())
		return;
	if (fMenu->IsRadioMode())
		item->SetMarked(true);
	Invalidate();
	// The item's message goes out every time, also for the item that was
	// marked already.
	item->Invoke();
}
