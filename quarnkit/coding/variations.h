/// @file
/// Variations<Key, Value>: alternative values of one setting, keyed by a host-defined variant key
/// (a device class, a theme), with look-ups that fall back to another key or walk a preference
/// list.

/// @class quarn::Variations
/// Alternative values of one setting, keyed by a
/// host-defined variant key (a device class, a theme), with look-ups that
/// fall back to another key or walk a preference list.
///
/// ```
///   enum class Idiom { phone, pad };
///   template <> struct quarn::VariationsKeyTraits<Idiom> {
///     static std::optional<Idiom> fromRawValue(std::string_view raw);  // "phone", "pad"
///     static std::string rawValue(Idiom idiom);
///     static Idiom defaultKey() { return Idiom::phone; }  // where a single value goes
///   };
///
///   auto columns = decoder.decode<quarn::Variations<Idiom, std::int64_t>>(R"({"pad": 4})");
///   columns.value(Idiom::phone, Idiom::pad);  // 4: phone has none, pad is the fallback
///   columns.value({Idiom::phone, Idiom::pad});  // 4: the first key with a value
/// ```
///
/// In JSON a Variations is an object whose member names are the keys' raw
/// values; members that name no key are ignored and null members leave their
/// key out. For URL values a bare URL string is accepted too, filed under the
/// default key (then anything else fails as a URL would). Anything else, null
/// included, is dataCorrupted at the value's coding path.
/// Encoding writes the object with its members in raw-value order.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/hash.h"
#include "quarnkit/core/url.h"

namespace quarn {

/// How a variant key is named in data and which key holds an unkeyed value.
/// By default a key type provides these itself: `static std::optional<K>
/// fromRawValue(std::string_view)`, a `rawValue` string member and `static K
/// defaultKey()`. Specialise for key types that cannot (enumerations).
template <class K>
struct VariationsKeyTraits {
  /// The key named `raw` in data, or nothing.
  static std::optional<K> fromRawValue(std::string_view raw) { return K::fromRawValue(raw); }
  /// The key's name in data.
  static std::string rawValue(const K& key) { return std::string(key.rawValue); }
  /// The key an unkeyed value is stored under.
  static K defaultKey() { return K::defaultKey(); }
};

/// A variant key: hashable, comparable and named in data through its traits.
template <class K>
concept VariationsKey = std::equality_comparable<K> && requires(const K& k, std::string_view s) {
  { std::hash<K>()(k) } -> std::convertible_to<std::size_t>;
  { VariationsKeyTraits<K>::fromRawValue(s) } -> std::same_as<std::optional<K>>;
  { VariationsKeyTraits<K>::rawValue(k) } -> std::convertible_to<std::string>;
  { VariationsKeyTraits<K>::defaultKey() } -> std::convertible_to<K>;
};

template <VariationsKey Key, class Value>
class Variations {
 public:
  /// The variants by key.
  using Map = std::unordered_map<Key, Value>;

  Variations() = default;
  /// Wraps a map.
  explicit Variations(Map variants) : rawValue(std::move(variants)) {}
  /// A single value, under the default key.
  explicit Variations(Value value) {
    rawValue.emplace(VariationsKeyTraits<Key>::defaultKey(), std::move(value));
  }
  /// From pairs: pairs without a value are left out; a key given twice is a
  /// programming error.
  Variations(std::initializer_list<std::pair<Key, std::optional<Value>>> pairs) {
    for (auto it = pairs.begin(); it != pairs.end(); ++it) {
      if (std::any_of(pairs.begin(), it, [&](const auto& p) { return p.first == it->first; })) {
        fatalError("Variations: a key is given more than once");
      }
      if (it->second) rawValue.emplace(it->first, *it->second);
    }
  }

  /// The variants by key.
  Map rawValue;

  /// The value for `key`, else for `fallback` when one is given, else nothing.
  [[nodiscard]] std::optional<Value> value(const Key& key,
                                           const std::optional<Key>& fallback = {}) const {
    if (auto it = rawValue.find(key); it != rawValue.end()) return it->second;
    if (fallback) {
      if (auto it = rawValue.find(*fallback); it != rawValue.end()) return it->second;
    }
    return std::nullopt;
  }
  /// The value of the first key in `keys` that has one, else nothing.
  [[nodiscard]] std::optional<Value> value(std::initializer_list<Key> keys) const {
    return firstValue(keys.begin(), keys.end());
  }
  /// The value of the first key in `keys` that has one, else nothing.
  [[nodiscard]] std::optional<Value> value(const std::vector<Key>& keys) const {
    return firstValue(keys.begin(), keys.end());
  }
  /// Stores `value` under `key`; nothing removes the key.
  void setValue(const Key& key, std::optional<Value> value) {
    if (value) {
      rawValue.insert_or_assign(key, std::move(*value));
    } else {
      rawValue.erase(key);
    }
  }

  /// Reads an object of variants (members with unknown keys or null values left out) or, for URL
  /// values, a bare URL as the default key's; throws DecodingError for anything else.
  static Variations decode(Decoder& d) requires DecodableType<Value> {
    std::unique_ptr<KeyedDecodingContainer> object;
    try {
      object = d.container();
    } catch (const DecodingError& e) {
      // null is not an object either: it falls through like any other value.
      if (e.kind() != DecodingError::Kind::typeMismatch &&
          e.kind() != DecodingError::Kind::valueNotFound) {
        throw;
      }
    }
    Variations out;
    if (object) {
      for (const RawCodingKey& name : object->allKeys()) {
        auto key = VariationsKeyTraits<Key>::fromRawValue(name.stringValue());
        if (!key) continue;
        if (auto v = object->template decodeIfPresent<Value>(name)) {
          out.rawValue.insert_or_assign(std::move(*key), std::move(*v));
        }
      }
      return out;
    }
    if constexpr (std::is_same_v<Value, URL>) {
      out.rawValue.emplace(VariationsKeyTraits<Key>::defaultKey(), d.decode<URL>());
      return out;
    } else {
      throw DecodingError::dataCorrupted({d.codingPath(), ""});
    }
  }

  /// Writes an object of the variants, members in the order of their names.
  void encode(Encoder& e) const requires EncodableType<Value> {
    std::vector<std::pair<std::string, const Value*>> members;
    members.reserve(rawValue.size());
    for (const auto& [key, value] : rawValue) {
      members.emplace_back(VariationsKeyTraits<Key>::rawValue(key), &value);
    }
    std::sort(members.begin(), members.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    auto c = e.container();
    for (const auto& [name, value] : members) c->encode(*value, name);
  }

  /// Equal when the variants are.
  friend bool operator==(const Variations& a, const Variations& b) {
    return a.rawValue == b.rawValue;
  }

 private:
  template <class It>
  std::optional<Value> firstValue(It first, It last) const {
    for (; first != last; ++first) {
      if (auto it = rawValue.find(*first); it != rawValue.end()) return it->second;
    }
    return std::nullopt;
  }
};

}  // namespace quarn

/// Independent of the map's order: the sum of the entries' hashes.
template <class Key, class Value>
requires requires(const Value& v) { std::hash<Value>()(v); }
struct std::hash<quarn::Variations<Key, Value>> {
  /// The sum of each key's and value's combined hash.
  std::size_t operator()(const quarn::Variations<Key, Value>& v) const noexcept {
    std::size_t sum = 0;
    for (const auto& [key, value] : v.rawValue) {
      std::size_t entry = std::hash<Key>()(key);
      quarn::hashValue(entry, value);
      sum += entry;
    }
    return sum;
  }
};
