/// @file
/// CompositeListFetchMode: whether an item may obtain its entities by itself
/// (automatic, individual) or only through the combined request (compose,
/// skip, one). In JSON it is one of the raw strings; any other string fails.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"

namespace quarn {

enum class CompositeListFetchMode { automatic, compose, individual, skip, one };

/// "automatic", "compose", "individual", "skip", "one".
std::string_view rawValue(CompositeListFetchMode mode);
std::optional<CompositeListFetchMode> compositeListFetchModeFromRawValue(std::string_view raw);

template <>
struct Decodable<CompositeListFetchMode> {
  /// A string that is not one of the raw values is dataCorrupted.
  static CompositeListFetchMode decode(Decoder& d);
};

template <>
struct Encodable<CompositeListFetchMode> {
  static void encode(CompositeListFetchMode mode, Encoder& e);
};

}  // namespace quarn
