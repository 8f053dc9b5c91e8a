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

template <class Derived>
struct RawStringValue {
  std::string rawValue;  ///< The raw string.

  /// The empty string.
  RawStringValue() = default;
  /// The value of the raw string `raw` (converts implicitly).
  RawStringValue(std::string raw) : rawValue(std::move(raw)) {}  // NOLINT
  /// The value of the raw string `raw` (converts implicitly).
  RawStringValue(const char* raw) : rawValue(raw) {}  // NOLINT
  /// The value of the raw string `raw` (converts implicitly).
  RawStringValue(std::string_view raw) : rawValue(raw) {}  // NOLINT

  /// Decodes a bare JSON string; throws DecodingError for anything else.
  static Derived decode(Decoder& d) { return Derived(d.decode<std::string>()); }
  /// Encodes the raw string as a bare JSON string.
  void encode(Encoder& e) const { e.encode(rawValue); }

  /// Equal when the raw strings are.
  friend bool operator==(const RawStringValue& a, const RawStringValue& b) {
    return a.rawValue == b.rawValue;
  }
};

}  // namespace quarn

/// Hashes every open string value by its raw string.
template <class T>
requires std::is_base_of_v<quarn::RawStringValue<T>, T>
struct std::hash<T> {
  /// The hash of the raw string.
  std::size_t operator()(const T& v) const noexcept { return std::hash<std::string>()(v.rawValue); }
};
