#include "common/logging/LogMessage.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/FastSystemClock.h"
#include "common/utilities/ThreadId.h"

namespace quorvane {

LogMessage::LogMessage(const LogCategory* category, LogLevel level, std::string_view filename,
                       unsigned int lineNumber, std::string_view functionName, std::string&& msg)
    : LogMessage(category, level, FastSystemClock::now(), filename, lineNumber, functionName,
                 std::move(msg)) {}

namespace {

// The base name, looked for eight bytes at a time from the end.
std::string_view baseNameOf(std::string_view path) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kSlashes = kOnes * '/';
  const char* data = path.data();
  size_t end = path.size();
  while (end >= 8) {
    uint64_t word;
    std::memcpy(&word, data + end - 8, 8);
    const uint64_t x = word ^ kSlashes;
    if (((x - kOnes) & ~x & (kOnes << 7)) != 0) {
      break;  // a '/' among these eight bytes
    }
    end -= 8;
  }
  while (end > 0 && data[end - 1] != '/') {
    --end;
  }
  return path.substr(end);
}

}  // namespace

LogMessage::LogMessage(const LogCategory* category, LogLevel level, TimePoint timestamp,
                       std::string_view filename, unsigned int lineNumber,
                       std::string_view functionName, std::string&& msg)
    : category_(category),
      level_(level),
      threadId_(getOSThreadID()),
      timestamp_(timestamp),
      fileName_(filename),
      fileBaseName_(baseNameOf(filename)),
      lineNumber_(lineNumber),
      functionName_(functionName),
      contextString_(category->db()->contextString()),
      ownedText_(std::move(msg)),
      rawText_(&ownedText_) {
  sanitize();
}

LogMessage::LogMessage(const LogCategory* category, LogLevel level, LogSourceFile file,
                       unsigned int lineNumber, std::string_view functionName, BorrowedText text)
    : category_(category),
      level_(level),
      threadId_(getOSThreadID()),
      timestamp_(FastSystemClock::now()),
      fileName_(file.path),
      fileBaseName_(file.baseName),
      lineNumber_(lineNumber),
      functionName_(functionName),
      contextString_(category->db()->contextString()),
      rawText_(&text.text) {
  if (!text.plain) {
    sanitize();
  }
}

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// Whether any byte of `word` is below 0x20 (tab and newline included), a
// backslash or 0x7f: the bytes that the escaped length or the newline count
// depend on. Exact for the word as a whole.
inline bool wordNeedsAttention(uint64_t word) {
  const uint64_t below20 = (word - kOnes * 0x20) & ~word & kHighBits;
  const uint64_t backslash = word ^ (kOnes * '\\');
  const uint64_t del = word ^ (kOnes * 0x7f);
  const uint64_t zeroInBackslash = (backslash - kOnes) & ~backslash & kHighBits;
  const uint64_t zeroInDel = (del - kOnes) & ~del & kHighBits;
  return (below20 | zeroInBackslash | zeroInDel) != 0;
}

#if defined(__SSE2__)
inline bool blockNeedsAttention(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Unsigned byte <= 0x1f exactly when max(byte, 0x1f) == 0x1f.
  const __m128i control =
      _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(0x1f)), _mm_set1_epi8(0x1f));
  const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
  const __m128i del = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7f));
  return _mm_movemask_epi8(_mm_or_si128(control, _mm_or_si128(backslash, del))) != 0;
}
#endif

// Whether the text holds any byte that matters to sanitising. Most messages
// hold none, and are then done with after this scan.
bool textNeedsAttention(const char* data, size_t size) {
  size_t i = 0;
#if defined(__SSE2__)
  if (size >= 16) {
    for (; i + 16 <= size; i += 16) {
      if (blockNeedsAttention(data + i)) {
        return true;
      }
    }
    // The last, partly seen block again, ending at the end of the text.
    return i != size && blockNeedsAttention(data + size - 16);
  }
#endif
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    if (wordNeedsAttention(word)) {
      return true;
    }
  }
  for (; i < size; ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    if (c < 0x20 || c == '\\' || c == 0x7f) {
      return true;
    }
  }
  return false;
}

}  // namespace

void LogMessage::sanitize() {
  const std::string& rawText = *rawText_;
  if (!textNeedsAttention(rawText.data(), rawText.size())) [[likely]] {
    return;
  }
  // The escaped length and the newline count.
  size_t escapedLength = 0;
  uint64_t newlines = 0;
  for (char ch : rawText) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      escapedLength += 2;
    } else if (c == '\n') {
      escapedLength += 1;
      ++newlines;
    } else if (c == '\t') {
      escapedLength += 1;
    } else if (c < 0x20 || c == 0x7f) {
      escapedLength += 4;
    } else {
      escapedLength += 1;
    }
  }
  newlineCount_ = newlines;
  if (escapedLength == rawText.size()) {
    // Only tabs and newlines: they pass through unchanged.
    return;
  }

  static constexpr char kHexDigits[] = "0123456789abcdef";
  sanitizedText_.reserve(escapedLength);
  for (char ch : rawText) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      sanitizedText_.append("\\\\", 2);
    } else if (c == '\n' || c == '\t') {
      sanitizedText_.push_back(ch);
    } else if (c < 0x20 || c == 0x7f) {
      const char escaped[4] = {'\\', 'x', kHexDigits[c >> 4], kHexDigits[c & 0xf]};
      sanitizedText_.append(escaped, 4);
    } else {
      sanitizedText_.push_back(ch);
    }
  }
}

}  // namespace quorvane
