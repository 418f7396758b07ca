// Feeds arbitrary text to parseLogLevel. The only exception allowed out is
// std::range_error. Every level read must print as a name that reads back to
// the same level, and so must the level made of the input's first four bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "common/logging/LogLevel.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvane;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const LogLevel level = parseLogLevel(text);
    KESTRO_FUZZ_CHECK(parseLogLevel(logLevelName(level)) == level);
  } catch (const std::range_error& ex) {
    // The message quotes the input exactly (what() ends at a NUL byte).
    if (text.find('\0') == std::string_view::npos) {
      KESTRO_FUZZ_CHECK(std::string_view(ex.what()).ends_with(text));
    }
  }

  if (size >= 4) {
    uint32_t raw;
    std::memcpy(&raw, data, sizeof(raw));
    const LogLevel level = static_cast<LogLevel>(raw);
    KESTRO_FUZZ_CHECK(parseLogLevel(logLevelName(level)) == level);
  }
  return 0;
}
