/// @file
/// The list and dictionary proxies through which text templates in scanner
/// mode read their values, and the variable resolution that wraps values in
/// them.
///
/// ```
///   ValueDictionary v = resolveValuesForPredicateOrTemplate({{"items", Value::Array{"a", "b"}}});
///   valueForKeyPath(v, "items.1");        // "b"
///   valueForKeyPath(v, "items.[0]");      // "a"
///   valueForKeyPath(v, "items.@random");  // "a" or "b"
/// ```
///
/// NSArrayProxy answers a key k, in this order:
///   1. "<error>" or "<recursion>": nothing;
///   2. a decimal integer (optional sign): the element at that index, or
///      nothing outside 0 ..< count;
///   3. three characters or more, not starting with "@": k without its "[" and
///      "]" characters, when that is a decimal integer, as in 2 ("[2]");
///   4. "@random" of a non-empty list: an element chosen uniformly with the
///      system random source;
///   5. otherwise the key look-up of k over the list (key_path.h): each
///      element's value for k, or the collection operator k ("@count", "@sum",
///      "@max", ...) applied to the elements. An operator receives only its
///      own component here, so "@sum" sums the elements themselves; the
///      operator forms that aggregate a further key ("items.@sum.price") work
///      on plain lists (single-pass mode) but not through a proxy.
/// NSDictionaryProxy answers a key with the dictionary's value for it, else
/// with the value under "*", else nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/core/value.h"

namespace quarn {

/// A list inside a Value, answering key look-ups with the platform's list rules (collection
/// operators). A value.
class NSArrayProxy final : public OpaqueValue {
 public:
  /// A proxy over `elements`.
  explicit NSArrayProxy(Value::Array elements) : list_(std::move(elements)) {}

  /// The elements.
  [[nodiscard]] const Value::Array& elements() const { return *list_.ifArray(); }

  /// Throws PredicateEvaluationError for a collection operator the key
  /// look-up does not know, or one the elements do not suit.
  [[nodiscard]] std::optional<Value> valueForKey(std::string_view key) const override;
  /// The list's text form.
  [[nodiscard]] std::string description() const override { return list_.description(); }
  [[nodiscard]] bool equals(const OpaqueValue& other) const override;
  [[nodiscard]] std::size_t hash() const override { return list_.hash(); }

 private:
  Value list_;  // always an array
};

/// A dictionary inside a Value, answering key look-ups with its entries. A value.
class NSDictionaryProxy final : public OpaqueValue {
 public:
  /// A proxy over `entries`.
  explicit NSDictionaryProxy(ValueDictionary entries) : entries_(std::move(entries)) {}

  /// The entries.
  [[nodiscard]] const ValueDictionary& entries() const { return entries_; }

  [[nodiscard]] std::optional<Value> valueForKey(std::string_view key) const override;
  /// The dictionary's text form.
  [[nodiscard]] std::string description() const override;
  [[nodiscard]] bool equals(const OpaqueValue& other) const override;
  [[nodiscard]] std::size_t hash() const override;

 private:
  ValueDictionary entries_;
};

/// The proxy inside `value`, when it holds one.
const NSArrayProxy* asListProxy(const Value& value);
/// The dictionary proxy inside `value`, when it holds one.
const NSDictionaryProxy* asDictionaryProxy(const Value& value);

/// Variable resolution of one value: a list has its elements resolved and is
/// wrapped in an NSArrayProxy, a dictionary has its values resolved and is
/// wrapped in an NSDictionaryProxy, anything else stays as it is.
Value resolveValueForPredicateOrTemplate(const Value& value);

/// Every value of `values` passed through variable resolution.
ValueDictionary resolveValuesForPredicateOrTemplate(const ValueDictionary& values);

}  // namespace quarn
