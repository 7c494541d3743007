/*
 * Build-time tool: packs a program's resources into the blob that is linked
 * into its executable (the format is described in platform/storage/Resources.h).
 *
 *   pack-resources [--base DIR] MANIFEST OUTPUT
 *
 * The manifest holds one resource a line, in the order they are to be
 * stored:
 *
 *   'TYPE' ID "NAME" SOURCE
 *
 * TYPE is four characters ('BMP ' with its space), ID a decimal int32, NAME
 * any text up to 255 bytes (\" and \\ stand for a quote and a backslash;
 * "" is no name), and SOURCE one of
 *   file:PATH      the bytes of a file; a relative PATH is taken from DIR,
 *                  or else from the manifest's directory
 *   cstring:TEXT   the rest of the line and a terminating zero; \n, \t and
 *                  \\ stand for a line feed, a tab and a backslash
 *   uint32:N       four bytes, little-endian; N decimal or 0x hexadecimal
 * Blank lines and lines starting with # are skipped. Any fault is reported
 * on one line naming the manifest and line, and the tool exits with 1
 * without leaving an output behind.
 */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <private/ResourceData.h>

namespace {

using BPrivate::ResourceSource;

[[noreturn]] void
Fail(const std::string& message)
{
	fprintf(stderr, "pack-resources: %s\n", message.c_str());
	exit(1);
}

bool
ReadFile(const std::string& path, std::vector<uint8_t>& bytes)
{
	FILE* file = fopen(path.c_str(), "rb");
	if (file == nullptr)
		return false;
	bytes.clear();
	uint8_t buffer[65536];
	size_t count;
	while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0)
		bytes.insert(bytes.end(), buffer, buffer + count);
	// A directory opens, but reading it fails.
	bool failed = ferror(file) != 0;
	int error = errno;
	fclose(file);
	errno = error;
	return !failed;
}

bool
IsBlank(char c)
{
	return c == ' ' || c == '\t';
}

// Reads one manifest line; every fault goes through Fail().
class LineParser {
public:
	LineParser(const std::string& line, const std::string& where,
			const std::string& base)
		:
		fLine(line),
		fWhere(where),
		fBase(base),
		fAt(0)
	{
	}

	ResourceSource Parse()
	{
		ResourceSource resource;
		_SkipBlanks();
		resource.type = _Type();
		_Separator("id");
		resource.id = _Id();
		_Separator("name");
		resource.name = _Name();
		_Separator("source");
		resource.data = _Source();
		return resource;
	}

private:
	[[noreturn]] void _Fail(const std::string& message)
	{
		Fail(fWhere + ": " + message);
	}

	void _SkipBlanks()
	{
		while (fAt < fLine.size() && IsBlank(fLine[fAt]))
			fAt++;
	}

	void _Separator(const char* next)
	{
		if (fAt >= fLine.size())
			_Fail(std::string("missing ") + next);
		if (!IsBlank(fLine[fAt]))
			_Fail(std::string("expected a space before the ") + next);
		_SkipBlanks();
		if (fAt >= fLine.size())
			_Fail(std::string("missing ") + next);
	}

	uint32_t _Type()
	{
		if (fLine.size() - fAt < 6 || fLine[fAt] != '\''
			|| fLine[fAt + 5] != '\'') {
			_Fail("type must be four characters in single quotes, as 'BMP '");
		}
		uint32_t type = 0;
		for (size_t i = 1; i <= 4; i++) {
			unsigned char c = fLine[fAt + i];
			if (c < 0x20 || c > 0x7e)
				_Fail("type holds an unprintable character");
			type = type << 8 | c;
		}
		fAt += 6;
		return type;
	}

	int32_t _Id()
	{
		size_t start = fAt;
		if (fAt < fLine.size() && fLine[fAt] == '-')
			fAt++;
		size_t digits = fAt;
		while (fAt < fLine.size() && fLine[fAt] >= '0' && fLine[fAt] <= '9')
			fAt++;
		if (fAt == digits)
			_Fail("id must be a decimal number");
		if (fAt - digits > 10)
			_Fail("id out of the int32 range");
		long long id = strtoll(fLine.substr(start, fAt - start).c_str(),
			nullptr, 10);
		if (id < INT32_MIN || id > INT32_MAX)
			_Fail("id out of the int32 range");
		return int32_t(id);
	}

	std::string _Name()
	{
		if (fLine[fAt] != '"')
			_Fail("name must be in double quotes");
		fAt++;
		std::string name;
		while (true) {
			if (fAt >= fLine.size())
				_Fail("name lacks its closing quote");
			char c = fLine[fAt++];
			if (c == '"')
				break;
			if (c == '\\') {
				if (fAt >= fLine.size()
					|| (fLine[fAt] != '"' && fLine[fAt] != '\\')) {
					_Fail("only \\\" and \\\\ may be escaped in a name");
				}
				c = fLine[fAt++];
			}
			name += c;
		}
		if (name.size() > BPrivate::kMaxResourceNameLength)
			_Fail("name longer than 255 bytes");
		if (name.find('\0') != std::string::npos)
			_Fail("name holds a zero byte");
		return name;
	}

	std::vector<uint8_t> _Source()
	{
		std::string rest = fLine.substr(fAt);
		std::vector<uint8_t> data;
		if (rest.compare(0, 5, "file:") == 0) {
			std::string path = _TrimEnd(rest.substr(5));
			if (path.empty())
				_Fail("file: names no file");
			if (path[0] != '/' && !fBase.empty())
				path = fBase + "/" + path;
			if (!ReadFile(path, data))
				_Fail("cannot read " + path + ": " + strerror(errno));
			if (data.size() > UINT32_MAX)
				_Fail(path + " is too large for a resource");
		} else if (rest.compare(0, 8, "cstring:") == 0) {
			std::string text = rest.substr(8);
			for (size_t i = 0; i < text.size(); i++) {
				char c = text[i];
				if (c == '\\') {
					if (++i >= text.size())
						_Fail("cstring: ends in a lone backslash");
					switch (text[i]) {
						case 'n': c = '\n'; break;
						case 't': c = '\t'; break;
						case '\\': c = '\\'; break;
						default:
							_Fail(std::string("unknown escape \\") + text[i]
								+ " in cstring:");
					}
				}
				data.push_back(uint8_t(c));
			}
			data.push_back(0);
		} else if (rest.compare(0, 7, "uint32:") == 0) {
			std::string number = _TrimEnd(rest.substr(7));
			bool hex = number.compare(0, 2, "0x") == 0
				|| number.compare(0, 2, "0X") == 0;
			std::string digits = hex ? number.substr(2) : number;
			const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
			if (digits.empty() || digits.size() > (hex ? 8 : 10)
				|| digits.find_first_not_of(allowed) != std::string::npos) {
				_Fail("uint32: needs a decimal or 0x hexadecimal number");
			}
			unsigned long long value = strtoull(digits.c_str(), nullptr,
				hex ? 16 : 10);
			if (value > UINT32_MAX)
				_Fail("uint32: value out of range");
			for (int i = 0; i < 4; i++)
				data.push_back(uint8_t(value >> (8 * i)));
		} else
			_Fail("source must be file:PATH, cstring:TEXT or uint32:N");
		return data;
	}

	static std::string _TrimEnd(std::string text)
	{
		while (!text.empty() && IsBlank(text.back()))
			text.pop_back();
		return text;
	}

	const std::string& fLine;
	std::string fWhere;
	std::string fBase;
	size_t fAt;
};

std::string
DirectoryOf(const std::string& path)
{
	size_t slash = path.rfind('/');
	if (slash == std::string::npos)
		return ".";
	return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int
main(int argc, char** argv)
{
	std::vector<std::string> arguments(argv + 1, argv + argc);
	std::string base;
	if (arguments.size() == 4 && arguments[0] == "--base") {
		base = arguments[1];
		arguments.erase(arguments.begin(), arguments.begin() + 2);
	}
	if (arguments.size() != 2)
		Fail("usage: pack-resources [--base DIR] MANIFEST OUTPUT");
	const std::string& manifestPath = arguments[0];
	const std::string& outputPath = arguments[1];
	if (base.empty())
		base = DirectoryOf(manifestPath);

	std::vector<uint8_t> manifest;
	if (!ReadFile(manifestPath, manifest))
		Fail("cannot read " + manifestPath + ": " + strerror(errno));

	std::vector<ResourceSource> resources;
	std::set<std::pair<uint32_t, int32_t>> seen;
	std::istringstream lines(std::string(manifest.begin(), manifest.end()));
	std::string line;
	int lineNumber = 0;
	while (std::getline(lines, line)) {
		lineNumber++;
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		size_t first = line.find_first_not_of(" \t");
		if (first == std::string::npos || line[first] == '#')
			continue;
		std::string where = manifestPath + ":" + std::to_string(lineNumber);
		ResourceSource resource = LineParser(line, where, base).Parse();
		if (!seen.insert(std::make_pair(resource.type, resource.id)).second) {
			Fail(where + ": a resource of type "
				+ BPrivate::FormatTypeCode(resource.type) + " and id "
				+ std::to_string(resource.id) + " is already listed");
		}
		resources.push_back(std::move(resource));
	}
	if (resources.size() > UINT32_MAX)
		Fail(manifestPath + ": too many resources");

	std::vector<uint8_t> blob = BPrivate::BuildResourceBlob(resources);
	// Written aside and renamed, so that a failed run leaves no output
	// that the build would take for up to date.
	std::string temporary = outputPath + ".tmp";
	{
		std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
		file.write(reinterpret_cast<const char*>(blob.data()),
			std::streamsize(blob.size()));
		file.close();
		if (!file) {
			remove(temporary.c_str());
			Fail("cannot write " + temporary);
		}
	}
	if (rename(temporary.c_str(), outputPath.c_str()) != 0) {
		int error = errno;
		remove(temporary.c_str());
		Fail("cannot write " + outputPath + ": " + strerror(error));
	}
	return 0;
}
