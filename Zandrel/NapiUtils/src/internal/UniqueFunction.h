#pragma once

// UniqueFunction<R(Args...)>: a move-only owner of any callable (the work of a
// queued item, which may hold move-only results). Moving it never throws;
// making one allocates the callable once.
//
// Thread safety: one thread at a time per object.

#include <concepts>
#include <memory>
#include <type_traits>
#include <utility>

namespace quorvane::kestro::napi::internal {

template <typename Signature>
class UniqueFunction;

template <typename R, typename... Args>
class UniqueFunction<R(Args...)> {
 public:
  UniqueFunction() = default;
  template <typename F>
  requires(!std::same_as<std::decay_t<F>, UniqueFunction> &&
           std::invocable<std::decay_t<F>&, Args...>)
      UniqueFunction(F&& callable)  // NOLINT: implicit, like std::function
      : callable_(std::make_unique<Model<std::decay_t<F>>>(std::forward<F>(callable))) {}

  R operator()(Args... args) { return callable_->call(std::forward<Args>(args)...); }
  explicit operator bool() const noexcept { return callable_ != nullptr; }

 private:
  struct Concept {
    virtual ~Concept() = default;
    virtual R call(Args... args) = 0;
  };
  template <typename F>
  struct Model final : Concept {
    template <typename G>
    explicit Model(G&& g) : callable(std::forward<G>(g)) {}
    R call(Args... args) override { return callable(std::forward<Args>(args)...); }
    F callable;
  };

  std::unique_ptr<Concept> callable_;
};

}  // namespace quorvane::kestro::napi::internal
