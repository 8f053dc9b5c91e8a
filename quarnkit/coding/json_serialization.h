/// @file
/// JSON text and Value: the untyped side of JSON, as the platform's JSON
/// serialization offers it (maps, lists, numbers, strings, booleans, null).
///
/// ```
///   quarn::Value v = quarn::parseJSON(R"({"a": [1, 2.5, "x"]})");
///   std::string text = quarn::serializeJSON(v, {.sortedKeys = true});
/// ```
#pragma once

#include <string>
#include <string_view>

#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/core/value.h"

namespace quarn {

/// Parses JSON text (any top-level value). Fails with a dataCorrupted
/// DecodingError saying where the text stops being JSON.
Value parseJSON(std::string_view text);

/// Writes a Value as JSON text. Dates are written as internet date-time text;
/// non-finite numbers and opaque objects fail with EncodingError.
std::string serializeJSON(const Value& value, JSONOutputFormatting formatting = {});

}  // namespace quarn
