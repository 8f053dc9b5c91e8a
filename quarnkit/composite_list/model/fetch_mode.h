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

/// How an item obtains its entities (see the file's description).
enum class CompositeListFetchMode { automatic, compose, individual, skip, one };

/// "automatic", "compose", "individual", "skip", "one".
std::string_view rawValue(CompositeListFetchMode mode);
/// The mode whose raw value is `raw`, or nothing.
std::optional<CompositeListFetchMode> compositeListFetchModeFromRawValue(std::string_view raw);

/// Decodes a fetch mode from its raw value.
template <>
struct Decodable<CompositeListFetchMode> {
  /// A string that is not one of the raw values is dataCorrupted.
  static CompositeListFetchMode decode(Decoder& d);
};

/// Encodes a fetch mode as its raw value.
template <>
struct Encodable<CompositeListFetchMode> {
  /// Writes the mode's raw value.
  static void encode(CompositeListFetchMode mode, Encoder& e);
};

}  // namespace quarn
