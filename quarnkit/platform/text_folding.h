/// @file
/// Text folding for comparisons that ignore letter case and/or diacritics, the
/// way the platform's locale-independent comparison options do: case folded
/// with Unicode's full case folding, diacritics (non-spacing marks after
/// canonical decomposition) removed, the result in composed form, so that two
/// folded texts compare byte-wise.
///
/// ```
///   platform::foldedForComparison("Café", platform::kFoldCase | platform::kFoldDiacritics);
///   // "cafe"
///   platform::foldedTextStartsWith("Straße", "STRASS", platform::kFoldCase);  // false:
///   // the prefix must be folded too ("strass"), and it ends inside "ß" → "ss"
/// ```
///
/// Invalid UTF-8 reads as U+FFFD. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace quarn::platform {

/// What folding removes: letter case, diacritics.
enum FoldingOptions : unsigned {
  kFoldCase = 1u << 0,
  kFoldDiacritics = 1u << 1,
};

/// `text` folded with `options` (a combination of FoldingOptions).
std::string foldedForComparison(std::string_view text, unsigned options);

/// Whether `text`, folded with `options`, begins with `foldedPrefix` (a text
/// already folded with the same options) and the prefix ends where a
/// character of `text` ends. Folds only as much of `text` as it compares, so
/// a mismatch in the first letter costs one letter.
bool foldedTextStartsWith(std::string_view text, std::string_view foldedPrefix, unsigned options);

}  // namespace quarn::platform
