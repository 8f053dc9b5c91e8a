// The language's string tests: case and diacritic folding for the [c] and [d]
// options, LIKE wildcards, and whole-string regular expressions (ICU's
// flavour) bounded in time and memory so that patterns from input cannot hang
// the process. Patterns are compiled once, when the predicate is parsed, and
// the tests allocate nothing per evaluation once their buffers have grown.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::detail {

class StepCounter;

/// Comparison options, written after an operator in brackets: [c], [d], [cd].
/// n (normalized) and l (locale) are accepted and change nothing.
enum StringOptions : unsigned {
  kCaseInsensitive = 1,
  kDiacriticInsensitive = 2,
  kNormalizedOption = 4,
  kLocaleOption = 8,
};

/// `text` with case folded ([c]) and/or combining marks removed ([d]), in
/// composed form, so that folded texts compare byte-wise. Ill-formed UTF-8
/// becomes U+FFFD. The result is a view of `text` itself when folding changes
/// nothing (ASCII without capitals, or ASCII with [d] only), else of
/// `scratch`, which it fills.
std::string_view foldText(std::string_view text, unsigned options, std::string& scratch);

/// foldText() into a string of its own.
std::string foldString(std::string_view text, unsigned options);

/// A LIKE pattern: "*" matches any run of characters, "?" one character, "\"
/// makes the next one literal.
class LikePattern {
 public:
  explicit LikePattern(std::string_view pattern);

  /// Whether the whole of `text` matches, in O(|text| * |pattern|) at worst.
  /// Takes a step from `steps` (when given) for each 64 characters tried.
  [[nodiscard]] bool matches(std::string_view text, StepCounter* steps = nullptr) const;

 private:
  enum class Shape : std::uint8_t { exact, prefix, suffix, infix, general };
  enum class Part : std::uint8_t { literal, one, many };
  struct Element {
    Part part;
    char32_t c;
  };
  [[nodiscard]] bool matchesGeneral(std::string_view text, StepCounter* steps) const;

  Shape shape_ = Shape::general;
  std::string literal_;  // the text of the simple shapes, in UTF-8
  std::vector<Element> elements_;
};

/// A compiled regular expression, matched against whole strings. Thread-safe.
class Regex {
 public:
  /// Throws PredicateEvaluationError(invalidRegularExpression) when `pattern`
  /// does not compile.
  Regex(std::string_view pattern, bool caseInsensitive);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  /// Whether the pattern matches all of `subject`. Throws
  /// PredicateEvaluationError(limitExceeded) past the time or memory bound of
  /// limits.h for a text of that length, naming the bound; with `steps`, each
  /// tick of the engine takes kRegexStepsPerTick from it, and running out
  /// throws its error.
  [[nodiscard]] bool matchesWhole(std::string_view subject, StepCounter* steps = nullptr) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quarn::detail
