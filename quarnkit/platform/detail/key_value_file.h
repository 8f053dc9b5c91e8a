// The text of a file-backed key-value store: reading it (every format the
// store has written) and writing it (the current format).
//
// The current format, version 2, is one JSON object:
//
//   {"version": 2, "entries": [{"key": "timedEvents", "data": "<base64>"},
//                              {"key": "launch", "value": {"$date": 1.7E9}}]}
//
// A Value is written as plain JSON where JSON says exactly what it is (null,
// booleans, integers, finite doubles, UTF-8 strings, arrays, objects whose
// keys are UTF-8 and do not begin with "$"); everything else is a one-member
// object whose key names what it holds:
//   {"$date": seconds}            a Date (seconds as a number or a "$double")
//   {"$double": "7ff0000000000000"} a double that is not finite, by its bits
//   {"$string": "<base64>"}       a string that is not UTF-8, by its bytes
//   {"$object": [k1, v1, ...]}    an object with keys plain JSON cannot carry;
//                                 each key is a string or a "$string"
// Store keys are strings or "$string"s too. So every storable Value, and
// every double bit for bit, reads back as it was written.
//
// Version 1 (no "version" member) was an object from store key to
// {"data": "<base64>"} or {"value": JSON}, where an object holding only a
// number under "$date" meant a Date. It is still read.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/platform/key_value_store.h"

namespace quarn::platform::detail {

using StoredValues = std::map<std::string, KeyValueStore::Stored>;

/// How deeply arrays and objects may nest in a stored Value.
inline constexpr int kMaxStoredDepth = 200;

/// What a store file holds.
struct KeyValueFile {
  StoredValues values;
  /// The file is of a format newer than this library writes: none of its
  /// values are read, and it must not be replaced.
  bool laterFormat = false;
};

/// Reads a store file. Nothing when the text is not a store file at all (not
/// JSON, not an object); an entry that does not decode is left out.
std::optional<KeyValueFile> readKeyValueFile(std::string_view text);

/// The text of a store file holding `values` in the current format. Throws
/// std::invalid_argument when a value cannot be stored (see checkStorable).
std::string writeKeyValueFile(const StoredValues& values);

/// Throws std::invalid_argument when `value` cannot be stored: it holds a host
/// object, or nests deeper than kMaxStoredDepth.
void checkStorable(const Value& value);

/// True when `a` and `b` are the same value exactly: same kinds, doubles and
/// dates bit for bit, object keys in the same order. (Value's own equality is
/// looser: 1 == 1.0, and object order does not count.)
bool identical(const Value& a, const Value& b);
bool identical(const StoredValues& a, const StoredValues& b);

}  // namespace quarn::platform::detail
