#pragma once

// Per-thread strings whose storage is reused from one message to the next, so
// that building and formatting a message allocates nothing once a thread's
// strings have grown to the size of its messages.
//
// A thread has one string per slot. ScopedScratchString lends the slot's
// string for one scope, in place (nothing is moved). The string holds what its
// previous user left in it: a user clears it, or overwrites it whole (so that
// resizing it to a length it had before writes nothing). A nested user of the
// same slot on the same thread (a handler that logs while it handles a
// message) finds it lent and gets an empty string of its own. Strings that
// grew past kMaxKeptScratchCapacity are not kept, so one huge message does not
// pin its memory for the thread's life. During the thread's exit, once its
// strings are gone, every user gets a string of its own.
//
// Lending the slot's string is inlined: a thread-local load and two flag
// updates.
//
// Internal to the logging framework; every function affects only the calling
// thread.

#include <cstddef>
#include <optional>
#include <string>

namespace quorvane::logging::internal {

enum class ScratchSlot {
  kStatementText = 0,  // the text a log statement collects
  kFormattedLine = 1,  // the line a handler formats
};
inline constexpr size_t kScratchSlots = 2;
inline constexpr size_t kMaxKeptScratchCapacity = 64 * 1024;

// One thread's strings, made on the thread's first use.
struct ScratchStrings {
  std::string strings[kScratchSlots];
  bool lent[kScratchSlots] = {};
};
extern constinit thread_local ScratchStrings* threadScratchStrings;

class ScopedScratchString {
 public:
  explicit ScopedScratchString(ScratchSlot slot) {
    const auto index = static_cast<size_t>(slot);
    ScratchStrings* strings = threadScratchStrings;
    if (strings != nullptr && !strings->lent[index]) [[likely]] {
      strings->lent[index] = true;
      lentFlag_ = &strings->lent[index];
      text_ = &strings->strings[index];
      return;
    }
    lendSlowly(index);
  }
  ~ScopedScratchString() {
    if (lentFlag_ != nullptr) [[likely]] {
      if (text_->capacity() > kMaxKeptScratchCapacity) [[unlikely]] {
        std::string().swap(*text_);
      }
      *lentFlag_ = false;
    }
  }
  ScopedScratchString(const ScopedScratchString&) = delete;
  ScopedScratchString& operator=(const ScopedScratchString&) = delete;

  // What the previous user left, or empty.
  std::string& text() { return *text_; }

 private:
  // The thread's first use, a nested use, or a use during the thread's exit.
  void lendSlowly(size_t index);

  bool* lentFlag_ = nullptr;  // the slot's flag, when the slot's string is lent
  std::string* text_ = nullptr;
  std::optional<std::string> own_;
};

}  // namespace quorvane::logging::internal
