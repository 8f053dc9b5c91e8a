// OnExit: runs a cleanup when the scope ends, however it ends (a callback into
// the host may throw), so that state changed around the callback is put back.
#pragma once

#include <utility>

namespace quarn::platform::detail {

template <class F>
class OnExit {
 public:
  explicit OnExit(F cleanup) : cleanup_(std::move(cleanup)) {}
  ~OnExit() { cleanup_(); }
  OnExit(const OnExit&) = delete;
  OnExit& operator=(const OnExit&) = delete;

 private:
  F cleanup_;
};

}  // namespace quarn::platform::detail
