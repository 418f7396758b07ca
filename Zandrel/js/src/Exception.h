#pragma once

// The native error types of the Node-API layer.
//
// Error carries a message and the place it was raised, plus a `where` trail
// that grows by one line each time the error passes a located operation on its
// way out:
//
//   thrown in napi_type_check at Zandrel/NapiUtils/src/Base.cpp:71
//     in deliverNotification at notifications/src/UNUserNotificationHelper.cpp:120
//
// what() is the message alone; name() is the JavaScript error kind ("Error",
// "TypeError") that the boundary (NapiUtils/src/Boundary.h) raises in its
// place. Constructing an error writes one ERR line, the message immediately
// followed by the trail, to this file's log category
// ("Zandrel.js.src.Exception.cpp").
//
// rethrowWithFrame applies, inside a catch block, the rethrow rule of the located
// operations: an Error (a TypeError included) gets the caller's frame appended
// and is rethrown as the same object; any other exception becomes a new Error
// at the frame whose message describes it (a standard exception: its run-time
// type name as the type information spells it, ": ", what(); another type: its
// type name; no type at all: "<unknown exception>").
//
// EnvironmentEnding is the Error of a host call that was refused because its
// environment no longer runs JavaScript: it is ending (a worker terminates,
// the process exits). That is normal life at an environment's end, not a
// fault, so constructing one writes no log line; otherwise it is an Error like
// any other (name() "Error").
//
// Thread safety: errors only hold text; they may be made and carried on any
// thread.

#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "Zandrel/js/src/SourceLocation.h"

namespace quorvane::kestro::js {

class Error : public std::exception {
 public:
  Error(std::string message, SourceLocation location);
  ~Error() override = default;

  // The message only, never the trail.
  const char* what() const noexcept override { return message_.c_str(); }
  // The JavaScript error kind.
  virtual std::string_view name() const noexcept { return "Error"; }

  const SourceLocation& location() const noexcept { return location_; }
  const std::string& where() const noexcept { return where_; }

  // Appends "\n  in <function> at <file>:<line>" to the trail.
  void addFrame(const SourceLocation& frame);

 protected:
  struct Unlogged {};
  // As above, without the ERR line.
  Error(std::string message, SourceLocation location, Unlogged);

 private:
  std::string message_;
  SourceLocation location_;
  std::string where_;
};

class TypeError : public Error {
 public:
  using Error::Error;
  std::string_view name() const noexcept override { return "TypeError"; }
};

class EnvironmentEnding : public Error {
 public:
  EnvironmentEnding(std::string message, SourceLocation location)
      : Error(std::move(message), location, Unlogged{}) {}
};

// Inside a catch block: rethrows the exception being handled under the rethrow
// rule above, with `frame` as the caller's place. (A try block rather than a
// lambda around the located body, so that ZANDREL_HERE() inside names the
// operation and not "operator()".)
[[noreturn]] void rethrowWithFrame(const SourceLocation& frame);

}  // namespace quorvane::kestro::js
