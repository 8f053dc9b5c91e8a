// Runs a callable when the scope ends, however it ends: state changed around
// a call into the host is put back even when the host's callback throws.
#pragma once

#include <utility>

namespace quarn::detail {

template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() noexcept(noexcept(std::declval<F&>()())) { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};

}  // namespace quarn::detail
