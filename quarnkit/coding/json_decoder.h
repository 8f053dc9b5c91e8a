/// @file
/// JSONDecoder: decodes JSON text into decodable types.

/// @class quarn::JSONDecoder
/// Decodes JSON text into decodable types.
///
/// ```
///   quarn::JSONDecoder decoder;
///   decoder.dateDecodingStrategy = quarn::DateDecodingStrategy::iso8601();
///   decoder.userInfo.set("compositeListContext", context);
///   auto banners = decoder.decode<std::vector<Banner>>(text);
/// ```
///
/// Failures are DecodingError with the coding path of the failing value
/// ("[3].data.maxItems") and a description of what was expected and found.
/// Text that is not JSON, or nests deeper than kMaxDepth, is dataCorrupted at
/// the root. Integers are range-checked for the requested width; a floating
/// number decodes as an integer only when it is integral and in range.
///
/// A value: a copy has its own strategy and settings (the shared objects in
/// the settings, such as registries, are shared on purpose). A decode reads
/// them as they are at each step, so the decoder must outlive its decode
/// calls; a custom date function may replace the strategy, itself included,
/// while it runs (dates after it are read with the new one).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/coding/date_strategy.h"

namespace boost::json {
class value;
}
#include "quarnkit/coding/decoder.h"

namespace quarn {

class JSONDecoder {
 public:
  /// The deepest nesting of arrays and objects accepted.
  static constexpr int kMaxDepth = 256;

  /// How dates are read.
  DateDecodingStrategy dateDecodingStrategy;
  /// Values handed to every decode call (adapters, reference storage).
  CodingUserInfo userInfo;

  /// Parses `json` and decodes its root value as a T; throws DecodingError
  /// (dataCorrupted for text that is not JSON).
  template <DecodableType T>
  T decode(std::string_view json) const {
    std::optional<T> out;
    decode(json, [&](Decoder& d) { out.emplace(d.decode<T>()); });
    return std::move(*out);
  }

  /// Parses `json` and calls `fn` with a decoder for its root value.
  void decode(std::string_view json, DecodeFn fn) const;

  ///@{
  /// Text given as a C string or std::string is text, also where a
  /// Boost.JSON value could be made from it.
  template <DecodableType T>
  T decode(const char* json) const {
    return decode<T>(std::string_view(json));
  }
  template <DecodableType T>
  T decode(const std::string& json) const {
    return decode<T>(std::string_view(json));
  }
  void decode(const char* json, DecodeFn fn) const { decode(std::string_view(json), fn); }
  void decode(const std::string& json, DecodeFn fn) const { decode(std::string_view(json), fn); }
  ///@}

  /// Decodes from a document already parsed with Boost.JSON (include
  /// <boost/json.hpp> to call it). Nesting beyond kMaxDepth is rejected.
  void decode(const boost::json::value& document, DecodeFn fn) const;
  /// Decodes a parsed document's root value as a T.
  template <DecodableType T>
  T decode(const boost::json::value& document) const {
    std::optional<T> out;
    decode(document, [&](Decoder& d) { out.emplace(d.decode<T>()); });
    return std::move(*out);
  }
};

}  // namespace quarn
