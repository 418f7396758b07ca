#pragma once

// setCurrentThreadName: names the calling thread, in the one-argument form that
// macOS offers (a thread can only name itself there). Names longer than 15
// bytes are cut, as both platforms limit them to 16 bytes with the terminator.
//
// Thread safety: names only the calling thread.

#include <pthread.h>

#include <string>
#include <string_view>

namespace quorvane::platform {

inline int setCurrentThreadName(std::string_view name) {
  std::string cut(name.substr(0, 15));
#if defined(__APPLE__)
  return pthread_setname_np(cut.c_str());
#else
  return pthread_setname_np(pthread_self(), cut.c_str());
#endif
}

}  // namespace quorvane::platform
