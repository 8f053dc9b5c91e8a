/// @file
/// Writing and reading type-preserved values (see
/// type_preserving_coding_adapter.h for families and adapters).
///
/// A wrapped value is the value's own JSON object with two members added:
/// "__preserved_type" (its signature or alias) and
/// "__type_preserving_strategy" (1 for a signature, 2 for an alias):
///
/// ```
///   {"__preserved_type": "Geometry.Circle", "__type_preserving_strategy": 1, "radius": 2}
/// ```
///
/// Inside a record's encode and decode, the container operations write and
/// read one value or a list of values of a family P:
///
/// ```
///   quarn::encodeTypePreserved<Shape>(*c, shapes, "shapes");  // strategy auto_
///   auto shapes =
///       quarn::decodeTypePreserved<std::vector<std::shared_ptr<Shape>>, Shape>(*c, "shapes");
/// ```
///
/// Decoding needs the adapters in the decoder's settings, whatever the data's
/// strategy. Data naming a registered type that is not the requested one
/// (another member of the family) is a typeMismatch at the value's coding
/// path; an unknown name is a TypePreservingCodingAdapterError, and a
/// missing member or a strategy number other than 0, 1, 2 the decoder's own
/// error. Encoding auto_ writes the alias when the encoder's adapters have one
/// for the type, else the signature; alias fails without an adapter or alias.
/// A value whose run-time type has no name in data, that does not encode as
/// an object, or that writes one of the two members itself (they are the
/// wrapper's: such a value is refused, never allowed to rename its type), is
/// an EncodingError: nothing is written that could not be read back.
///
/// A registered type's decode and a value's encode are the host's code, called
/// while the wrapper is being read or written. They may code further values
/// with the same coders (nested values of the family included); they may not
/// register into the adapters, which are frozen by then (the registration
/// throws and changes nothing); an exception they throw propagates unchanged
/// to the caller of the decode or encode, and the adapters stay usable. The
/// decoding holds the family's adapter for its whole length, so the host may
/// drop its own references (and the coder's setting) meanwhile.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/coding/type_preserving_coding_adapter.h"
#include "quarnkit/core/type_name.h"

namespace quarn {

/// The JSON members a wrapper adds.
inline constexpr std::string_view kPreservedTypeKey = "__preserved_type";
/// The JSON member holding the strategy's number.
inline constexpr std::string_view kTypePreservingStrategyKey = "__type_preserving_strategy";

namespace detail {

using AdapterLookup =
    std::shared_ptr<const TypePreservingCodingAdapter> (*)(const TypePreservingCodingAdapters&);

template <class P>
std::shared_ptr<const TypePreservingCodingAdapter> providerAdapter(
    const TypePreservingCodingAdapters& adapters) {
  return TypePreservingCodingAdapterProvider<P>::adapter(adapters);
}

/// The encoding of a wrapper: the type's name, the strategy used, then the
/// value's members.
void encodeTypePreserved(Encoder& e, const TypePreservingCodable& value,
                         CodableTypeStrategy strategy, AdapterLookup lookup);

/// The adapter a list of wrapped values found for its first element, kept
/// for the others: they are decoded with the same settings.
using AdapterCache = std::shared_ptr<const TypePreservingCodingAdapter>;

/// The decoding of a wrapper: the instance of the named type, and the
/// strategy read. `cache` (when given) holds the adapter found before.
std::shared_ptr<TypePreservingCodable> decodeTypePreserved(Decoder& d, AdapterLookup lookup,
                                                           CodableTypeStrategy* strategy,
                                                           AdapterCache* cache = nullptr);

/// The EncodingError of a wrapper without a value.
[[noreturn]] void throwEmptyWrapper(const Encoder& e);

/// The typeMismatch of a decoded value that is not the requested type.
[[noreturn]] void throwNotRequestedType(const Decoder& d, const std::string& requested,
                                        const TypePreservingCodable& found);

/// Enters a named static type in the run-time table, so that values of it
/// are named even before any adapter registers it.
template <class X>
void nameStaticType() {
  if constexpr (CodableTypeNamedType<X>) (void)codableTypeName<X>();
}

template <class T>
struct SharedTarget : std::false_type {};
template <class X>
requires std::derived_from<std::remove_const_t<X>, TypePreservingCodable>
struct SharedTarget<std::shared_ptr<X>> : std::true_type {
  using Element = X;
};

template <class X>
std::string requestedTypeName() {
  if constexpr (CodableTypeNamedType<X>) {
    return codableTypeName<X>();
  } else {
    return typeName<std::remove_const_t<X>>();
  }
}

/// The value decoded at `d` as a shared_ptr<X>: a typeMismatch when the
/// named type is not an X.
template <class X, class P>
std::shared_ptr<X> decodeTypePreservedAs(Decoder& d, AdapterCache* cache = nullptr) {
  std::shared_ptr<TypePreservingCodable> value =
      decodeTypePreserved(d, &providerAdapter<P>, nullptr, cache);
  if constexpr (std::is_same_v<std::remove_const_t<X>, TypePreservingCodable>) {
    return value;
  } else {
    auto typed = std::dynamic_pointer_cast<std::remove_const_t<X>>(value);
    if (!typed) throwNotRequestedType(d, requestedTypeName<X>(), *value);
    return typed;
  }
}

}  // namespace detail

/// Encodes `wrapped` with its type's name (the strategy decides which). A
/// wrapper without a value fails with EncodingError.
template <class P>
struct TypePreservingEncodeWrapper {
  /// The value to write.
  std::shared_ptr<const TypePreservingCodable> wrapped;
  /// How its type is named.
  CodableTypeStrategy strategy = CodableTypeStrategy::auto_;

  /// Writes the value with its type's name; throws EncodingError without a value.
  void encode(Encoder& e) const {
    if (!wrapped) detail::throwEmptyWrapper(e);
    detail::encodeTypePreserved(e, *wrapped, strategy, &detail::providerAdapter<P>);
  }
};

/// Decodes a value of the type its data names, with the strategy read.
template <class P>
struct TypePreservingDecodeWrapper {
  /// The value read, of the type its data named.
  std::shared_ptr<TypePreservingCodable> wrapped;
  /// The strategy the data was written with.
  CodableTypeStrategy strategy = CodableTypeStrategy::auto_;

  /// Reads the named type and decodes its value; throws DecodingError (or
  /// TypePreservingCodingAdapterError) when the type is not registered.
  static TypePreservingDecodeWrapper decode(Decoder& d) {
    TypePreservingDecodeWrapper out;
    out.wrapped = detail::decodeTypePreserved(d, &detail::providerAdapter<P>, &out.strategy);
    return out;
  }
};

/// Writes `value` wrapped under `key`.
template <class P, class X>
requires std::derived_from<X, TypePreservingCodable>
void encodeTypePreserved(KeyedEncodingContainer& c, const X& value, CodingKeyRef key,
                         CodableTypeStrategy strategy = CodableTypeStrategy::auto_) {
  detail::nameStaticType<X>();
  c.encodeNested(key, [&](Encoder& e) {
    detail::encodeTypePreserved(e, value, strategy, &detail::providerAdapter<P>);
  });
}
/// Writes a list of values, each wrapped, under `key` (null elements are
/// written as null).
template <class P, class X>
requires std::derived_from<std::remove_const_t<X>, TypePreservingCodable>
void encodeTypePreserved(KeyedEncodingContainer& c, const std::vector<std::shared_ptr<X>>& values,
                         CodingKeyRef key,
                         CodableTypeStrategy strategy = CodableTypeStrategy::auto_) {
  detail::nameStaticType<std::remove_const_t<X>>();
  auto list = c.nestedUnkeyedContainer(key);
  for (const auto& value : values) {
    if (!value) {
      list->encodeNil();
      continue;
    }
    list->encodeNested([&](Encoder& e) {
      detail::encodeTypePreserved(e, *value, strategy, &detail::providerAdapter<P>);
    });
  }
}
/// Writes nothing for a null value.
template <class P, class X>
requires std::derived_from<std::remove_const_t<X>, TypePreservingCodable>
void encodeTypePreservedIfPresent(KeyedEncodingContainer& c, const std::shared_ptr<X>& value,
                                  CodingKeyRef key,
                                  CodableTypeStrategy strategy = CodableTypeStrategy::auto_) {
  if (value) encodeTypePreserved<P>(c, *value, key, strategy);
}
/// Writes nothing for an absent list.
template <class P, class X>
void encodeTypePreservedIfPresent(KeyedEncodingContainer& c,
                                  const std::optional<std::vector<std::shared_ptr<X>>>& values,
                                  CodingKeyRef key,
                                  CodableTypeStrategy strategy = CodableTypeStrategy::auto_) {
  if (values) encodeTypePreserved<P>(c, *values, key, strategy);
}

/// Reads the wrapped value under `key` as T: a std::shared_ptr<X>, or a
/// std::vector of them read from a JSON array, X being a type of P's family
/// (or the family's base).
template <class T, class P>
T decodeTypePreserved(KeyedDecodingContainer& c, CodingKeyRef key) {
  if constexpr (detail::SharedTarget<T>::value) {
    T out;
    c.decodeNested(key, [&](Decoder& d) {
      out = detail::decodeTypePreservedAs<typename detail::SharedTarget<T>::Element, P>(d);
    });
    return out;
  } else {
    static_assert(detail::SharedTarget<typename T::value_type>::value &&
                      std::is_same_v<T, std::vector<typename T::value_type>>,
                  "decodeTypePreserved reads a std::shared_ptr<X> or a std::vector of them");
    using X = typename detail::SharedTarget<typename T::value_type>::Element;
    T out;
    auto list = c.nestedUnkeyedContainer(key);
    if (auto n = list->count()) out.reserve(static_cast<std::size_t>(*n));
    detail::AdapterCache adapter;
    while (!list->isAtEnd()) {
      list->decodeNested(
          [&](Decoder& d) { out.push_back(detail::decodeTypePreservedAs<X, P>(d, &adapter)); });
    }
    return out;
  }
}

/// As decodeTypePreserved, but nothing when `key` is missing; a member that
/// is present, even null, is decoded (null fails).
template <class T, class P>
std::optional<T> decodeTypePreservedIfPresent(KeyedDecodingContainer& c, CodingKeyRef key) {
  if (!c.contains(key)) return std::nullopt;
  return decodeTypePreserved<T, P>(c, key);
}

}  // namespace quarn
