/// @file
/// DictKeyPath: a dotted path into nested value dictionaries, and the write through it that text
/// templates use to mark the values being expanded.

/// @struct quarn::DictKeyPath
/// A dotted path into nested value dictionaries, and the write
/// through it that text templates use to mark the values being expanded.
///
/// ```
///   ValueDictionary values{{"user", {{"name", "Ann"}}}};
///   setValue(values, DictKeyPath("user.name"), "<recursion>");
///   // values: {"user": {"name": "<recursion>"}}
/// ```
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/value.h"

namespace quarn {

/// A dotted path of keys into nested dictionaries ("a.b.c"). A value.
struct DictKeyPath {
  /// The keys, outermost first.
  std::vector<std::string> segments;

  /// Splits `literal` at every "." ("a.b.c" gives three segments, "" one
  /// empty segment).
  DictKeyPath(std::string_view literal);  // NOLINT(google-explicit-constructor)
  /// Splits `literal` at every ".".
  DictKeyPath(const char* literal) : DictKeyPath(std::string_view(literal)) {}  // NOLINT
  /// The path of `parts`.
  explicit DictKeyPath(std::vector<std::string> parts) : segments(std::move(parts)) {}

  /// Equal when the segments are.
  friend bool operator==(const DictKeyPath&, const DictKeyPath&) = default;
};

/// Writes `value` at `path` in `dictionary`: with one segment, sets that
/// entry (adding it when missing); with more, when the entry of the first
/// segment is a string-keyed dictionary (an object, or a dictionary proxy of
/// resolved template values) writes the rest of the path into a copy of it
/// and stores the copy back; when that entry is missing or of another kind,
/// changes nothing.
void setValue(ValueDictionary& dictionary, const DictKeyPath& path, Value value);

namespace detail {
/// setValue(dictionary, DictKeyPath(dottedPath), value), without building the
/// segments.
void setValueAtKeyPath(ValueDictionary& dictionary, std::string_view dottedPath, Value value);
}  // namespace detail

}  // namespace quarn
