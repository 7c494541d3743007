#include <private/X11Properties.h>

#include <cctype>

namespace BPrivate {

namespace {

// ICCCM's flags and gravity.
enum {
	kUSPosition = 1 << 0,
	kPPosition = 1 << 2,
	kPSize = 1 << 3,
	kPMinSize = 1 << 4,
	kPMaxSize = 1 << 5,
	kPWinGravity = 1 << 9,
	kStaticGravity = 10,
};

} // namespace

std::array<uint32, 18>
X11NormalHints(int32 x, int32 y, int32 width, int32 height, bool resizable)
{
	std::array<uint32, 18> hints = {};
	hints[0] = kUSPosition | kPPosition | kPSize | kPMinSize | kPWinGravity;
	hints[1] = uint32(x);
	hints[2] = uint32(y);
	hints[3] = uint32(width);
	hints[4] = uint32(height);
	hints[5] = uint32(width);   // min
	hints[6] = uint32(height);
	if (!resizable) {
		hints[0] |= kPMaxSize;
		hints[7] = uint32(width);
		hints[8] = uint32(height);
	} else {
		hints[5] = 1;
		hints[6] = 1;
	}
	hints[17] = kStaticGravity;
	return hints;
}

std::string
X11WmClass(const char* programName)
{
	std::string instance = programName != nullptr && programName[0] != '\0'
		? programName : "belvo";
	std::string windowClass = instance;
	windowClass[0] = char(toupper((unsigned char)windowClass[0]));
	std::string result = instance;
	result.push_back('\0');
	result += windowClass;
	result.push_back('\0');
	return result;
}

} // namespace BPrivate
