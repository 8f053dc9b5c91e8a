// Parked coroutines: suspend() and the Resumption that wakes them.
#include "quarnkit/platform/runtime/suspension.h"

#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "quarnkit/platform/runtime/detail/resumption.h"

namespace asio = boost::asio;

namespace quarn::detail {

namespace {
template <class H>
class HandlerOf final : public ErasedHandler {
 public:
  explicit HandlerOf(H handler) : handler_(std::move(handler)) {}
  void call(std::exception_ptr error) override { std::move(handler_)(std::move(error)); }

 private:
  H handler_;
};
}  // namespace

ResumptionImpl::ResumptionImpl(Handler handler, Executor executor, OnCancel onCancel,
                               std::function<void()> cancelled)
    : handler_(std::move(handler)),
      executor_(std::move(executor)),
      work_(asio::prefer(executor_, asio::execution::outstanding_work.tracked)),
      onCancel_(onCancel),
      cancelled_(std::move(cancelled)) {}

ResumptionImpl::~ResumptionImpl() {
  if (!resumed_ && handler_) {
    asio::post(work_, [h = std::move(handler_)]() mutable { h->call(cancellationError()); });
  }
}

bool ResumptionImpl::resume(std::exception_ptr error) {
  return resumeFrom(nullptr, std::move(error));
}

bool ResumptionImpl::resume(std::exception_ptr error, std::function<void()> ran) {
  return resumeFrom(nullptr, std::move(error), std::move(ran));
}

bool ResumptionImpl::resumeFrom(const Executor* current, std::exception_ptr error,
                                std::function<void()> ran) {
  Handler handler;
  Executor work;
  {
    std::lock_guard lock(mutex_);
    if (resumed_) return false;
    resumed_ = true;
    handler = std::move(handler_);
    work = std::move(work_);
  }
  auto call = [h = std::move(handler), error = std::move(error), ran = std::move(ran)]() mutable {
    // The handler resumes the coroutine, which runs until it suspends again
    // or ends before the call returns.
    struct Ran {
      std::function<void()>& ran;
      ~Ran() {
        if (ran) ran();
      }
    } afterwards{ran};
    h->call(error);
  };
  if (current && *current == executor_) {
    asio::dispatch(work, std::move(call));
  } else {
    asio::post(work, std::move(call));
  }
  return true;
}

bool ResumptionImpl::isResumed() const {
  std::lock_guard lock(mutex_);
  return resumed_;
}

void ResumptionImpl::cancelSignalled() {
  if (onCancel_ == OnCancel::resumeWithCancellation) {
    resume(cancellationError());
  } else if (onCancel_ == OnCancel::notify) {
    {
      std::lock_guard lock(mutex_);
      if (resumed_ || notified_) return;
      notified_ = true;
    }
    if (cancelled_) cancelled_();
  }
}

Async<void> suspend(std::function<void(std::shared_ptr<Resumption>)> start, OnCancel onCancel,
                    std::function<void()> cancelled) {
  co_await asio::async_initiate<const asio::use_awaitable_t<>, void(std::exception_ptr)>(
      [&](auto handler) {
        auto slot = asio::get_associated_cancellation_slot(handler);
        Executor executor = asio::get_associated_executor(handler);
        auto resumption = std::make_shared<ResumptionImpl>(
            std::make_unique<HandlerOf<decltype(handler)>>(std::move(handler)), std::move(executor),
            onCancel, std::move(cancelled));
        if (onCancel != OnCancel::ignore && slot.is_connected()) {
          slot.assign([resumption](asio::cancellation_type) { resumption->cancelSignalled(); });
        }
        try {
          start(resumption);
        } catch (...) {
          resumption->resume(std::current_exception());
        }
      },
      asio::use_awaitable);
}

}  // namespace quarn::detail
