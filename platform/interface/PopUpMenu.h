/*
 * A menu that pops up from a menu field. Its title is what the field shows
 * until an item is marked (with labelFromMarked).
 *
 * Threads as for BMenu.
 */
#ifndef _POP_UP_MENU_H
#define _POP_UP_MENU_H

#include <Menu.h>

class BPopUpMenu : public BMenu {
public:
							BPopUpMenu(const char* title,
								bool radioMode = true,
								bool labelFromMarked = true,
								menu_layout layout = B_ITEMS_IN_COLUMN);
	virtual					~BPopUpMenu();
};

#endif // _POP_UP_MENU_H
