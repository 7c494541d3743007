#include "KestoWindow.h"

#include <Application.h>

#include "BelvoVersion.h"
#include "KestoView.h"

KestoWindow::KestoWindow()
	:
	BWindow(BRect(100, 100, 230, 170), "Belvo v" BELVO_VERSION, B_TITLED_WINDOW,
		B_NOT_RESIZABLE | B_WILL_ACCEPT_FIRST_CLICK, B_CURRENT_WORKSPACE)
{
	AddChild(new KestoView(Bounds()));
}

KestoWindow::~KestoWindow()
{
}

bool
KestoWindow::QuitRequested()
{
	be_app->PostMessage(B_QUIT_REQUESTED);
	return true;
}
