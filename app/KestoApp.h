/*
 * The application object: it makes and shows the window, and answers the
 * about request with a one-button alert.
 */
#ifndef APP_KESTO_APP_H
#define APP_KESTO_APP_H

#include <Application.h>

class KestoApp : public BApplication {
public:
							KestoApp();
	virtual					~KestoApp();

	virtual	void			AboutRequested();
};

#endif // APP_KESTO_APP_H
