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

// The "<recursion>" writes that turn the values of a templating call into its
// working copy: this level's own writes, then the first `parentCount` writes
// of the level that called it, and so on up. All writes store the same marker,
// so their order does not change the copy they describe. The paths are views
// of the texts being expanded, which outlive the levels below them.
struct Writes {
  const Writes* parent = nullptr;
  std::size_t parentCount = 0;
  // Most texts have a placeholder or two: kept inline.
  boost::container::small_vector<std::string_view, 4> own;

  template <class F>
  void forEach(F&& f) const {
    std::size_t n = own.size();
    for (const Writes* w = this; w != nullptr; n = w->parentCount, w = w->parent) {
      for (std::size_t i = 0; i < n; ++i) f(w->own[i]);
    }
  }
  [[nodiscard]] bool empty() const {
    std::size_t n = own.size();
    for (const Writes* w = this; w != nullptr; n = w->parentCount, w = w->parent) {
      if (n > 0) return false;
    }
    return true;
  }
};

std::string_view firstComponent(std::string_view path) { return path.substr(0, path.find('.')); }

std::string_view lastComponent(std::string_view path) {
  const auto dot = path.rfind('.');
  return dot == std::string_view::npos ? path : path.substr(dot + 1);
}

// Whether looking `path` up reads the top-level entry `key`: the look-up reads
// the entries named by the path's leading components joined with dots.
bool reads(std::string_view path, std::string_view key) {
  return path.starts_with(key) && (path.size() == key.size() || path[key.size()] == '.');
}

// A value found by lookup(): a reference into the values looked in, or a
// value computed on the way.
struct Found {
  const Value* ref = nullptr;
  std::optional<Value> owned;
  [[nodiscard]] const Value* get() const { return owned ? &*owned : ref; }
};

// `path` looked up in `base` with `writes` applied, without copying `base`:
// only the entries the look-up reads are copied, and only when a write
// touches one of them.
Found lookup(const ValueDictionary& base, const Writes& writes, std::string_view path) {
  const bool plainKey = path.find('.') == std::string_view::npos && !path.starts_with('@');
  if (writes.empty()) {
    if (plainKey) return {base.find(path), std::nullopt};
    return {nullptr, getValue(base, path)};
  }
  const std::size_t components =
      static_cast<std::size_t>(std::count(path.begin(), path.end(), '.')) + 1;
  if (path.starts_with('@')) {
    // A collection operator of the whole dictionary: rare enough to copy it.
    ValueDictionary copy = base;
    writes.forEach(
        [&](std::string_view w) { detail::setValueAtKeyPath(copy, w, kRecursionMarker); });
    return {nullptr, getValue(copy, path)};
  }
  bool touched = false;
  if (components <= kKeyPathMaxComponents) {  // longer paths fail whatever the values
    writes.forEach(
        [&](std::string_view w) { touched = touched || reads(path, firstComponent(w)); });
  }
  if (!touched) {
    if (plainKey) return {base.find(path), std::nullopt};
    return {nullptr, getValue(base, path)};
  }
  ValueDictionary read;
  for (std::size_t end = path.find('.');; end = path.find('.', end + 1)) {
    const std::string_view key = path.substr(0, end);
    if (const Value* v = base.find(key)) read.set(std::string(key), *v);
    if (end == std::string_view::npos) break;
  }
  writes.forEach([&](std::string_view w) {
    const std::string_view first = firstComponent(w);
    // A write below an entry that is not there changes nothing.
    if (!reads(path, first) || (first.size() < w.size() && !read.contains(first))) return;
    detail::setValueAtKeyPath(read, w, kRecursionMarker);
  });
  return {nullptr, getValue(read, path)};
}

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
  Engine(const ValueDictionary& expressionValues, bool expressions)
      : expressionValues_(expressionValues), expressions_(expressions) {}

  std::string singlePass(std::string_view text, const ValueDictionary& values,
                         const Writes* inherited, std::size_t inheritedCount, std::size_t depth);
  std::string scan(std::string text, const ValueDictionary& values, const Writes& writes,
                   std::size_t depth);

 private:
  std::string resolveField(std::string_view field, const ValueDictionary& values,
                           const Writes& writes, std::size_t depth);
  /// Counts one replacement; false (logged once) when the budget is spent.
  bool consume();
  /// Whether a text of `length` bytes may be built from one of `original`
  /// bytes; false (logged once) if not.
  bool fits(std::size_t length, std::size_t original);
  void stop(const std::string& why);
  /// Whether expanding `value` found at `field` must stop here (logged).
  bool cutOff(std::string_view field, const std::string& value, std::size_t depth);

  const ValueDictionary& expressionValues_;
  bool expressions_;
  std::size_t replacements_ = 0;
  bool stopped_ = false;
  std::vector<std::string_view> expanding_;  // fields whose values are being expanded
};

bool Engine::consume() {
  if (stopped_) return false;
  if (++replacements_ > kTextTemplateMaxReplacements) {
    stop(fmt::format("Text template expansion stopped after {} replacements",
                     kTextTemplateMaxReplacements));
    return false;
  }
  return true;
}

bool Engine::fits(std::size_t length, std::size_t original) {
  if (length <= std::max(kTextTemplateMaxLength, original)) return true;
  stop(fmt::format("Text template expansion stopped: text longer than {} bytes",
                   kTextTemplateMaxLength));
  return false;
}

void Engine::stop(const std::string& why) {
  if (!stopped_) log().error("Expression error: {}", why);
  stopped_ = true;
}

bool Engine::cutOff(std::string_view field, const std::string& value, std::size_t depth) {
  if (value == kRecursionMarker) return false;  // the marker expands to itself
  if (depth + 1 > kTextTemplateMaxDepth) {
    log().error("Expression error: Text template values nested deeper than {} levels at ${{{}}}",
                kTextTemplateMaxDepth, field);
    return true;
  }
  if (std::find(expanding_.begin(), expanding_.end(), field) != expanding_.end()) {
    log().error("Expression error: Text template value ${{{}}} refers to itself", field);
    return true;
  }
  return false;
}

std::string Engine::singlePass(std::string_view text, const ValueDictionary& values,
                               const Writes* inherited, std::size_t inheritedCount,
                               std::size_t depth) {
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

  Writes writes{inherited, inheritedCount, {}};
  writes.own.reserve(matches.size());
  std::size_t length = text.size();
  for (auto m = matches.rbegin(); m != matches.rend() && consume(); ++m) {
    const std::string_view field = text.substr(m->begin + 2, m->end - m->begin - 2);
    const Found found = lookup(values, writes, field);  // failures propagate
    const Value* value = found.get();
    std::string replacement;
    if (value == nullptr || value->isNull()) {
      // nothing
    } else if (const std::string* s = value->ifString()) {
      if (s->find("${") == std::string::npos) {
        writes.own.emplace_back(field);  // nothing to expand, but later look-ups see the mark
        replacement = *s;
      } else if (cutOff(field, *s, depth)) {
        replacement = kRecursionMarker;
      } else {
        writes.own.emplace_back(field);
        expanding_.push_back(field);
        replacement = singlePass(*s, values, &writes, writes.own.size(), depth + 1);
        expanding_.pop_back();
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
  out.reserve(std::min(length, kTextTemplateMaxLength));
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

std::string Engine::scan(std::string text, const ValueDictionary& values, const Writes& writes,
                         std::size_t depth) {
  const std::size_t original = text.size();
  while (auto placeholder = nextPlaceholder(text)) {
    if (!consume()) break;
    const auto [open, close] = *placeholder;
    const std::string field = text.substr(open + 2, close - open - 2);
    const std::string replacement = resolveField(field, values, writes, depth);
    if (!fits(text.size() - (close + 1 - open) + replacement.size(), original)) break;
    text.replace(open, close + 1 - open, replacement);
  }
  return text;
}

std::string Engine::resolveField(std::string_view field, const ValueDictionary& values,
                                 const Writes& writes, std::size_t depth) {
  if (isLookupField(field)) {
    Found found;
    try {
      found = lookup(values, writes, field);
    } catch (const ExpressionEvaluationError& e) {
      log().error("Expression error: {}", e.description());
      return {};
    }
    const Value* value = found.get();
    if (const std::string* s = value ? value->ifString() : nullptr) {
      if (cutOff(field, *s, depth)) return std::string(kRecursionMarker);
      const Writes copy{&writes, writes.own.size(), {field}};
      expanding_.push_back(field);
      std::string expanded = scan(*s, values, copy, depth + 1);
      expanding_.pop_back();
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
                           bool allowExpressions, bool allowRecursion) {
  if (allowRecursion) return recursiveTemplateString(text, values, allowExpressions);
  if (text.find("${") == std::string_view::npos) return std::string(text);
  Engine engine(values, allowExpressions);
  return engine.singlePass(text, values, nullptr, 0, 0);
}

std::string recursiveTemplateString(std::string_view text, const ValueDictionary& values,
                                    bool allowExpressions) {
  if (!nextPlaceholder(text)) return std::string(text);
  const ValueDictionary resolved = resolveValuesForPredicateOrTemplate(values);
  Engine engine(values, allowExpressions);
  return engine.scan(std::string(text), resolved, Writes{}, 0);
}

}  // namespace quarn
