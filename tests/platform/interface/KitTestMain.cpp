/*
 * The window tests run on the headless display, started once for the whole
 * process and ended after the last test.
 */
#include <cstdlib>

#include <gtest/gtest.h>

#include <private/Display.h>

int
main(int argc, char** argv)
{
	setenv("BELVO_DISPLAY", "headless", 1);
	// The pixels the tests expect are those of scale 1 unless a test asks
	// for another, whatever the desktop running them says.
	unsetenv("GDK_SCALE");
	testing::InitGoogleTest(&argc, argv);
	std::string error;
	if (!BPrivate::Display::Start(&error)) {
		fprintf(stderr, "cannot start the headless display: %s\n",
			error.c_str());
		return 1;
	}
	int result = RUN_ALL_TESTS();
	BPrivate::Display::Shutdown();
	return result;
}
