/// @file
/// URLPattern and NormalizedURL: the two sides of URL matching as the matcher
/// reads them, for code that reasons about routing tables (url_matcher.h has
/// the rules). Both are values.
///
/// ```
///   URLPattern pattern("myapp://profile/<int:id>/?tab=1");
///   pattern.scheme;        // "myapp"
///   pattern.components;    // profile, <int:id> (normalised: no query)
///   pattern.literalCount;  // 2 ("profile" and "?tab=1", as written)
/// ```
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/routing/url_convertible.h"
#include "quarnkit/routing/url_matcher.h"

namespace quarn {

/// A candidate pattern, read once.
struct URLPattern {
  /// The pattern as given.
  std::string text;
  /// The scheme of the pattern's URL; nothing when it has none or no URL.
  std::optional<std::string> scheme;
  /// The components of the normalised text.
  std::vector<URLPathComponent> components;
  /// Whether a "path" placeholder lets the pattern be shorter than the URL.
  bool hasPathPlaceholder = false;
  /// Literal components of the text as given: the preference among matches.
  std::size_t literalCount = 0;

  /// Reads `patternText`: its scheme, normalised components and placeholders.
  explicit URLPattern(std::string patternText);
};

/// A URL, normalised: its scheme (nothing when it has none or no URL) and
/// its components.
struct NormalizedURL {
  /// The URL's scheme, or nothing.
  std::optional<std::string> scheme;
  /// The URL's components, normalised as a pattern's are.
  std::vector<std::string> components;

  /// Normalises `url` (nothing of it when it is not a URL).
  explicit NormalizedURL(const URLConvertible& url);
};

}  // namespace quarn
