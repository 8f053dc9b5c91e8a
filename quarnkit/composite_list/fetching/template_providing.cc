#include "quarnkit/composite_list/fetching/template_providing.h"

#include "quarnkit/platform/runtime/continuation.h"

namespace quarn {

Async<CompositeListTemplateProviding::Items> CompositeListTemplateProviding::provideTemplate(
    const CompositeListTemplateSource& source) {
  // Copied: the continuation may resume after the caller's source is gone.
  const CompositeListTemplateSource form = source;
  std::function<void(CheckedContinuation<Items>)> body =
      [this, &form](const CheckedContinuation<Items>& c) {
        Completion completion = [c](Outcome<Items> outcome) {
          if (outcome.isSuccess()) {
            c.resume(std::move(outcome).value());
          } else {
            c.resume(outcome.error());
          }
        };
        provideTemplate(form, std::move(completion));
      };
  co_return co_await withCheckedThrowingContinuation<Items>("provideTemplate(form:)",
                                                            std::move(body));
}

}  // namespace quarn
