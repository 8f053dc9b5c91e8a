// The Resumption behind suspend(): a parked coroutine's completion handler,
// its executor and what to do when it is cancelled. Internal to the runtime;
// task handles use it to wake awaiters inline when they can.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/suspension.h"

namespace quarn::detail {

/// The parked coroutine's completion handler, type-erased.
class ErasedHandler {
 public:
  virtual ~ErasedHandler() = default;
  virtual void call(std::exception_ptr error) = 0;
};

class ResumptionImpl final : public Resumption {
 public:
  using Handler = std::unique_ptr<ErasedHandler>;

  ResumptionImpl(Handler handler, Executor executor, OnCancel onCancel,
                 std::function<void()> cancelled);
  ~ResumptionImpl() override;
  ResumptionImpl(const ResumptionImpl&) = delete;
  ResumptionImpl& operator=(const ResumptionImpl&) = delete;

  bool resume(std::exception_ptr error) override;
  bool resume(std::exception_ptr error, std::function<void()> ran) override;
  [[nodiscard]] bool isResumed() const override;

  /// Like resume(); when the caller runs on the parked coroutine's own
  /// executor (`current`), the coroutine may continue inline.
  bool resumeFrom(const Executor* current, std::exception_ptr error,
                  std::function<void()> ran = {});

  /// The parked coroutine was cancelled: acts as its OnCancel says.
  void cancelSignalled();

 private:
  mutable std::mutex mutex_;
  Handler handler_;
  Executor executor_;
  Executor work_;  // keeps executor_'s context busy until the handler has run
  OnCancel onCancel_;
  std::function<void()> cancelled_;
  bool resumed_ = false;
  bool notified_ = false;
};

}  // namespace quarn::detail
