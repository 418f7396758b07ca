#pragma once

// errorText<Exception>(operation): runs `operation` and returns the what() text
// of the `Exception` it throws, or "<no error>" when it returns normally. Any
// other exception passes through, so a test that expects one error type fails
// loudly on another.
//
// Thread safety: as safe as `operation`.

#include <string>
#include <utility>

namespace quorvane::test {

template <typename Exception, typename Operation>
std::string errorText(Operation&& operation) {
  try {
    std::forward<Operation>(operation)();
  } catch (const Exception& ex) {
    return ex.what();
  }
  return "<no error>";
}

}  // namespace quorvane::test
