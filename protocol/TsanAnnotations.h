#pragma once

// Happens-before edges that the thread sanitizer cannot see because they
// pass through the toolkit's event queue, whose lock lives in an
// uninstrumented library. A connection's thread releases on the server
// before a blocking queued call and acquires on it once the call returns;
// the library's TSan build does the server's side in QObject::event (see
// TsanQtSync.cpp). A thread releases on its QThread object as its run()
// ends, for QThread::wait. Empty in every other build: no cost.

#if defined(__SANITIZE_THREAD__)
#define LANTERRA_TSAN_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LANTERRA_TSAN_ANNOTATIONS 1
#endif
#endif

#ifdef LANTERRA_TSAN_ANNOTATIONS
#include <sanitizer/tsan_interface.h>
#endif

namespace TsanAnnotations {

// What this thread wrote so far is seen by a thread that later acquires sync.
inline void release(const void* sync)
{
#ifdef LANTERRA_TSAN_ANNOTATIONS
    __tsan_release(const_cast<void*>(sync));
#else
    (void)sync;
#endif
}

// This thread has seen what was released on sync before.
inline void acquire(const void* sync)
{
#ifdef LANTERRA_TSAN_ANNOTATIONS
    __tsan_acquire(const_cast<void*>(sync));
#else
    (void)sync;
#endif
}

} // namespace TsanAnnotations
