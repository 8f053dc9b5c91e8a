#include "quarnkit/composite_list/fetching/template_providing.h"

#include <atomic>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/continuation.h"

namespace quarn {

namespace {
/// Who ended the wait first: the completion, or the provider by throwing.
enum class Ending : int { pending, completed, threw };
}  // namespace

Async<CompositeListTemplateProviding::Items> CompositeListTemplateProviding::provideTemplate(
    const CompositeListTemplateSource& source) {
  // Copied: the continuation may resume after the caller's source is gone.
  const CompositeListTemplateSource form = source;
  std::function<void(CheckedContinuation<Items>)> body =
      [this, &form](const CheckedContinuation<Items>& c) {
        auto ending = std::make_shared<std::atomic<Ending>>(Ending::pending);
        Completion completion = [c, ending](Outcome<Items> outcome) {
          Ending was = Ending::pending;
          if (!ending->compare_exchange_strong(was, Ending::completed) && was == Ending::threw) {
            defaultLogger().error(
                "[CompositeListTemplateProviding] provideTemplate(form:) completed after it "
                "threw; the completion is ignored");
            return;
          }
          // A second call reaches the continuation, whose check stops the program.
          if (outcome.isSuccess()) {
            c.resume(std::move(outcome).value());
          } else {
            c.resume(outcome.error());
          }
        };
        try {
          provideTemplate(form, std::move(completion));
        } catch (...) {
          // The error thrown ends the wait, unless the completion came first.
          Ending was = Ending::pending;
          if (ending->compare_exchange_strong(was, Ending::threw)) {
            c.resume(std::current_exception());
          } else {
            defaultLogger().error(
                "[CompositeListTemplateProviding] provideTemplate(form:) threw after it "
                "completed; the error is dropped: {}",
                describeCurrentException());
          }
        }
      };
  co_return co_await withCheckedThrowingContinuation<Items>("provideTemplate(form:)",
                                                            std::move(body));
}

}  // namespace quarn
