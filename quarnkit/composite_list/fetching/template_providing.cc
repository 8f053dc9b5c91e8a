#include "quarnkit/composite_list/fetching/template_providing.h"

#include <mutex>
#include <optional>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/continuation.h"

namespace quarn {

namespace {

using Items = CompositeListTemplateProviding::Items;

constexpr const char* kContinuationName = "provideTemplate(form:)";

/// One call of the provider, shared by its completion and the caller. Most
/// providers answer inside the call (templates held in memory): the answer
/// is then taken as the call returns, without parking the caller. A later
/// answer, from any thread, resumes the caller parked on a continuation.
class ProviderCall {
 public:
  /// What the completion does with the provider's answer.
  void complete(Outcome<Items> outcome) {
    std::unique_lock lock(mutex_);
    if (threw_) {
      lock.unlock();
      defaultLogger().error(
          "[CompositeListTemplateProviding] provideTemplate(form:) completed after it threw; the "
          "completion is ignored");
      return;
    }
    if (answered_) {
      // As the continuation's own check does for a second resume.
      lock.unlock();
      fatalError(std::string(kContinuationName) +
                 " tried to resume its continuation more than once");
    }
    answered_ = true;
    if (!waiting_) {
      answer_.emplace(std::move(outcome));
      return;
    }
    const CheckedContinuation<Items> waiting = std::move(*waiting_);
    waiting_.reset();
    lock.unlock();
    if (outcome.isSuccess()) {
      waiting.resume(std::move(outcome).value());
    } else {
      waiting.resume(outcome.error());
    }
  }

  /// The provider threw: true when that ends the call (no answer came first).
  bool threw() {
    const std::lock_guard lock(mutex_);
    if (answered_) return false;
    threw_ = true;
    return true;
  }

  /// The answer given inside the call, once it has returned.
  std::optional<Outcome<Items>> takeAnswer() {
    const std::lock_guard lock(mutex_);
    std::optional<Outcome<Items>> answer = std::move(answer_);
    answer_.reset();
    return answer;
  }

  /// Parks the caller on `continuation` until the answer comes, or resumes
  /// it at once with one that came meanwhile. The continuation is then held
  /// only by this call, which the completion holds: a provider that drops
  /// its completion unanswered drops the continuation, which is reported as
  /// leaked and ends the wait.
  void await(const CheckedContinuation<Items>& continuation) {
    std::unique_lock lock(mutex_);
    if (!answer_) {
      waiting_.emplace(continuation);
      return;
    }
    Outcome<Items> answer = std::move(*answer_);
    answer_.reset();
    lock.unlock();
    if (answer.isSuccess()) {
      continuation.resume(std::move(answer).value());
    } else {
      continuation.resume(answer.error());
    }
  }

 private:
  std::mutex mutex_;
  bool answered_ = false;
  bool threw_ = false;
  std::optional<Outcome<Items>> answer_;
  std::optional<CheckedContinuation<Items>> waiting_;
};

Items valueOf(Outcome<Items> outcome) {
  if (!outcome.isSuccess()) std::rethrow_exception(outcome.error());
  return std::move(outcome).value();
}

}  // namespace

Async<CompositeListTemplateProviding::Items> CompositeListTemplateProviding::provideTemplate(
    const CompositeListTemplateSource& source) {
  // Copied: the answer may come after the caller's source is gone.
  const CompositeListTemplateSource form = source;
  auto call = std::make_shared<ProviderCall>();
  try {
    provideTemplate(form, [call](Outcome<Items> outcome) { call->complete(std::move(outcome)); });
  } catch (...) {
    // The error thrown ends the wait, unless the completion came first.
    if (call->threw()) throw;
    defaultLogger().error(
        "[CompositeListTemplateProviding] provideTemplate(form:) threw after it completed; the "
        "error is dropped: {}",
        describeCurrentException());
  }
  if (auto answer = call->takeAnswer()) co_return valueOf(std::move(*answer));
  // Not answered yet: the completion alone keeps the call from here on.
  std::shared_ptr<ProviderCall> parked = std::move(call);
  co_return co_await withCheckedThrowingContinuation<Items>(
      kContinuationName, [&parked](const CheckedContinuation<Items>& continuation) {
        parked->await(continuation);
        parked.reset();
      });
}

}  // namespace quarn
