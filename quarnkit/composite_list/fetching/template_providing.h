/// @file
/// CompositeListTemplateProviding: how the host resolves the source of an included template into
/// that template's items.

/// @class quarn::CompositeListTemplateProviding
/// How the host resolves the source of an
/// included template into that template's items. The fetcher is its only
/// caller. An interface the host implements; implementations are held by
/// shared_ptr.
///
/// The host implements the callback requirement; the fetcher awaits the
/// asynchronous form, which wraps it in a checked continuation named
/// "provideTemplate(form:)":
///
/// ```
///   class Templates : public CompositeListTemplateProviding {
///    public:
///     using CompositeListTemplateProviding::provideTemplate;
///     void provideTemplate(const CompositeListTemplateSource& source,
///                          Completion completion) override {
///       completion(Outcome<Items>::success(decodeCompositeListTemplate(load(source), registry)));
///     }
///   };
///   Items items = co_await templates.provideTemplate(source);
/// ```
///
/// The completion may be called on any thread, exactly once; calling it twice
/// is a programming error that stops with the continuation's name. A
/// completion dropped without being called ends the wait with the
/// cancellation error. An exception thrown by provideTemplate() before it
/// calls the completion ends the wait with that exception (a completion
/// called later is ignored); one thrown after it is logged and dropped.
///
/// Providers are held by shared_ptr by their callers (the fetcher keeps its
/// own for the length of every call), so a provider may be replaced or
/// dropped from inside its own provideTemplate().
#pragma once

#include <functional>
#include <vector>

#include "quarnkit/composite_list/fetching/outcome.h"
#include "quarnkit/composite_list/model/any_item.h"
#include "quarnkit/composite_list/model/template_source.h"
#include "quarnkit/platform/runtime/async_fwd.h"

namespace quarn {

class CompositeListTemplateProviding {
 public:
  /// The items of a template.
  using Items = std::vector<AnyCompositeListItem>;
  /// Receives the decoded items, or the failure.
  using Completion = std::function<void(Outcome<Items>)>;

  virtual ~CompositeListTemplateProviding() = default;

  /// Resolves `source` and calls `completion` once with the decoded items of
  /// that template or with the error that prevented it.
  virtual void provideTemplate(const CompositeListTemplateSource& source,
                               Completion completion) = 0;

  /// The asynchronous form: the items, or the provider's error thrown.
  Async<Items> provideTemplate(const CompositeListTemplateSource& source);
};

}  // namespace quarn
