#include "quarnkit/platform/runtime/publisher.h"

#include <string>
#include <utility>
#include <vector>

#include "quarnkit/core/error.h"

namespace quarn::detail {

void futureFunctionThrew(const std::exception_ptr& error) {
  std::string text = "an unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = describeError(e);
  } catch (...) {
  }
  fatalError("Future(asyncFunc:) of a future that cannot fail threw " + text);
}

namespace {
// The deliveries this thread has under way, innermost last.
thread_local std::vector<DeliveryScope*> deliveries;
}  // namespace

std::vector<std::function<void()>>* DeliveryScope::queueOf(const void* core) {
  for (DeliveryScope* scope : deliveries) {
    if (scope->core_ == core) return &scope->queue_;
  }
  return nullptr;
}

DeliveryScope::DeliveryScope(const void* core) : core_(core) { deliveries.push_back(this); }

DeliveryScope::~DeliveryScope() { std::erase(deliveries, this); }

void DeliveryScope::finish(std::exception_ptr error) {
  // Queued work may queue more: go by index, taking each out before it runs.
  for (std::size_t i = 0; i < queue_.size(); ++i) {
    std::function<void()> work = std::move(queue_[i]);
    try {
      work();
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  queue_.clear();
  if (error) std::rethrow_exception(std::move(error));
}

}  // namespace quarn::detail
