// Shared pieces of the JSON decoder, encoder and serialization over
// Boost.JSON: parsing text into a document, and documents to and from Value
// and text. Internal to the coding library.
#pragma once

#include <boost/json.hpp>
#include <string>
#include <string_view>

#include "quarnkit/coding/detail/format_double.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/core/value.h"

namespace quarn::detail {

/// Parses text into `storage`, enforcing JSONDecoder::kMaxDepth; failures are
/// dataCorrupted DecodingErrors naming the line and column.
boost::json::value parseJSONText(std::string_view text, boost::json::storage_ptr storage);

Value toValue(const boost::json::value& v);

/// Appends the text of `v` to `out`.
void writeJSON(const boost::json::value& v, const JSONOutputFormatting& formatting,
               std::string& out);

/// The JSON form of a Value (see serializeJSON for what fails).
boost::json::value valueToJSON(const Value& v);

}  // namespace quarn::detail
