#include "quarnkit/composite_list/model/text_template.h"

#include <algorithm>
#include <boost/container/small_vector.hpp>
#include <vector>

#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/predicate/key_path.h"
#include "quarnkit/predicate/limits.h"
#include "quarnkit/predicate/parse_cache.h"

namespace quarn {

// ----- Look-ups --------------------------------------------------------------

std::optional<Value> getValue(const ValueDictionary& values, std::string_view keyPath) {
  // One plain key: what the key-path look-up would find, without building a path.
  if (keyPath.find('.') == std::string_view::npos && !keyPath.starts_with('@')) {
    const Value* v = values.find(keyPath);
    return v ? std::optional<Value>(*v) : std::nullopt;
  }
  try {
    return valueForKeyPath(values, keyPath);
  } catch (...) {
    throw ExpressionEvaluationError(describeCurrentException());
  }
}

bool hasKeyPath(std::string_view text) {
  if (text.empty()) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '@' || c == '_' || c == '$';
  });
}

namespace {

const Logger& log() { return defaultLogger(); }

// Whether the scanner looks `field` up: a key path, or one with list
// subscripts such as "items.[1]" (which list proxies answer).
bool isLookupField(std::string_view field) {
  if (field.empty()) return false;
  return std::all_of(field.begin(), field.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '@' || c == '_' || c == '$' || c == '[' || c == ']';
  });
}

std::string_view firstComponent(std::string_view path) { return path.substr(0, path.find('.')); }

std::string_view lastComponent(std::string_view path) {
  const auto dot = path.rfind('.');
  return dot == std::string_view::npos ? path : path.substr(dot + 1);
}

// A value found by lookup(): a reference into the values looked in, or a
// value computed on the way.
struct Found {
  const Value* ref = nullptr;
  std::optional<Value> owned;
  [[nodiscard]] const Value* get() const { return owned ? &*owned : ref; }
};

// The values being expanded, outermost first, and what writing "<recursion>"
// at each of their paths makes of the values looked in: the top-level entries
// those writes replace or add, worked out once per expanded value rather than
// for every look-up. Siblings share their parent's marks (each expansion
// pushes its own and pops it) and never see each other's. The paths are views
// of the texts being expanded, which outlive the levels below them.
class Marks {
 public:
  explicit Marks(const ValueDictionary& base) : base_(base) {}

  [[nodiscard]] std::size_t depth() const { return paths_.size(); }
  [[nodiscard]] bool contains(std::string_view path) const {
    return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
  }

  void push(std::string_view path) {
    paths_.push_back(path);
    const std::string_view first = firstComponent(path);
    const Value* current = changed_.find(first);
    const bool wasChanged = current != nullptr;
    if (!wasChanged) current = base_.find(first);
    std::optional<Value> marked;
    if (first.size() == path.size()) {
      marked.emplace(kRecursionMarker);
    } else if (current != nullptr) {
      // A write below an entry: into a copy of it, when it is a dictionary.
      ValueDictionary entry;
      entry.set(std::string(first), *current);
      detail::setValueAtKeyPath(entry, path, kRecursionMarker);
      marked.emplace(std::move(*entry.find(first)));
    }  // a write below an entry that is not there changes nothing
    if (!marked) {
      undo_.emplace_back();
      return;
    }
    undo_.push_back(
        Undo{std::string(first), wasChanged ? std::optional<Value>(*current) : std::nullopt});
    changed_.set(std::string(first), std::move(*marked));
  }

  void pop() {
    paths_.pop_back();
    std::optional<Undo> undo = std::move(undo_.back());
    undo_.pop_back();
    if (!undo) return;
    if (undo->previous) {
      changed_.set(std::move(undo->key), std::move(*undo->previous));
    } else {
      changed_.erase(undo->key);
    }
  }

  // `path` looked up in the values with the marks written, without copying
  // them: only the entries the look-up reads are copied, and only when a
  // mark changed one of them.
  [[nodiscard]] Found lookup(std::string_view path) const {
    const bool plainKey = path.find('.') == std::string_view::npos && !path.starts_with('@');
    if (!changed_.empty() && path.starts_with('@')) {
      // A collection operator of the whole dictionary: rare enough to copy it.
      ValueDictionary copy = base_;
      for (const auto& [key, value] : changed_) copy.set(key, value);
      return {nullptr, getValue(copy, path)};
    }
    if (!touches(path)) {
      if (plainKey) return {base_.find(path), std::nullopt};
      return {nullptr, getValue(base_, path)};
    }
    ValueDictionary read;
    for (std::size_t end = path.find('.');; end = path.find('.', end + 1)) {
      const std::string_view key = path.substr(0, end);
      const Value* v = changed_.find(key);
      if (v == nullptr) v = base_.find(key);
      if (v != nullptr) read.set(std::string(key), *v);
      if (end == std::string_view::npos) break;
    }
    return {nullptr, getValue(read, path)};
  }

 private:
  struct Undo {
    std::string key;
    std::optional<Value> previous;  // nothing: the entry was not changed before
  };

  // Whether looking `path` up reads an entry the marks changed: the look-up
  // reads the entries named by the path's leading components joined with dots.
  [[nodiscard]] bool touches(std::string_view path) const {
    if (changed_.empty()) return false;
    const auto components = static_cast<std::size_t>(std::count(path.begin(), path.end(), '.'));
    if (components >= kKeyPathMaxComponents) return false;  // fails whatever the values
    for (std::size_t end = path.find('.');; end = path.find('.', end + 1)) {
      if (changed_.contains(path.substr(0, end))) return true;
      if (end == std::string_view::npos) return false;
    }
  }

  const ValueDictionary& base_;
  std::vector<std::string_view> paths_;
  std::vector<std::optional<Undo>> undo_;  // one per path; nothing when it changed nothing
  ValueDictionary changed_;                // the top-level entries as the marks leave them
};

// ----- Expressions -----------------------------------------------------------

// Expression texts longer than this are parsed without the shared cache, so
// that long replacement texts cannot fill it.
constexpr std::size_t kCachedExpressionLength = 256;

double systemRandomFraction() {
  constexpr std::uint64_t kSteps = std::uint64_t{1} << 53;
  return static_cast<double>(platform::SystemRandomSource::shared().nextInt(kSteps)) /
         static_cast<double>(kSteps);
}

// The guarded evaluation of an expression over `values`: its value, or an
// ExpressionEvaluationError with the failure's description.
Value evaluateExpression(std::string_view text, const ValueDictionary& values) {
  try {
    const Expression expression = text.size() <= kCachedExpressionLength
                                      ? ExpressionCache::shared().get(text)
                                      : Expression::parse(text);
    const EvaluationContext context{platform::Clock::current()->now(), systemRandomFraction};
    return expression.evaluate(values, values, context);
  } catch (...) {
    throw ExpressionEvaluationError(describeCurrentException());
  }
}

void logResult(std::string_view text, const Value& result) {
  log().debug("Evaluate expression: {} = {})", text, result.description());
}

// ----- The engine ------------------------------------------------------------

class Engine {
 public:
  Engine(const ValueDictionary& lookupValues, const ValueDictionary& expressionValues,
         bool expressions, const TextTemplateLimits& limits)
      : expressionValues_(expressionValues),
        expressions_(expressions),
        limits_(limits),
        marks_(lookupValues) {}

  std::string singlePass(std::string_view text);
  std::string scan(std::string text);

 private:
  std::string resolveField(std::string_view field);
  /// Counts one replacement; false (logged once) when the budget is spent.
  bool consume();
  /// Whether a text of `length` bytes may be built from one of `original`
  /// bytes; false (logged once) if not.
  bool fits(std::size_t length, std::size_t original);
  void stop(const std::string& why);
  /// Whether expanding `value` found at `field` must stop here (logged).
  bool cutOff(std::string_view field, const std::string& value) const;
  /// `expand(value)` with `field` on the chain of values being expanded.
  template <class F>
  std::string expanding(std::string_view field, F&& expand);

  const ValueDictionary& expressionValues_;
  bool expressions_;
  TextTemplateLimits limits_;
  std::size_t replacements_ = 0;
  bool stopped_ = false;
  Marks marks_;  // the fields whose values are being expanded
};

bool Engine::consume() {
  if (stopped_) return false;
  if (++replacements_ > limits_.maxReplacements) {
    stop(fmt::format("Text template expansion stopped after {} replacements",
                     limits_.maxReplacements));
    return false;
  }
  return true;
}

bool Engine::fits(std::size_t length, std::size_t original) {
  if (length <= std::max(limits_.maxLength, original)) return true;
  stop(
      fmt::format("Text template expansion stopped: text longer than {} bytes", limits_.maxLength));
  return false;
}

void Engine::stop(const std::string& why) {
  if (!stopped_) log().error("Expression error: {}", why);
  stopped_ = true;
}

bool Engine::cutOff(std::string_view field, const std::string& value) const {
  if (value == kRecursionMarker) return false;  // the marker expands to itself
  if (marks_.depth() + 1 > limits_.maxDepth) {
    log().error("Expression error: Text template values nested deeper than {} levels at ${{{}}}",
                limits_.maxDepth, field);
    return true;
  }
  if (marks_.contains(field)) {
    log().error("Expression error: Text template value ${{{}}} refers to itself", field);
    return true;
  }
  return false;
}

template <class F>
std::string Engine::expanding(std::string_view field, F&& expand) {
  marks_.push(field);
  std::string expanded = std::forward<F>(expand)();
  marks_.pop();
  return expanded;
}

std::string Engine::singlePass(std::string_view text) {
  struct Match {
    std::size_t begin, end;  // "${" .. "}" inclusive
    std::string replacement;
    bool replaced = false;
  };
  // The matches of \$\{([^\}]+)\}, left to right without overlap.
  boost::container::small_vector<Match, 4> matches;
  for (std::size_t from = 0;;) {
    const std::size_t open = text.find("${", from);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('}', open + 2);
    if (close == std::string_view::npos) break;
    if (close == open + 2) {
      from = open + 1;  // "${}" has no field
      continue;
    }
    matches.push_back({open, close, {}, false});
    from = close + 1;
  }
  if (matches.empty()) return std::string(text);

  std::size_t length = text.size();
  for (auto m = matches.rbegin(); m != matches.rend() && consume(); ++m) {
    const std::string_view field = text.substr(m->begin + 2, m->end - m->begin - 2);
    const Found found = marks_.lookup(field);  // failures propagate
    const Value* value = found.get();
    std::string replacement;
    if (value == nullptr || value->isNull()) {
      // nothing
    } else if (const std::string* s = value->ifString()) {
      if (s->find("${") == std::string::npos) {
        replacement = *s;
      } else if (cutOff(field, *s)) {
        replacement = kRecursionMarker;
      } else {
        replacement = expanding(field, [&] { return singlePass(*s); });
      }
    } else {
      replacement = value->description();
    }
    if (expressions_ && lastComponent(field).starts_with('$')) {
      try {
        const Value result = evaluateExpression(replacement, {});
        if (!result.isNull()) {
          logResult(replacement, result);
          replacement = result.description();
        }
      } catch (const ExpressionEvaluationError& e) {
        log().error("Expression error: {}", e.description());
      }
    }
    length = length - (m->end + 1 - m->begin) + replacement.size();
    if (!fits(length, text.size())) break;
    m->replacement = std::move(replacement);
    m->replaced = true;
  }

  std::string out;
  out.reserve(std::min(length, limits_.maxLength));
  std::size_t at = 0;
  for (const Match& m : matches) {
    if (!m.replaced) continue;
    out.append(text.substr(at, m.begin - at));
    out.append(m.replacement);
    at = m.end + 1;
  }
  out.append(text.substr(at));
  return out;
}

// The innermost placeholder: from the last "${" before the first "}" through
// that "}"; nothing when a "}" comes before any "${", or there is no "}".
std::optional<std::pair<std::size_t, std::size_t>> nextPlaceholder(std::string_view text) {
  const std::size_t close = text.find('}');
  if (close == std::string_view::npos || close < 2) return std::nullopt;
  const std::size_t open = text.rfind("${", close - 2);
  if (open == std::string_view::npos) return std::nullopt;
  return std::pair{open, close};
}

std::string Engine::scan(std::string text) {
  const std::size_t original = text.size();
  while (auto placeholder = nextPlaceholder(text)) {
    if (!consume()) break;
    const auto [open, close] = *placeholder;
    const std::string field = text.substr(open + 2, close - open - 2);
    const std::string replacement = resolveField(field);
    if (!fits(text.size() - (close + 1 - open) + replacement.size(), original)) break;
    text.replace(open, close + 1 - open, replacement);
  }
  return text;
}

std::string Engine::resolveField(std::string_view field) {
  if (isLookupField(field)) {
    Found found;
    try {
      found = marks_.lookup(field);
    } catch (const ExpressionEvaluationError& e) {
      log().error("Expression error: {}", e.description());
      return {};
    }
    const Value* value = found.get();
    if (const std::string* s = value ? value->ifString() : nullptr) {
      if (cutOff(field, *s)) return std::string(kRecursionMarker);
      std::string expanded = expanding(field, [&] { return scan(*s); });
      if (!expressions_ || !lastComponent(field).starts_with('$')) return expanded;
      try {
        const Value result = evaluateExpression(expanded, expressionValues_);
        if (result.isNull()) throw ExpressionError(-1, "Invalid expression result");
        logResult(expanded, result);
        return result.description();
      } catch (const Error& e) {
        log().error("Expression error: {}", e.description());
        return std::string(kErrorMarker);
      }
    }
    if (value && !value->isNull()) return value->description();
  }
  if (!expressions_) return {};
  try {
    const Value result = evaluateExpression(field, expressionValues_);
    if (result.isNull()) throw ExpressionError(-1, "Invalid expression result");
    logResult(field, result);
    return result.description();
  } catch (const Error& e) {
    log().error("Expression error: {}", e.description());
    return {};
  }
}

}  // namespace

// ----- Entry points ----------------------------------------------------------

std::string templateString(std::string_view text, const ValueDictionary& values,
                           bool allowExpressions, bool allowRecursion,
                           const TextTemplateLimits& limits) {
  if (allowRecursion) return recursiveTemplateString(text, values, allowExpressions, limits);
  if (text.find("${") == std::string_view::npos) return std::string(text);
  Engine engine(values, values, allowExpressions, limits);
  return engine.singlePass(text);
}

std::string recursiveTemplateString(std::string_view text, const ValueDictionary& values,
                                    bool allowExpressions, const TextTemplateLimits& limits) {
  if (!nextPlaceholder(text)) return std::string(text);
  const ValueDictionary resolved = resolveValuesForPredicateOrTemplate(values);
  Engine engine(resolved, values, allowExpressions, limits);
  return engine.scan(std::string(text));
}

}  // namespace quarn
