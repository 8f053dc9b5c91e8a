/// @file
/// URLMatcher: which of a list of URL patterns a URL matches, with the typed values of the winning
/// pattern's placeholders.

/// @class quarn::URLMatcher
/// Which of a list of URL patterns a URL matches, with the typed
/// values of the winning pattern's placeholders. A unique object (not
/// copyable): it owns its registry of value converters.
///
/// ```
///   URLMatcher matcher;
///   const std::vector<std::string> routes{"myapp://profile/<int:id>", "myapp://profile/me"};
///   auto result = matcher.match("myapp://profile/42?tab=posts", routes);
///   result->pattern;                                     // "myapp://profile/<int:id>"
///   std::any_cast<std::int64_t>(result->values["id"]);   // 42
/// ```
///
/// A pattern is written like a URL. A component in angle brackets is a
/// placeholder: `<key>`, or `<type:key>` with a type naming a value converter
/// (url_value_converters.h; a type no converter has matches any text, as
/// text). "*" matches any one component. Anything else, `<a:b:c>` and
/// unbalanced brackets included, is literal text matched exactly.
///
/// Both sides are normalised first (query and fragment dropped, runs of
/// slashes collapsed, a trailing slash dropped; see detail/url_text.h), then
/// split at "/" into components, the host being the first. A URL with a
/// scheme matches only patterns of the same scheme (compared exactly), one
/// without a scheme only patterns without one. Components are compared one
/// by one; the counts must be equal, except that a pattern with a <path:...>
/// placeholder may be shorter than the URL. Of several matching patterns the
/// one with the most literal components ("*" counting as literal) wins, and
/// of those the earliest in the list.
///
/// Nothing of the matcher's throws: a failure is the absence of a match; what
/// a host's converter throws leaves match() as it came and changes nothing.
/// valueConverters may be changed at any time from any thread (it has its own
/// lock); a match uses the converters as they were when it began, and touches
/// nothing of the matcher after its first converter call, so a converter may
/// even destroy the matcher. To match many URLs against one table, give it a
/// URLPatternSet, which indexes the patterns.
#pragma once

#include <any>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quarnkit/routing/url_convertible.h"
#include "quarnkit/routing/url_value_converters.h"

namespace quarn {

class URLPatternSet;

/// One component of a pattern: literal text, or a placeholder with an
/// optional type and a key.
struct URLPathComponent {
  /// Literal text or a placeholder.
  enum class Kind : std::uint8_t { plain, placeholder };
  /// Which of the two it is.
  Kind kind = Kind::plain;
  /// The literal text, or the placeholder's key.
  std::string text;
  /// The placeholder's type name, when one is written.
  std::optional<std::string> type;

  /// A literal component.
  static URLPathComponent plain(std::string text) { return {Kind::plain, std::move(text), {}}; }
  /// A placeholder named `key`, of `type` when one is written.
  static URLPathComponent placeholder(std::optional<std::string> type, std::string key) {
    return {Kind::placeholder, std::move(key), std::move(type)};
  }
  /// Whether it is literal text.
  [[nodiscard]] bool isPlain() const { return kind == Kind::plain; }
  /// Whether it is a placeholder.
  [[nodiscard]] bool isPlaceholder() const { return kind == Kind::placeholder; }
  /// A placeholder of the "path" type: it lets the pattern be shorter than the URL.
  [[nodiscard]] bool isPathPlaceholder() const { return isPlaceholder() && type == "path"; }

  /// Components are equal when kind, text and type are.
  friend bool operator==(const URLPathComponent&, const URLPathComponent&) = default;
};

/// How one pattern component matched a URL component: whether it did and,
/// for a placeholder, its key and value.
struct URLPathComponentMatchResult {
  /// Whether the component matched.
  bool matches = false;
  /// The placeholder's key and converted value, for a matching placeholder.
  std::optional<std::pair<std::string, std::any>> value;
};

/// Placeholder values by key.
using URLMatchValues = std::map<std::string, std::any, std::less<>>;

/// A match: the pattern exactly as given and its placeholders' values.
struct URLMatchResult {
  /// The pattern, exactly as registered.
  std::string pattern;
  /// The values of its placeholders.
  URLMatchValues values;
};

/// Why a candidate pattern matched a URL or did not.
struct URLMatchOutcome {
  /// What decided the outcome.
  enum class Reason : std::uint8_t {
    /// The pattern matched.
    matched,
    /// The URL has a scheme and the pattern another or none, or the reverse.
    scheme,
    /// The component counts differ (or the pattern is longer, with a path placeholder).
    componentCount,
    /// A literal component differs from the URL's.
    literal,
    /// A typed placeholder's converter gave no value for the URL's component.
    value,
  };
  /// Why it matched or did not.
  Reason reason = Reason::matched;
  /// The component that failed (literal, value).
  std::size_t component = 0;
  /// The match, when there is one.
  std::optional<URLMatchResult> result;
};

class URLMatcher {
 public:
  /// Converters by type name; those of defaultURLValueConverters() at first.
  URLValueConverters valueConverters;

  URLMatcher();
  URLMatcher(const URLMatcher&) = delete;
  URLMatcher& operator=(const URLMatcher&) = delete;

  /// The winner among `candidates` for `url`, or nothing. The matcher keeps
  /// the last list it was given, indexed as a URLPatternSet: calls with the
  /// same patterns compare them with that copy and do not read them again.
  [[nodiscard]] std::optional<URLMatchResult> match(const URLConvertible& url,
                                                    std::span<const std::string> candidates) const;
  /// The same over an indexed table: the same result, without trying every
  /// pattern.
  [[nodiscard]] std::optional<URLMatchResult> match(const URLConvertible& url,
                                                    const URLPatternSet& candidates) const;
  /// Matches the components of a URL against one pattern (schemes are not
  /// compared).
  [[nodiscard]] std::optional<URLMatchResult> match(std::span<const std::string> components,
                                                    std::string_view pattern) const;
  /// Matches the URL component at `index` (within `components`) against one
  /// pattern component.
  [[nodiscard]] URLPathComponentMatchResult match(std::span<const std::string> components,
                                                  std::size_t index,
                                                  const URLPathComponent& component) const;
  /// What matching `url` against `pattern` alone gives, and why.
  [[nodiscard]] URLMatchOutcome explain(const URLConvertible& url, std::string_view pattern) const;

  /// `url` normalised, as text; its text unchanged when it has no URL.
  static URLConvertible normalizeURL(const URLConvertible& url);
  /// The components of `url`'s text (the scheme left out).
  static std::vector<std::string> stringPathComponents(const URLConvertible& url);
  /// The components of a pattern's text.
  static std::vector<URLPathComponent> pathComponents(std::string_view pattern);
  /// Whether the counts allow a match: equal, or the pattern no longer than
  /// the URL when it has a path placeholder.
  static bool ensurePathComponentsCount(std::span<const std::string> components,
                                        std::span<const URLPathComponent> patternComponents);
  /// How many literal components ("*" included) the pattern's text has: what
  /// decides between matching patterns.
  static std::size_t literalComponentCount(std::string_view pattern);

 private:
  struct LastList;
  std::shared_ptr<LastList> lastList_;
};

}  // namespace quarn
