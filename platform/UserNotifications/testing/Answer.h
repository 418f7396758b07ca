#pragma once

// Answer<Args...>: a completion for tests that keeps what the centre called it
// with, and how often. wait() returns the arguments of the
// first call, or throws std::runtime_error when none came within `limit` (so a
// lost completion fails the test instead of hanging it).
//
// Thread safety: the completion may run on any thread while the test thread
// waits or reads.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <tuple>

namespace quorvane::platform::notifications::test {

inline constexpr std::chrono::seconds kAnswerLimit{20};

template <typename... Args>
class Answer {
 public:
  std::function<void(Args...)> completion() {
    return [state = state_](Args... args) {
      std::lock_guard<std::mutex> lock(state->mutex);
      if (state->calls++ == 0) {
        state->values.emplace(std::move(args)...);
      }
      state->arrived.notify_all();
    };
  }

  std::tuple<Args...> wait(std::chrono::milliseconds limit = kAnswerLimit) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (!state_->arrived.wait_for(lock, limit, [this] { return state_->calls > 0; })) {
      throw std::runtime_error("the completion was not called");
    }
    return *state_->values;
  }

  int calls() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->calls;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable arrived;
    int calls = 0;
    std::optional<std::tuple<Args...>> values;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace quorvane::platform::notifications::test
