#include "KestoApp.h"

// Another instance already running is a launch done: it shows its window.
// Anything else that keeps the application from starting is a failure.
int
main()
{
	KestoApp app;
	if (app.InitCheck() != B_OK)
		return app.InitCheck() == B_ALREADY_RUNNING ? 0 : 1;
	app.Run();
	return 0;
}
