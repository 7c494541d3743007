#include "KestoApp.h"

int
main()
{
	KestoApp app;
	app.Run();
	return 0;
}
