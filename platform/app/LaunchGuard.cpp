/*
 * The single-launch socket: listening for later launches, and asking the
 * running instance to come forward.
 */
#include <private/LaunchGuard.h>

#include <pthread.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace BPrivate {

namespace {

// "activate\n", or "activate TOKEN\n" with an activation token.
const char kActivateRequest[] = "activate";
const char kActivateReply[] = "ok\n";
const size_t kMostTokenLength = 255;
// How long a later launch waits for the running one to answer.
const int kAnswerTimeoutMs = 2000;

bool
IsPrivateDirectory(const std::string& path)
{
	struct stat info;
	return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)
		&& info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

bool
FillAddress(const std::string& path, sockaddr_un* address)
{
	memset(address, 0, sizeof(*address));
	address->sun_family = AF_UNIX;
	if (path.empty() || path.size() >= sizeof(address->sun_path))
		return false;
	memcpy(address->sun_path, path.c_str(), path.size());
	return true;
}

// Reads until `expected` has come or the time is up.
bool
ReadExactly(int fd, const char* expected, int timeoutMs)
{
	size_t length = strlen(expected);
	std::string received;
	while (received.size() < length) {
		pollfd poller = { fd, POLLIN, 0 };
		if (poll(&poller, 1, timeoutMs) <= 0)
			return false;
		char buffer[32];
		ssize_t count = read(fd, buffer, std::min(sizeof(buffer),
			length - received.size()));
		if (count <= 0)
			return false;
		received.append(buffer, size_t(count));
	}
	return received == expected;
}

// Reads one line of at most `most` bytes, without its newline, until the
// time is up.
bool
ReadLine(int fd, size_t most, int timeoutMs, std::string* line)
{
	line->clear();
	for (;;) {
		pollfd poller = { fd, POLLIN, 0 };
		if (poll(&poller, 1, timeoutMs) <= 0)
			return false;
		char buffer[64];
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count <= 0)
			return false;
		const char* end = static_cast<const char*>(
			memchr(buffer, '\n', size_t(count)));
		line->append(buffer, end != nullptr ? size_t(end - buffer)
			: size_t(count));
		if (line->size() > most)
			return false;
		if (end != nullptr)
			return true;
	}
}

bool
WriteAll(int fd, const char* text)
{
	size_t length = strlen(text);
	while (length > 0) {
		ssize_t count = send(fd, text, length, MSG_NOSIGNAL);
		if (count <= 0)
			return false;
		text += count;
		length -= size_t(count);
	}
	return true;
}

} // namespace

LaunchGuard::LaunchGuard(Activate activate)
	:
	fActivate(std::move(activate)),
	fSocket(-1),
	fDevice(0),
	fInode(0)
{
	fWakePipe[0] = fWakePipe[1] = -1;
}

LaunchGuard::~LaunchGuard()
{
	if (fThread.joinable()) {
		char byte = 'q';
		if (write(fWakePipe[1], &byte, 1) < 0) {
			// The listener also wakes when the pipe closes below.
		}
		fThread.join();
	}
	if (fSocket >= 0) {
		// Only our own socket goes: a newer instance may have replaced it.
		struct stat info;
		if (stat(fPath.c_str(), &info) == 0 && uint64(info.st_dev) == fDevice
			&& uint64(info.st_ino) == fInode)
			unlink(fPath.c_str());
		close(fSocket);
	}
	for (int fd : fWakePipe) {
		if (fd >= 0)
			close(fd);
	}
}

std::string
LaunchGuard::PrivateDirectory(std::string* why)
{
	const char* runtime = getenv("XDG_RUNTIME_DIR");
	if (runtime != nullptr && runtime[0] == '/' && IsPrivateDirectory(runtime))
		return runtime;
	std::string fallback = "/tmp/belvo-" + std::to_string(getuid());
	if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
		*why = "cannot make " + fallback + ": " + strerror(errno);
		return "";
	}
	if (!IsPrivateDirectory(fallback)) {
		*why = fallback + " is not a private directory of this user";
		return "";
	}
	return fallback;
}

std::string
LaunchGuard::SocketPath(const std::string& signature, bool perExecutable,
	std::string* why)
{
	std::string directory = PrivateDirectory(why);
	if (directory.empty())
		return "";
	std::string name;
	for (char c : signature)
		name += (isalnum((unsigned char)c) || c == '.' || c == '-') ? c : '-';
	if (name.empty())
		name = "application";
	if (perExecutable) {
		struct stat info;
		if (stat("/proc/self/exe", &info) == 0) {
			char suffix[64];
			snprintf(suffix, sizeof(suffix), "-%llx-%llx",
				(unsigned long long)info.st_dev,
				(unsigned long long)info.st_ino);
			name += suffix;
		}
	}
	std::string path = directory + "/" + name + ".launch";
	sockaddr_un address;
	if (!FillAddress(path, &address)) {
		*why = "socket path too long: " + path;
		return "";
	}
	return path;
}

bool
LaunchGuard::IsPassableToken(const std::string& token)
{
	if (token.size() > kMostTokenLength)
		return false;
	for (char c : token) {
		if (c <= ' ' || c > '~')
			return false;
	}
	return true;
}

bool
LaunchGuard::_AskRunning(const std::string& path, const TokenSource& token)
{
	sockaddr_un address;
	if (!FillAddress(path, &address))
		return false;
	int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return false;
	bool answered = false;
	if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address))
			== 0) {
		// Someone listens: only now is a token worth asking for.
		std::string request = kActivateRequest;
		std::string passed = token ? token() : std::string();
		if (!passed.empty() && IsPassableToken(passed))
			request += " " + passed;
		request += "\n";
		answered = WriteAll(fd, request.c_str())
			&& ReadExactly(fd, kActivateReply, kAnswerTimeoutMs);
	}
	close(fd);
	return answered;
}

LaunchGuard::Outcome
LaunchGuard::Acquire(const std::string& path, TokenSource token)
{
	sockaddr_un address;
	if (!FillAddress(path, &address))
		return kUnguarded;

	for (int attempt = 0; attempt < 2; attempt++) {
		if (_AskRunning(path, token))
			return kOtherInstance;

		int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
		if (fd < 0)
			return kUnguarded;
		// Nobody answered: what is there is left over from an instance that
		// did not end cleanly, and only a socket is ever removed.
		struct stat info;
		if (lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)
			&& info.st_uid == getuid())
			unlink(path.c_str());
		if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address))
				== 0 && listen(fd, 4) == 0) {
			chmod(path.c_str(), 0600);
			fSocket = fd;
			fPath = path;
			if (stat(path.c_str(), &info) == 0) {
				fDevice = uint64(info.st_dev);
				fInode = uint64(info.st_ino);
			}
			if (pipe2(fWakePipe, O_CLOEXEC) != 0) {
				fWakePipe[0] = fWakePipe[1] = -1;
				return kFirstInstance;
			}
			fThread = std::thread([this] {
				pthread_setname_np(pthread_self(), "belvo-launch");
				_Listen();
			});
			return kFirstInstance;
		}
		close(fd);
		// Another launch bound it first: ask that one.
	}
	return kUnguarded;
}

void
LaunchGuard::_Listen()
{
	for (;;) {
		pollfd pollers[2] = { { fSocket, POLLIN, 0 },
			{ fWakePipe[0], POLLIN, 0 } };
		if (poll(pollers, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (pollers[1].revents != 0)
			return;
		if ((pollers[0].revents & POLLIN) == 0)
			continue;
		int client = accept4(fSocket, nullptr, nullptr, SOCK_CLOEXEC);
		if (client < 0)
			continue;
		std::string line;
		const size_t verb = strlen(kActivateRequest);
		if (ReadLine(client, verb + 1 + kMostTokenLength, kAnswerTimeoutMs,
				&line)
			&& line.compare(0, verb, kActivateRequest) == 0
			&& (line.size() == verb || line[verb] == ' ')) {
			std::string token = line.size() > verb ? line.substr(verb + 1)
				: std::string();
			if (!IsPassableToken(token))
				token.clear();
			if (fActivate)
				fActivate(token);
			WriteAll(client, kActivateReply);
		}
		close(client);
	}
}

} // namespace BPrivate
