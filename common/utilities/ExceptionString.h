#pragma once

// exceptionDescription: the text by which the system reports a caught
// exception inside a message: the exception's run-time type name exactly as the
// type information spells it (not demangled), then ": ", then what().
//
// Thread safety: pure.

#include <exception>
#include <string>

namespace quorvane {

std::string exceptionDescription(const std::exception& ex);

}  // namespace quorvane
