/// @file
/// Coding keys: how members and list positions are named while decoding and
/// encoding.
///
/// - CodingKeyRef: the key argument of container operations; a non-owning view
///   made from a string ("title") or a position (CodingKeyRef::index(2)).
/// - RawCodingKey: an owning free-form key (any string, or a position), the
///   element type of coding paths and of allKeys().
/// - CodingKeyType: the shape of a typed key set (a record's own keys), such
///   as CodingKeys<"title", "subtitle">, which knows only its names.
/// - convertKey<To>(from): a key of one key type built from another (by its
///   integer value when it has one, else by its string), or nothing.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

/// A key as passed to container operations.
struct CodingKeyRef {
  /// The key's name (for a list position, its text form).
  std::string_view stringValue;
  /// The list position, for a key that is one.
  std::optional<int> intValue;

  /// The key named `s` (converts implicitly).
  CodingKeyRef(const char* s) : stringValue(s) {}  // NOLINT
  /// The key named `s` (converts implicitly).
  CodingKeyRef(std::string_view s) : stringValue(s) {}  // NOLINT
  /// The key named `s` (converts implicitly).
  CodingKeyRef(const std::string& s) : stringValue(s) {}  // NOLINT
  /// The key named `s` at list position `i`.
  CodingKeyRef(std::string_view s, std::optional<int> i) : stringValue(s), intValue(i) {}
};

/// An owning free-form key: any string, or a list position.
class RawCodingKey {
 public:
  /// The key named `s` (converts implicitly).
  RawCodingKey(std::string s) : string_(std::move(s)) {}  // NOLINT
  /// The key named `s` (converts implicitly).
  RawCodingKey(std::string_view s) : string_(s) {}  // NOLINT
  /// The key named `s` (converts implicitly).
  RawCodingKey(const char* s) : string_(s) {}  // NOLINT
  /// A position in a list; its string value is "Index n".
  static RawCodingKey index(int i) { return RawCodingKey("Index " + std::to_string(i), i); }
  /// An owning copy of `k` (converts implicitly).
  RawCodingKey(CodingKeyRef k) : string_(k.stringValue), int_(k.intValue) {}  // NOLINT

  /// The key named `s`.
  static std::optional<RawCodingKey> fromString(std::string_view s) { return RawCodingKey(s); }
  /// The key of list position `i`, named by its decimal text.
  static std::optional<RawCodingKey> fromInt(int i) { return RawCodingKey(std::to_string(i), i); }

  /// The key's name.
  [[nodiscard]] const std::string& stringValue() const { return string_; }
  /// The list position, for a key that is one.
  [[nodiscard]] std::optional<int> intValue() const { return int_; }
  /// A borrowing view of the key, valid while this key lives.
  [[nodiscard]] CodingKeyRef ref() const { return CodingKeyRef(string_, int_); }
  /// ref(), implicitly.
  operator CodingKeyRef() const { return ref(); }  // NOLINT

  /// Equal when name and position are.
  friend bool operator==(const RawCodingKey&, const RawCodingKey&) = default;

 private:
  RawCodingKey(std::string s, int i) : string_(std::move(s)), int_(i) {}
  std::string string_;
  std::optional<int> int_;
};

/// The keys from the root of the data to a value.
using CodingPath = std::vector<RawCodingKey>;

/// "[3].data.maxItems": positions in brackets, names after a dot.
std::string codingPathDescription(const CodingPath& path);

/// A typed key set: constructible from the names (or positions) it knows.
template <class K>
concept CodingKeyType = requires(const K& k, std::string_view s, int i) {
  { K::fromString(s) } -> std::same_as<std::optional<K>>;
  { K::fromInt(i) } -> std::same_as<std::optional<K>>;
  { k.stringValue() } -> std::convertible_to<std::string_view>;
  { k.intValue() } -> std::same_as<std::optional<int>>;
};

/// A key name as a template argument: CodingKeys<"title">, CodableTypeNamed<"Module", "Name">.
template <std::size_t N>
struct KeyName {
  /// The characters, with the terminating zero.
  char text[N]{};
  /// The name `s` (converts implicitly from a string literal).
  constexpr KeyName(const char (&s)[N]) { std::copy_n(s, N, text); }  // NOLINT
  /// The name, without the terminating zero.
  [[nodiscard]] constexpr std::string_view view() const { return {text, N - 1}; }
};

/// A closed key set naming the members a record reads: CodingKeys<"a", "b">.
template <KeyName... Names>
class CodingKeys {
 public:
  /// The key named `s` when it is one of Names, else nothing.
  static std::optional<CodingKeys> fromString(std::string_view s) {
    for (std::string_view n : kNames) {
      if (n == s) return CodingKeys(n);
    }
    return std::nullopt;
  }
  /// Nothing: the set has no list positions.
  static std::optional<CodingKeys> fromInt(int) { return std::nullopt; }
  /// The key's name.
  [[nodiscard]] std::string_view stringValue() const { return name_; }
  /// Nothing: the set has no list positions.
  [[nodiscard]] std::optional<int> intValue() const { return std::nullopt; }
  /// A key reference to the name (converts implicitly).
  operator CodingKeyRef() const { return CodingKeyRef(name_); }  // NOLINT
  /// Equal when the names are.
  friend bool operator==(const CodingKeys&, const CodingKeys&) = default;

 private:
  static constexpr std::string_view kNames[] = {Names.view()...};
  explicit CodingKeys(std::string_view n) : name_(n) {}
  std::string_view name_;
};

/// Builds a key of type To from a key of another type, or nothing.
template <CodingKeyType To, class From>
std::optional<To> convertKey(const From& key) {
  if (auto i = key.intValue()) return To::fromInt(*i);
  return To::fromString(key.stringValue());
}

}  // namespace quarn
