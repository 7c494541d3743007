/*
 * e2e-alsa-sink: the rig's sound card when the program plays on ALSA alone,
 * with no sound server. The rig's ALSA configuration sends the default PCM
 * through ALSA's file plug-in into FIFO (32-bit float, two channels, 44100
 * frames a second); this reads it at the pace a card plays, and records
 * what it played in OUT (a WAV file), with silence wherever nothing was
 * there to play, as a sound server's null sink and its monitor do. A
 * program that writes too late is heard as a dropout, as on a card.
 *
 *   e2e-alsa-sink FIFO OUT
 *
 * The pipe holds 2048 frames (46 ms), the file plug-in a buffer more: the
 * writer waits in its write for the card as it would in ALSA for room.
 * Runs until SIGINT or SIGTERM, then writes the WAV header's lengths.
 */
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

const long kRate = 44100;
const int kFrameBytes = 8;
const int kPipeBytes = 2048 * kFrameBytes;
const long kTickNanoseconds = 5 * 1000 * 1000;

volatile sig_atomic_t sQuit = 0;

void
Quit(int)
{
	sQuit = 1;
}

void
Put32(unsigned char* at, uint32_t value)
{
	for (int i = 0; i < 4; i++)
		at[i] = (value >> (8 * i)) & 0xff;
}

// A float WAV header; its lengths say "as long as it goes" until the end.
bool
WriteHeader(int fd, uint32_t dataBytes)
{
	unsigned char header[44];
	memcpy(header, "RIFF", 4);
	Put32(header + 4, dataBytes == UINT32_MAX ? UINT32_MAX : dataBytes + 36);
	memcpy(header + 8, "WAVEfmt ", 8);
	Put32(header + 16, 16);
	header[20] = 3;		// IEEE float
	header[21] = 0;
	header[22] = 2;		// channels
	header[23] = 0;
	Put32(header + 24, kRate);
	Put32(header + 28, kRate * kFrameBytes);
	header[32] = kFrameBytes;
	header[33] = 0;
	header[34] = 32;
	header[35] = 0;
	memcpy(header + 36, "data", 4);
	Put32(header + 40, dataBytes);
	return pwrite(fd, header, sizeof(header), 0) == ssize_t(sizeof(header));
}

long long
Nanoseconds(const timespec& time)
{
	return time.tv_sec * 1000000000LL + time.tv_nsec;
}

bool
WriteAll(int fd, const unsigned char* bytes, size_t size)
{
	while (size > 0) {
		ssize_t done = write(fd, bytes, size);
		if (done < 0 && errno == EINTR)
			continue;
		if (done <= 0)
			return false;
		bytes += done;
		size -= size_t(done);
	}
	return true;
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: e2e-alsa-sink FIFO OUT\n");
		return 2;
	}
	if (mkfifo(argv[1], 0600) != 0 && errno != EEXIST) {
		fprintf(stderr, "e2e-alsa-sink: cannot make %s: %s\n", argv[1],
			strerror(errno));
		return 1;
	}
	// Read and write: the pipe never ends when a program lets go of it,
	// and a program opening it never waits for us.
	int in = open(argv[1], O_RDWR | O_NONBLOCK);
	int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
	if (in < 0 || out < 0 || !WriteHeader(out, UINT32_MAX)
		|| lseek(out, 44, SEEK_SET) != 44) {
		fprintf(stderr, "e2e-alsa-sink: cannot open %s or %s: %s\n", argv[1],
			argv[2], strerror(errno));
		return 1;
	}
	fcntl(in, F_SETPIPE_SZ, kPipeBytes);

	struct sigaction action = {};
	action.sa_handler = &Quit;
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);

	// A card's clock does not wait for a busy machine; without the right
	// to a real-time priority the sink still runs, at a normal one.
	sched_param parameters = {};
	parameters.sched_priority = 50;
	pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters);

	static unsigned char buffer[kRate * kFrameBytes];
	size_t carried = 0;
		// bytes of a frame begun in the pipe, at the buffer's start
	long long played = 0;
	timespec start;
	clock_gettime(CLOCK_MONOTONIC, &start);
	timespec next = start;
	while (!sQuit) {
		next.tv_nsec += kTickNanoseconds;
		if (next.tv_nsec >= 1000000000L) {
			next.tv_nsec -= 1000000000L;
			next.tv_sec++;
		}
		clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
		timespec now;
		clock_gettime(CLOCK_MONOTONIC, &now);
		long long due = (Nanoseconds(now) - Nanoseconds(start)) * kRate
			/ 1000000000LL;
		// A second at most at once: after a longer stall the card's clock
		// is taken as starting again.
		long long frames = due - played;
		if (frames > kRate) {
			played = due - kRate;
			frames = kRate;
		}
		if (frames <= 0)
			continue;
		size_t wanted = size_t(frames) * kFrameBytes;
		size_t have = carried;
		while (have < wanted) {
			ssize_t got = read(in, buffer + have, wanted - have);
			if (got <= 0)
				break;
			have += size_t(got);
		}
		size_t whole = have - have % kFrameBytes;
		// What was not there plays as silence; a frame begun is finished
		// in the next tick.
		carried = have - whole;
		unsigned char partial[kFrameBytes];
		memcpy(partial, buffer + whole, carried);
		memset(buffer + whole, 0, wanted - whole);
		if (!WriteAll(out, buffer, wanted))
			break;
		memcpy(buffer, partial, carried);
		played += frames;
	}
	long long bytes = played * kFrameBytes;
	WriteHeader(out, bytes > UINT32_MAX - 36 ? UINT32_MAX - 36 : uint32_t(bytes));
	close(out);
	close(in);
	return 0;
}
