/*
 * Thread ids the kits hand out are the kernel's own thread ids (what gettid
 * returns, and what ps, top and gdb show), so a looper's Thread() can be
 * matched against any tool's view of the process.
 *
 * Both calls are safe from any thread. NameThread writes the name through
 * /proc, so it can name a thread other than the caller's.
 */
#ifndef _PRIVATE_THREAD_ID_H
#define _PRIVATE_THREAD_ID_H

#include <string>

#include <SupportDefs.h>

namespace BPrivate {

thread_id CurrentThread();

// Names a thread of this process, as ps -L, top -H, gdb and perf show it:
// at most 15 bytes, cut before a character rather than through one.
// Nothing happens for a thread that has ended.
void NameThread(thread_id thread, const char* name);
// The name as NameThread cuts it.
std::string ThreadNameFor(const char* name);

} // namespace BPrivate

#endif // _PRIVATE_THREAD_ID_H
