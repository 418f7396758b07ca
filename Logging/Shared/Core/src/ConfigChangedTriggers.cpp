#include "Logging/Shared/Core/src/ConfigChangedTriggers.h"

#include <mutex>

namespace quorvane::kestro::logging {

void ConfigChangedTriggers::add(Trigger trigger) {
  if (trigger == nullptr) {
    return;  // firing would call through a null pointer
  }
  std::unique_lock<std::shared_mutex> lock(mutex_);
  triggers_.insert(trigger);
}

void ConfigChangedTriggers::remove(Trigger trigger) {
  std::unique_lock<std::shared_mutex> lock(mutex_);
  triggers_.erase(trigger);
}

void ConfigChangedTriggers::fire() const {
  std::shared_lock<std::shared_mutex> lock(mutex_);
  for (Trigger trigger : triggers_) {
    trigger();
  }
}

}  // namespace quorvane::kestro::logging
