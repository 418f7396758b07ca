#pragma once

// UniqueFunction<R(Args...)>: a move-only owner of any callable (the work of a
// queued item, which may hold move-only results).
//
// Callables of up to kInlineSize bytes (aligned like a pointer) that move
// without throwing live inside the object, so a small work item costs no allocation of its own (the
// queue keeps it in its slot); larger ones are allocated once. Moving never throws.
//
// Thread safety: one thread at a time per object.

#include <concepts>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace quorvane::kestro::napi::internal {

template <typename Signature>
class UniqueFunction;

template <typename R, typename... Args>
class UniqueFunction<R(Args...)> {
 public:
  // With the operations pointer, 48 bytes: small in a queue slot.
  static constexpr size_t kInlineSize = 40;

  UniqueFunction() = default;
  template <typename F>
  requires(!std::same_as<std::decay_t<F>, UniqueFunction> &&
           std::invocable<std::decay_t<F>&, Args...>)
      UniqueFunction(F&& callable) {  // NOLINT: implicit, like std::function
    using Stored = std::decay_t<F>;
    if constexpr (kFitsInline<Stored>) {
      ::new (static_cast<void*>(storage_)) Stored(std::forward<F>(callable));
      ops_ = &kInlineOps<Stored>;
    } else {
      ::new (static_cast<void*>(storage_)) Stored*(new Stored(std::forward<F>(callable)));
      ops_ = &kHeapOps<Stored>;
    }
  }
  UniqueFunction(UniqueFunction&& other) noexcept { takeFrom(other); }
  UniqueFunction& operator=(UniqueFunction&& other) noexcept {
    if (this != &other) {
      reset();
      takeFrom(other);
    }
    return *this;
  }
  ~UniqueFunction() { reset(); }

  R operator()(Args... args) { return ops_->call(storage_, std::forward<Args>(args)...); }
  explicit operator bool() const noexcept { return ops_ != nullptr; }

 private:
  struct Ops {
    R (*call)(void* storage, Args&&... args);
    void (*moveTo)(void* from, void* to) noexcept;
    void (*destroy)(void* storage) noexcept;
  };

  template <typename F>
  static constexpr bool kFitsInline =
      sizeof(F) <= kInlineSize &&
      alignof(F) <= alignof(void*) && std::is_nothrow_move_constructible_v<F>;

  template <typename F>
  static constexpr Ops kInlineOps = {[](void* s, Args&&... args) -> R {
                                       return (*static_cast<F*>(s))(std::forward<Args>(args)...);
                                     },
                                     [](void* from, void* to) noexcept {
                                       ::new (to) F(std::move(*static_cast<F*>(from)));
                                       static_cast<F*>(from)->~F();
                                     },
                                     [](void* s) noexcept { static_cast<F*>(s)->~F(); }};

  template <typename F>
  static constexpr Ops kHeapOps = {
      [](void* s, Args&&... args) -> R {
        return (**static_cast<F**>(s))(std::forward<Args>(args)...);
      },
      [](void* from, void* to) noexcept { ::new (to) F*(*static_cast<F**>(from)); },
      [](void* s) noexcept { delete *static_cast<F**>(s); }};

  void takeFrom(UniqueFunction& other) noexcept {
    if (other.ops_ != nullptr) {
      other.ops_->moveTo(other.storage_, storage_);
      ops_ = std::exchange(other.ops_, nullptr);
    }
  }
  void reset() noexcept {
    if (ops_ != nullptr) {
      std::exchange(ops_, nullptr)->destroy(storage_);
    }
  }

  alignas(void*) unsigned char storage_[kInlineSize];
  const Ops* ops_ = nullptr;
};

}  // namespace quorvane::kestro::napi::internal
