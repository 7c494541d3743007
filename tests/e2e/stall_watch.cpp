/*
 * e2e-stall-watch: notes when this machine stopped running its processes
 * for a while, as a virtual machine whose host stalls it does, so that the
 * scenarios can tell a glitch the sound server made then from the
 * program's own.
 *
 *   e2e-stall-watch FILE [MS]
 *
 * Wakes every 10 ms (more often costs a virtual machine time of its own)
 * and, whenever a wake-up came MS (20 by default) or more late, appends "START_USEC LENGTH_USEC" to FILE: when the stall began, in
 * microseconds since the epoch (the rig's clock), and how long it lasted.
 * Runs until it is killed.
 */
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

long long
Usec(clockid_t clock)
{
	timespec now;
	clock_gettime(clock, &now);
	return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

} // namespace

int
main(int argc, char** argv)
{
	if (argc < 2 || argc > 3) {
		fprintf(stderr, "usage: e2e-stall-watch FILE [MS]\n");
		return 2;
	}
	FILE* file = fopen(argv[1], "a");
	if (file == nullptr) {
		fprintf(stderr, "e2e-stall-watch: cannot open %s\n", argv[1]);
		return 1;
	}
	const long long period = 10000;
	const long long threshold = (argc == 3 ? atoll(argv[2]) : 20) * 1000;
	const timespec nap = { 0, period * 1000 };
	long long last = Usec(CLOCK_MONOTONIC);
	for (;;) {
		nanosleep(&nap, nullptr);
		long long now = Usec(CLOCK_MONOTONIC);
		long long late = now - last - period;
		if (late >= threshold) {
			fprintf(file, "%lld %lld\n", Usec(CLOCK_REALTIME) - late, late);
			fflush(file);
		}
		last = now;
	}
}
