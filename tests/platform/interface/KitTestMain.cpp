/*
 * The window tests run on the headless display, started once for the whole
 * process and ended after the last test.
 */
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include <private/Display.h>
#include <private/WindowRegistry.h>

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
	// As an application does, the display goes once the windows have: an
	// alert that Go() has returned from still destroys itself on its own
	// thread, and may be doing so as the last test ends.
	for (int waited = 0; waited < 500 && BPrivate::WindowRegistry::Count() > 0;
			waited++)
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	if (BPrivate::WindowRegistry::Count() > 0) {
		fprintf(stderr, "%d windows were left after the tests\n",
			int(BPrivate::WindowRegistry::Count()));
	}
	BPrivate::Display::Shutdown();
	return result;
}
