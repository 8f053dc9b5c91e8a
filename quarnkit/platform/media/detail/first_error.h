// FirstError: runs steps that call into the host so that every one of them
// runs, even when an earlier one throws; the first exception is rethrown once
// they are done. An object that must finish its own work around host
// callbacks (tell every observer, complete a seek, pause at an item's end)
// runs them through one.
//
//   detail::FirstError errors;
//   errors.run([&] { hook(); });
//   errors.run([&] { completion(true); });   // called even if hook() threw
//   errors.rethrow();
#pragma once

#include <exception>
#include <utility>

namespace quarn::platform::detail {

class FirstError {
 public:
  /// Runs `step`, keeping what it throws when nothing was thrown before.
  template <class Step>
  void run(Step&& step) noexcept {
    try {
      std::forward<Step>(step)();
    } catch (...) {
      if (!error_) error_ = std::current_exception();
    }
  }

  /// Rethrows the first exception a step threw, if any.
  void rethrow() {
    if (auto error = std::exchange(error_, nullptr)) std::rethrow_exception(error);
  }

 private:
  std::exception_ptr error_;
};

}  // namespace quarn::platform::detail
