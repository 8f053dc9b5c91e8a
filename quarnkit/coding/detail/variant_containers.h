// The JSON decoder's own device-variant containers, for the device-variant
// decoder (platform_decoder.h): over a JSON decoder, one container resolves
// the whole stack of layers instead of a wrapper per layer, with the same
// results. Internal to the coding library.
#pragma once

#include <memory>
#include <string_view>

#include "quarnkit/coding/decoder.h"

namespace quarn::detail {

/// The JSON decoders of both document back-ends, as the device-variant
/// decoder sees them.
class JSONDecoderBase : public Decoder {
 public:
  /// This decoder's keyed container with a further layer on top of the
  /// layers it already resolves.
  virtual std::unique_ptr<KeyedDecodingContainer> layeredContainer(std::string_view separator,
                                                                   std::string_view suffix,
                                                                   bool recursive) = 0;
  /// This decoder's unkeyed container with a further recursive layer.
  virtual std::unique_ptr<UnkeyedDecodingContainer> layeredUnkeyedContainer(
      std::string_view separator, std::string_view suffix) = 0;
};

/// The container of the JSON decoder under `base` (seen through reopened
/// decoders) with the layer added; nothing when `base` is not a JSON decoder.
std::unique_ptr<KeyedDecodingContainer> variantKeyedContainer(Decoder& base,
                                                              std::string_view separator,
                                                              std::string_view suffix,
                                                              bool recursive);
std::unique_ptr<UnkeyedDecodingContainer> variantUnkeyedContainer(Decoder& base,
                                                                  std::string_view separator,
                                                                  std::string_view suffix);

}  // namespace quarn::detail
