/*
 * Lists the resources linked into an executable, or writes one of them to
 * a file.
 *
 *   list-resources EXECUTABLE
 *   list-resources EXECUTABLE --extract TYPE ID OUTFILE
 *
 * The listing has one line a resource, in their stored order:
 *   INDEX 'TYPE' ID "NAME" SIZE
 * (a type with unprintable bytes shows as 0x hexadecimal; quotes,
 * backslashes and unprintable bytes in names are escaped). TYPE for
 * --extract is four characters, with or without the single quotes around
 * them, or 0x hexadecimal.
 *
 * The executable is read as a little-endian ELF64 file: the section headers
 * and their name table lead to the belvo_rsrc section, and every offset and
 * size is checked against the file before it is used. A file without that
 * section has no resources: the listing is empty. Faults are reported on
 * one line, with exit status 1.
 */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <private/ResourceData.h>

namespace {

const char* kSectionName = "belvo_rsrc";

[[noreturn]] void
Fail(const std::string& message)
{
	fprintf(stderr, "list-resources: %s\n", message.c_str());
	exit(1);
}

class ElfFile {
public:
	explicit ElfFile(const std::string& path) : fPath(path)
	{
		FILE* file = fopen(path.c_str(), "rb");
		if (file == nullptr)
			Fail("cannot read " + path + ": " + strerror(errno));
		uint8_t buffer[65536];
		size_t count;
		while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0)
			fBytes.insert(fBytes.end(), buffer, buffer + count);
		// A directory opens, but reading it fails.
		bool failed = ferror(file) != 0;
		int error = errno;
		fclose(file);
		if (failed)
			Fail("cannot read " + path + ": " + strerror(error));
	}

	// The bytes of the named section, or false when there is none. Faults
	// in the file's structure end the program.
	bool FindSection(const char* wanted, uint64_t* offset, uint64_t* size)
	{
		const uint64_t fileSize = fBytes.size();
		if (fileSize < 64 || memcmp(fBytes.data(), "\x7f" "ELF", 4) != 0)
			_Fail("not an ELF file");
		if (fBytes[4] != 2 || fBytes[5] != 1)
			_Fail("not a little-endian ELF64 file");

		uint64_t headersAt = _Get64(0x28);
		uint64_t entrySize = _Get16(0x3a);
		uint64_t count = _Get16(0x3c);
		uint64_t namesIndex = _Get16(0x3e);
		if (headersAt == 0)
			_Fail("has no section headers");
		if (entrySize < 64)
			_Fail("section header size too small");
		if (!_Fits(headersAt, entrySize))
			_Fail("section headers past the end of the file");
		// Counts too large for the ELF header live in the first section
		// header.
		if (count == 0)
			count = _Get64(headersAt + 0x20);
		if (namesIndex == 0xffff)
			namesIndex = _Get32(headersAt + 0x28);
		if (count > fileSize / entrySize
			|| !_Fits(headersAt, count * entrySize)) {
			_Fail("section headers past the end of the file");
		}
		if (namesIndex == 0 || namesIndex >= count)
			_Fail("no section name table");

		uint64_t namesHeader = headersAt + namesIndex * entrySize;
		uint64_t namesAt = _Get64(namesHeader + 0x18);
		uint64_t namesSize = _Get64(namesHeader + 0x20);
		if (!_Fits(namesAt, namesSize))
			_Fail("section name table past the end of the file");

		const size_t wantedLength = strlen(wanted);
		for (uint64_t i = 0; i < count; i++) {
			uint64_t header = headersAt + i * entrySize;
			uint64_t name = _Get32(header);
			if (name >= namesSize || namesSize - name < wantedLength + 1)
				continue;
			const uint8_t* text = fBytes.data() + namesAt + name;
			if (memcmp(text, wanted, wantedLength + 1) != 0)
				continue;
			const uint32_t kNoBits = 8;
			if (_Get32(header + 4) == kNoBits)
				_Fail(std::string("section ") + wanted + " has no contents");
			*offset = _Get64(header + 0x18);
			*size = _Get64(header + 0x20);
			if (!_Fits(*offset, *size))
				_Fail(std::string("section ") + wanted
					+ " runs past the end of the file");
			return true;
		}
		return false;
	}

	const uint8_t* At(uint64_t offset) const { return fBytes.data() + offset; }

private:
	[[noreturn]] void _Fail(const std::string& message)
	{
		Fail(fPath + ": " + message);
	}

	bool _Fits(uint64_t offset, uint64_t size) const
	{
		return offset <= fBytes.size() && size <= fBytes.size() - offset;
	}

	// Reads a field the caller has made sure lies inside the file.
	uint64_t _Get(uint64_t offset, int bytes) const
	{
		if (!_Fits(offset, uint64_t(bytes)))
			Fail(fPath + ": truncated header");
		uint64_t value = 0;
		for (int i = bytes - 1; i >= 0; i--)
			value = value << 8 | fBytes[offset + i];
		return value;
	}
	uint64_t _Get16(uint64_t offset) const { return _Get(offset, 2); }
	uint64_t _Get32(uint64_t offset) const { return _Get(offset, 4); }
	uint64_t _Get64(uint64_t offset) const { return _Get(offset, 8); }

	std::string fPath;
	std::vector<uint8_t> fBytes;
};

std::string
Quoted(const char* name)
{
	std::string text = "\"";
	for (const char* c = name; *c != '\0'; c++) {
		unsigned char byte = *c;
		if (byte == '"' || byte == '\\') {
			text += '\\';
			text += char(byte);
		} else if (byte < 0x20 || byte == 0x7f) {
			char escape[8];
			snprintf(escape, sizeof(escape), "\\x%02x", byte);
			text += escape;
		} else
			text += char(byte);
	}
	return text + "\"";
}

uint32_t
ParseType(std::string text)
{
	if (text.size() == 6 && text.front() == '\'' && text.back() == '\'')
		text = text.substr(1, 4);
	if (text.size() == 4) {
		uint32_t type = 0;
		for (unsigned char c : text)
			type = type << 8 | c;
		return type;
	}
	if (text.size() > 2 && text.size() <= 10 && text.compare(0, 2, "0x") == 0
		&& text.find_first_not_of("0123456789abcdefABCDEF", 2)
			== std::string::npos) {
		return uint32_t(strtoul(text.c_str() + 2, nullptr, 16));
	}
	Fail("type must be four characters, as 'BMP ', or 0x hexadecimal: "
		+ text);
}

int32_t
ParseId(const std::string& text)
{
	char* end = nullptr;
	errno = 0;
	long long id = strtoll(text.c_str(), &end, 10);
	if (text.empty() || *end != '\0' || errno != 0 || id < INT32_MIN
		|| id > INT32_MAX) {
		Fail("id must be a decimal int32: " + text);
	}
	return int32_t(id);
}

} // namespace

int
main(int argc, char** argv)
{
	std::vector<std::string> arguments(argv + 1, argv + argc);
	bool extract = arguments.size() == 5 && arguments[1] == "--extract";
	if (arguments.size() != 1 && !extract) {
		Fail("usage: list-resources EXECUTABLE"
			" [--extract TYPE ID OUTFILE]");
	}

	uint32_t wantedType = 0;
	int32_t wantedId = 0;
	if (extract) {
		wantedType = ParseType(arguments[2]);
		wantedId = ParseId(arguments[3]);
	}

	ElfFile file(arguments[0]);
	uint64_t offset = 0;
	uint64_t size = 0;
	std::vector<BPrivate::ResourceEntry> entries;
	if (file.FindSection(kSectionName, &offset, &size)) {
		const char* why = nullptr;
		if (!BPrivate::ParseResourceBlob(file.At(offset), size_t(size),
				&entries, &why)) {
			Fail(arguments[0] + ": " + why);
		}
	}

	if (!extract) {
		for (size_t i = 0; i < entries.size(); i++) {
			const BPrivate::ResourceEntry& entry = entries[i];
			printf("%zu %s %d %s %zu\n", i,
				BPrivate::FormatTypeCode(entry.type).c_str(), int(entry.id),
				Quoted(entry.name).c_str(), entry.size);
		}
		return fflush(stdout) == 0 ? 0 : 1;
	}

	for (const BPrivate::ResourceEntry& entry : entries) {
		if (entry.type != wantedType || entry.id != wantedId)
			continue;
		const std::string& outPath = arguments[4];
		std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
		out.write(static_cast<const char*>(entry.data),
			std::streamsize(entry.size));
		out.close();
		if (!out)
			Fail("cannot write " + outPath);
		return 0;
	}
	Fail(arguments[0] + ": no resource of type "
		+ BPrivate::FormatTypeCode(wantedType) + " and id "
		+ std::to_string(wantedId));
}
