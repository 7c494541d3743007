// BResources over blobs made here (good and damaged), and over the
// resources the build linked into this very test program from
// test-resources.manifest.

#include <Resources.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <private/ResourceData.h>

#include "../../support/Watchdog.h"

namespace {

using BPrivate::BuildResourceBlob;
using BPrivate::ResourceSource;

std::vector<uint8_t>
Bytes(const std::string& text)
{
	return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t>
ReadFile(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
		std::istreambuf_iterator<char>());
}

std::vector<ResourceSource>
SampleSources()
{
	return {
		{ 'TEXT', 1, "first", Bytes("abc") },
		{ 'TEXT', 2, "", Bytes("") },
		{ 'DATA', 1, "first", Bytes("0123456789") },
		{ 'DATA', -5, "x", Bytes("four") },
	};
}

TEST(Resources, BlobLayoutIsLittleEndianAndAligned)
{
	std::vector<uint8_t> blob = BuildResourceBlob({ { 'ABCD', -2, "nm",
		Bytes("hello") } });
	const uint8_t expected[] = {
		'B', 'R', 'S', 'C', 1, 0, 0, 0,
		'D', 'C', 'B', 'A', 0xfe, 0xff, 0xff, 0xff, 2, 0, 0, 0, 5, 0, 0, 0,
		'n', 'm', 0, 0,
		'h', 'e', 'l', 'l', 'o', 0, 0, 0,
	};
	ASSERT_EQ(blob.size(), sizeof(expected));
	EXPECT_EQ(memcmp(blob.data(), expected, sizeof(expected)), 0);
}

TEST(Resources, LooksUpByTypeAndIdAndByName)
{
	std::vector<uint8_t> blob = BuildResourceBlob(SampleSources());
	BResources resources;
	EXPECT_EQ(resources.InitCheck(), B_NO_INIT);
	ASSERT_EQ(resources.SetTo(blob.data(), blob.size()), B_OK);
	EXPECT_EQ(resources.InitCheck(), B_OK);
	ASSERT_EQ(resources.CountResources(), 4);

	size_t size = 99;
	const void* data = resources.LoadResource('DATA', 1, &size);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(size, 10u);
	EXPECT_EQ(memcmp(data, "0123456789", 10), 0);
	EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 4, 0u);

	data = resources.LoadResource('DATA', -5, &size);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(size, 4u);
	EXPECT_EQ(memcmp(data, "four", 4), 0);

	// Same name in two types: each type finds its own.
	data = resources.LoadResource('TEXT', "first", &size);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(size, 3u);
	EXPECT_EQ(memcmp(data, "abc", 3), 0);
	data = resources.LoadResource('DATA', "first", &size);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(size, 10u);

	// Empty data is present, not absent.
	EXPECT_TRUE(resources.HasResource('TEXT', 2));
	EXPECT_NE(resources.LoadResource('TEXT', 2, &size), nullptr);
	EXPECT_EQ(size, 0u);
	EXPECT_TRUE(resources.HasResource('TEXT', ""));

	int32 id = 0;
	const char* name = nullptr;
	EXPECT_TRUE(resources.GetResourceInfo('DATA', "x", &id, &size));
	EXPECT_EQ(id, -5);
	EXPECT_TRUE(resources.GetResourceInfo('TEXT', 1, &name, &size));
	EXPECT_STREQ(name, "first");
	EXPECT_EQ(size, 3u);
}

TEST(Resources, AbsentResourcesAreNull)
{
	std::vector<uint8_t> blob = BuildResourceBlob(SampleSources());
	BResources resources(blob.data(), blob.size());
	ASSERT_EQ(resources.InitCheck(), B_OK);
	size_t size = 77;
	EXPECT_EQ(resources.LoadResource('TEXT', 3, &size), nullptr);
	EXPECT_EQ(size, 77u);
	EXPECT_EQ(resources.LoadResource('TEXX', 1, nullptr), nullptr);
	EXPECT_EQ(resources.LoadResource('TEXT', "firs", nullptr), nullptr);
	EXPECT_EQ(resources.LoadResource('TEXT', "first ", nullptr), nullptr);
	EXPECT_EQ(resources.LoadResource('TEXT', (const char*)nullptr, nullptr),
		nullptr);
	EXPECT_FALSE(resources.HasResource('DATA', 2));
	EXPECT_FALSE(resources.HasResource('DATA', "y"));
	EXPECT_FALSE(resources.GetResourceInfo(4, nullptr, nullptr, nullptr,
		nullptr));
	EXPECT_FALSE(resources.GetResourceInfo(-1, nullptr, nullptr, nullptr,
		nullptr));
	EXPECT_FALSE(resources.GetResourceInfo('DATA', 9, nullptr, nullptr));
	EXPECT_FALSE(resources.GetResourceInfo('DATA', "none", nullptr,
		nullptr));
}

TEST(Resources, IndexFollowsThePackedOrder)
{
	std::vector<ResourceSource> sources = SampleSources();
	std::vector<uint8_t> blob = BuildResourceBlob(sources);
	BResources resources(blob.data(), blob.size());
	ASSERT_EQ(resources.CountResources(), int32(sources.size()));
	for (size_t i = 0; i < sources.size(); i++) {
		type_code type = 0;
		int32 id = 0;
		const char* name = nullptr;
		size_t size = 0;
		ASSERT_TRUE(resources.GetResourceInfo(int32(i), &type, &id, &name,
			&size));
		EXPECT_EQ(type, sources[i].type) << i;
		EXPECT_EQ(id, sources[i].id) << i;
		EXPECT_EQ(std::string(name), sources[i].name) << i;
		EXPECT_EQ(size, sources[i].data.size()) << i;
	}
	// Any out parameter may be left out.
	EXPECT_TRUE(resources.GetResourceInfo(0, nullptr, nullptr, nullptr,
		nullptr));
}

TEST(Resources, KeepsItsOwnCopyOfTheBlob)
{
	std::vector<uint8_t> blob = BuildResourceBlob(SampleSources());
	BResources resources;
	{
		std::vector<uint8_t> copy = blob;
		ASSERT_EQ(resources.SetTo(copy.data(), copy.size()), B_OK);
		memset(copy.data(), 0, copy.size());
	}
	size_t size = 0;
	const void* data = resources.LoadResource('DATA', -5, &size);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(memcmp(data, "four", 4), 0);
}

TEST(Resources, EveryTruncationIsRejected)
{
	std::vector<uint8_t> blob = BuildResourceBlob(SampleSources());
	for (size_t length = 0; length < blob.size(); length++) {
		std::vector<uint8_t> cut(blob.begin(), blob.begin() + length);
		BResources resources;
		status_t status = resources.SetTo(cut.data(), cut.size());
		EXPECT_NE(status, B_OK) << length;
		EXPECT_EQ(resources.InitCheck(), status);
		EXPECT_EQ(resources.CountResources(), 0) << length;
		EXPECT_EQ(resources.LoadResource('TEXT', 1, nullptr), nullptr);
	}
}

TEST(Resources, DamagedBlobsAreRejected)
{
	const std::vector<uint8_t> good = BuildResourceBlob(SampleSources());
	// Offsets into the first entry: header at 8, name at 24, data at 32.
	struct Damage {
		const char* what;
		size_t at;
		uint8_t value;
	};
	const Damage kDamage[] = {
		{ "magic", 0, 'b' },
		{ "magic", 3, 0 },
		{ "count one too many", 4, 5 },
		{ "count huge", 7, 0x80 },
		{ "name length past the end", 16, 0xf0 },
		{ "name length over 255", 17, 1 },
		{ "name longer than its terminator", 16, 8 },
		{ "data size past the end", 20, 0xff },
		{ "data size huge", 23, 0xff },
		{ "name with a zero inside", 25, 0 },
		{ "name padding not zero", 30, 'z' },
		{ "data padding not zero", 35, 1 },
		{ "second entry repeats the first's id", 40, 1 },
	};
	for (const Damage& damage : kDamage) {
		std::vector<uint8_t> blob = good;
		blob[damage.at] = damage.value;
		BResources resources;
		EXPECT_EQ(resources.SetTo(blob.data(), blob.size()), B_BAD_DATA)
			<< damage.what;
		EXPECT_EQ(resources.CountResources(), 0) << damage.what;
	}

	BResources resources;
	EXPECT_EQ(resources.SetTo(nullptr, 100), B_BAD_VALUE);
	EXPECT_EQ(resources.SetTo(good.data(), 0), B_BAD_VALUE);
}

TEST(Resources, RepeatedTypeAndIdIsRejected)
{
	std::vector<ResourceSource> sources = SampleSources();
	sources.push_back({ 'TEXT', 1, "again", Bytes("x") });
	std::vector<uint8_t> blob = BuildResourceBlob(sources);
	BResources resources;
	EXPECT_EQ(resources.SetTo(blob.data(), blob.size()), B_BAD_DATA);
	EXPECT_EQ(resources.CountResources(), 0);
}

TEST(Resources, TrailingZerosAreAllowedButNotOtherBytes)
{
	std::vector<uint8_t> blob = BuildResourceBlob(SampleSources());
	blob.resize(blob.size() + 12, 0);
	BResources resources;
	EXPECT_EQ(resources.SetTo(blob.data(), blob.size()), B_OK);
	EXPECT_EQ(resources.CountResources(), 4);
	blob.back() = 1;
	EXPECT_EQ(resources.SetTo(blob.data(), blob.size()), B_BAD_DATA);
	EXPECT_EQ(resources.CountResources(), 0);
}

TEST(Resources, BadBlobReplacesAGoodOne)
{
	std::vector<uint8_t> blob = BuildResourceBlob(SampleSources());
	BResources resources(blob.data(), blob.size());
	ASSERT_EQ(resources.CountResources(), 4);
	blob[0] = 'X';
	EXPECT_NE(resources.SetTo(blob.data(), blob.size()), B_OK);
	EXPECT_EQ(resources.CountResources(), 0);
	EXPECT_FALSE(resources.HasResource('TEXT', 1));
	resources.Unset();
	EXPECT_EQ(resources.InitCheck(), B_NO_INIT);
}

TEST(Resources, EmptyBlobHoldsNothing)
{
	std::vector<uint8_t> blob = BuildResourceBlob({});
	ASSERT_EQ(blob.size(), 8u);
	BResources resources(blob.data(), blob.size());
	EXPECT_EQ(resources.InitCheck(), B_OK);
	EXPECT_EQ(resources.CountResources(), 0);
}

// The resources of this program, as test-resources.manifest lists them.
struct Listed {
	type_code type;
	int32 id;
	const char* name;
};

const Listed kManifest[] = {
	{ 'MIMS', 1, "BEOS:APP_SIG" },
	{ 'APPF', 1, "BEOS:APP_FLAGS" },
	{ 'BMP ', 1, "kesto_bg" },
	{ 'TEXT', 5, "" },
	{ 'BMP ', 2, "kesto_bg" },
	{ 'LONG', -7, "odd \"name\" \\ here" },
	{ 'CSTR', 3, "lines" },
};

TEST(AppResources, HoldTheManifestsResourcesInOrder)
{
	BResources* resources = BPrivate::AppResources();
	ASSERT_NE(resources, nullptr);
	EXPECT_EQ(resources->InitCheck(), B_OK);
	ASSERT_EQ(resources->CountResources(), int32(std::size(kManifest)));
	for (size_t i = 0; i < std::size(kManifest); i++) {
		type_code type = 0;
		int32 id = 0;
		const char* name = nullptr;
		ASSERT_TRUE(resources->GetResourceInfo(int32(i), &type, &id, &name,
			nullptr));
		EXPECT_EQ(type, kManifest[i].type) << i;
		EXPECT_EQ(id, kManifest[i].id) << i;
		EXPECT_STREQ(name, kManifest[i].name) << i;
	}
	EXPECT_EQ(BPrivate::AppResources(), resources);
}

TEST(AppResources, CarryTheBytesOfEachSource)
{
	BResources* resources = BPrivate::AppResources();
	size_t size = 0;

	const char* signature = static_cast<const char*>(
		resources->LoadResource('MIMS', 1, &size));
	ASSERT_NE(signature, nullptr);
	const char kSignature[] = "application/x-vnd.Belvo-ImageTests";
	ASSERT_EQ(size, sizeof(kSignature));	// with its terminating zero
	EXPECT_EQ(memcmp(signature, kSignature, sizeof(kSignature)), 0);

	const uint8_t* flags = static_cast<const uint8_t*>(
		resources->LoadResource('APPF', "BEOS:APP_FLAGS", &size));
	ASSERT_NE(flags, nullptr);
	ASSERT_EQ(size, 4u);
	EXPECT_EQ(flags[0] | flags[1] | flags[2] | flags[3], 0);

	const uint8_t* word = static_cast<const uint8_t*>(
		resources->LoadResource('LONG', -7, &size));
	ASSERT_NE(word, nullptr);
	ASSERT_EQ(size, 4u);
	const uint8_t kWord[] = { 0xef, 0xbe, 0xad, 0xde };
	EXPECT_EQ(memcmp(word, kWord, 4), 0);

	const char* lines = static_cast<const char*>(
		resources->LoadResource('CSTR', "lines", &size));
	ASSERT_NE(lines, nullptr);
	const char kLines[] = "one\ttwo\nthree\\";
	ASSERT_EQ(size, sizeof(kLines));
	EXPECT_EQ(memcmp(lines, kLines, sizeof(kLines)), 0);

	std::vector<uint8_t> text = ReadFile(std::string(TEST_SOURCE_DIR)
		+ "/resource-text.txt");
	ASSERT_FALSE(text.empty());
	const void* data = resources->LoadResource('TEXT', 5, &size);
	ASSERT_NE(data, nullptr);
	ASSERT_EQ(size, text.size());
	EXPECT_EQ(memcmp(data, text.data(), size), 0);

	std::vector<uint8_t> image = ReadFile(std::string(RESOURCE_DIR)
		+ "/kesto_bg.bmp");
	ASSERT_EQ(image.size(), 38394u);
	data = resources->LoadResource('BMP ', 1, &size);
	ASSERT_NE(data, nullptr);
	ASSERT_EQ(size, image.size());
	EXPECT_EQ(memcmp(data, image.data(), size), 0);
}

TEST(AppResources, NameLookupFindsTheFirstOfATypeAndName)
{
	BResources* resources = BPrivate::AppResources();
	int32 id = 0;
	size_t size = 0;
	ASSERT_TRUE(resources->GetResourceInfo('BMP ', "kesto_bg", &id, &size));
	EXPECT_EQ(id, 1);
	EXPECT_EQ(size, 38394u);
	EXPECT_TRUE(resources->HasResource('BMP ', 2));
	EXPECT_TRUE(resources->HasResource('LONG', "odd \"name\" \\ here"));
}

TEST(AppResources, AbsentOnesAreNull)
{
	BResources* resources = BPrivate::AppResources();
	EXPECT_EQ(resources->LoadResource('BMP ', 3, nullptr), nullptr);
	EXPECT_EQ(resources->LoadResource('BMP ', -1, nullptr), nullptr);
	EXPECT_EQ(resources->LoadResource('MIMS', 2, nullptr), nullptr);
	EXPECT_EQ(resources->LoadResource('BMP ', "kesto", nullptr), nullptr);
	EXPECT_EQ(resources->LoadResource('PNG ', "kesto_bg", nullptr), nullptr);
	EXPECT_FALSE(resources->HasResource('TEXT', 1));
}

TEST(AppResources, FirstUseFromManyThreadsAtOnce)
{
	// Each test runs in a process of its own, so this is the first use.
	Watchdog watchdog(std::chrono::seconds(20), "AppResources threads");
	const int kThreads = 8;
	std::atomic<bool> go{false};
	std::vector<BResources*> seen(kThreads, nullptr);
	std::vector<int32> counts(kThreads, -1);
	std::vector<std::thread> threads;
	for (int i = 0; i < kThreads; i++) {
		threads.emplace_back([&, i] {
			while (!go.load())
				std::this_thread::yield();
			seen[size_t(i)] = BPrivate::AppResources();
			counts[size_t(i)] = seen[size_t(i)]->CountResources();
		});
	}
	go = true;
	for (std::thread& thread : threads)
		thread.join();
	for (int i = 0; i < kThreads; i++) {
		EXPECT_EQ(seen[size_t(i)], seen[0]);
		EXPECT_EQ(counts[size_t(i)], int32(std::size(kManifest)));
	}
}

} // namespace
