/*
 * What the sanitizers are told for the whole process: the leaks and races
 * that system libraries below the kits bring with them, which are not ours
 * to fix. A sanitizer asks for its defaults once, so each program has one
 * definition of each; the build compiles this file into every program
 * built against the kits (nothing calls these functions, so from a static
 * library they would never be linked in).
 *
 * Only those reports are set aside: leaks and races in our own code, even
 * on a library's thread, are still reported.
 */

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BELVO_ADDRESS_SANITIZER 1
#endif
#if __has_feature(thread_sanitizer)
#define BELVO_THREAD_SANITIZER 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(BELVO_ADDRESS_SANITIZER)
// fontconfig (2.14 at least) loses a few small blocks while it parses its
// configuration files, once per process, and libdbus, which libpulse
// loads, keeps a buffer for the life of the process
// in the same way. LeakSanitizer would fail every program that opens a
// window or draws text over them, so it looks away from leaks that those
// two libraries allocated themselves.
extern "C" const char*
__lsan_default_suppressions()
{
	return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif

#if defined(__SANITIZE_THREAD__) || defined(BELVO_THREAD_SANITIZER)
// The sound servers' client libraries are not built for ThreadSanitizer,
// which so misses how they hand their own locks between their threads
// (libpulse wakes its main loop's thread through eventfds and atomics of
// its own) and reports a race on the lock itself.
extern "C" const char*
__tsan_default_suppressions()
{
	return "race:pa_mutex_lock\nrace:pa_mutex_unlock\n";
}
#endif
