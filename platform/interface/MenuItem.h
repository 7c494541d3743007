/*
 * One entry of a menu. The item owns its message; choosing the item sends
 * a copy of it to the item's target (BInvoker::SetTarget) through the
 * target's looper, every time, also when the item was marked already.
 *
 * Like its menu, an item is used on the field's window's thread (or with
 * that window locked). Choosing it only posts, so the target's looper is
 * never locked from here.
 */
#ifndef _MENU_ITEM_H
#define _MENU_ITEM_H

#include <string>

#include <Invoker.h>
#include <Rect.h>

class BMenu;
class BMessage;

class BMenuItem : public BInvoker {
public:
							BMenuItem(const char* label, BMessage* message,
								char shortcut = 0, uint32 modifiers = 0);
	virtual					~BMenuItem();

	virtual	void			SetLabel(const char* label);
			const char*		Label() const { return fLabel.c_str(); }
	virtual	void			SetEnabled(bool enabled);
			bool			IsEnabled() const { return fEnabled; }
	// In a radio-mode menu, marking an item unmarks the others.
	virtual	void			SetMarked(bool marked);
			bool			IsMarked() const { return fMarked; }
			char			Shortcut(uint32* modifiers = nullptr) const;
			BMenu*			Menu() const { return fMenu; }

private:
	friend class BMenu;

			std::string		fLabel;
			bool			fEnabled;
			bool			fMarked;
			char			fShortcut;
			uint32			fModifiers;
			BMenu*			fMenu;
};

#endif // _MENU_ITEM_H
