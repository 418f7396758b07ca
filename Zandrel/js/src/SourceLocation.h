#pragma once

// SourceLocation: a place in the source, as callers of the Node-API utilities
// name their own position (the frames of an error's `where` trail).
//
//   std::string title = GetCXXString(env, args[0], ZANDREL_HERE());
//
// ZANDREL_HERE() makes one for the line it is written on: the file path
// relative to the repository root, the enclosing function's name and the line.
// The texts are literals of the program image, never owned.
//
// Thread safety: a plain value.

#include <cstdint>

namespace quorvane::kestro::js {

struct SourceLocation {
  const char* file;
  const char* function;
  uint32_t line;
};

}  // namespace quorvane::kestro::js

#define ZANDREL_HERE() \
  (::quorvane::kestro::js::SourceLocation{__FILE__, __func__, static_cast<uint32_t>(__LINE__)})
