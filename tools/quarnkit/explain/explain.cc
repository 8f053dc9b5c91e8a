#include "tools/quarnkit/explain/explain.h"

#include <stdexcept>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/core/error.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/predicate/evaluation_budget.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/preview/preview.h"

namespace quarn::tool {

namespace {

class Explainer {
 public:
  explicit Explainer(const HostSession& session)
      : session_(session),
        budget_(session.options().predicateBudget),
        check_(std::nullopt, session.environment().get(), &budget_) {}

  Async<void> explainTemplate(const TemplateDocument& document, int depth) {
    const std::vector<std::string>& paths = document.paths;
    for (std::size_t i = 0; i < document.items.size(); ++i) {
      const AnyCompositeListItem& item = document.items[i];
      ExplainedItem explained =
          describe(item, document.file, i < paths.size() ? paths[i] : "", depth);
      noteDates(item);
      const bool followInclude =
          explained.visibility.isShown() && item.type().rawValue == "include";
      out_.items.push_back(explained);
      if (followInclude) {
        const std::size_t at = out_.items.size() - 1;
        co_await explainInclude(item, at, depth);
      }
    }
  }

  Explanation finish() && {
    out_.now = check_.now();
    out_.premium = check_.premium();
    return std::move(out_);
  }

 private:
  ExplainedItem describe(const AnyCompositeListItem& item, const std::string& file,
                         const std::string& path, int depth) const {
    ExplainedItem e;
    e.file = file;
    e.path = path;
    e.depth = depth;
    e.uniqueId = item.uniqueId();
    e.type = item.type().rawValue;
    e.visibility = check_.visibility(item);
    e.startDate = item.startDate();
    e.expiryDate = item.expiryDate();
    e.predicate = item.predicate();
    if (item.visibility()) e.visibilityClass = item.visibility()->rawValue;
    return e;
  }

  void noteDates(const AnyCompositeListItem& item) {
    const Date now = check_.now();
    auto consider = [&](const std::optional<Date>& date, bool starts) {
      if (!date || *date < now) return;
      if (!starts && !(now < *date)) return;  // an item expiring now is still shown
      if (!out_.nextChange || *date < out_.nextChange->date) {
        out_.nextChange = Explanation::Change{*date, item.uniqueId(), starts};
      }
    };
    consider(item.startDate(), true);
    consider(item.expiryDate(), false);
  }

  Async<void> explainInclude(const AnyCompositeListItem& item, std::size_t at, int depth) {
    auto record = item.base<CompositeListInclude>();
    if (!record || !record->entity()) {
      out_.items[at].note = "the include names no template; it is dropped";
      co_return;
    }
    const CompositeListInclude include = *record->entity();
    // The same resolution and bounds as preview and lint.
    const IncludeSite site{out_.items[at].file, out_.items[at].path};
    std::optional<IncludeChain::Step> step;
    TemplateDocument provided;
    try {
      const IncludedFile file = session_.provider()->resolve(site, include.templateSource);
      step.emplace(session_.includeChain().enter(site, file));
      provided = session_.provider()->load(file);
    } catch (...) {
      out_.items[at].note = describeIncludeFailure(site);
      co_return;
    }
    const std::size_t first = out_.items.size();
    co_await explainTemplate(provided, depth + 1);
    // Mark the included items the include does not select (by uniqueId, else
    // by range), among those of its own template (depth + 1).
    std::size_t index = 0;
    for (std::size_t i = first; i < out_.items.size(); ++i) {
      ExplainedItem& e = out_.items[i];
      if (e.depth != depth + 1) continue;
      const std::size_t position = index++;
      if (include.uniqueId && e.uniqueId != *include.uniqueId) {
        e.note = "not selected: the include takes uniqueId \"" + *include.uniqueId + "\"";
      } else if (!include.uniqueId && include.range) {
        const auto count = static_cast<std::int64_t>(provided.items.size());
        const auto& r = *include.range;
        const bool valid = r.lowerBound >= 0 && r.lowerBound < count && r.upperBound < count;
        const auto p = static_cast<std::int64_t>(position);
        if (!valid || p < r.lowerBound || p > r.upperBound) {
          e.note = "not selected: the include takes positions " + std::to_string(r.lowerBound) +
                   "..." + std::to_string(r.upperBound) +
                   (valid ? "" : " (out of range: nothing is taken)");
        }
      }
    }
  }

  const HostSession& session_;
  // All the predicates of the run share it, as those of one fetch do: the
  // preview run after the rules reports a spent budget.
  EvaluationBudget budget_;
  const CompositeListElementVisibilityCheck check_;
  Explanation out_;
};

// The items the rules show that the preview gives no section. Dividers draw
// the next section's separator and includes are replaced by their items, so
// neither has a section of its own. Sections are made from entities (text
// rows among them): an item without one has none to show.
void noteMissingSections(Explanation& explanation, const Preview& preview) {
  std::set<std::string> withSection;
  for (const PreviewSection& section : preview.sections) withSection.insert(section.uniqueId);
  for (ExplainedItem& item : explanation.items) {
    if (!item.isShown() || item.type == "divider" || item.type == "include") continue;
    if (!withSection.contains(item.uniqueId)) item.noSection = "no entities";
  }
}

}  // namespace

Async<Explanation> explain(const HostSession& session) {
  Explainer explainer(session);
  co_await explainer.explainTemplate(session.templateDocument(), 0);
  Explanation explanation = std::move(explainer).finish();
  // A template the pipeline cannot fetch (an include that cannot be
  // resolved, a cycle) shows no sections at all; the items above already say
  // which include is at fault, so the rules' answer is left as it is.
  std::optional<Preview> preview;
  try {
    preview = co_await makePreview(session);
  } catch (...) {  // reported through the include's note
  }
  if (preview) noteMissingSections(explanation, *preview);
  co_return explanation;
}

std::string describeVisibility(const ExplainedItem& item, std::optional<bool> premium) {
  using Reason = CompositeListVisibilityReason;
  const CompositeListElementVisibility& v = item.visibility;
  switch (v.reason) {
    case Reason::shown:
      if (item.note) return "hidden: " + *item.note;
      if (item.noSection) return "not shown: shown by the rules; no section: " + *item.noSection;
      return "shown";
    case Reason::hiddenClass:
      return "hidden: its visibility is \"hidden\"";
    case Reason::premiumClass:
      return "hidden: visibility \"" + item.visibilityClass.value_or("") + "\" and the user is " +
             (premium == true ? "premium" : "not premium");
    case Reason::notStarted:
      return "hidden: not started yet (starts " + item.startDate->iso8601String() + ")";
    case Reason::expired:
      return "hidden: expired " + item.expiryDate->iso8601String();
    case Reason::predicateFalse:
      return "hidden: predicate is false: " + item.predicate.value_or("");
    case Reason::predicateError: {
      std::string lead = "shown: ";
      if (item.note) {
        lead = "hidden: " + *item.note + "; ";
      } else if (item.noSection) {
        lead = "not shown: shown by the rules; no section: " + *item.noSection + "; ";
      }
      return lead + "predicate could not be evaluated, which never hides an item (" + v.message +
             ")";
    }
  }
  return "shown";
}

std::string reasonName(const ExplainedItem& item) {
  using Reason = CompositeListVisibilityReason;
  switch (item.visibility.reason) {
    case Reason::shown:
      return item.note ? "notIncluded" : item.noSection ? "noSection" : "shown";
    case Reason::hiddenClass:
      return "hiddenClass";
    case Reason::premiumClass:
      return "premiumClass";
    case Reason::notStarted:
      return "notStarted";
    case Reason::expired:
      return "expired";
    case Reason::predicateFalse:
      return "predicateFalse";
    case Reason::predicateError:
      return item.note ? "notIncluded" : item.noSection ? "noSection" : "predicateError";
  }
  return "shown";
}

MatrixAxis parseMatrixAxis(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
    throw std::invalid_argument("a matrix axis is NAME=VALUE,VALUE...: \"" + text + "\"");
  }
  MatrixAxis axis{text.substr(0, equals), {}};
  std::string rest = text.substr(equals + 1);
  std::size_t start = 0;
  while (start <= rest.size()) {
    const std::size_t comma = rest.find(',', start);
    const std::string value =
        rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (value.empty()) throw std::invalid_argument("empty value in matrix axis \"" + text + "\"");
    axis.values.push_back(value);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return axis;
}

HostOptions applyAxisValue(HostOptions options, const std::string& name, const std::string& value) {
  if (name == "premium") {
    if (value == "yes" || value == "true") {
      options.premium = true;
    } else if (value == "no" || value == "false") {
      options.premium = false;
    } else {
      throw std::invalid_argument("premium takes yes or no, not \"" + value + "\"");
    }
  } else if (name == "device") {
    auto idiom = platform::userInterfaceIdiomFromString(value);
    if (!idiom) throw std::invalid_argument("unknown device \"" + value + "\"");
    options.device = *idiom;
  } else if (name == "now") {
    auto date = Date::parseISO8601(value);
    if (!date)
      throw std::invalid_argument("now takes an internet date-time, not \"" + value + "\"");
    options.now = *date;
  } else {
    options.extraFacts.set(name, factFromText(value));
  }
  return options;
}

}  // namespace quarn::tool
