/// @file
/// One-call conversions between codable records and JSON text or untyped maps,
/// reporting failures as an absent result plus a debug line on standard output
/// instead of an error.
///
/// ```
///   struct Profile : quarn::CodableJSONConvertable<Profile> {
///     std::string name;
///     static Profile decode(quarn::Decoder&);
///     void encode(quarn::Encoder&) const;
///   };
///   auto p = Profile::fromJsonString(R"({"name":"Ann"})");   // std::optional<Profile>
///   quarn::ValueObject map = p->toJson();
/// ```
///
/// A record may define its own `static JSONDecoder jsonDecoder()` or
/// `static JSONEncoder jsonEncoder()` to change the coders used by default.
/// Failure lines: "‼️ failed init model <type> from <input>. Error <error>"
/// and "‼️ <error>", written in the platform's quoted debug form.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/core/type_name.h"
#include "quarnkit/core/value.h"

namespace quarn {

namespace detail {
void reportInitFailure(const std::string& typeName, const std::string& input,
                       const std::exception& error);
void reportEncodeFailure(const std::exception& error);
bool isValidUTF8Text(std::string_view text);

/// The name a failure line gives a record type: its qualified name, with
/// lists named as the library names them ("Array<app::Profile>").
template <class T>
struct RecordTypeName {
  static std::string name() { return qualifiedTypeName<T>(); }
};
template <class T>
struct RecordTypeName<std::vector<T>> {
  static std::string name() { return "Array<" + RecordTypeName<T>::name() + ">"; }
};
}  // namespace detail

/// Records creatable from JSON text or a map.
template <class T>
concept FromJSONConvertable = requires(std::string_view s, const ValueObject& m) {
  { T::fromJsonString(s) } -> std::same_as<std::optional<T>>;
  { T::fromJson(m) } -> std::same_as<std::optional<T>>;
};

/// Records convertible to a map or JSON text.
template <class T>
concept ToJSONConvertable = requires(const T& t) {
  { t.toJson() } -> std::same_as<ValueObject>;
  { t.toJsonString(false) } -> std::same_as<std::optional<std::string>>;
};

template <class T>
concept JSONConvertable = FromJSONConvertable<T> && ToJSONConvertable<T>;

/// Mixin for decodable records: creation from JSON text or a map.
template <class Derived>
struct DecodableFromJSONConvertable {
  /// The decoder the record is read with; a record hides it to choose another.
  static JSONDecoder jsonDecoder() { return JSONDecoder(); }

  /// The record decoded from JSON text, or nothing (the failure is logged).
  static std::optional<Derived> fromJsonString(std::string_view jsonString) {
    return fromJsonString(jsonString, Derived::jsonDecoder());
  }
  /// The record decoded from a map, or nothing (the failure is logged).
  static std::optional<Derived> fromJson(const ValueObject& json) {
    return fromJson(json, Derived::jsonDecoder());
  }
  /// The record decoded from JSON text with `decoder`, or nothing for text
  /// that is not valid UTF-8 or does not decode (the failure is logged).
  static std::optional<Derived> fromJsonString(std::string_view jsonString,
                                               const JSONDecoder& decoder) {
    if (!detail::isValidUTF8Text(jsonString)) return std::nullopt;
    try {
      return decoder.decode<Derived>(jsonString);
    } catch (const std::exception& e) {
      detail::reportInitFailure(detail::RecordTypeName<Derived>::name(), std::string(jsonString),
                                e);
      return std::nullopt;
    }
  }
  /// The record decoded from a map with `decoder`, or nothing (the failure is logged).
  static std::optional<Derived> fromJson(const ValueObject& json, const JSONDecoder& decoder) {
    try {
      return decoder.decode<Derived>(serializeJSON(Value(json)));
    } catch (const std::exception& e) {
      detail::reportInitFailure(detail::RecordTypeName<Derived>::name(), Value(json).description(),
                                e);
      return std::nullopt;
    }
  }
};

/// Mixin for encodable records: conversion to a map or JSON text.
template <class Derived>
struct EncodableToJSONConvertable {
  /// The encoder the record is written with; a record hides it to choose another.
  static JSONEncoder jsonEncoder() { return JSONEncoder(); }

  /// The record as a map (see the form taking an encoder).
  [[nodiscard]] ValueObject toJson() const { return toJson(Derived::jsonEncoder()); }
  /// The record as JSON text, indented when `prettyPrint`; nothing when it
  /// does not encode (the failure is logged).
  [[nodiscard]] std::optional<std::string> toJsonString(bool prettyPrint = false) const {
    JSONEncoder encoder = Derived::jsonEncoder();
    if (prettyPrint) encoder.outputFormatting.prettyPrinted = true;
    return toJsonString(encoder);
  }
  /// The encoded record read back as a map; an empty map when it does not
  /// encode as an object.
  [[nodiscard]] ValueObject toJson(const JSONEncoder& encoder) const {
    auto text = toJsonString(encoder);
    if (!text) return {};
    Value v = parseJSON(*text);
    if (auto* o = v.ifObject()) return std::move(*o);
    return {};
  }
  /// The record as JSON text written with `encoder`; nothing when it does not
  /// encode (the failure is logged).
  [[nodiscard]] std::optional<std::string> toJsonString(const JSONEncoder& encoder) const {
    try {
      return encoder.encode(static_cast<const Derived&>(*this));
    } catch (const std::exception& e) {
      detail::reportEncodeFailure(e);
      return std::nullopt;
    }
  }
};

template <class Derived>
struct CodableJSONConvertable : DecodableFromJSONConvertable<Derived>,
                                EncodableToJSONConvertable<Derived> {};

// ----- Lists of convertible records ----------------------------------------

/// Records decoded from a JSON array, or nothing (the failure is logged).
template <class T>
std::optional<std::vector<T>> arrayFromJsonString(std::string_view jsonString) {
  if (!detail::isValidUTF8Text(jsonString)) return std::nullopt;
  try {
    return T::jsonDecoder().template decode<std::vector<T>>(jsonString);
  } catch (const std::exception& e) {
    detail::reportInitFailure(detail::RecordTypeName<std::vector<T>>::name(),
                              std::string(jsonString), e);
    return std::nullopt;
  }
}

/// Records decoded from maps, or nothing (the failure is logged).
template <class T>
std::optional<std::vector<T>> arrayFromJson(const std::vector<ValueObject>& json) {
  Value::Array list(json.begin(), json.end());
  try {
    return T::jsonDecoder().template decode<std::vector<T>>(serializeJSON(Value(list)));
  } catch (const std::exception& e) {
    detail::reportInitFailure(detail::RecordTypeName<std::vector<T>>::name(),
                              Value(list).description(), e);
    return std::nullopt;
  }
}

/// Records as a JSON array, indented when `prettyPrint`; nothing when one
/// does not encode (the failure is logged).
template <class T>
std::optional<std::string> toJsonString(const std::vector<T>& records, bool prettyPrint = false) {
  JSONEncoder encoder = T::jsonEncoder();
  if (prettyPrint) encoder.outputFormatting.prettyPrinted = true;
  try {
    return encoder.encode(records);
  } catch (const std::exception& e) {
    detail::reportEncodeFailure(e);
    return std::nullopt;
  }
}

/// The records as maps; records that do not encode as objects are left out.
template <class T>
std::vector<ValueObject> toJson(const std::vector<T>& records) {
  std::vector<ValueObject> out;
  auto text = toJsonString(records);
  if (!text) return out;
  Value v = parseJSON(*text);
  if (auto* list = v.ifArray()) {
    for (auto& e : *list) {
      if (auto* o = e.ifObject()) out.push_back(std::move(*o));
    }
  }
  return out;
}

}  // namespace quarn
