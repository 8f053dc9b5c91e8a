// typeName<T>(): the unqualified name of a type, as log lines and error
// messages print it ("CompositeListInclude", "Array<CompositeListRow>").
//
// Names come from the compiler's function signature with every namespace
// qualifier removed; standard types the library's data uses have fixed names
// (String, Int, Double, Bool, Array<T>, Optional<T>, Dictionary<String, T>) so
// the text is the same with every compiler. A type can name itself by
// specialising quarn::TypeNameOf.
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

template <>
struct TypeNameOf<std::string> {
  static std::string name() { return "String"; }
};
template <>
struct TypeNameOf<bool> {
  static std::string name() { return "Bool"; }
};
template <>
struct TypeNameOf<double> {
  static std::string name() { return "Double"; }
};
template <>
struct TypeNameOf<float> {
  static std::string name() { return "Float"; }
};
template <>
struct TypeNameOf<std::int64_t> {
  static std::string name() { return "Int"; }
};
template <>
struct TypeNameOf<std::int32_t> {
  static std::string name() { return "Int32"; }
};
template <>
struct TypeNameOf<std::int16_t> {
  static std::string name() { return "Int16"; }
};
template <>
struct TypeNameOf<std::int8_t> {
  static std::string name() { return "Int8"; }
};
template <>
struct TypeNameOf<std::uint64_t> {
  static std::string name() { return "UInt"; }
};
template <>
struct TypeNameOf<std::uint32_t> {
  static std::string name() { return "UInt32"; }
};
template <>
struct TypeNameOf<std::uint16_t> {
  static std::string name() { return "UInt16"; }
};
template <>
struct TypeNameOf<std::uint8_t> {
  static std::string name() { return "UInt8"; }
};
template <class T>
struct TypeNameOf<std::vector<T>> {
  static std::string name() { return "Array<" + typeName<T>() + ">"; }
};
template <class T>
struct TypeNameOf<std::optional<T>> {
  static std::string name() { return "Optional<" + typeName<T>() + ">"; }
};
template <class T>
struct TypeNameOf<std::map<std::string, T>> {
  static std::string name() { return "Dictionary<String, " + typeName<T>() + ">"; }
};

}  // namespace quarn
