// JSON Schema (draft 2020-12) pieces for the documents the library decodes.
//
// A record that is read from JSON lists its members here, beside its decode
// function, so that editors can check and complete the documents as the
// decoder reads them:
//
//   Value schema = json_schema::object(
//       "Banner", "A banner of the home screen.",
//       {{"title", json_schema::string("The banner's title."), /*required=*/true},
//        {"maxItems", json_schema::integer64("How many entities at most.")}});
//
// Every function returns a schema as a plain Value (a value: copies share
// nothing). Objects allow members they do not list, as the decoders ignore
// unknown keys.
#pragma once

#include <string>
#include <vector>

#include "quarnkit/core/value.h"

namespace quarn::json_schema {

/// The dialect every generated document names in "$schema".
inline constexpr const char* kDialect = "https://json-schema.org/draft/2020-12/schema";

/// The text form of an internet date-time as the library reads it
/// ("2024-05-01T10:00:00Z", or with a "+02:00" offset), as a pattern.
inline constexpr const char* kDateTimePattern =
    "^[0-9]{4}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])T([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]"
    "(Z|[+-]([01][0-9]|2[0-3]):[0-5][0-9])$";

/// A string.
Value string(std::string description);
/// One of the given strings.
Value enumeration(std::vector<std::string> values, std::string description);
/// A whole number that fits in 64 signed bits (1e19 does not).
Value integer64(std::string description);
/// Any number.
Value number(std::string description);
/// true or false.
Value boolean(std::string description);
/// An internet date-time string (kDateTimePattern).
Value dateTime(std::string description);
/// A URL string (an absolute URL or a relative reference).
Value url(std::string description);
/// Any JSON value.
Value any(std::string description);
/// An object with any members.
Value anyObject(std::string description);
/// A list of `items`.
Value array(Value items, std::string description);
/// A reference to a definition of the same document ("#/$defs/name").
Value ref(const std::string& definition, std::string description = {});
/// `schema` with a "description" (replacing one it has).
Value describe(Value schema, std::string description);

/// A member of an object (a value): its key, schema, whether it must be present.
/// A member that need not be present may also be null (decoders read null
/// as absent) unless `notNull` says the decoder refuses null.
struct Member {
  /// The member's key in the JSON object.
  std::string key;
  /// What its value must be.
  Value schema;
  /// Whether the decoder fails without it.
  bool required = false;
  /// Whether the decoder refuses null for it (otherwise null reads as absent).
  bool notNull = false;
};

/// `schema` that also allows null.
Value nullable(Value schema);

/// How an object treats members beyond those it lists (a value).
struct ObjectOptions {
  /// Each member may also come as a device variant, "title~ipad" and
  /// "title~iphone", with the same schema (templates are read so).
  bool deviceVariants = false;
};

/// An object of these members.
Value object(std::string title, std::string description, const std::vector<Member>& members,
             ObjectOptions options = {});

/// The members `object` lists, under "properties": for adding to them.
ValueObject* propertiesOf(Value& objectSchema);

/// A whole document: "$schema", "$id", "title", "description", the root
/// schema's members and the definitions `defs` under "$defs".
Value document(const std::string& id, const std::string& title, const std::string& description,
               Value root, ValueObject defs = {});

}  // namespace quarn::json_schema
