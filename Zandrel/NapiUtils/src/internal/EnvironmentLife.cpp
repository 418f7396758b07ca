#include "Zandrel/NapiUtils/src/internal/EnvironmentLife.h"

#include <map>
#include <mutex>

#include "Zandrel/NapiUtils/src/Base.h"

namespace quorvane::kestro::napi::internal {
namespace {

struct LifeTable {
  std::mutex mutex;
  std::map<napi_env, std::shared_ptr<EnvironmentLife>> lives;
};

// Never destroyed: environments may end (and look here) during process exit.
LifeTable& lifeTable() {
  static auto* table = new LifeTable;
  return *table;
}

void environmentEnded(void* arg) {
  const auto env = static_cast<napi_env>(arg);
  LifeTable& table = lifeTable();
  std::lock_guard lock(table.mutex);
  if (auto found = table.lives.find(env); found != table.lives.end()) {
    found->second->alive.store(false, std::memory_order_relaxed);
    table.lives.erase(found);
  }
}

}  // namespace

std::shared_ptr<const EnvironmentLife> environmentLife(napi_env env) {
  LifeTable& table = lifeTable();
  std::lock_guard lock(table.mutex);
  auto [place, inserted] = table.lives.try_emplace(env);
  if (inserted) {
    try {
      KESTRO_NAPI_CALL(env, napi_add_env_cleanup_hook(env, &environmentEnded, env));
    } catch (...) {
      table.lives.erase(place);
      throw;
    }
    place->second = std::make_shared<EnvironmentLife>();
    place->second->jsThread = std::this_thread::get_id();
  }
  return place->second;
}

}  // namespace quorvane::kestro::napi::internal
