/*
 * Menus and their items.
 */
#include <Menu.h>

#include <algorithm>
#include <cstring>

#include <MenuField.h>
#include <MenuItem.h>
#include <Message.h>
#include <PopUpMenu.h>

BMenuItem::BMenuItem(const char* label, BMessage* message, char shortcut,
	uint32 modifiers)
	:
	BInvoker(message, nullptr),
	fLabel(label != nullptr ? label : ""),
	fEnabled(true),
	fMarked(false),
	fShortcut(shortcut),
	fModifiers(modifiers),
	fMenu(nullptr)
{
}

BMenuItem::~BMenuItem()
{
	if (fMenu != nullptr)
		fMenu->RemoveItem(this);
}

void
BMenuItem::SetLabel(const char* label)
{
	fLabel = label != nullptr ? label : "";
	if (fMenu != nullptr)
		fMenu->_Changed();
}

void
BMenuItem::SetEnabled(bool enabled)
{
	fEnabled = enabled;
	if (fMenu != nullptr)
		fMenu->_Changed();
}

void
BMenuItem::SetMarked(bool marked)
{
	fMarked = marked;
	if (fMenu != nullptr) {
		if (marked)
			fMenu->_ItemMarked(this);
		fMenu->_Changed();
	}
}

char
BMenuItem::Shortcut(uint32* modifiers) const
{
	if (modifiers != nullptr)
		*modifiers = fModifiers;
	return fShortcut;
}

BMenu::BMenu(const char* name, menu_layout layout)
	:
	BView(BRect(0, 0, 10, 10), name, B_FOLLOW_LEFT | B_FOLLOW_TOP,
		B_WILL_DRAW),
	fLayout(layout),
	fRadioMode(false),
	fLabelFromMarked(false),
	fField(nullptr)
{
}

BMenu::~BMenu()
{
	std::vector<BMenuItem*> items;
	items.swap(fItems);
	for (BMenuItem* item : items) {
		item->fMenu = nullptr;
		delete item;
	}
}

bool
BMenu::AddItem(BMenuItem* item)
{
	return AddItem(item, CountItems());
}

bool
BMenu::AddItem(BMenuItem* item, int32 index)
{
	if (item == nullptr || item->fMenu != nullptr || index < 0
		|| index > CountItems())
		return false;
	fItems.insert(fItems.begin() + index, item);
	item->fMenu = this;
	if (item->fMarked)
		_ItemMarked(item);
	_Changed();
	return true;
}

BMenuItem*
BMenu::RemoveItem(int32 index)
{
	if (index < 0 || index >= CountItems())
		return nullptr;
	BMenuItem* item = fItems[index];
	fItems.erase(fItems.begin() + index);
	item->fMenu = nullptr;
	_Changed();
	return item;
}

bool
BMenu::RemoveItem(BMenuItem* item)
{
	int32 index = IndexOf(item);
	return index >= 0 && RemoveItem(index) != nullptr;
}

BMenuItem*
BMenu::ItemAt(int32 index) const
{
	if (index < 0 || index >= CountItems())
		return nullptr;
	return fItems[index];
}

int32
BMenu::CountItems() const
{
	return int32(fItems.size());
}

int32
BMenu::IndexOf(const BMenuItem* item) const
{
	auto found = std::find(fItems.begin(), fItems.end(), item);
	return found != fItems.end() ? int32(found - fItems.begin()) : -1;
}

BMenuItem*
BMenu::FindItem(const char* label) const
{
	if (label == nullptr)
		return nullptr;
	for (BMenuItem* item : fItems) {
		if (strcmp(item->Label(), label) == 0)
			return item;
	}
	return nullptr;
}

BMenuItem*
BMenu::FindMarked() const
{
	for (BMenuItem* item : fItems) {
		if (item->IsMarked())
			return item;
	}
	return nullptr;
}

void
BMenu::SetRadioMode(bool on)
{
	fRadioMode = on;
	if (on) {
		if (BMenuItem* marked = FindMarked())
			_ItemMarked(marked);
	}
	_Changed();
}

void
BMenu::SetLabelFromMarked(bool on)
{
	fLabelFromMarked = on;
	_Changed();
}

status_t
BMenu::SetTargetForItems(BHandler* target)
{
	status_t result = B_OK;
	for (BMenuItem* item : fItems) {
		status_t status = item->SetTarget(target);
		if (status != B_OK)
			result = status;
	}
	return result;
}

void
BMenu::_ItemMarked(BMenuItem* item)
{
	if (!fRadioMode)
		return;
	for (BMenuItem* other : fItems) {
		if (other != item)
			other->fMarked = false;
	}
}

void
BMenu::_Changed()
{
	if (fField != nullptr)
		fField->_LabelsChanged();
}

BPopUpMenu::BPopUpMenu(const char* title, bool radioMode,
	bool labelFromMarked, menu_layout layout)
	:
	BMenu(title, layout)
{
	SetRadioMode(radioMode);
	SetLabelFromMarked(labelFromMarked);
}

BPopUpMenu::~BPopUpMenu()
{
}
