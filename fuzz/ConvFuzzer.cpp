// Feeds arbitrary text to the checked text conversions. The only exception
// allowed out is ConversionError; a number read must print as text that reads
// back to the same number.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/utilities/Conv.h"
#include "fuzz/FuzzCheck.h"

namespace {

template <typename F>
void tryConversion(F&& convert) {
  try {
    convert();
  } catch (const quorvane::ConversionError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvane;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tryConversion([&] { parseBool(text); });
  tryConversion([&] { parseDouble(text); });
  tryConversion([&] { parseSize(text); });
  tryConversion([&] {
    const int64_t value = parseInteger<int64_t>(text);
    KESTRO_FUZZ_CHECK(parseInteger<int64_t>(std::to_string(value)) == value);
  });
  tryConversion([&] {
    const int8_t value = parseInteger<int8_t>(text);
    KESTRO_FUZZ_CHECK(parseInteger<int64_t>(text) == value);
  });
  tryConversion([&] {
    const uint32_t value = parseInteger<uint32_t>(text);
    KESTRO_FUZZ_CHECK(parseInteger<uint64_t>(text) == value);
  });
  return 0;
}
