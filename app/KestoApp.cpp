#include "KestoApp.h"

#include <Alert.h>

#include "BelvoVersion.h"
#include "KestoWindow.h"

KestoApp::KestoApp()
	:
	BApplication("application/x-vnd.Vantry.Kesto")
{
	if (InitCheck() != B_OK)
		return;
	KestoWindow* window = new KestoWindow;
	window->Show();
}

KestoApp::~KestoApp()
{
}

void
KestoApp::AboutRequested()
{
	BAlert* alert = new BAlert("",
		"Belvo v" BELVO_VERSION " 10/05/01\nBased on Kesto v1.0 2/25/01",
		"by Ardley",
		NULL, NULL, B_WIDTH_AS_USUAL, B_INFO_ALERT);
	alert->Go();
}
