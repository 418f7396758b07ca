#pragma once

// LogBatch: a sequence of messages (pieces of text, in arrival order) stored
// back to back in one buffer, as an asynchronous writer queues them and hands
// them to its writeBatch.
//
// Message i is the text between the end of message i - 1 and its own end, so
// lines that follow each other in the batch also follow each other in memory
// (a writer may pass a run of them to the system as one piece). Empty messages
// are kept as entries of length 0 (an asynchronous writer's flush markers).
//
// clear() empties the batch but keeps its storage, so a queue that is filled
// and written over and over allocates only while it grows to its largest size.
//
// Lifetimes: the views returned by operator[] and the iteration are valid until
// the batch is next changed.
//
// Thread safety: none of its own; the writer that owns a batch guards it.

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class LogBatch {
 public:
  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    Iterator() = default;
    std::string_view operator*() const { return (*batch_)[index_]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator copy = *this;
      ++index_;
      return copy;
    }
    difference_type operator-(const Iterator& other) const {
      return static_cast<difference_type>(index_) - static_cast<difference_type>(other.index_);
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    friend class LogBatch;
    Iterator(const LogBatch* batch, size_t index) : batch_(batch), index_(index) {}
    const LogBatch* batch_ = nullptr;
    size_t index_ = 0;
  };

  LogBatch() = default;
  // A batch holding copies of `messages` (for callers that have them apart).
  explicit LogBatch(const std::vector<std::string>& messages);
  LogBatch(std::initializer_list<std::string_view> messages);

  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  // Bytes of all messages together.
  size_t byteSize() const { return bytes_.size(); }

  std::string_view operator[](size_t i) const {
    const size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_.data() + begin, ends_[i] - begin);
  }
  // Messages [first, first + count) as one piece of text (they lie back to
  // back).
  std::string_view range(size_t first, size_t count) const {
    if (count == 0) {
      return {};
    }
    const size_t begin = first == 0 ? 0 : ends_[first - 1];
    return std::string_view(bytes_.data() + begin, ends_[first + count - 1] - begin);
  }
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, ends_.size()); }

  // Appends a copy of `message` as the last entry.
  void append(std::string_view message) {
    bytes_.append(message);
    ends_.push_back(bytes_.size());
  }
  // Removes every message; the storage stays for reuse.
  void clear() {
    bytes_.clear();
    ends_.clear();
  }
  // Removes every message and gives the storage back when it has grown past
  // `maxBytes`, so one burst does not pin its memory for good.
  void clearAndTrim(size_t maxBytes);

  // The messages as separate strings.
  std::vector<std::string> toStrings() const;

 private:
  std::string bytes_;
  std::vector<size_t> ends_;  // end offset of each message in bytes_
};

}  // namespace quorvane
