/// @file
/// KeyPath: a dotted path of keys into values ("user.address.city"), and its look-up over Value,
/// shared by predicates, expressions and text templates.

/// @class quarn::KeyPath
/// A dotted path of keys into values ("user.address.city"), and its
/// look-up over Value, shared by predicates, expressions and text templates.
///
/// ```
///   auto v = quarn::valueForKeyPath(facts, "items.@sum.price");
/// ```
///
/// Each component is looked up in the value found so far:
/// - in an object, by key;
/// - in a list, element-wise: the result is the list of each element's value
///   for that component (null where an element lacks it);
/// - in an opaque host object, through its valueForKey (which may throw; the
///   exception propagates unchanged), "@" components included;
/// - null (or a missing key) ends the look-up with nothing;
/// - any other value (string, number, date, ...) has no keys: an error;
/// - except "self", which names the value itself (in an object without a
///   "self" key, and in a host object that does not answer it), so that
///   "numbers.@sum.self" sums a list of numbers.
/// A component that starts with "@" is a collection operator applied to the
/// list (or object) found so far; it takes the rest of the path as the key
/// path of the elements to aggregate: `@count` (the rest is ignored; also counts
/// an object's entries), `@sum`, `@avg` (0 for no elements), `@min`, `@max` (nothing
/// for no elements), `@unionOfObjects`, `@distinctUnionOfObjects`, `@unionOfArrays`,
/// `@distinctUnionOfArrays`. Any other operator is an error.
///
/// Keys that contain dots: maps of facts hold keys such as "app.version" and
/// "date.year" beside "date". When the standard look-up of the rest of the path
/// in an object does not find anything, the look-up tries longer literal keys:
/// for components c1.c2.c3 it tries "c1.c2" (then c3 inside it), then
/// "c1.c2.c3". The standard result is kept whenever it finds a value, so this
/// only ever turns "nothing" (or an error) into a value. Keys of list elements
/// are looked up one component at a time, without this fallback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/value.h"

namespace quarn {

class KeyPath {
 public:
  KeyPath() = default;
  /// Splits `dotted` at every "." ("a.b" gives a and b; "" one empty component).
  static KeyPath parse(std::string_view dotted);

  /// Adds a component at the end.
  void append(std::string_view component);

  /// The number of components.
  [[nodiscard]] std::size_t size() const { return ends_.size(); }
  /// Whether the path has no component at all.
  [[nodiscard]] bool empty() const { return ends_.empty(); }
  /// Component `i` (a view into text()).
  [[nodiscard]] std::string_view operator[](std::size_t i) const { return joined(i, i + 1); }
  /// Components [first, last) joined with "." (a view into text()).
  [[nodiscard]] std::string_view joined(std::size_t first, std::size_t last) const;
  /// All components joined with ".".
  [[nodiscard]] const std::string& text() const { return text_; }

  /// The value at this path, or nothing. Throws PredicateEvaluationError for
  /// a key asked of a value that has none, an unknown collection operator or a
  /// path over the limits; a host object's exception propagates.
  [[nodiscard]] std::optional<Value> valueIn(const Value& root) const;
  /// The same, with a dictionary as the root (nothing is copied).
  [[nodiscard]] std::optional<Value> valueIn(const ValueDictionary& root) const;

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;  // end offset of each component in text_
};

/// KeyPath::parse(keyPath).valueIn(root).
std::optional<Value> valueForKeyPath(const Value& root, std::string_view keyPath);
/// The same, with a dictionary as the root (nothing is copied).
std::optional<Value> valueForKeyPath(const ValueDictionary& root, std::string_view keyPath);

}  // namespace quarn
