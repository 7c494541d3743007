/*
 * The program's whole user interface: the background with its painted
 * captions and the two pop-up menus, volume and note. The view owns the
 * tone player and turns the menus' messages into engine calls.
 */
#ifndef APP_KESTO_VIEW_H
#define APP_KESTO_VIEW_H

#include <View.h>

class TonePlayer;

class KestoView : public BView {
public:
							KestoView(BRect frame);
	virtual					~KestoView();

	virtual	void			MessageReceived(BMessage* message);
	virtual	void			AttachedToWindow();

private:
			TonePlayer*		fPlayer;
};

#endif // APP_KESTO_VIEW_H
