/// @file
/// The JSON shapes of media times and ranges (platform/media/media_time.h):
///
/// ```
///   {"value": 3, "timescale": 2, "flags": 1, "epoch": 0}
///   {"start": {...}, "duration": {...}}
/// ```
///
/// Every member is required, and each number must fit its width (value and
/// epoch 64-bit signed, timescale 32-bit signed, flags 32-bit unsigned); the
/// decoder's errors say which member failed. A time is read as written: one
/// marked valid with a timescale of 0 or below decodes, and the media-time
/// operations treat it as invalid.
#pragma once

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/platform/media/media_time.h"

namespace quarn {

/// Decodes a media time from its record (see the file's description).
template <>
struct Decodable<platform::MediaTime> {
  /// The time the decoder's record describes; throws DecodingError.
  static platform::MediaTime decode(Decoder& d);
};
/// Encodes a media time as its record.
template <>
struct Encodable<platform::MediaTime> {
  /// Writes the time's record.
  static void encode(const platform::MediaTime& time, Encoder& e);
};
/// Decodes a media time range from its record.
template <>
struct Decodable<platform::MediaTimeRange> {
  /// The range the decoder's record describes; throws DecodingError.
  static platform::MediaTimeRange decode(Decoder& d);
};
/// Encodes a media time range as its record.
template <>
struct Encodable<platform::MediaTimeRange> {
  /// Writes the range's record.
  static void encode(const platform::MediaTimeRange& range, Encoder& e);
};

}  // namespace quarn
