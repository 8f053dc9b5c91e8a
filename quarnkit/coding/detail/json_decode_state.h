// What the decoders and containers of one JSON decode share: the decoder's
// options and the device-variant layers in use. Internal to the JSON decoder.
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace quarn {
class JSONDecoder;
}

namespace quarn::detail {

// A device-variant layer (see platform_decoder.h) over the layers of the
// decoder it was opened on. A name resolves through the outermost layer
// first: its variant, as the layers under it resolve that, before itself.
struct VariantLayer {
  std::string separator;
  std::string suffix;
  bool recursive;
  const VariantLayer* inner;
  // The layers nested values are read with: the recursive ones of this stack.
  const VariantLayer* forChildren = nullptr;
};

struct DecodeState {
  const JSONDecoder* options;
  // Variant layers in use during this decode; they live as long as the
  // decode call, like every decoder and container of it.
  mutable std::deque<VariantLayer> layers;

  /// The stack of `inner` (all recursive layers, or none) with a further
  /// layer on top. A layer already in force is not added again: it could
  /// only prefer doubled tails, and a recursive record that opens its own
  /// layer would otherwise add one per level.
  const VariantLayer* layer(std::string_view separator, std::string_view suffix, bool recursive,
                            const VariantLayer* inner) const;
};

}  // namespace quarn::detail
