#include "tools/quarnkit/serve/page_render.h"

#include <algorithm>
#include <stdexcept>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/element.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/clock.h"
#include "tools/quarnkit/common/failure.h"
#include "tools/quarnkit/common/html_text.h"
#include "tools/quarnkit/common/log_lines.h"
#include "tools/quarnkit/explain/explain.h"
#include "tools/quarnkit/lint/lint.h"
#include "tools/quarnkit/preview/preview.h"
#include "tools/quarnkit/preview/render.h"

namespace quarn::tool {

namespace {

constexpr std::string_view kFactPrefix = "fact.";

Value factsOf(const HostOptions& options) {
  Value::Array facts;
  if (!options.environmentFile) return facts;
  try {
    for (const auto& [name, value] :
         readFacts(*options.environmentFile, options.limits.maxFileSize)) {
      facts.push_back(Value::Object{{"name", name}, {"text", factText(value)}});
    }
  } catch (...) {  // the render names the file's problem
  }
  return facts;
}

std::string findingsHTML(const std::vector<LintFinding>& findings) {
  std::string out = "<ul class=\"findings\">";
  for (const LintFinding& f : findings) {
    const bool error = f.severity == LintFinding::Severity::error;
    out += std::string("<li class=\"") + (error ? "error" : "warning") + "\">" +
           escapeHTML(f.line()) + "</li>";
  }
  return out + "</ul>";
}

std::string explanationHTML(const Explanation& e) {
  std::string out = "<ol class=\"items\">";
  for (const ExplainedItem& item : e.items) {
    const std::string why = describeVisibility(item, e.premium);
    out += std::string("<li class=\"") + (item.isShown() ? "shown" : "hidden") + " depth" +
           std::to_string(std::min(item.depth, 5)) + "\"><code>" + escapeHTML(item.uniqueId) +
           "</code> <span class=\"type\">" + escapeHTML(item.type) +
           "</span> <span class=\"why\">" + escapeHTML(why) + "</span>";
    if (item.depth > 0) {
      out += " <span class=\"where\">" + escapeHTML(item.file + " " + item.path) + "</span>";
    }
    out += "</li>";
  }
  out += "</ol><p class=\"next\">";
  if (e.nextChange) {
    out += "Next change: " + escapeHTML(e.nextChange->date.iso8601String()) + ", when <code>" +
           escapeHTML(e.nextChange->uniqueId) + "</code>" +
           (e.nextChange->starts ? " starts" : " expires") + ".";
  } else {
    out += "No start or expiry date ahead changes what is shown.";
  }
  return out + "</p>";
}

}  // namespace

PageSettings parsePageSettings(const std::vector<std::pair<std::string, std::string>>& query) {
  PageSettings settings;
  for (const auto& [name, value] : query) {
    if (name == "explain") {
      settings.explain = value == "1";
    } else if (name == "device" || name == "premium" || name == "now") {
      if (!value.empty()) settings.overrides.emplace_back(name, value);
    } else if (name.starts_with(kFactPrefix) && name.size() > kFactPrefix.size()) {
      settings.overrides.emplace_back(name.substr(kFactPrefix.size()), value);
    } else {
      throw std::invalid_argument("unknown setting \"" + name + "\"");
    }
  }
  // Checked here, so that a bad value is refused before anything is read.
  applySettings(HostOptions{}, settings);
  return settings;
}

HostOptions applySettings(HostOptions options, const PageSettings& settings) {
  for (const auto& [name, value] : settings.overrides) {
    options = applyAxisValue(std::move(options), name, value);
  }
  return options;
}

std::string factText(const Value& fact) {
  if (const Date* date = fact.ifDate()) return date->iso8601String();
  if (const std::string* text = fact.ifString()) {
    if (factFromText(*text) == fact) return *text;
  }
  return serializeJSON(fact);
}

Async<PageRender> renderPage(HostOptions base, PageSettings settings) {
  PageRender render;
  Value::Object document{{"facts", factsOf(base)}};
  HostOptions options;
  std::string failure;
  try {
    options = applySettings(base, settings);
  } catch (const std::invalid_argument& e) {
    failure = e.what();
    options = base;
  }
  HostPlatform platform(options.device, options.now);
  if (failure.empty()) {
    try {
      const HostSession session(options);
      const Preview preview = co_await makePreview(session);
      const RenderContext context{options.templateFile,
                                  describeInputs(options),
                                  platform::Clock::current()->now(),
                                  std::string(platform::toString(options.device)),
                                  session.environment()->hasPremiumSubscription(),
                                  false};
      document.set("screen", renderHTMLScreen(preview, context));
      render.ok = true;
    } catch (...) {
      failure = describeFailure(options.templateFile);
    }
  }
  if (render.ok && settings.explain) {
    try {
      const HostSession session(options);
      document.set("explain", explanationHTML(co_await explain(session)));
    } catch (...) {
      document.set("explain", "<p class=\"error\">" +
                                  escapeHTML(describeFailure(options.templateFile)) + "</p>");
    }
  }
  if (!render.ok) {
    document.set("error", failure);
    std::vector<LintFinding> findings;
    try {
      findings = lintTemplate(options);
    } catch (...) {  // the facts file or includes folder: the error line says so
    }
    document.set("findings", findingsHTML(findings));
  }
  LibraryLogLines::discardCurrent();
  document.set("ok", render.ok);
  render.document = std::move(document);
  co_return render;
}

}  // namespace quarn::tool
