/// @file
/// `typeName<T>()`: the unqualified name of a type, as log lines and error
/// messages print it ("CompositeListInclude", "Array<CompositeListRow>").
///
/// Names come from the compiler's function signature with every namespace
/// qualifier removed; standard types the library's data uses have fixed names
/// (String, Int, Double, Bool, Array<T>, Optional<T>, Dictionary<String, T>) so
/// the text is the same with every compiler. A type can name itself by
/// specialising quarn::TypeNameOf.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace quarn {

namespace detail {
// Removes "ns::" qualifiers from a compiler-produced type name.
std::string stripQualifiers(std::string_view name);

template <class T>
constexpr std::string_view rawTypeName() {
  std::string_view p = __PRETTY_FUNCTION__;
  // GCC: "... [with T = Foo; std::string_view = ...]"; clang: "... [T = Foo]".
  auto start = p.find("T = ");
  if (start == std::string_view::npos) return p;
  start += 4;
  auto end = p.find_first_of(";]", start);
  return p.substr(start, end - start);
}
}  // namespace detail

/// Specialise to give a type a fixed name.
template <class T>
struct TypeNameOf {
  /// The compiler's name of T without namespace qualifiers.
  static std::string name() { return detail::stripQualifiers(detail::rawTypeName<T>()); }
};

/// The unqualified, compiler-independent name of T.
template <class T>
std::string typeName() {
  return TypeNameOf<std::remove_cv_t<T>>::name();
}

/// The unqualified name of a run-time type (of a polymorphic object).
std::string typeNameOf(const std::type_info& type);

/// The name of T with its namespaces, as compilers print it ("quarn::Foo").
template <class T>
std::string qualifiedTypeName() {
  return std::string(detail::rawTypeName<std::remove_cv_t<T>>());
}

/// Names std::string "String".
template <>
struct TypeNameOf<std::string> {
  /// "String".
  static std::string name() { return "String"; }
};
/// Names bool "Bool".
template <>
struct TypeNameOf<bool> {
  /// "Bool".
  static std::string name() { return "Bool"; }
};
/// Names double "Double".
template <>
struct TypeNameOf<double> {
  /// "Double".
  static std::string name() { return "Double"; }
};
/// Names float "Float".
template <>
struct TypeNameOf<float> {
  /// "Float".
  static std::string name() { return "Float"; }
};
/// Names std::int64_t "Int".
template <>
struct TypeNameOf<std::int64_t> {
  /// "Int".
  static std::string name() { return "Int"; }
};
/// Names std::int32_t "Int32".
template <>
struct TypeNameOf<std::int32_t> {
  /// "Int32".
  static std::string name() { return "Int32"; }
};
/// Names std::int16_t "Int16".
template <>
struct TypeNameOf<std::int16_t> {
  /// "Int16".
  static std::string name() { return "Int16"; }
};
/// Names std::int8_t "Int8".
template <>
struct TypeNameOf<std::int8_t> {
  /// "Int8".
  static std::string name() { return "Int8"; }
};
/// Names std::uint64_t "UInt".
template <>
struct TypeNameOf<std::uint64_t> {
  /// "UInt".
  static std::string name() { return "UInt"; }
};
/// Names std::uint32_t "UInt32".
template <>
struct TypeNameOf<std::uint32_t> {
  /// "UInt32".
  static std::string name() { return "UInt32"; }
};
/// Names std::uint16_t "UInt16".
template <>
struct TypeNameOf<std::uint16_t> {
  /// "UInt16".
  static std::string name() { return "UInt16"; }
};
/// Names std::uint8_t "UInt8".
template <>
struct TypeNameOf<std::uint8_t> {
  /// "UInt8".
  static std::string name() { return "UInt8"; }
};
/// Names std::vector<T> "Array<" and the name of T and ">".
template <class T>
struct TypeNameOf<std::vector<T>> {
  /// "Array<" and the name of T and ">".
  static std::string name() { return "Array<" + typeName<T>() + ">"; }
};
/// Names std::optional<T> "Optional<" and the name of T and ">".
template <class T>
struct TypeNameOf<std::optional<T>> {
  /// "Optional<" and the name of T and ">".
  static std::string name() { return "Optional<" + typeName<T>() + ">"; }
};
/// Names std::map<std::string, T> "Dictionary<String, " and the name of T and ">".
template <class T>
struct TypeNameOf<std::map<std::string, T>> {
  /// "Dictionary<String, " and the name of T and ">".
  static std::string name() { return "Dictionary<String, " + typeName<T>() + ">"; }
};

}  // namespace quarn
