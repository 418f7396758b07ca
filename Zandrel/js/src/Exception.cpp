#include "Zandrel/js/src/Exception.h"

#include <cxxabi.h>

#include <typeinfo>

#include "common/logging/Log.h"
#include "common/utilities/ExceptionString.h"

namespace quorvane::kestro::js {
namespace {

std::string frameText(const SourceLocation& place) {
  std::string text = place.function;
  text += " at ";
  text += place.file;
  text += ':';
  text += std::to_string(place.line);
  return text;
}

// What a caught exception that is not an Error says about itself.
std::string describeCurrentException() {
  try {
    throw;
  } catch (const std::exception& ex) {
    return exceptionDescription(ex);
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    return type != nullptr ? type->name() : "<unknown exception>";
  }
}

}  // namespace

Error::Error(std::string message, SourceLocation location)
    : Error(std::move(message), location, Unlogged{}) {
  KLOG(ERR) << message_ << where_;
}

Error::Error(std::string message, SourceLocation location, Unlogged)
    : message_(std::move(message)),
      location_(location),
      where_("thrown in " + frameText(location)) {}

void Error::addFrame(const SourceLocation& frame) {
  where_ += "\n  in ";
  where_ += frameText(frame);
}

void rethrowWithFrame(const SourceLocation& frame) {
  try {
    throw;
  } catch (Error& error) {
    error.addFrame(frame);
    throw;
  } catch (...) {
    throw Error(describeCurrentException(), frame);
  }
}

}  // namespace quorvane::kestro::js
