/// @file
/// How a concrete type is named in data: CodableTypeSignature (the type's full
/// name) and CodableTypeAlias (a short name an application chooses).
///
/// Signatures are stored in data, so they are never the compiler's names: a
/// host names each type it stores once, by specialising CodableTypeNameOf,
/// and the library composes the names of nested and generic types from the
/// names of their parts. The name of a type is the same with every compiler,
/// standard library and release.
///
/// ```
///   // "Geometry.Circle"
///   template <> struct quarn::CodableTypeNameOf<geo::Circle>
///       : quarn::CodableTypeNamed<"Geometry", "Circle"> {};
///   // "Geometry.Drawing.Layer"
///   template <> struct quarn::CodableTypeNameOf<geo::Drawing::Layer>
///       : quarn::CodableTypeNestedIn<geo::Drawing, "Layer"> {};
///   // "Geometry.Box<Geometry.Circle>" for a Box<geo::Circle>
///   template <class T> struct quarn::CodableTypeNameOf<geo::Box<T>>
///       : quarn::CodableTypeNamed<"Geometry", "Box", T> {};
///
///   CodableTypeSignature::of<geo::Circle>().rawValue == "Geometry.Circle"
/// ```
///
/// The standard types have fixed names: String, Bool, Int, Int8 ... Int32,
/// UInt, UInt8 ... UInt32, Double, Float, URL, Date, UUID, Array<T>,
/// Optional<T> and Dictionary<String, T>. Using a type that has no name where
/// one is needed does not compile.
///
/// A value's run-time type (an object reached through its family's base) is
/// named by the value itself when its type derives through TypePreserving
/// (type_preserving_coding_adapter.h), else through a process-wide table
/// that every type named with of<T>() enters, which registering it with an
/// adapter does: either way the name written for a value is the name its
/// type registers under.
#pragma once

#include <concepts>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "quarnkit/coding/coding_key.h"
#include "quarnkit/coding/raw_string_value.h"

namespace quarn {

class URL;
class Date;
class UUID;

/// The full name of a concrete type in data: "Geometry.Circle".
struct CodableTypeSignature : RawStringValue<CodableTypeSignature> {
  /// Made from its raw text, as any raw string value is.
  using RawStringValue::RawStringValue;

  /// The signature of T (which enters the run-time table).
  template <class T>
  static CodableTypeSignature of();
  /// The signature of the concrete run-time type of `object`: the one it
  /// names itself when its type derives through TypePreserving, else nothing
  /// when that type was never named in this process (with of<T>() or by
  /// registering it with an adapter).
  template <class T>
  static std::optional<CodableTypeSignature> of(const T& object);
  /// The signature named for a run-time type, or nothing.
  static std::optional<CodableTypeSignature> ofType(const std::type_info& type);
};

/// A short name an application gives a type in data: "circle".
struct CodableTypeAlias : RawStringValue<CodableTypeAlias> {
  /// Made from its raw text, as any raw string value is.
  using RawStringValue::RawStringValue;
};

/// Specialise to name a type in data: `static std::string name()`, usually by
/// deriving from CodableTypeNamed or CodableTypeNestedIn.
template <class T>
struct CodableTypeNameOf;

/// A type that has a name in data.
template <class T>
concept CodableTypeNamedType = requires {
  { CodableTypeNameOf<std::remove_cv_t<T>>::name() } -> std::convertible_to<std::string>;
};

/// The name of T in data (computed once).
template <CodableTypeNamedType T>
const std::string& codableTypeName();

namespace detail {
std::string genericArguments(std::initializer_list<const std::string*> names);
/// Enters `type` → `name` in the run-time table and returns the name.
std::string enterCodableTypeName(const std::type_info& type, std::string name);
}  // namespace detail

/// A top-level type of a module: "Module.Name", with the names of its generic
/// arguments when there are any ("Module.Name<A, B>").
template <KeyName Module, KeyName Name, CodableTypeNamedType... Arguments>
struct CodableTypeNamed {
  /// "Module.Name", with the generic arguments' names in angle brackets.
  static std::string name() {
    return std::string(Module.view()) + "." + std::string(Name.view()) +
           detail::genericArguments({&codableTypeName<Arguments>()...});
  }
};

/// A type nested in another named type: "<Scope's name>.Name", with generic
/// arguments as above.
template <CodableTypeNamedType Scope, KeyName Name, CodableTypeNamedType... Arguments>
struct CodableTypeNestedIn {
  /// The scope's name, ".", the name, and the generic arguments' names.
  static std::string name() {
    return codableTypeName<Scope>() + "." + std::string(Name.view()) +
           detail::genericArguments({&codableTypeName<Arguments>()...});
  }
};

/// A fixed name (the standard types').
template <KeyName Name>
struct CodableTypeFixedName {
  /// The fixed name.
  static std::string name() { return std::string(Name.view()); }
};

// clang-format off
template <> struct CodableTypeNameOf<std::string> : CodableTypeFixedName<"String"> {};
template <> struct CodableTypeNameOf<bool> : CodableTypeFixedName<"Bool"> {};
template <> struct CodableTypeNameOf<std::int64_t> : CodableTypeFixedName<"Int"> {};
template <> struct CodableTypeNameOf<std::int32_t> : CodableTypeFixedName<"Int32"> {};
template <> struct CodableTypeNameOf<std::int16_t> : CodableTypeFixedName<"Int16"> {};
template <> struct CodableTypeNameOf<std::int8_t> : CodableTypeFixedName<"Int8"> {};
template <> struct CodableTypeNameOf<std::uint64_t> : CodableTypeFixedName<"UInt"> {};
template <> struct CodableTypeNameOf<std::uint32_t> : CodableTypeFixedName<"UInt32"> {};
template <> struct CodableTypeNameOf<std::uint16_t> : CodableTypeFixedName<"UInt16"> {};
template <> struct CodableTypeNameOf<std::uint8_t> : CodableTypeFixedName<"UInt8"> {};
template <> struct CodableTypeNameOf<double> : CodableTypeFixedName<"Double"> {};
template <> struct CodableTypeNameOf<float> : CodableTypeFixedName<"Float"> {};
template <> struct CodableTypeNameOf<URL> : CodableTypeFixedName<"URL"> {};
template <> struct CodableTypeNameOf<Date> : CodableTypeFixedName<"Date"> {};
template <> struct CodableTypeNameOf<UUID> : CodableTypeFixedName<"UUID"> {};
// clang-format on

/// Names `std::vector<T>` in data.
template <CodableTypeNamedType T>
struct CodableTypeNameOf<std::vector<T>> {
  /// "Array<" and the element type's name and ">".
  static std::string name() { return "Array<" + codableTypeName<T>() + ">"; }
};
/// Names `std::optional<T>` in data.
template <CodableTypeNamedType T>
struct CodableTypeNameOf<std::optional<T>> {
  /// "Optional<" and the wrapped type's name and ">".
  static std::string name() { return "Optional<" + codableTypeName<T>() + ">"; }
};
/// Names `std::map<std::string, T>` in data.
template <CodableTypeNamedType T>
struct CodableTypeNameOf<std::map<std::string, T>> {
  /// "Dictionary<String, " and the value type's name and ">".
  static std::string name() { return "Dictionary<String, " + codableTypeName<T>() + ">"; }
};

template <CodableTypeNamedType T>
const std::string& codableTypeName() {
  using U = std::remove_cv_t<T>;
  static const std::string name =
      detail::enterCodableTypeName(typeid(U), CodableTypeNameOf<U>::name());
  return name;
}

template <class T>
CodableTypeSignature CodableTypeSignature::of() {
  static_assert(CodableTypeNamedType<T>,
                "the type has no name in data: specialise quarn::CodableTypeNameOf for it");
  return CodableTypeSignature(codableTypeName<T>());
}

template <class T>
std::optional<CodableTypeSignature> CodableTypeSignature::of(const T& object) {
  if constexpr (!std::is_polymorphic_v<T>) {
    return of<T>();
  } else {
    // A type-preserved value knows its own name, named elsewhere or not.
    if constexpr (requires {
                    {
                      object.codableTypeSignature()
                      } -> std::convertible_to<std::optional<CodableTypeSignature>>;
                  }) {
      if (auto own = object.codableTypeSignature()) return own;
    }
    if (auto named = ofType(typeid(object))) return named;
    // A value whose static type is its run-time type names it now.
    if constexpr (CodableTypeNamedType<T>) {
      if (typeid(object) == typeid(T)) return of<T>();
    }
    return std::nullopt;
  }
}

}  // namespace quarn
