/*
 * Single launch: the first instance listens, a later one asks it to come
 * forward and learns that it runs, and leftovers of a crashed instance do
 * not stop the next one from starting.
 */
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include <private/LaunchGuard.h>

#include "../../support/Watchdog.h"

using BPrivate::LaunchGuard;
using namespace std::chrono_literals;

namespace {

class LaunchGuardTest : public testing::Test {
protected:
	void SetUp() override
	{
		char pattern[] = "/tmp/launch-guard-test.XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		fDirectory = pattern;
		fPath = fDirectory + "/app.launch";
	}

	void TearDown() override
	{
		unlink(fPath.c_str());
		rmdir(fDirectory.c_str());
	}

	std::string fDirectory;
	std::string fPath;
};

bool
Exists(const std::string& path)
{
	struct stat info;
	return lstat(path.c_str(), &info) == 0;
}

} // namespace

TEST_F(LaunchGuardTest, ALaterLaunchFindsTheFirstAndAsksItToComeForward)
{
	Watchdog watchdog(20s, "LaunchGuard");
	std::atomic<int> activations{ 0 };
	std::mutex lock;
	std::vector<std::string> tokens;
	LaunchGuard first([&](const std::string& token) {
		std::lock_guard<std::mutex> hold(lock);
		tokens.push_back(token);
		activations++;
	});
	ASSERT_EQ(first.Acquire(fPath, [] {
		ADD_FAILURE() << "the first one asked for a token";
		return std::string("unused");
	}), LaunchGuard::kFirstInstance);

	struct stat info;
	ASSERT_EQ(stat(fPath.c_str(), &info), 0);
	EXPECT_TRUE(S_ISSOCK(info.st_mode));
	EXPECT_EQ(info.st_mode & 077, 0u) << "others may not reach the socket";

	// Without a token, with the compositor's, and with one that could
	// break the request's line, which goes as none.
	const std::vector<std::string> passed = { "",
		"sway-activation:7f1c2e90-33aa", "two words\nactivate" };
	for (size_t launch = 0; launch < passed.size(); launch++) {
		LaunchGuard later([](const std::string&) {
			ADD_FAILURE() << "the later one was asked";
		});
		EXPECT_EQ(later.Acquire(fPath, [&] { return passed[launch]; }),
			LaunchGuard::kOtherInstance);
		EXPECT_EQ(activations.load(), int(launch) + 1);
	}
	EXPECT_EQ(tokens, (std::vector<std::string>{ "",
		"sway-activation:7f1c2e90-33aa", "" }));
	EXPECT_TRUE(Exists(fPath)) << "a later launch removed the first's socket";
}

TEST_F(LaunchGuardTest, TheSocketGoesWithTheInstanceAndTheNextOneRuns)
{
	Watchdog watchdog(20s, "LaunchGuardEnd");
	{
		LaunchGuard first(nullptr);
		ASSERT_EQ(first.Acquire(fPath), LaunchGuard::kFirstInstance);
	}
	EXPECT_FALSE(Exists(fPath));
	LaunchGuard next(nullptr);
	EXPECT_EQ(next.Acquire(fPath), LaunchGuard::kFirstInstance);
}

TEST_F(LaunchGuardTest, ASocketLeftByACrashedInstanceIsReplaced)
{
	Watchdog watchdog(20s, "LaunchGuardStale");
	int fd = socket(AF_UNIX, SOCK_STREAM, 0);
	ASSERT_GE(fd, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, fPath.c_str(), sizeof(address.sun_path) - 1);
	ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address),
		sizeof(address)), 0);
	close(fd);  // bound, never listening, never removed
	ASSERT_TRUE(Exists(fPath));

	LaunchGuard guard(nullptr);
	EXPECT_EQ(guard.Acquire(fPath), LaunchGuard::kFirstInstance);
}

TEST_F(LaunchGuardTest, SomethingElseInTheSocketsPlaceIsLeftAlone)
{
	Watchdog watchdog(20s, "LaunchGuardFile");
	{
		std::ofstream file(fPath);
		file << "not a socket";
	}
	LaunchGuard guard(nullptr);
	EXPECT_EQ(guard.Acquire(fPath), LaunchGuard::kUnguarded);
	std::ifstream file(fPath);
	std::string content;
	std::getline(file, content);
	EXPECT_EQ(content, "not a socket");
}

TEST_F(LaunchGuardTest, OnlyAPrivateRuntimeDirectoryIsUsed)
{
	const char* saved = getenv("XDG_RUNTIME_DIR");
	std::string previous = saved != nullptr ? saved : "";

	ASSERT_EQ(chmod(fDirectory.c_str(), 0700), 0);
	setenv("XDG_RUNTIME_DIR", fDirectory.c_str(), 1);
	std::string why;
	EXPECT_EQ(LaunchGuard::PrivateDirectory(&why), fDirectory);
	std::string path = LaunchGuard::SocketPath("application/x-vnd.Test-App",
		true, &why);
	EXPECT_EQ(path.rfind(fDirectory + "/application-x-vnd.Test-App-", 0), 0u)
		<< path;

	// A runtime directory others can enter is not private: the fallback
	// under /tmp, the user's own, is used instead.
	ASSERT_EQ(chmod(fDirectory.c_str(), 0755), 0);
	std::string fallback = LaunchGuard::PrivateDirectory(&why);
	EXPECT_NE(fallback, fDirectory);
	if (!fallback.empty()) {
		struct stat info;
		ASSERT_EQ(stat(fallback.c_str(), &info), 0);
		EXPECT_EQ(info.st_uid, getuid());
		EXPECT_EQ(info.st_mode & 077, 0u);
	}

	if (saved != nullptr)
		setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
	else
		unsetenv("XDG_RUNTIME_DIR");
}
