/// @file
/// RawStringValue: the shape of open string values (item types, question kinds, type signatures and
/// aliases): a raw string compared and hashed by value, decoded from and encoded as a bare JSON
/// string.

/// @struct quarn::RawStringValue
/// The shape of open string values (item types, question
/// kinds, type signatures and aliases): a raw string compared and hashed by
/// value, decoded from and encoded as a bare JSON string.
///
/// ```
///   struct Kind : quarn::RawStringValue<Kind> {
///     using RawStringValue::RawStringValue;
///   };
///   std::unordered_set<Kind> kinds{Kind("text")};
/// ```
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"

namespace quarn {

/// Shared shape of the open string values: a raw string compared and hashed
/// by value, decoded from and encoded as a bare JSON string.
template <class Derived>
struct RawStringValue {
  std::string rawValue;

  RawStringValue() = default;
  RawStringValue(std::string raw) : rawValue(std::move(raw)) {}  // NOLINT
  RawStringValue(const char* raw) : rawValue(raw) {}             // NOLINT
  RawStringValue(std::string_view raw) : rawValue(raw) {}        // NOLINT

  static Derived decode(Decoder& d) { return Derived(d.decode<std::string>()); }
  void encode(Encoder& e) const { e.encode(rawValue); }

  friend bool operator==(const RawStringValue& a, const RawStringValue& b) {
    return a.rawValue == b.rawValue;
  }
};

}  // namespace quarn

template <class T>
requires std::is_base_of_v<quarn::RawStringValue<T>, T>
struct std::hash<T> {
  std::size_t operator()(const T& v) const noexcept { return std::hash<std::string>()(v.rawValue); }
};
