/// @file
/// JSONEncoder: encodes encodable types as JSON text.

/// @class quarn::JSONEncoder
/// Encodes encodable types as JSON text.
///
/// ```
///   quarn::JSONEncoder encoder;
///   encoder.outputFormatting.prettyPrinted = true;  // two-space indent, "key" : value
///   std::string body = encoder.encode(requestParameters);
/// ```
///
/// Object members are written in the order they were encoded unless
/// sortedKeys is set. Non-finite numbers fail with EncodingError.
///
/// A value, as JSONDecoder is: the encoder must outlive its encode calls, and
/// a custom date function may replace the strategy while it runs.
#pragma once

#include <optional>
#include <string>

#include "quarnkit/coding/date_strategy.h"
#include "quarnkit/coding/encoder.h"

namespace quarn {

/// How JSON text is laid out. A value.
struct JSONOutputFormatting {
  bool prettyPrinted = false;  ///< Indented, one member or element a line.
  bool sortedKeys = false;     ///< Members in the order of their keys.
};

class JSONEncoder {
 public:
  /// How the text is laid out.
  JSONOutputFormatting outputFormatting;
  /// How dates are written.
  DateEncodingStrategy dateEncodingStrategy;
  /// Values handed to every encode call (adapters).
  CodingUserInfo userInfo;

  /// `value` as JSON text; throws EncodingError.
  template <EncodableType T>
  std::string encode(const T& value) const {
    return encode([&](Encoder& e) { e.encode(value); });
  }

  /// Calls `fn` with the root encoder and returns the text it produced.
  std::string encode(EncodeFn fn) const;
};

}  // namespace quarn
