/*
 * A list of menu items. A menu shows on the screen only while it is open,
 * in a pop-up window of its own; the menu field it belongs to opens it.
 *
 * A menu and its items have no lock of their own: they belong to the thread
 * of the window the field is in, and are changed there or with that window
 * locked, since a change redraws the field. The pop-up window gets a copy
 * of the items, so its thread never reads them.
 */
#ifndef _MENU_H
#define _MENU_H

#include <vector>

#include <View.h>

class BMenuItem;
class BMenuField;

enum menu_layout {
	B_ITEMS_IN_ROW = 0,
	B_ITEMS_IN_COLUMN,
	B_ITEMS_IN_MATRIX,
};

class BMenu : public BView {
public:
							BMenu(const char* name,
								menu_layout layout = B_ITEMS_IN_COLUMN);
	virtual					~BMenu();

			bool			AddItem(BMenuItem* item);
			bool			AddItem(BMenuItem* item, int32 index);
			BMenuItem*		RemoveItem(int32 index);
			bool			RemoveItem(BMenuItem* item);
			BMenuItem*		ItemAt(int32 index) const;
			int32			CountItems() const;
			int32			IndexOf(const BMenuItem* item) const;
			BMenuItem*		FindItem(const char* label) const;
			BMenuItem*		FindMarked() const;

	virtual	void			SetRadioMode(bool on);
			bool			IsRadioMode() const { return fRadioMode; }
	virtual	void			SetLabelFromMarked(bool on);
			bool			IsLabelFromMarked() const
								{ return fLabelFromMarked; }
	virtual	status_t		SetTargetForItems(BHandler* target);
			menu_layout		Layout() const { return fLayout; }

private:
	friend class BMenuItem;
	friend class BMenuField;

			void			_ItemMarked(BMenuItem* item);
			void			_Changed();

			std::vector<BMenuItem*> fItems;
			menu_layout		fLayout;
			bool			fRadioMode;
			bool			fLabelFromMarked;
			BMenuField*		fField;
};

#endif // _MENU_H
