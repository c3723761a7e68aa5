#pragma once

// Happens-before edges that the thread sanitizer cannot see because they
// pass through the toolkit's event queue, whose lock lives in an
// uninstrumented library: a blocking queued call, a thread's end. Empty in
// every other build.

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
