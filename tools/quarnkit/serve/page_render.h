// What the live preview page asks the server for: one render of the
// template with the page's settings (device, premium, the clock, facts),
// as a JSON document the page's script swaps in place. A broken template
// renders as its lint findings instead of the screen.
//
//   PageSettings settings = parsePageSettings({{"device", "tablet"}, {"fact.country", "FR"}});
//   PageRender render = runUntilComplete(renderPage(options, settings));
//   render.document;   // {"ok": true, "screen": "<div class=\"phone\">...", ...}
//
// PageSettings and PageRender are values.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "quarnkit/core/value.h"
#include "quarnkit/platform/runtime/async_fwd.h"
#include "tools/quarnkit/host/session.h"

namespace quarn::tool {

/// A render's settings: the options the page overrides, by the names
/// explain's matrix uses ("premium", "device", "now", a fact), and whether
/// the explanation is wanted.
struct PageSettings {
  std::vector<std::pair<std::string, std::string>> overrides;
  bool explain = false;
};

/// The settings of a render request's query: device, premium (yes or no),
/// now (an internet date-time), explain (1), and fact.NAME for each fact;
/// an empty value keeps the default. std::invalid_argument on a value the
/// option does not take or a parameter no setting has.
PageSettings parsePageSettings(const std::vector<std::pair<std::string, std::string>>& query);

/// `options` with the settings applied; std::invalid_argument as parsing.
HostOptions applySettings(HostOptions options, const PageSettings& settings);

struct PageRender {
  /// Whether the template rendered; when not, the document holds the
  /// failure and the lint findings instead of the screen.
  bool ok = false;
  /// {"ok", "screen" (the phone's html) or "error" and "findings" (html),
  /// "explain" (html, when asked), "facts" ([{"name", "text"}], the facts
  /// file's, as the page edits them)}.
  Value document;
};

/// Renders on the main context. Never fails: a failure is in the document.
Async<PageRender> renderPage(HostOptions options, PageSettings settings);

/// A fact as the page shows it for editing, read back by factFromText():
/// dates in internet date-time form, texts as they are unless they would
/// read as something else, everything else as JSON.
std::string factText(const Value& fact);

}  // namespace quarn::tool
