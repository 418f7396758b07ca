// Feeds arbitrary bytes to the property-list reader as an Info.plist. It must
// never crash or overflow the stack, whatever the nesting, and must answer the
// same for the same document. A value it finds must also be found when the
// document is preceded by a comment, white space and an XML declaration.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/Foundation/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvane::platform;
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  const auto value = propertyListString(document, "CFBundleExecutable");
  KESTRO_FUZZ_CHECK(propertyListString(document, "CFBundleExecutable") == value);
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (value && !document.starts_with(kBom)) {
    const std::string prefixed = "<?xml version=\"1.0\"?>\n<!-- x -->\n " + std::string(document);
    KESTRO_FUZZ_CHECK(propertyListString(prefixed, "CFBundleExecutable") == value);
  }
  return 0;
}
