#pragma once

// Per-thread strings whose storage is reused from one message to the next, so
// that building and formatting a message allocates nothing once a thread's
// strings have grown to the size of its messages.
//
// A thread has one string per slot. takeScratchString hands out the slot's
// string (empty, with the storage of its earlier use) and leaves the slot
// empty; giveBackScratchString puts a string back. A nested user of the same
// slot on the same thread (a handler that logs while it handles a message)
// finds the slot empty and starts with a new string; whichever string comes
// back last stays. ScopedScratchString lends the slot's string in place for a
// scope instead, for users that need not own it. Strings that grew past kMaxKeptScratchCapacity are
// not kept, so one huge message does not pin its memory for the thread's life. During the thread's
// exit, once the slots are gone, strings are neither handed out nor kept.
//
// Internal to the logging framework; every function affects only the calling
// thread.

#include <cstddef>
#include <string>

namespace quorvane::logging::internal {

enum class ScratchSlot {
  kStatementText = 0,  // the text a log statement collects
  kFormattedLine = 1,  // the line a handler formats
};
inline constexpr size_t kScratchSlots = 2;
inline constexpr size_t kMaxKeptScratchCapacity = 64 * 1024;

std::string takeScratchString(ScratchSlot slot);
void giveBackScratchString(ScratchSlot slot, std::string&& text);

// Lends the slot's string for one scope, in place (nothing is moved); a
// nested user of the same slot gets a string of its own instead.
class ScopedScratchString {
 public:
  explicit ScopedScratchString(ScratchSlot slot);
  ~ScopedScratchString();
  ScopedScratchString(const ScopedScratchString&) = delete;
  ScopedScratchString& operator=(const ScopedScratchString&) = delete;

  // Empty at first.
  std::string& text() { return *text_; }

 private:
  bool* lentFlag_ = nullptr;  // the slot's flag, when the slot's string is lent
  std::string* text_;
  std::string own_;
};

}  // namespace quorvane::logging::internal
