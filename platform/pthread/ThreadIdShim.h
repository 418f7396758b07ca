#pragma once

// pthread_threadid_np: the operating system's id of a thread, as macOS offers it.
//
// Linux has no such call; this stand-in answers with gettid() for the calling
// thread. Only the calling thread (null or pthread_self()) is supported, which
// is the only way the logging code uses it; any other thread gives ESRCH.
//
// Thread safety: safe from any thread. Not async-signal-unsafe beyond gettid.

#include <pthread.h>

#include <cerrno>
#include <cstdint>

#if defined(__APPLE__)
// The real declaration comes from <pthread.h>.
#else
#include <sys/syscall.h>
#include <unistd.h>

static inline int pthread_threadid_np(pthread_t thread, uint64_t* threadId) {
  if (threadId == nullptr) {
    return EINVAL;
  }
  if (thread != pthread_t{} && !pthread_equal(thread, pthread_self())) {
    return ESRCH;
  }
  *threadId = static_cast<uint64_t>(::syscall(SYS_gettid));
  return 0;
}
#endif
