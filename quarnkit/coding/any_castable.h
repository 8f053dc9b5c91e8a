/// @file
/// AnyCastable: forgiving conversion of loosely typed values (already parsed JSON, facts,
/// variables) into typed values.

/// @struct quarn::AnyCastable
/// Forgiving conversion of loosely typed values (already parsed
/// JSON, facts, variables) into typed values. A failed cast gives nothing.
///
/// ```
///   quarn::cast<std::int64_t>(quarn::Value("+12"));   // 12
///   quarn::cast<bool>(quarn::Value("YES"));           // true
///   quarn::cast<quarn::Date>(quarn::Value("29.02.2024"));
///   quarn::cast<std::vector<std::int64_t>>(list);     // elements that cast, in order
/// ```
///
/// The checks for each type run in a fixed order and the first that applies
/// decides. Booleans count as the numbers 1 and 0 for the numeric casts (the
/// platform's numbers do); a null value casts to nothing, even as text.
/// Records opt in by specialising AnyCastable<T> as DecodableAnyCastable<T>:
/// an object value is written as JSON and decoded into the record.
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/core/value.h"

namespace quarn {

class URL;
class UUID;
class Decimal;

/// Specialise with `static std::optional<T> cast(const Value&)`.
template <class T>
struct AnyCastable;

/// A type with an AnyCastable specialisation.
template <class T>
concept AnyCastableType = requires(const Value& v) {
  { AnyCastable<T>::cast(v) } -> std::same_as<std::optional<T>>;
};

/// The value cast to T, or nothing.
template <AnyCastableType T>
std::optional<T> cast(const Value& value) {
  return AnyCastable<T>::cast(value);
}

/// Casts to a 64-bit integer.
template <>
struct AnyCastable<std::int64_t> {
  /// An integer as it is; a finite double in range truncated toward zero; decimal text; a boolean
  /// as 1 or 0.
  static std::optional<std::int64_t> cast(const Value& v);
};
/// Casts to a double.
template <>
struct AnyCastable<double> {
  /// A double or an integer; decimal text; a boolean as 1 or 0.
  static std::optional<double> cast(const Value& v);
};
/// Casts to a float.
template <>
struct AnyCastable<float> {
  /// A double or an integer, rounded (beyond the float range: infinity); decimal text; a boolean as
  /// 1 or 0.
  static std::optional<float> cast(const Value& v);
};
/// Casts to a boolean.
template <>
struct AnyCastable<bool> {
  /// A boolean; the texts "true", "yes", "1", "false", "no", "0" in any letter case; an integer
  /// (non-zero is true).
  static std::optional<bool> cast(const Value& v);
};
/// Casts to text.
template <>
struct AnyCastable<std::string> {
  /// A string as it is; nothing for null; any other value in its text form
  /// (Value::description()).
  static std::optional<std::string> cast(const Value& v);
};
/// Casts to a date.
template <>
struct AnyCastable<Date> {
  /// Tried in order with the "en_US_POSIX" locale and, for formats without a
  /// zone, the device's time zone: "yyyy-MM-dd", "yyyy-MM-dd'T'HH:mm:ssZ",
  /// "yyyy-MM-dd'T'HH:mm:ss.SSSZ", "MM/dd/yyyy", "dd.MM.yyyy". The whole text
  /// must match.
  static std::optional<Date> cast(const Value& v);
};
/// Casts to a URL.
template <>
struct AnyCastable<URL> {
  /// The value's text (as the string cast gives it) parsed as a URL.
  static std::optional<URL> cast(const Value& v);
};
/// Casts to a UUID.
template <>
struct AnyCastable<UUID> {
  /// The value's text parsed as a UUID.
  static std::optional<UUID> cast(const Value& v);
};
/// Casts to a decimal.
template <>
struct AnyCastable<Decimal> {
  /// A finite double through its shortest text; an integer; decimal text.
  static std::optional<Decimal> cast(const Value& v);
};

/// Casts to a list: the elements that cast, in order.
template <AnyCastableType T>
struct AnyCastable<std::vector<T>> {
  /// The elements of a list value that cast to T (the others dropped); nothing for any other value.
  static std::optional<std::vector<T>> cast(const Value& v) {
    const auto* list = v.ifArray();
    if (list == nullptr) return std::nullopt;
    std::vector<T> out;
    out.reserve(list->size());
    for (const auto& e : *list) {
      if (auto x = AnyCastable<T>::cast(e)) out.push_back(std::move(*x));
    }
    return out;
  }
};

/// Casts to a map: the members that cast.
template <AnyCastableType T>
struct AnyCastable<std::map<std::string, T>> {
  /// The members of an object value that cast to T (the others dropped); nothing for any other
  /// value.
  static std::optional<std::map<std::string, T>> cast(const Value& v) {
    const auto* map = v.ifObject();
    if (map == nullptr) return std::nullopt;
    std::map<std::string, T> out;
    for (const auto& [k, e] : *map) {
      if (auto x = AnyCastable<T>::cast(e)) out.emplace(k, std::move(*x));
    }
    return out;
  }
};

/// The cast of a decodable record: from an object value written as JSON and
/// decoded with a default JSON decoder; nothing on any failure (the record's
/// own decoding may throw more than decoding errors).
template <DecodableType T>
struct DecodableAnyCastable {
  /// The record decoded from an object value, or nothing.
  static std::optional<T> cast(const Value& v) {
    if (!v.isObject()) return std::nullopt;
    try {
      return JSONDecoder().decode<T>(serializeJSON(v));
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
};

}  // namespace quarn
