/// @file
/// Value: the loosely typed value of environment facts, predicate variables, template values,
/// request filters, item `vars` and generic JSON.

/// @class quarn::Value
/// The loosely typed value of environment facts, predicate variables,
/// template values, request filters, item `vars` and generic JSON.
///
/// A Value is null, a boolean, a 64-bit integer, a double, a string, a Date, an
/// array, an object (string keys in insertion order) or an opaque host object
/// (shared, answers key lookups; the text-template proxies and the locale are
/// such objects).
///
/// ```
///   quarn::Value facts = quarn::Value::Object{{"is_pad", true}, {"app", {{"version", "2.1"}}}};
///   facts.find("is_pad")->asBool();  // true
/// ```
///
/// Equality and hashing are by value. Integers and doubles compare as numbers
/// (1 == 1.0), as the platform's numbers do; booleans are not numbers here.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "quarnkit/core/date.h"

/// The library's public API. Internals live in quarn::detail and are not part
/// of it; platform services are in quarn::platform, the HTTP client in
/// quarn::http.
namespace quarn {

class Value;

/// A host object inside a Value: identity-compared unless it says otherwise.
class OpaqueValue {
 public:
  virtual ~OpaqueValue() = default;
  /// The value for a key, or nothing. May throw for keys it rejects.
  [[nodiscard]] virtual std::optional<Value> valueForKey(std::string_view key) const;
  /// Text form used when the object is written into a text.
  [[nodiscard]] virtual std::string description() const;
  /// Whether `other` is the same value; by default, the same object.
  [[nodiscard]] virtual bool equals(const OpaqueValue& other) const { return this == &other; }
  /// A hash that agrees with equals(); by default, of the object's address.
  [[nodiscard]] virtual std::size_t hash() const;
};

/// A string-keyed map that keeps insertion order. Setting an existing key keeps
/// its position.
class ValueObject {
 public:
  /// A key and its value.
  using Entry = std::pair<std::string, Value>;
  /// Walks the entries in insertion order.
  using const_iterator = std::vector<Entry>::const_iterator;
  /// Walks the entries in insertion order; values may be changed, keys must not.
  using iterator = std::vector<Entry>::iterator;

  ValueObject() = default;
  /// The entries in order; a repeated key keeps its first position and last value.
  ValueObject(std::initializer_list<Entry> entries);

  /// The number of entries.
  [[nodiscard]] std::size_t size() const;
  /// Whether there is no entry.
  [[nodiscard]] bool empty() const;
  ///@{
  /// The entries in insertion order.
  [[nodiscard]] const_iterator begin() const;
  [[nodiscard]] const_iterator end() const;
  iterator begin();
  iterator end();
  ///@}

  ///@{
  /// The value of `key`, or null when there is none.
  [[nodiscard]] const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  ///@}
  /// Whether there is an entry for `key`.
  [[nodiscard]] bool contains(std::string_view key) const { return find(key) != nullptr; }
  /// The value for `key`, inserted as null when missing.
  Value& operator[](std::string_view key);
  /// Sets `key` to `value`: in place when the key exists, else at the end.
  void set(std::string key, Value value);
  /// Removes the entry of `key`; whether there was one.
  bool erase(std::string_view key);
  /// Sets every entry of `other`, its values winning on equal keys.
  void merge(const ValueObject& other);
  /// Makes room for `n` entries.
  void reserve(std::size_t n);

  /// Equal when both hold the same keys with equal values, in any order.
  friend bool operator==(const ValueObject& a, const ValueObject& b);

 private:
  [[nodiscard]] std::ptrdiff_t indexOf(std::string_view key) const;
  std::vector<Entry> entries_;
};

class Value {
 public:
  /// What a value holds.
  enum class Kind : std::uint8_t {
    null,
    boolean,
    integer,
    number,
    string,
    date,
    array,
    object,
    opaque
  };
  /// The content of an array.
  using Array = std::vector<Value>;
  /// The content of an object.
  using Object = ValueObject;
  /// The content of an opaque value: a shared host object.
  using Opaque = std::shared_ptr<const OpaqueValue>;

  /// Null.
  Value() noexcept = default;
  ///@{
  /// A value of the kind of the argument, converted implicitly: integers of
  /// any width are 64-bit integers, floats doubles, texts strings.
  Value(std::nullptr_t) noexcept {}
  Value(bool b) noexcept : v_(b) {}
  template <class I>
  requires(std::is_integral_v<I> && !std::is_same_v<I, bool> && !std::is_same_v<I, char>) Value(I i)
  noexcept : v_(static_cast<std::int64_t>(i)) {}
  Value(double d) noexcept : v_(d) {}
  Value(float d) noexcept : v_(static_cast<double>(d)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(std::string s) noexcept : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(Date d) noexcept : v_(d) {}
  Value(Array a) noexcept : v_(std::move(a)) {}
  Value(Object o) noexcept : v_(std::move(o)) {}
  Value(Opaque o) noexcept : v_(std::move(o)) {}
  ///@}
  /// An object from key-value pairs: Value{{"a", 1}, {"b", "x"}}.
  Value(std::initializer_list<ValueObject::Entry> entries) : v_(Object(entries)) {}

  /// What the value holds.
  [[nodiscard]] Kind kind() const { return static_cast<Kind>(v_.index()); }
  ///@{
  /// Whether the value is of that kind.
  [[nodiscard]] bool isNull() const { return kind() == Kind::null; }
  [[nodiscard]] bool isBool() const { return kind() == Kind::boolean; }
  [[nodiscard]] bool isInteger() const { return kind() == Kind::integer; }
  [[nodiscard]] bool isDouble() const { return kind() == Kind::number; }
  ///@}
  /// An integer or a double.
  [[nodiscard]] bool isNumber() const { return isInteger() || isDouble(); }
  ///@{
  /// Whether the value is of that kind.
  [[nodiscard]] bool isString() const { return kind() == Kind::string; }
  [[nodiscard]] bool isDate() const { return kind() == Kind::date; }
  [[nodiscard]] bool isArray() const { return kind() == Kind::array; }
  [[nodiscard]] bool isObject() const { return kind() == Kind::object; }
  [[nodiscard]] bool isOpaque() const { return kind() == Kind::opaque; }
  ///@}

  ///@{
  /// Typed access: a pointer to the content when the value is of that kind,
  /// else null.
  [[nodiscard]] const bool* ifBool() const { return std::get_if<bool>(&v_); }
  [[nodiscard]] const std::int64_t* ifInteger() const { return std::get_if<std::int64_t>(&v_); }
  [[nodiscard]] const double* ifDouble() const { return std::get_if<double>(&v_); }
  [[nodiscard]] const std::string* ifString() const { return std::get_if<std::string>(&v_); }
  [[nodiscard]] const Date* ifDate() const { return std::get_if<Date>(&v_); }
  [[nodiscard]] const Array* ifArray() const { return std::get_if<Array>(&v_); }
  [[nodiscard]] Array* ifArray() { return std::get_if<Array>(&v_); }
  [[nodiscard]] const Object* ifObject() const { return std::get_if<Object>(&v_); }
  [[nodiscard]] Object* ifObject() { return std::get_if<Object>(&v_); }
  [[nodiscard]] const Opaque* ifOpaque() const { return std::get_if<Opaque>(&v_); }
  ///@}

  /// The boolean, or nothing for any other kind.
  [[nodiscard]] std::optional<bool> asBool() const;
  /// The integer, or nothing for any other kind (doubles included).
  [[nodiscard]] std::optional<std::int64_t> asInteger() const;
  /// The number as a double (integers converted).
  [[nodiscard]] std::optional<double> asDouble() const;
  /// The string (a view into the value), or nothing for any other kind.
  [[nodiscard]] std::optional<std::string_view> asString() const;

  /// Object member lookup; nothing when this is not an object or lacks `key`.
  [[nodiscard]] const Value* find(std::string_view key) const;
  /// Object member access; a null value becomes an empty object first.
  Value& operator[](std::string_view key);

  /// The default text form: strings as they are, integers in decimal, doubles
  /// in shortest round-trip form ("2" for 2.0), booleans "true"/"false", null
  /// "<null>", dates as Date::description(), arrays and objects bracketed.
  [[nodiscard]] std::string description() const;

  /// The name of the kind ("string", "integer", ...), for error messages.
  [[nodiscard]] static std::string_view kindName(Kind kind);

  /// Equal by value; integers and doubles compare as numbers (1 == 1.0).
  friend bool operator==(const Value& a, const Value& b);
  /// A hash that agrees with ==.
  [[nodiscard]] std::size_t hash() const;

 private:
  std::variant<std::monostate, bool, std::int64_t, double, std::string, Date, Array, Object, Opaque>
      v_;
};

// ValueObject members that need Value to be complete.
inline std::size_t ValueObject::size() const { return entries_.size(); }
inline bool ValueObject::empty() const { return entries_.empty(); }
inline ValueObject::const_iterator ValueObject::begin() const { return entries_.begin(); }
inline ValueObject::const_iterator ValueObject::end() const { return entries_.end(); }
inline ValueObject::iterator ValueObject::begin() { return entries_.begin(); }
inline ValueObject::iterator ValueObject::end() { return entries_.end(); }
inline void ValueObject::reserve(std::size_t n) { entries_.reserve(n); }

/// A string-keyed map of loosely typed values (facts, variables, template values).
using ValueDictionary = ValueObject;

}  // namespace quarn

/// Hashes a Value as Value::hash() does.
template <>
struct std::hash<quarn::Value> {
  /// Value::hash().
  std::size_t operator()(const quarn::Value& v) const noexcept { return v.hash(); }
};
