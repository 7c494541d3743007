/*
 * The program's one window: fixed in size, holding the control view.
 * Closing it ends the program.
 */
#ifndef APP_KESTO_WINDOW_H
#define APP_KESTO_WINDOW_H

#include <Window.h>

class KestoWindow : public BWindow {
public:
							KestoWindow();
	virtual					~KestoWindow();

	virtual	bool			QuitRequested();
};

#endif // APP_KESTO_WINDOW_H
