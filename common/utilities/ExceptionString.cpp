#include "common/utilities/ExceptionString.h"

#include <typeinfo>

namespace quorvane {

std::string exceptionDescription(const std::exception& ex) {
  std::string text = typeid(ex).name();
  text += ": ";
  text += ex.what();
  return text;
}

}  // namespace quorvane
