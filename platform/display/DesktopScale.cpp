/*
 * Reading the desktop's scale from what the desktop sets. Pure: the
 * back ends fetch the strings.
 */
#include <private/DesktopScale.h>

#include <cstring>

namespace BPrivate {

namespace {

// Anything above this is no screen's density, and parsing stops there
// before a long run of digits can overflow.
const double kMaxDpi = 9600;

bool
IsSpace(char c)
{
	return c == ' ' || c == '\t' || c == '\r';
}

bool
IsDigit(char c)
{
	return c >= '0' && c <= '9';
}

// A resource's value, from `begin` to `end`: a positive decimal number
// (digits, optionally a fraction) with blanks around it. 0 when not so.
double
DpiFrom(const char* begin, const char* end)
{
	while (begin < end && IsSpace(*begin))
		begin++;
	while (end > begin && IsSpace(end[-1]))
		end--;
	if (begin == end || !IsDigit(*begin))
		return 0;
	double dpi = 0;
	const char* c = begin;
	for (; c < end && IsDigit(*c); c++) {
		dpi = dpi * 10 + (*c - '0');
		if (dpi > kMaxDpi)
			return 0;
	}
	if (c < end && *c == '.') {
		double unit = 0.1;
		for (c++; c < end && IsDigit(*c); c++, unit /= 10)
			dpi += (*c - '0') * unit;
	}
	return c == end ? dpi : 0;
}

// Xft.dpi's value in the resource string (lines of "name:\tvalue"); the
// last line that names it counts, as the server's database would keep it.
// 0 when there is none or it is not a number.
double
XftDpi(const char* resources)
{
	if (resources == nullptr)
		return 0;
	static const char kName[] = "Xft.dpi";
	double dpi = 0;
	const char* line = resources;
	while (*line != '\0') {
		const char* end = strchr(line, '\n');
		if (end == nullptr)
			end = line + strlen(line);
		const char* name = line;
		while (name < end && IsSpace(*name))
			name++;
		const char* colon = static_cast<const char*>(
			memchr(name, ':', size_t(end - name)));
		if (colon != nullptr) {
			const char* nameEnd = colon;
			while (nameEnd > name && IsSpace(nameEnd[-1]))
				nameEnd--;
			if (size_t(nameEnd - name) == sizeof(kName) - 1
				&& memcmp(name, kName, sizeof(kName) - 1) == 0) {
				dpi = DpiFrom(colon + 1, end);
			}
		}
		line = *end == '\n' ? end + 1 : end;
	}
	return dpi;
}

} // namespace

int32
GdkScaleFrom(const char* value)
{
	if (value == nullptr || value[0] == '\0')
		return 0;
	int32 scale = 0;
	for (const char* c = value; *c != '\0'; c++) {
		if (!IsDigit(*c))
			return 0;
		scale = scale * 10 + (*c - '0');
		if (scale > kMaxDesktopScale)
			return 0;
	}
	return scale;
}

int32
DesktopScaleFrom(const char* gdkScale, const char* xResources)
{
	int32 scale = GdkScaleFrom(gdkScale);
	if (scale > 0)
		return scale;
	double dpi = XftDpi(xResources);
	if (dpi <= 0)
		return 1;
	// Nearest whole step, halves up: 144 is 2, 240 is 3.
	int32 steps = int32(dpi / 96 + 0.5);
	if (steps < 1)
		return 1;
	return steps > kMaxDesktopScale ? kMaxDesktopScale : steps;
}

} // namespace BPrivate
