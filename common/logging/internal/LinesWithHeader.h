#pragma once

// appendLinesWithHeader: the multi-line rule the line layouts share. Appends
// each line of `text` (the pieces between '\n' characters) to `out`, every one
// after the header that `appendHeader(out)` appends and ended by '\n'. A text
// without newlines gives one line; an empty text gives a header alone.
//
// Thread safety: none of its own; `out` belongs to the caller.

#include <string>
#include <string_view>

namespace quorvane::logging::internal {

template <typename AppendHeader>
void appendLinesWithHeader(std::string& out, std::string_view text, AppendHeader&& appendHeader) {
  size_t start = 0;
  while (true) {
    appendHeader(out);
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      out.append(text.substr(start));
      out.push_back('\n');
      return;
    }
    out.append(text.substr(start, end - start));
    out.push_back('\n');
    start = end + 1;
  }
}

}  // namespace quorvane::logging::internal
