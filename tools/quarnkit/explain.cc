#include "tools/quarnkit/explain.h"

#include <set>
#include <stdexcept>

#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/core/error.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/input_error.h"

namespace quarn::tool {

namespace {

// Includes nest at most this deep; deeper ones are reported, not followed.
constexpr int kMaxIncludeDepth = 16;

// The JSON paths of the elements the decoder turns into items: those with a
// "type" member, in order.
std::vector<std::string> itemPaths(const std::string& text) {
  std::vector<std::string> paths;
  const Value document = parseJSON(text);
  if (const Value::Array* elements = document.ifArray()) {
    for (std::size_t i = 0; i < elements->size(); ++i) {
      if ((*elements)[i].find("type") != nullptr) paths.push_back("[" + std::to_string(i) + "]");
    }
  }
  return paths;
}

class Explainer {
 public:
  explicit Explainer(const HostSession& session)
      : session_(session), check_(std::nullopt, session.environment().get()) {}

  Async<void> explainTemplate(const std::string& file, const std::string& text,
                              const std::vector<AnyCompositeListItem>& items, int depth,
                              std::set<std::string> stack) {
    const std::vector<std::string> paths = itemPaths(text);
    stack.insert(file);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const AnyCompositeListItem& item = items[i];
      ExplainedItem explained = describe(item, file, i < paths.size() ? paths[i] : "", depth);
      noteDates(item);
      const bool followInclude =
          explained.visibility.isShown() && item.type().rawValue == "include";
      out_.items.push_back(explained);
      if (followInclude) {
        const std::size_t at = out_.items.size() - 1;
        co_await explainInclude(item, at, depth, stack);
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

  Async<void> explainInclude(const AnyCompositeListItem& item, std::size_t at, int depth,
                             std::set<std::string> stack) {
    auto record = item.base<CompositeListInclude>();
    if (!record || !record->entity()) {
      out_.items[at].note = "the include names no template; it is dropped";
      co_return;
    }
    const CompositeListInclude include = *record->entity();
    std::string file;
    std::string text;
    std::vector<AnyCompositeListItem> provided;
    try {
      file = session_.provider()->fileFor(include.templateSource);
      text = readFile(file);
      provided = session_.loader()->decode(file, text);
    } catch (...) {
      out_.items[at].note = "cannot be resolved: " + describeCurrentException();
      co_return;
    }
    if (stack.contains(file)) {
      out_.items[at].note = "includes " + file + ", which is already being included (a cycle)";
      co_return;
    }
    if (depth + 1 > kMaxIncludeDepth) {
      out_.items[at].note = "includes nest deeper than " + std::to_string(kMaxIncludeDepth);
      co_return;
    }
    const std::size_t first = out_.items.size();
    co_await explainTemplate(file, text, provided, depth + 1, stack);
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
        const auto count = static_cast<std::int64_t>(provided.size());
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
  const CompositeListElementVisibilityCheck check_;
  Explanation out_;
};

}  // namespace

Async<Explanation> explain(const HostSession& session) {
  Explainer explainer(session);
  const std::string& file = session.options().templateFile;
  const std::string text = readFile(file);
  std::set<std::string> stack;
  co_await explainer.explainTemplate(file, text, session.templateItems(), 0, std::move(stack));
  co_return std::move(explainer).finish();
}

std::string describeVisibility(const ExplainedItem& item, std::optional<bool> premium) {
  using Reason = CompositeListVisibilityReason;
  const CompositeListElementVisibility& v = item.visibility;
  switch (v.reason) {
    case Reason::shown:
      return item.note ? "hidden: " + *item.note : "shown";
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
    case Reason::predicateError:
      return std::string(item.note ? "hidden: " + *item.note + "; " : "shown: ") +
             "predicate could not be evaluated, which never hides an item (" + v.message + ")";
  }
  return "shown";
}

std::string reasonName(const ExplainedItem& item) {
  using Reason = CompositeListVisibilityReason;
  switch (item.visibility.reason) {
    case Reason::shown:
      return item.note ? "notIncluded" : "shown";
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
      return item.note ? "notIncluded" : "predicateError";
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
