#include <private/ThreadId.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace BPrivate {

std::string
ThreadNameFor(const char* name)
{
	std::string result = name != nullptr ? name : "";
	// The kernel keeps 15 bytes and a zero.
	if (result.size() > 15) {
		size_t end = 15;
		while (end > 0 && (static_cast<unsigned char>(result[end]) & 0xc0)
				== 0x80) {
			end--;
		}
		result.resize(end);
	}
	return result;
}

void
NameThread(thread_id thread, const char* name)
{
	// What pthread_setname_np does for a thread other than the caller,
	// by the kernel's id, which is what the kits hand out.
	char path[64];
	snprintf(path, sizeof(path), "/proc/self/task/%d/comm", int(thread));
	int fd = open(path, O_WRONLY | O_CLOEXEC);
	if (fd < 0)
		return;
	std::string cut = ThreadNameFor(name);
	ssize_t written = write(fd, cut.data(), cut.size());
	(void)written;
	close(fd);
}

} // namespace BPrivate
