// The language's string tests: case and diacritic folding for the [c] and [d]
// options, LIKE wildcards, and whole-string regular expressions (ICU's
// flavour) bounded in time and memory so that patterns from input cannot hang
// the process.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quarn::detail {

/// Comparison options, written after an operator in brackets: [c], [d], [cd].
/// n (normalized) and l (locale) are accepted and change nothing.
enum StringOptions : unsigned {
  kCaseInsensitive = 1,
  kDiacriticInsensitive = 2,
  kNormalizedOption = 4,
  kLocaleOption = 8,
};

/// `text` with case folded ([c]) and/or combining marks removed ([d]), in
/// composed form, so that folded texts compare byte-wise.
std::string foldString(std::string_view text, unsigned options);

/// Whether the whole of `text` matches the LIKE `pattern`: "*" matches any
/// run of characters, "?" one character, "\" makes the next one literal.
bool likeMatches(std::string_view text, std::string_view pattern);

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
  /// PredicateEvaluationError(limitExceeded) past kRegexTimeLimit or
  /// kRegexStackLimit.
  [[nodiscard]] bool matchesWhole(std::string_view subject) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quarn::detail
