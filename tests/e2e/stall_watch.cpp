/*
 * e2e-stall-watch: notes when this machine stopped running its processes
 * for a while, as a virtual machine whose host stalls it does, so that the
 * scenarios can tell a glitch the sound server made then from the
 * program's own.
 *
 *   e2e-stall-watch FILE [MS]
 *
 * One watcher per processor, each bound to its own: a virtual machine's
 * processors are stopped by its host one at a time as often as together,
 * and a watcher that runs on the other one sees nothing of it. Each wakes
 * every 10 ms (more often costs a virtual machine time of its own), at a
 * real-time priority above the sound server's where it may, so that busy
 * processes are not taken for a stall, and whenever a wake-up came MS (20
 * by default) or more late, appends "START_USEC LENGTH_USEC CPU" to FILE:
 * when the stall began, in microseconds since the epoch (the rig's clock),
 * how long it lasted, and on which processor. Runs until it is killed.
 */
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace {

long long
Usec(clockid_t clock)
{
	timespec now;
	clock_gettime(clock, &now);
	return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}


FILE* sFile;
long long sThreshold;

void
Watch(int cpu)
{
	cpu_set_t set;
	CPU_ZERO(&set);
	CPU_SET(cpu, &set);
	pthread_setaffinity_np(pthread_self(), sizeof(set), &set);
	sched_param param = {};
	param.sched_priority = 95;
	// Without the right to it the watcher still runs, at a normal priority.
	pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);

	const long long period = 10000;
	const timespec nap = { 0, period * 1000 };
	long long last = Usec(CLOCK_MONOTONIC);
	for (;;) {
		nanosleep(&nap, nullptr);
		long long now = Usec(CLOCK_MONOTONIC);
		long long late = now - last - period;
		if (late >= sThreshold) {
			// One call per line: stdio keeps the threads' lines whole.
			fprintf(sFile, "%lld %lld %d\n", Usec(CLOCK_REALTIME) - late, late, cpu);
			fflush(sFile);
		}
		last = now;
	}
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc < 2 || argc > 3) {
		fprintf(stderr, "usage: e2e-stall-watch FILE [MS]\n");
		return 2;
	}
	sFile = fopen(argv[1], "a");
	if (sFile == nullptr) {
		fprintf(stderr, "e2e-stall-watch: cannot open %s\n", argv[1]);
		return 1;
	}
	sThreshold = (argc == 3 ? atoll(argv[2]) : 20) * 1000;
	long cpus = sysconf(_SC_NPROCESSORS_ONLN);
	std::vector<std::thread> watchers;
	for (int cpu = 0; cpu < (cpus > 0 ? cpus : 1); cpu++)
		watchers.emplace_back(Watch, cpu);
	for (std::thread& watcher : watchers)
		watcher.join();
}

