/// @file
/// FunctionRef: a non-owning reference to a callable, for callbacks that run before the call that
/// receives them returns (no allocation, no copy).

/// @class quarn::FunctionRef
/// A non-owning reference to a callable, for callbacks that run
/// before the call that receives them returns (no allocation, no copy).
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace quarn {

template <class Signature>
class FunctionRef;

namespace detail {
template <class F, class Self, class R, class... Args>
concept RefCallable =
    !std::is_same_v<std::remove_cvref_t<F>, Self> && std::is_invocable_r_v<R, F&, Args...>;
}  // namespace detail

/// A reference to a callable taking `Args...` and returning `R`. A value
/// that must not outlive the callable it refers to.
template <class R, class... Args>
class FunctionRef<R(Args...)> {
 public:
  /// Refers to `f`, which must outlive this reference.
  template <detail::RefCallable<FunctionRef, R, Args...> F>
  // NOLINTNEXTLINE(google-explicit-constructor,bugprone-forwarding-reference-overload)
  FunctionRef(F&& f) noexcept
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
        call_([](void* o, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(args)...);
        }) {}

  /// Calls the callable referred to.
  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  R (*call_)(void*, Args...);
};

}  // namespace quarn
