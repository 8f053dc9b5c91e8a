// Fuzz target of the URL matcher. The input's first line is a URL and each
// further line a candidate pattern. Beyond not crashing, hanging or throwing,
// it checks that the indexed table gives the scan's result, that explaining
// one pattern agrees with matching it, that normalising is idempotent (up to
// a second pass for texts with line terminators, which the trailing-slash
// rule treats as the end of the text) and that the hand-written normaliser
// equals the regular expressions.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/detail/utf8.h"
#include "quarnkit/routing/detail/url_text.h"
#include "quarnkit/routing/url_matcher.h"
#include "quarnkit/routing/url_pattern_set.h"

namespace {

using namespace quarn;

constexpr std::size_t kMaxPatterns = 32;

void check(bool condition) {
  if (!condition) std::abort();
}

bool sameValues(const URLMatchValues& a, const URLMatchValues& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    if (i->first != j->first || i->second.type() != j->second.type() ||
        describeURLValue(i->second) != describeURLValue(j->second)) {
      return false;
    }
  }
  return true;
}

bool sameResult(const std::optional<URLMatchResult>& a, const std::optional<URLMatchResult>& b) {
  if (!a || !b) return !a && !b;
  return a->pattern == b->pattern && sameValues(a->values, b->values);
}

void checkNormalization(std::string_view text) {
  const std::string once = URLMatcher::normalizeURL(text).urlStringValue();
  const std::string twice = URLMatcher::normalizeURL(once).urlStringValue();
  const std::string thrice = URLMatcher::normalizeURL(twice).urlStringValue();
  check(thrice == twice);
  const bool lineTerminators = text.find_first_of("\n\r\v\f") != std::string_view::npos ||
                               text.find("\xC2\x85") != std::string_view::npos ||
                               text.find("\xE2\x80\xA8") != std::string_view::npos ||
                               text.find("\xE2\x80\xA9") != std::string_view::npos;
  if (!lineTerminators) check(twice == once);
  if (detail::isValidUTF8(text)) {
    check(detail::normalizeURLText(text) == detail::normalizeURLTextByExpressions(text));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view rest = input;
  const std::string url(rest.substr(0, rest.find('\n')));
  std::vector<std::string> patterns;
  while (rest.find('\n') != std::string_view::npos && patterns.size() < kMaxPatterns) {
    rest.remove_prefix(rest.find('\n') + 1);
    patterns.emplace_back(rest.substr(0, rest.find('\n')));
  }

  const URLMatcher matcher;
  const auto scanned = matcher.match(url, patterns);
  const URLPatternSet set(patterns);
  check(sameResult(matcher.match(url, set), scanned));
  const auto components = URLMatcher::stringPathComponents(URLMatcher::normalizeURL(url));
  for (const std::string& pattern : patterns) {
    const URLMatchOutcome outcome = matcher.explain(url, pattern);
    check(outcome.result.has_value() == (outcome.reason == URLMatchOutcome::Reason::matched));
    if (outcome.result) check(sameResult(outcome.result, matcher.match(components, pattern)));
    (void)URLMatcher::pathComponents(pattern);
  }
  checkNormalization(url);
  checkNormalization(input);
  return 0;
}
