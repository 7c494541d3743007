// Decoding UTF-8: well-formed text, every kind of malformed sequence, and
// never a byte read past the length. Buffers are allocated to their exact
// size, without a terminating zero, so that AddressSanitizer catches any
// read beyond them.

#include <Font.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <private/FontEngine.h>

#include "TestCanvas.h"

namespace {

const uint32 kBad = BPrivate::kReplacementCharacter;

// Exactly the bytes of text, nothing after them.
std::unique_ptr<char[]>
ExactCopy(const std::string& text)
{
	std::unique_ptr<char[]> copy(new char[text.size() > 0 ? text.size() : 1]);
	memcpy(copy.get(), text.data(), text.size());
	return copy;
}

std::vector<uint32>
Decode(const std::string& text)
{
	std::unique_ptr<char[]> bytes = ExactCopy(text);
	std::vector<uint32> codePoints;
	size_t offset = 0;
	while (offset < text.size()) {
		size_t before = offset;
		codePoints.push_back(BPrivate::NextCodePoint(bytes.get(), text.size(),
			&offset));
		EXPECT_GT(offset, before);
		EXPECT_LE(offset, text.size());
		if (offset <= before)
			break;
	}
	return codePoints;
}

std::string
Encode(uint32 c)
{
	std::string out;
	if (c < 0x80) {
		out += char(c);
	} else if (c < 0x800) {
		out += char(0xc0 | (c >> 6));
		out += char(0x80 | (c & 0x3f));
	} else if (c < 0x10000) {
		out += char(0xe0 | (c >> 12));
		out += char(0x80 | ((c >> 6) & 0x3f));
		out += char(0x80 | (c & 0x3f));
	} else {
		out += char(0xf0 | (c >> 18));
		out += char(0x80 | ((c >> 12) & 0x3f));
		out += char(0x80 | ((c >> 6) & 0x3f));
		out += char(0x80 | (c & 0x3f));
	}
	return out;
}

} // namespace

TEST(Utf8Test, WellFormedText)
{
	EXPECT_EQ(Decode("A~"), (std::vector<uint32>{ 0x41, 0x7e }));
	EXPECT_EQ(Decode("\xc3\xa9"), (std::vector<uint32>{ 0xe9 }));
	EXPECT_EQ(Decode("\xe2\x82\xac"), (std::vector<uint32>{ 0x20ac }));
	EXPECT_EQ(Decode("\xf0\x9f\x8e\xb8"), (std::vector<uint32>{ 0x1f3b8 }));
	// The edges of each length.
	EXPECT_EQ(Decode("\xc2\x80\xdf\xbf"),
		(std::vector<uint32>{ 0x80, 0x7ff }));
	EXPECT_EQ(Decode("\xe0\xa0\x80\xef\xbf\xbf"),
		(std::vector<uint32>{ 0x800, 0xffff }));
	EXPECT_EQ(Decode("\xed\x9f\xbf\xee\x80\x80"),
		(std::vector<uint32>{ 0xd7ff, 0xe000 }));
	EXPECT_EQ(Decode("\xf0\x90\x80\x80\xf4\x8f\xbf\xbf"),
		(std::vector<uint32>{ 0x10000, 0x10ffff }));

	// Every scalar value survives a round trip (sampled).
	for (uint32 c = 1; c <= 0x10ffff; c += (c < 0x1000 ? 1 : 97)) {
		if (c >= 0xd800 && c <= 0xdfff)
			continue;
		ASSERT_EQ(Decode(Encode(c)), std::vector<uint32>{ c }) << c;
	}
}

TEST(Utf8Test, MalformedSequencesBecomeReplacements)
{
	// One replacement for each maximal ill-formed part.
	EXPECT_EQ(Decode("\x80"), (std::vector<uint32>{ kBad }));
	EXPECT_EQ(Decode("\xbf\x80"), (std::vector<uint32>{ kBad, kBad }));
	EXPECT_EQ(Decode("\xff\xfe"), (std::vector<uint32>{ kBad, kBad }));
	EXPECT_EQ(Decode("\xf5\x80"), (std::vector<uint32>{ kBad, kBad }));
	// Overlong forms.
	EXPECT_EQ(Decode("\xc0\xaf"), (std::vector<uint32>{ kBad, kBad }));
	EXPECT_EQ(Decode("\xc1\xbf"), (std::vector<uint32>{ kBad, kBad }));
	EXPECT_EQ(Decode("\xe0\x80\xaf"),
		(std::vector<uint32>{ kBad, kBad, kBad }));
	EXPECT_EQ(Decode("\xf0\x80\x80\xaf"),
		(std::vector<uint32>{ kBad, kBad, kBad, kBad }));
	// Surrogates and values beyond U+10FFFF.
	EXPECT_EQ(Decode("\xed\xa0\x80"),
		(std::vector<uint32>{ kBad, kBad, kBad }));
	EXPECT_EQ(Decode("\xed\xbf\xbf"),
		(std::vector<uint32>{ kBad, kBad, kBad }));
	EXPECT_EQ(Decode("\xf4\x90\x80\x80"),
		(std::vector<uint32>{ kBad, kBad, kBad, kBad }));
	// Sequences cut short: the part that was there is one replacement, and
	// the byte that broke it starts the next character.
	EXPECT_EQ(Decode("\xe2\x82"), (std::vector<uint32>{ kBad }));
	EXPECT_EQ(Decode("\xe2\x82" "A"), (std::vector<uint32>{ kBad, 'A' }));
	EXPECT_EQ(Decode("\xf0\x9f\x8e"), (std::vector<uint32>{ kBad }));
	EXPECT_EQ(Decode("\xc3\xc3\xa9"), (std::vector<uint32>{ kBad, 0xe9 }));
	EXPECT_EQ(Decode("\xf0\x9f" "\xe2\x82\xac"),
		(std::vector<uint32>{ kBad, 0x20ac }));
	EXPECT_EQ(Decode("a\xc3"), (std::vector<uint32>{ 'a', kBad }));
}

TEST(Utf8Test, TextLengthStopsAtZeroOrLength)
{
	EXPECT_EQ(BPrivate::TextLength(nullptr, -1), 0u);
	EXPECT_EQ(BPrivate::TextLength(nullptr, 5), 0u);
	EXPECT_EQ(BPrivate::TextLength("abc", -1), 3u);
	EXPECT_EQ(BPrivate::TextLength("abc", 0), 0u);
	EXPECT_EQ(BPrivate::TextLength("abc", 2), 2u);
	EXPECT_EQ(BPrivate::TextLength("ab\0c", 4), 2u);
	std::unique_ptr<char[]> exact = ExactCopy("Volume");
	EXPECT_EQ(BPrivate::TextLength(exact.get(), 6), 6u);
}

TEST(Utf8Test, MalformedTextMeasuresAsItsReplacements)
{
	const BFont& font = *be_plain_font;
	const std::string kReplacement = "\xef\xbf\xbd";
	struct Case {
		std::string bad;
		std::string good;
	};
	const Case kCases[] = {
		{ "a\xc0\xaf" "b", "a" + kReplacement + kReplacement + "b" },
		{ "\xe2\x82" "A", kReplacement + "A" },
		{ "x\xed\xa0\x80", "x" + kReplacement + kReplacement + kReplacement },
		{ "\xff", kReplacement },
	};
	for (const Case& test : kCases) {
		std::unique_ptr<char[]> bytes = ExactCopy(test.bad);
		EXPECT_EQ(font.StringWidth(bytes.get(), int32(test.bad.size())),
			font.StringWidth(test.good.c_str()));
	}
}

TEST(Utf8Test, SequenceCutByTheLengthIsNotReadPast)
{
	// "a€" cut after the euro sign's first byte, in a buffer that ends
	// there: one replacement after the a, and nothing read beyond.
	const std::string text = "a\xe2";
	std::unique_ptr<char[]> bytes = ExactCopy(text);
	const BFont& font = *be_plain_font;
	float width = font.StringWidth(bytes.get(), 2);
	EXPECT_EQ(width, font.StringWidth("a\xef\xbf\xbd"));

	TestCanvas canvas(40, 20, 0xffffffff);
	EXPECT_EQ(BPrivate::DrawString(canvas.Canvas(), canvas.Canvas().Bounds(),
		font, bytes.get(), 2, 2, 14, rgb_color{ 0, 0, 0, 255 }), width);

	// A length inside a well-formed sequence cuts it the same way.
	EXPECT_EQ(font.StringWidth("a\xe2\x82\xac", 2), width);
	EXPECT_EQ(font.StringWidth("a\xe2\x82\xac", 3), width);
}

TEST(Utf8Test, ArbitraryBytesAreSafe)
{
	// Deterministic pseudo-random byte strings, weighted towards the bytes
	// that start and continue sequences.
	uint32 state = 12345;
	auto next = [&state]() {
		state = state * 1103515245u + 12345u;
		return state >> 16;
	};
	TestCanvas canvas(64, 24, 0xffffffff);
	for (int round = 0; round < 2000; round++) {
		std::string text;
		size_t length = next() % 12 + 1;
		for (size_t i = 0; i < length; i++) {
			uint32 kind = next() % 4;
			uint8 byte = kind == 0 ? uint8(0x80 + next() % 0x40)
				: kind == 1 ? uint8(0xc0 + next() % 0x40)
				: uint8(next() % 0x100);
			if (byte == 0)
				byte = 'z';
			text += char(byte);
		}
		std::unique_ptr<char[]> bytes = ExactCopy(text);
		std::vector<uint32> codePoints = Decode(text);
		ASSERT_LE(codePoints.size(), text.size());

		std::vector<BPrivate::CharAdvance> advances;
		BPrivate::GetCharAdvances(*be_plain_font, bytes.get(),
			int32(text.size()), &advances);
		ASSERT_EQ(advances.size(), codePoints.size());
		size_t expectedOffset = 0;
		for (const BPrivate::CharAdvance& advance : advances) {
			ASSERT_EQ(advance.offset, expectedOffset);
			ASSERT_GE(advance.bytes, 1u);
			ASSERT_LE(advance.bytes, 4u);
			expectedOffset += advance.bytes;
		}
		ASSERT_EQ(expectedOffset, text.size());

		float width = be_plain_font->StringWidth(bytes.get(),
			int32(text.size()));
		ASSERT_TRUE(std::isfinite(width));
		ASSERT_EQ(BPrivate::DrawString(canvas.Canvas(),
			canvas.Canvas().Bounds(), *be_plain_font, bytes.get(),
			int32(text.size()), 1, 16, rgb_color{ 0, 0, 0, 255 }), width);
	}
}
