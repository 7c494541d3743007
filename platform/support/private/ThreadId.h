/*
 * Thread ids the kits hand out are the kernel's own thread ids (what gettid
 * returns, and what ps, top and gdb show), so a looper's Thread() can be
 * matched against any tool's view of the process.
 */
#ifndef _PRIVATE_THREAD_ID_H
#define _PRIVATE_THREAD_ID_H

#include <SupportDefs.h>

namespace BPrivate {

thread_id CurrentThread();

} // namespace BPrivate

#endif // _PRIVATE_THREAD_ID_H
