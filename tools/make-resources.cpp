/*
 * Build-time tool: turns the reviewable sources in resources/ into the bytes
 * of the program's resources.
 *
 *   make-resources SOURCE_DIR VERSION_FILE OUTPUT_DIR
 *
 * writes OUTPUT_DIR/kesto_bg.bmp (the background image, from captions.txt)
 * OUTPUT_DIR/app_version.bin (the version record, from VERSION_FILE, which
 * the build makes from version.txt.in with the project's version), and
 * OUTPUT_DIR/icon_large.bin and icon_mini.bin (B_CMAP8 pixels, from
 * icon-large.txt and icon-mini.txt), and the same icons as PNG files for
 * the desktop, OUTPUT_DIR/icons/SIZE/belvo.png, for sizes 16 (the mini icon)
 * and 32, 64 and 128 (the large icon, enlarged pixel for pixel).
 * Any fault in a source is reported on one line and fails the build.
 */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <private/SystemPalette.h>

namespace {

const int kWidth = 135;
const int kHeight = 71;
const int kStripColumns = 43;	// columns 0 to 42 are the grey strip
const uint8_t kStripGrey = 205;
const int kGlyphRows = 7;
const int kCaptionEnd = 38;		// last column of both captions

struct Caption {
	const char* text;
	int top;
};
const Caption kCaptions[] = { { "Volume:", 17 }, { "Note:", 47 } };

typedef std::vector<std::string> Glyph;

[[noreturn]] void
Fail(const std::string& message)
{
	fprintf(stderr, "make-resources: %s\n", message.c_str());
	exit(1);
}

std::string
ReadFile(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	if (!file)
		Fail("cannot read " + path);
	std::ostringstream text;
	text << file.rdbuf();
	return text.str();
}

void
WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
	std::ofstream file(path, std::ios::binary | std::ios::trunc);
	file.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
	if (!file)
		Fail("cannot write " + path);
}

std::map<char, Glyph>
ReadGlyphs(const std::string& path)
{
	std::map<char, Glyph> glyphs;
	std::istringstream lines(ReadFile(path));
	std::string line;
	int lineNumber = 0;
	char current = 0;
	while (std::getline(lines, line)) {
		lineNumber++;
		std::string where = path + ":" + std::to_string(lineNumber);
		if (line.empty() || line[0] == '#')
			continue;
		if (line.compare(0, 6, "glyph ") == 0 && line.size() == 7) {
			current = line[6];
			if (glyphs.count(current) != 0)
				Fail(where + ": glyph '" + current + "' drawn twice");
			glyphs[current];
			continue;
		}
		if (line.size() < 2 || line.front() != '|' || line.back() != '|')
			Fail(where + ": expected a row between bars");
		if (current == 0)
			Fail(where + ": row before any glyph");
		std::string row = line.substr(1, line.size() - 2);
		if (row.find_first_not_of(" .o+#") != std::string::npos)
			Fail(where + ": unknown ink");
		Glyph& glyph = glyphs[current];
		if (!glyph.empty() && glyph[0].size() != row.size())
			Fail(where + ": rows of one glyph differ in width");
		if (glyph.size() == size_t(kGlyphRows))
			Fail(where + ": glyph taller than seven rows");
		glyph.push_back(row);
	}
	for (const auto& entry : glyphs) {
		if (entry.second.size() != size_t(kGlyphRows))
			Fail(path + ": glyph '" + entry.first + "' is not seven rows high");
	}
	return glyphs;
}

// The grey each ink puts down; a blank leaves the background.
int
InkGrey(char ink)
{
	switch (ink) {
		case '#': return 0;
		case '+': return 106;
		case 'o': return 140;
		case '.': return 180;
		default: return -1;
	}
}

void
Put16(std::vector<uint8_t>& out, uint32_t value)
{
	out.push_back(value & 0xff);
	out.push_back((value >> 8) & 0xff);
}

void
Put32(std::vector<uint8_t>& out, uint32_t value)
{
	Put16(out, value & 0xffff);
	Put16(out, value >> 16);
}

std::vector<uint8_t>
MakeBackground(const std::map<char, Glyph>& glyphs)
{
	// The picture as displayed, top row first, one grey level a pixel.
	std::vector<std::vector<uint8_t>> picture(kHeight,
		std::vector<uint8_t>(kWidth, 255));
	for (auto& row : picture) {
		for (int x = 0; x < kStripColumns; x++)
			row[x] = kStripGrey;
	}

	for (const Caption& caption : kCaptions) {
		int width = -1;
		for (const char* c = caption.text; *c != '\0'; c++) {
			auto glyph = glyphs.find(*c);
			if (glyph == glyphs.end())
				Fail(std::string("no glyph for '") + *c + "'");
			width += int(glyph->second[0].size()) + 1;
		}
		int x = kCaptionEnd + 1 - width;
		if (x < 0)
			Fail(std::string("caption \"") + caption.text + "\" is too wide");
		for (const char* c = caption.text; *c != '\0'; c++) {
			const Glyph& glyph = glyphs.at(*c);
			for (int row = 0; row < kGlyphRows; row++) {
				for (size_t column = 0; column < glyph[row].size(); column++) {
					int grey = InkGrey(glyph[row][column]);
					if (grey >= 0)
						picture[caption.top + row][x + column] = uint8_t(grey);
				}
			}
			x += int(glyph[0].size()) + 1;
		}
	}

	const uint32_t pixelBytes = kWidth * kHeight * 4;
	const uint32_t fileSize = 14 + 40 + pixelBytes;
	std::vector<uint8_t> bmp;
	bmp.reserve(fileSize);
	// File header.
	bmp.push_back('B');
	bmp.push_back('M');
	Put32(bmp, fileSize);
	Put16(bmp, 0);
	Put16(bmp, 0);
	Put32(bmp, 54);
	// Information header: positive height, so rows are stored bottom-up.
	Put32(bmp, 40);
	Put32(bmp, kWidth);
	Put32(bmp, kHeight);
	Put16(bmp, 1);
	Put16(bmp, 32);
	Put32(bmp, 0);
	Put32(bmp, pixelBytes);
	Put32(bmp, 2835);
	Put32(bmp, 2835);
	Put32(bmp, 0);
	Put32(bmp, 0);
	for (int y = kHeight - 1; y >= 0; y--) {
		for (int x = 0; x < kWidth; x++) {
			uint8_t grey = picture[y][x];
			bmp.push_back(grey);	// blue
			bmp.push_back(grey);	// green
			bmp.push_back(grey);	// red
			bmp.push_back(255);
		}
	}
	return bmp;
}

// Reads "key value" lines; "\n" in a value is a line feed.
std::map<std::string, std::string>
ReadSettings(const std::string& path)
{
	std::map<std::string, std::string> settings;
	std::istringstream lines(ReadFile(path));
	std::string line;
	while (std::getline(lines, line)) {
		if (line.empty() || line[0] == '#')
			continue;
		size_t space = line.find(' ');
		if (space == std::string::npos)
			Fail(path + ": \"" + line + "\" has no value");
		std::string value;
		for (size_t i = space + 1; i < line.size(); i++) {
			if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
				value += '\n';
				i++;
			} else
				value += line[i];
		}
		settings[line.substr(0, space)] = value;
	}
	return settings;
}

void
PutVersionRecord(std::vector<uint8_t>& out,
	const std::map<std::string, std::string>& fields)
{
	for (const char* key : { "major", "middle", "minor", "variety", "internal" }) {
		auto field = fields.find(key);
		Put32(out, field == fields.end() ? 0 : uint32_t(std::stoul(field->second)));
	}
	const struct { const char* key; size_t size; } texts[] = {
		{ "short", 64 }, { "long", 256 },
	};
	for (const auto& text : texts) {
		auto field = fields.find(text.key);
		std::string value = field == fields.end() ? "" : field->second;
		if (value.size() >= text.size)
			Fail(std::string("version text \"") + text.key + "\" is too long");
		std::vector<uint8_t> bytes(text.size, 0);
		memcpy(bytes.data(), value.data(), value.size());
		out.insert(out.end(), bytes.begin(), bytes.end());
	}
}

// Reads an icon: "ink CHAR INDEX" lines name the palette index each
// character stands for, and size rows of size characters between bars give
// the pixels, top row first.
std::vector<uint8_t>
ReadIcon(const std::string& path, size_t size)
{
	std::map<char, uint8_t> inks;
	std::vector<uint8_t> pixels;
	std::istringstream lines(ReadFile(path));
	std::string line;
	int lineNumber = 0;
	size_t rows = 0;
	while (std::getline(lines, line)) {
		lineNumber++;
		std::string where = path + ":" + std::to_string(lineNumber);
		if (line.empty() || line[0] == '#')
			continue;
		if (line.compare(0, 4, "ink ") == 0 && line.size() > 6) {
			int index = atoi(line.c_str() + 6);
			if (index < 0 || index > 255)
				Fail(where + ": palette index out of range");
			inks[line[4]] = uint8_t(index);
			continue;
		}
		if (line.size() != size + 2 || line.front() != '|' || line.back() != '|')
			Fail(where + ": expected " + std::to_string(size)
				+ " pixels between bars");
		if (++rows > size)
			Fail(where + ": more than " + std::to_string(size) + " rows");
		for (size_t i = 1; i <= size; i++) {
			auto ink = inks.find(line[i]);
			if (ink == inks.end())
				Fail(where + ": no ink for '" + line[i] + "'");
			pixels.push_back(ink->second);
		}
	}
	if (rows != size)
		Fail(path + ": expected " + std::to_string(size) + " rows");
	return pixels;
}

uint32_t
Crc32(const uint8_t* data, size_t size, uint32_t crc = 0)
{
	crc = ~crc;
	for (size_t i = 0; i < size; i++) {
		crc ^= data[i];
		for (int bit = 0; bit < 8; bit++)
			crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
	}
	return ~crc;
}

void
PutBig32(std::vector<uint8_t>& out, uint32_t value)
{
	for (int shift = 24; shift >= 0; shift -= 8)
		out.push_back(uint8_t(value >> shift));
}

void
PutChunk(std::vector<uint8_t>& png, const char* type,
	const std::vector<uint8_t>& data)
{
	PutBig32(png, uint32_t(data.size()));
	size_t start = png.size();
	png.insert(png.end(), type, type + 4);
	png.insert(png.end(), data.begin(), data.end());
	PutBig32(png, Crc32(png.data() + start, png.size() - start));
}

// An RGBA PNG of a B_CMAP8 icon, each pixel scale x scale. The image data is
// stored uncompressed: the icons are small, and this needs no library.
std::vector<uint8_t>
IconPng(const std::vector<uint8_t>& pixels, size_t size, size_t scale)
{
	size_t side = size * scale;
	std::vector<uint8_t> raw;
	for (size_t y = 0; y < side; y++) {
		raw.push_back(0);	// no filter
		for (size_t x = 0; x < side; x++) {
			uint8_t index = pixels[(y / scale) * size + x / scale];
			BPrivate::PaletteColor color = BPrivate::SystemPaletteColor(index);
			bool clear = index == BPrivate::kTransparentIndex;
			raw.push_back(clear ? 0 : color.red);
			raw.push_back(clear ? 0 : color.green);
			raw.push_back(clear ? 0 : color.blue);
			raw.push_back(clear ? 0 : 255);
		}
	}

	std::vector<uint8_t> zlib = { 0x78, 0x01 };
	for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
		size_t length = std::min<size_t>(65535, raw.size() - at);
		bool last = at + length >= raw.size();
		zlib.push_back(last ? 1 : 0);
		zlib.push_back(uint8_t(length));
		zlib.push_back(uint8_t(length >> 8));
		zlib.push_back(uint8_t(~length));
		zlib.push_back(uint8_t(~length >> 8));
		zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + length);
		if (last)
			break;
	}
	uint32_t a = 1;
	uint32_t b = 0;
	for (uint8_t byte : raw) {
		a = (a + byte) % 65521;
		b = (b + a) % 65521;
	}
	PutBig32(zlib, (b << 16) | a);

	std::vector<uint8_t> png = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
	std::vector<uint8_t> header;
	PutBig32(header, uint32_t(side));
	PutBig32(header, uint32_t(side));
	header.insert(header.end(), { 8, 6, 0, 0, 0 });	// 8-bit RGBA
	PutChunk(png, "IHDR", header);
	PutChunk(png, "IDAT", zlib);
	PutChunk(png, "IEND", {});
	return png;
}

void
MakeDirectory(const std::string& path)
{
	if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
		Fail("cannot make " + path);
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc != 4)
		Fail("usage: make-resources SOURCE_DIR VERSION_FILE OUTPUT_DIR");
	std::string source = argv[1];
	std::string versionFile = argv[2];
	std::string output = argv[3];

	WriteFile(output + "/kesto_bg.bmp",
		MakeBackground(ReadGlyphs(source + "/captions.txt")));

	// The application's version, then the system's, which is left empty.
	std::vector<uint8_t> version;
	PutVersionRecord(version, ReadSettings(versionFile));
	PutVersionRecord(version, {});
	WriteFile(output + "/app_version.bin", version);

	std::vector<uint8_t> large = ReadIcon(source + "/icon-large.txt", 32);
	std::vector<uint8_t> mini = ReadIcon(source + "/icon-mini.txt", 16);
	WriteFile(output + "/icon_large.bin", large);
	WriteFile(output + "/icon_mini.bin", mini);

	MakeDirectory(output + "/icons");
	const struct { size_t side; const std::vector<uint8_t>* icon; size_t size; } pngs[] = {
		{ 16, &mini, 16 }, { 32, &large, 32 }, { 64, &large, 32 }, { 128, &large, 32 },
	};
	for (const auto& png : pngs) {
		std::string directory = output + "/icons/" + std::to_string(png.side);
		MakeDirectory(directory);
		WriteFile(directory + "/belvo.png",
			IconPng(*png.icon, png.size, png.side / png.size));
	}
	return 0;
}
