/*
 * The desktop's scale from GDK_SCALE and the X resource string: the values
 * desktops set, and the ones that must leave the scale alone.
 */
#include <gtest/gtest.h>

#include <private/DesktopScale.h>

using BPrivate::DesktopScaleFrom;

namespace {

struct ScaleCase {
	const char* gdkScale;
	const char* resources;
	int32 scale;
};

const ScaleCase kCases[] = {
	// Nothing set.
	{ nullptr, nullptr, 1 },
	// GDK_SCALE alone, and winning over Xft.dpi.
	{ "1", nullptr, 1 },
	{ "2", nullptr, 2 },
	{ "3", nullptr, 3 },
	{ "4", nullptr, 4 },
	{ "2", "Xft.dpi:\t288\n", 2 },
	{ "1", "Xft.dpi:\t192\n", 1 },
	// Xft.dpi, 96 a step, to the nearest step.
	{ nullptr, "Xft.dpi:\t96\n", 1 },
	{ nullptr, "Xft.dpi:\t143\n", 1 },
	{ nullptr, "Xft.dpi:\t144\n", 2 },
	{ nullptr, "Xft.dpi:\t192\n", 2 },
	{ nullptr, "Xft.dpi:\t239.9\n", 2 },
	{ nullptr, "Xft.dpi:\t240\n", 3 },
	{ nullptr, "Xft.dpi:\t384\n", 4 },
	{ nullptr, "Xft.dpi:\t1000\n", 4 },
	{ nullptr, "Xft.dpi: 192", 2 },
	{ nullptr, "Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 2 },
	{ nullptr, "Xft.dpi:\t96\nXft.dpi:\t192\n", 2 },
	{ nullptr, "Xcursor.size:\t192\nXft.dpis:\t192\nMyXft.dpi:\t192\n", 1 },
	// A bad GDK_SCALE counts as absent: Xft.dpi decides, else scale 1.
	{ "0", nullptr, 1 },
	{ "-1", nullptr, 1 },
	{ "abc", nullptr, 1 },
	{ "99", nullptr, 1 },
	{ "5", nullptr, 1 },
	{ "2.5", nullptr, 1 },
	{ "", nullptr, 1 },
	{ " ", nullptr, 1 },
	{ " 2", nullptr, 1 },
	{ "2x", nullptr, 1 },
	{ "99999999999999999999999", nullptr, 1 },
	{ "0", "Xft.dpi:\t192\n", 2 },
	{ "abc", "Xft.dpi:\t288\n", 3 },
	// A bad Xft.dpi counts as absent.
	{ nullptr, "Xft.dpi: nonsense\n", 1 },
	{ nullptr, "Xft.dpi:\n", 1 },
	{ nullptr, "Xft.dpi:   \n", 1 },
	{ nullptr, "Xft.dpi:\t0\n", 1 },
	{ nullptr, "Xft.dpi:\t-192\n", 1 },
	{ nullptr, "Xft.dpi:\t192abc\n", 1 },
	{ nullptr, "Xft.dpi:\t1e3\n", 1 },
	{ nullptr, "Xft.dpi:\t99999999999999999999999999\n", 1 },
	{ nullptr, "Xft.dpi", 1 },
	{ nullptr, "", 1 },
	{ nullptr, " \n\t\n", 1 },
	{ "", "", 1 },
};

} // namespace

TEST(DesktopScaleTest, ReadsTheWholeFactorAndIgnoresBadValues)
{
	for (const ScaleCase& test : kCases) {
		EXPECT_EQ(DesktopScaleFrom(test.gdkScale, test.resources), test.scale)
			<< "GDK_SCALE " << (test.gdkScale ? test.gdkScale : "(unset)")
			<< ", resources \"" << (test.resources ? test.resources : "(none)")
			<< "\"";
	}
}
