/*
 * The open menu's pop-up window and the view that draws and tracks it.
 */
#include <private/MenuWindow.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include <Handler.h>
#include <Looper.h>
#include <Message.h>
#include <View.h>
#include <private/AccessibilityBridge.h>
#include <private/MenuLook.h>
#include <private/WindowPrivate.h>

namespace BPrivate {

namespace {

// Left margin for the mark, right margin after the longest label.
const float kMarkMargin = 20;
const float kRightMargin = 14;
// Outline and bevel around the rows.
const float kBorder = 2;

} // namespace

class MenuWindow::MenuView : public BView {
public:
	MenuView(BRect frame, const std::vector<MenuRow>& rows, int32 highlight,
		BMessenger field, uint32 generation)
		:
		BView(frame, "menu", B_FOLLOW_ALL_SIDES, B_WILL_DRAW),
		fRows(rows),
		fHighlight(highlight),
		fField(field),
		fGeneration(generation),
		fDone(false)
	{
		SetViewColor(kMenuBackground);
		fRowHeight = MenuRowHeight(*be_plain_font);
	}

	void Draw(BRect) override
	{
		// The rows sit on the view colour, inside a raised frame.
		DrawBevelFrame(this, Bounds(), false);

		for (int32 i = 0; i < int32(fRows.size()); i++) {
			BRect row = RowFrame(i);
			bool highlighted = i == fHighlight && fRows[i].enabled;
			if (highlighted) {
				SetHighColor(kHighlight);
				FillRect(row);
			}
			rgb_color text = !fRows[i].enabled ? kDisabledText
				: highlighted ? kHighlightText : kText;
			if (fRows[i].marked)
				DrawCheckMark(this, row.left + 5, row.top, row.bottom, text);
			SetHighColor(text);
			DrawString(fRows[i].label.c_str(),
				BPoint(row.left + kMarkMargin - 2,
					CenteredBaseline(*be_plain_font, row.top, row.bottom)));
		}
	}

	BRect RowFrame(int32 index) const
	{
		return MenuWindow::RowFrame(Bounds(), index);
	}

	int32 RowAt(BPoint where) const
	{
		if (!Bounds().InsetByCopy(kBorder, kBorder).Contains(where))
			return -1;
		int32 index = int32(std::floor((where.y - kBorder) / fRowHeight));
		return index >= 0 && index < int32(fRows.size()) ? index : -1;
	}

	void SetHighlight(int32 index)
	{
		if (index == fHighlight)
			return;
		if (fHighlight >= 0)
			Invalidate(RowFrame(fHighlight));
		fHighlight = index;
		if (fHighlight >= 0)
			Invalidate(RowFrame(fHighlight));
		// The field describes its open menu to screen readers.
		if (AccessibilityBridge::IsListening() && !fDone) {
			BMessage highlighted(kMenuHighlighted);
			highlighted.AddInt32("index", fHighlight);
			highlighted.AddInt32("generation", int32(fGeneration));
			fField.SendMessage(&highlighted);
		}
	}

	void MouseMoved(BPoint where, uint32, const BMessage*) override
	{
		SetHighlight(RowAt(where));
	}

	void MouseDown(BPoint where) override
	{
		int32 row = RowAt(where);
		if (row < 0) {
			// A press on the menu's border: nothing to choose.
			return;
		}
		SetHighlight(row);
	}

	void MouseUp(BPoint where) override
	{
		int32 row = RowAt(where);
		if (row >= 0 && fRows[row].enabled)
			Choose(row);
		else if (!Bounds().Contains(where))
			Close();
	}

	void Track(BPoint screen, bool up, bool onField)
	{
		BPoint where = ConvertFromScreen(screen);
		int32 row = RowAt(where);
		SetHighlight(row);
		if (!up)
			return;
		if (row >= 0 && fRows[row].enabled)
			Choose(row);
		else if (!onField)
			Close();
		// Released over the field: the menu stays open for a click.
	}

	// Keys reach the menu from its field's window, or, where nothing keeps
	// the focus from a menu (no window manager), from its own window.
	void KeyDown(const char* bytes, int32) override { Key(bytes); }

	void Key(const char* bytes)
	{
		int32 count = int32(fRows.size());
		if (count == 0 || bytes == nullptr || bytes[0] == '\0')
			return;
		switch (bytes[0]) {
			case B_DOWN_ARROW:
				SetHighlight(fHighlight < 0 ? 0 : (fHighlight + 1) % count);
				break;
			case B_UP_ARROW:
				SetHighlight(fHighlight < 0 ? count - 1
					: (fHighlight + count - 1) % count);
				break;
			case B_HOME:
			case B_PAGE_UP:
				SetHighlight(0);
				break;
			case B_END:
			case B_PAGE_DOWN:
				SetHighlight(count - 1);
				break;
			case B_ENTER:
			case B_SPACE:
				if (fHighlight >= 0 && fRows[fHighlight].enabled)
					Choose(fHighlight);
				break;
			case B_ESCAPE:
				Close();
				break;
			default:
			{
				unsigned char typed = (unsigned char)bytes[0];
				if (!isalnum(typed) && !ispunct(typed))
					break;
				// The next item after the highlighted one whose label
				// starts with the letter typed, going round.
				for (int32 step = 1; step <= count; step++) {
					int32 index = ((fHighlight < 0 ? -1 : fHighlight) + step
						+ count) % count;
					const std::string& label = fRows[index].label;
					if (!label.empty() && tolower((unsigned char)label[0])
							== tolower(typed)) {
						SetHighlight(index);
						break;
					}
				}
				break;
			}
		}
	}

	void Choose(int32 index)
	{
		BMessage chosen(kMenuItemChosen);
		chosen.AddInt32("index", index);
		if (Report(&chosen))
			Window()->Quit();
	}

	void Close()
	{
		BMessage closed(kMenuClosed);
		if (Report(&closed))
			Window()->Quit();
	}

	// The window is closing for a reason of its own.
	void Closing()
	{
		BMessage closed(kMenuClosed);
		Report(&closed);
	}

	// Tells the field how the menu ended, the first time only; false when
	// it has been told already.
	bool Report(BMessage* ending)
	{
		if (fDone)
			return false;
		fDone = true;
		// A field (or its window) that is gone hears nothing.
		ending->AddInt32("generation", int32(fGeneration));
		fField.SendMessage(ending);
		return true;
	}

	void Dismiss()
	{
		fDone = true;
		Window()->Quit();
	}

private:
	std::vector<MenuRow> fRows;
	int32 fHighlight;
	BMessenger fField;
	uint32 fGeneration;
	float fRowHeight;
	bool fDone;
};

MenuWindow::MenuWindow(BRect frame, const std::vector<MenuRow>& rows,
	int32 highlight, BMessenger field, uint32 generation,
	const WindowPlacement& placement)
	:
	BWindow(frame, "menu", kPopUpMenuWindow,
		B_NOT_RESIZABLE | B_WILL_ACCEPT_FIRST_CLICK | B_AVOID_FOCUS,
		placement),
	fView(nullptr)
{
	fView = new MenuView(Bounds(), rows, highlight, field, generation);
	AddChild(fView);
	fView->MakeFocus(true);
}

MenuWindow::~MenuWindow()
{
}

void
MenuWindow::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case kMenuTrack:
		{
			BPoint where;
			bool up = false;
			bool onField = false;
			if (message->FindPoint("where", &where) != B_OK)
				break;
			message->FindBool("up", &up);
			message->FindBool("on_field", &onField);
			fView->Track(where, up, onField);
			break;
		}
		case kMenuKey:
		{
			const char* bytes = nullptr;
			if (message->FindString("bytes", &bytes) == B_OK)
				fView->Key(bytes);
			break;
		}
		case kMenuQuit:
			fView->Dismiss();
			break;
		default:
			BWindow::MessageReceived(message);
			break;
	}
}

bool
MenuWindow::QuitRequested()
{
	fView->Closing();
	return true;
}

BRect
MenuWindow::RowFrame(BRect frame, int32 index)
{
	float rowHeight = MenuRowHeight(*be_plain_font);
	float top = frame.top + kBorder + index * rowHeight;
	return BRect(frame.left + kBorder, top, frame.right - kBorder,
		top + rowHeight - 1);
}

BRect
MenuWindow::FrameFor(const std::vector<MenuRow>& rows, BRect control,
	BRect screen)
{
	float widest = 0;
	for (const MenuRow& row : rows)
		widest = std::max(widest, be_plain_font->StringWidth(
			row.label.c_str()));
	float width = std::ceil(std::max(widest + kMarkMargin + kRightMargin,
		control.Width() + 1)) + 2 * kBorder;
	float height = std::max<size_t>(rows.size(), 1)
		* MenuRowHeight(*be_plain_font) + 2 * kBorder;
	BRect frame(0, 0, width - 1, height - 1);

	float top = control.bottom + 1;
	if (top + height - 1 > screen.bottom && control.top - height >= screen.top)
		top = control.top - height;
	top = std::max(screen.top, std::min(top, screen.bottom - height + 1));
	float left = std::max(screen.left,
		std::min(control.left, screen.right - width + 1));
	frame.OffsetTo(left, top);
	return frame;
}

} // namespace BPrivate
