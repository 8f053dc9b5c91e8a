// Shared pieces of the JSON decoder, encoder and serialization over
// Boost.JSON. Internal to the coding library.
#pragma once

#include <boost/json.hpp>
#include <string>
#include <string_view>

#include "quarnkit/coding/decoder.h"
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

/// Shortest round-trip text of a finite double ("2", "0.1", "1e+300").
std::string formatDouble(double d);

/// The JSON decoder's own device-variant containers, for the device-variant
/// decoder: one layer instead of a wrapper over the JSON containers, with the
/// same results. Nothing when `base` is not a JSON decoder.
std::unique_ptr<KeyedDecodingContainer> variantKeyedContainer(Decoder& base,
                                                              std::string_view separator,
                                                              std::string_view suffix,
                                                              bool recursive);
std::unique_ptr<UnkeyedDecodingContainer> variantUnkeyedContainer(Decoder& base,
                                                                  std::string_view separator,
                                                                  std::string_view suffix);

}  // namespace quarn::detail
