// BMessage fields as a program sees them: typed adds and finds, the errors
// that leave outputs alone, repeated names, copies and removal.

#include <Message.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(MessageTest, CarriesItsCode)
{
	BMessage empty;
	EXPECT_EQ(empty.what, 0u);
	EXPECT_TRUE(empty.IsEmpty());

	BMessage message('cm01');
	EXPECT_EQ(message.what, uint32('cm01'));
	EXPECT_TRUE(message.IsEmpty());
	EXPECT_EQ(message.CountNames(), 0);
}

TEST(MessageTest, Int16RoundTripsAtItsLimits)
{
	BMessage message('cm00');
	ASSERT_EQ(message.AddInt16("level", -32768), B_OK);
	ASSERT_EQ(message.AddInt16("freq", 32767), B_OK);

	int16 value = 0;
	EXPECT_EQ(message.FindInt16("level", &value), B_OK);
	EXPECT_EQ(value, -32768);
	EXPECT_EQ(message.FindInt16("freq", &value), B_OK);
	EXPECT_EQ(value, 32767);
	EXPECT_FALSE(message.IsEmpty());
	EXPECT_TRUE(message.HasData("freq", B_INT16_TYPE));
	EXPECT_FALSE(message.HasData("freq", B_INT32_TYPE));
}

TEST(MessageTest, FindInt16OnAnInt32FieldFailsAndLeavesTheOutputAlone)
{
	BMessage message('cm01');
	ASSERT_EQ(message.AddInt32("freq", 587), B_OK);

	int16 value = 1234;
	EXPECT_EQ(message.FindInt16("freq", &value), B_BAD_TYPE);
	EXPECT_EQ(value, 1234);

	int32 wide = 0;
	EXPECT_EQ(message.FindInt32("freq", &wide), B_OK);
	EXPECT_EQ(wide, 587);
}

TEST(MessageTest, FailedFindsNeverWrite)
{
	BMessage message('cm01');
	ASSERT_EQ(message.AddInt16("freq", 82), B_OK);

	int16 value = 99;
	EXPECT_EQ(message.FindInt16("level", &value), B_NAME_NOT_FOUND);
	EXPECT_EQ(value, 99);
	EXPECT_EQ(message.FindInt16(NULL, &value), B_BAD_VALUE);
	EXPECT_EQ(value, 99);
	EXPECT_EQ(message.FindInt16("freq", (int16*)NULL), B_BAD_VALUE);
	EXPECT_EQ(message.FindInt16("freq", 1, &value), B_BAD_INDEX);
	EXPECT_EQ(value, 99);
	EXPECT_EQ(message.FindInt16("freq", -1, &value), B_BAD_INDEX);
	EXPECT_EQ(value, 99);
	// Names are matched exactly.
	EXPECT_EQ(message.FindInt16("Freq", &value), B_NAME_NOT_FOUND);
	EXPECT_EQ(message.FindInt16("fre", &value), B_NAME_NOT_FOUND);
	EXPECT_EQ(value, 99);

	const char* string = "untouched";
	EXPECT_EQ(message.FindString("freq", &string), B_BAD_TYPE);
	EXPECT_STREQ(string, "untouched");
}

TEST(MessageTest, EveryTypeRoundTrips)
{
	BMessage message;
	ASSERT_EQ(message.AddBool("bool", true), B_OK);
	ASSERT_EQ(message.AddInt8("int8", -128), B_OK);
	ASSERT_EQ(message.AddInt32("int32", INT32_MIN), B_OK);
	ASSERT_EQ(message.AddInt64("int64", INT64_MAX), B_OK);
	ASSERT_EQ(message.AddString("string", "Belvo"), B_OK);
	ASSERT_EQ(message.AddPoint("point", BPoint(3.5f, -2)), B_OK);
	EXPECT_EQ(message.CountNames(), 6);

	bool b = false;
	int8 i8 = 0;
	int32 i32 = 0;
	int64 i64 = 0;
	const char* s = NULL;
	BPoint point;
	EXPECT_EQ(message.FindBool("bool", &b), B_OK);
	EXPECT_TRUE(b);
	EXPECT_EQ(message.FindInt8("int8", &i8), B_OK);
	EXPECT_EQ(i8, -128);
	EXPECT_EQ(message.FindInt32("int32", &i32), B_OK);
	EXPECT_EQ(i32, INT32_MIN);
	EXPECT_EQ(message.FindInt64("int64", &i64), B_OK);
	EXPECT_EQ(i64, INT64_MAX);
	EXPECT_EQ(message.FindString("string", &s), B_OK);
	EXPECT_STREQ(s, "Belvo");
	EXPECT_EQ(message.FindPoint("point", &point), B_OK);
	EXPECT_EQ(point, BPoint(3.5f, -2));

	type_code type = 0;
	int32 count = 0;
	EXPECT_EQ(message.GetInfo("string", &type, &count), B_OK);
	EXPECT_EQ(type, type_code(B_STRING_TYPE));
	EXPECT_EQ(count, 1);
	EXPECT_EQ(message.GetInfo("int64", &type), B_OK);
	EXPECT_EQ(type, type_code(B_INT64_TYPE));
	EXPECT_EQ(message.GetInfo("nothing", &type, &count), B_NAME_NOT_FOUND);
	EXPECT_EQ(message.GetInfo(NULL, &type, &count), B_BAD_VALUE);
}

TEST(MessageTest, AddingAnotherTypeUnderAUsedNameIsRefused)
{
	BMessage message;
	ASSERT_EQ(message.AddInt32("freq", 440), B_OK);
	EXPECT_EQ(message.AddInt16("freq", 440), B_BAD_TYPE);
	EXPECT_EQ(message.AddString("freq", "440"), B_BAD_TYPE);

	type_code type = 0;
	int32 count = 0;
	ASSERT_EQ(message.GetInfo("freq", &type, &count), B_OK);
	EXPECT_EQ(type, type_code(B_INT32_TYPE));
	EXPECT_EQ(count, 1);
}

TEST(MessageTest, RepeatedNamesKeepEveryItemInOrder)
{
	BMessage message;
	for (int32 i = 0; i < 5; i++)
		ASSERT_EQ(message.AddInt32("value", i * 10), B_OK);
	ASSERT_EQ(message.AddString("word", "one"), B_OK);
	ASSERT_EQ(message.AddString("word", "three"), B_OK);

	EXPECT_EQ(message.CountNames(), 2);
	int32 count = 0;
	type_code type;
	ASSERT_EQ(message.GetInfo("value", &type, &count), B_OK);
	EXPECT_EQ(count, 5);

	for (int32 i = 0; i < 5; i++) {
		int32 value = -1;
		EXPECT_EQ(message.FindInt32("value", i, &value), B_OK);
		EXPECT_EQ(value, i * 10);
	}
	int32 value = 77;
	EXPECT_EQ(message.FindInt32("value", 5, &value), B_BAD_INDEX);
	EXPECT_EQ(value, 77);
	EXPECT_TRUE(message.HasData("value", B_INT32_TYPE, 4));
	EXPECT_FALSE(message.HasData("value", B_INT32_TYPE, 5));

	// The first item is the one the plain find reports.
	EXPECT_EQ(message.FindInt32("value", &value), B_OK);
	EXPECT_EQ(value, 0);

	const char* word = NULL;
	EXPECT_EQ(message.FindString("word", 1, &word), B_OK);
	EXPECT_STREQ(word, "three");
}

TEST(MessageTest, ManyFieldsAndItemsHaveNoFixedLimit)
{
	BMessage message;
	for (int32 i = 0; i < 2000; i++) {
		std::string name = "field" + std::to_string(i);
		ASSERT_EQ(message.AddInt32(name.c_str(), i), B_OK);
		ASSERT_EQ(message.AddInt16("many", int16(i)), B_OK);
	}
	EXPECT_EQ(message.CountNames(), 2001);
	int32 value = 0;
	EXPECT_EQ(message.FindInt32("field1999", &value), B_OK);
	EXPECT_EQ(value, 1999);
	int16 item = 0;
	EXPECT_EQ(message.FindInt16("many", 1999, &item), B_OK);
	EXPECT_EQ(item, 1999);
}

TEST(MessageTest, CountNamesAndGetInfoByIndexFilterOnType)
{
	BMessage message;
	ASSERT_EQ(message.AddInt16("a", 1), B_OK);
	ASSERT_EQ(message.AddString("b", "x"), B_OK);
	ASSERT_EQ(message.AddInt16("c", 2), B_OK);
	ASSERT_EQ(message.AddInt16("c", 3), B_OK);

	EXPECT_EQ(message.CountNames(B_INT16_TYPE), 2);
	EXPECT_EQ(message.CountNames(B_STRING_TYPE), 1);
	EXPECT_EQ(message.CountNames(B_DOUBLE_TYPE), 0);

	const char* name = NULL;
	type_code type = 0;
	int32 count = 0;
	ASSERT_EQ(message.GetInfo(B_INT16_TYPE, 1, &name, &type, &count), B_OK);
	EXPECT_STREQ(name, "c");
	EXPECT_EQ(type, type_code(B_INT16_TYPE));
	EXPECT_EQ(count, 2);
	ASSERT_EQ(message.GetInfo(B_ANY_TYPE, 1, &name, &type), B_OK);
	EXPECT_STREQ(name, "b");
	EXPECT_EQ(message.GetInfo(B_INT16_TYPE, 2, &name, &type), B_BAD_INDEX);
	EXPECT_EQ(message.GetInfo(B_DOUBLE_TYPE, 0, &name, &type), B_BAD_TYPE);
	EXPECT_EQ(message.GetInfo(B_ANY_TYPE, -1, &name, &type), B_BAD_INDEX);
}

TEST(MessageTest, CopiesAreDeepAndIndependent)
{
	BMessage original('cm01');
	ASSERT_EQ(original.AddInt16("freq", 587), B_OK);
	ASSERT_EQ(original.AddString("label", "D"), B_OK);

	BMessage copy(original);
	EXPECT_EQ(copy.what, original.what);
	ASSERT_EQ(copy.RemoveName("freq"), B_OK);
	ASSERT_EQ(copy.AddInt16("freq", 110), B_OK);
	ASSERT_EQ(copy.RemoveName("label"), B_OK);
	ASSERT_EQ(copy.AddString("label", "A"), B_OK);
	ASSERT_EQ(copy.AddBool("extra", true), B_OK);

	int16 value = 0;
	const char* label = NULL;
	EXPECT_EQ(original.FindInt16("freq", &value), B_OK);
	EXPECT_EQ(value, 587);
	EXPECT_EQ(original.FindString("label", &label), B_OK);
	EXPECT_STREQ(label, "D");
	EXPECT_FALSE(original.HasData("extra", B_BOOL_TYPE));

	BMessage assigned('xxxx');
	ASSERT_EQ(assigned.AddInt32("stale", 1), B_OK);
	assigned = copy;
	EXPECT_EQ(assigned.what, uint32('cm01'));
	EXPECT_FALSE(assigned.HasData("stale", B_INT32_TYPE));
	EXPECT_EQ(assigned.FindInt16("freq", &value), B_OK);
	EXPECT_EQ(value, 110);

	// The copy's strings live in the copy: destroying the source leaves
	// them readable.
	const char* copied = NULL;
	{
		BMessage* temporary = new BMessage(original);
		BMessage fromTemporary(*temporary);
		delete temporary;
		ASSERT_EQ(fromTemporary.FindString("label", &copied), B_OK);
		EXPECT_STREQ(copied, "D");
	}

	BMessage& self = assigned;
	assigned = self;
	EXPECT_EQ(assigned.FindInt16("freq", &value), B_OK);
	EXPECT_EQ(value, 110);
}

TEST(MessageTest, RemovingAndEmptying)
{
	BMessage message('cm00');
	ASSERT_EQ(message.AddInt16("level", -3), B_OK);
	ASSERT_EQ(message.AddInt16("level", -10), B_OK);
	ASSERT_EQ(message.AddInt16("other", 1), B_OK);

	EXPECT_EQ(message.RemoveData("level", 0), B_OK);
	int16 value = 0;
	EXPECT_EQ(message.FindInt16("level", &value), B_OK);
	EXPECT_EQ(value, -10);
	EXPECT_EQ(message.RemoveData("level", 1), B_BAD_INDEX);
	EXPECT_EQ(message.RemoveData("level", 0), B_OK);
	// The last item gone, the name goes too.
	EXPECT_EQ(message.GetInfo("level", NULL), B_NAME_NOT_FOUND);
	EXPECT_EQ(message.CountNames(), 1);
	// And the name may now hold another type.
	EXPECT_EQ(message.AddString("level", "loud"), B_OK);

	EXPECT_EQ(message.RemoveName("other"), B_OK);
	EXPECT_EQ(message.RemoveName("other"), B_NAME_NOT_FOUND);
	EXPECT_EQ(message.RemoveName(NULL), B_BAD_VALUE);
	EXPECT_EQ(message.RemoveData(NULL), B_BAD_VALUE);
	EXPECT_FALSE(message.HasData("other", B_INT16_TYPE));

	EXPECT_EQ(message.MakeEmpty(), B_OK);
	EXPECT_TRUE(message.IsEmpty());
	EXPECT_EQ(message.what, uint32('cm00'));
	const char* string = NULL;
	EXPECT_EQ(message.FindString("level", &string), B_NAME_NOT_FOUND);
}

TEST(MessageTest, RawDataKeepsItsBytesAndSize)
{
	BMessage message;
	const uint8 bytes[] = {0, 1, 2, 255, 0, 7};
	ASSERT_EQ(message.AddData("blob", B_RAW_TYPE, bytes, sizeof(bytes),
		false), B_OK);
	ASSERT_EQ(message.AddData("blob", B_RAW_TYPE, bytes, 2, false), B_OK);
	ASSERT_EQ(message.AddData("empty", B_RAW_TYPE, NULL, 0), B_OK);

	const void* data = NULL;
	ssize_t size = 0;
	ASSERT_EQ(message.FindData("blob", B_RAW_TYPE, &data, &size), B_OK);
	ASSERT_EQ(size, ssize_t(sizeof(bytes)));
	EXPECT_EQ(memcmp(data, bytes, sizeof(bytes)), 0);
	ASSERT_EQ(message.FindData("blob", B_RAW_TYPE, 1, &data, &size), B_OK);
	EXPECT_EQ(size, 2);
	ASSERT_EQ(message.FindData("blob", B_ANY_TYPE, &data, &size), B_OK);
	EXPECT_EQ(size, ssize_t(sizeof(bytes)));
	EXPECT_EQ(message.FindData("blob", B_INT32_TYPE, &data, &size),
		B_BAD_TYPE);
	EXPECT_EQ(message.FindData("blob", B_RAW_TYPE, NULL, &size), B_BAD_VALUE);
	ASSERT_EQ(message.FindData("empty", B_RAW_TYPE, &data, &size), B_OK);
	EXPECT_EQ(size, 0);
	EXPECT_TRUE(message.HasData("blob", B_ANY_TYPE, 1));
	EXPECT_FALSE(message.HasData("blob", B_ANY_TYPE, 2));
}

TEST(MessageTest, BadAddsAreRefusedAndAddNothing)
{
	BMessage message;
	int16 value = 5;
	EXPECT_EQ(message.AddInt16(NULL, 1), B_BAD_VALUE);
	EXPECT_EQ(message.AddString("s", NULL), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("d", B_RAW_TYPE, NULL, 4), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("d", B_RAW_TYPE, &value, -1), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("d", B_ANY_TYPE, &value, sizeof(value)),
		B_BAD_VALUE);
	// A known type must come with its own size, or typed finds would read
	// past the item.
	EXPECT_EQ(message.AddData("d", B_INT16_TYPE, &value, 1), B_BAD_VALUE);
	EXPECT_EQ(message.AddData("d", B_INT64_TYPE, &value, sizeof(value)),
		B_BAD_VALUE);
	EXPECT_TRUE(message.IsEmpty());

	// Fixed-size items of one name must all be the same size.
	const char text[] = "abcdef";
	ASSERT_EQ(message.AddData("fixed", B_RAW_TYPE, text, 3, true), B_OK);
	EXPECT_EQ(message.AddData("fixed", B_RAW_TYPE, text, 4, true),
		B_BAD_VALUE);
}

TEST(MessageTest, UnterminatedStringDataIsNeverHandedOutAsAString)
{
	BMessage message;
	const char letters[] = {'a', 'b', 'c'};
	ASSERT_EQ(message.AddData("s", B_STRING_TYPE, letters, sizeof(letters),
		false), B_OK);
	const char* string = "kept";
	EXPECT_EQ(message.FindString("s", &string), B_BAD_DATA);
	EXPECT_STREQ(string, "kept");
	EXPECT_EQ(message.FindString("s", (const char**)NULL), B_BAD_VALUE);

	ASSERT_EQ(message.AddString("t", ""), B_OK);
	EXPECT_EQ(message.FindString("t", &string), B_OK);
	EXPECT_STREQ(string, "");
}

TEST(MessageTest, BoolBytesOtherThanZeroAndOneReadAsTrue)
{
	BMessage message;
	const uint8 odd = 0x40;
	ASSERT_EQ(message.AddData("flag", B_BOOL_TYPE, &odd, 1), B_OK);
	bool value = false;
	EXPECT_EQ(message.FindBool("flag", &value), B_OK);
	EXPECT_TRUE(value);
}

} // namespace
