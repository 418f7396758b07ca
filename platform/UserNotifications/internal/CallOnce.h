#pragma once

// callOnce(f): a copyable callable that runs `f` on its first call only; later
// calls, from any thread, do nothing. The centre hands completions wrapped
// this way to delegates, which may call them more than once by mistake.
//
// Thread safety: the returned callable may be called from any thread,
// concurrently; exactly one call runs `f`.

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace quorvane::platform::notifications::internal {

template <typename... Args>
std::function<void(Args...)> callOnce(std::function<void(Args...)> f) {
  auto called = std::make_shared<std::atomic<bool>>(false);
  return [called = std::move(called), f = std::move(f)](Args... args) {
    if (!called->exchange(true)) {
      f(std::forward<Args>(args)...);
    }
  };
}

}  // namespace quorvane::platform::notifications::internal
