#include "quarnkit/coding/json_decoder.h"

#include <string>

#include "quarnkit/coding/detail/json_decode_state.h"
#include "quarnkit/coding/detail/json_readers.h"
#include "quarnkit/coding/detail/variant_containers.h"

namespace quarn {

void JSONDecoder::decode(std::string_view text, DecodeFn fn) const {
  // Text the tokenizer takes is decoded from its tape. Anything else goes
  // through the full parser, which reports the error or builds the document.
  if (detail::decodeFromTape(*this, text, fn)) return;
  detail::decodeParsedText(*this, text, fn);
}

void JSONDecoder::decode(const boost::json::value& document, DecodeFn fn) const {
  detail::decodeDocument(*this, document, fn);
}

namespace detail {

const VariantLayer* DecodeState::layer(std::string_view separator, std::string_view suffix,
                                       bool recursive, const VariantLayer* inner) const {
  for (const VariantLayer* l = inner; l != nullptr; l = l->inner) {
    if (l->separator == separator && l->suffix == suffix) return inner;
  }
  for (const auto& l : layers) {
    if (l.separator == separator && l.suffix == suffix && l.recursive == recursive &&
        l.inner == inner) {
      return &l;
    }
  }
  VariantLayer& l = layers.emplace_back(
      VariantLayer{std::string(separator), std::string(suffix), recursive, inner});
  const VariantLayer* innerForChildren = inner != nullptr ? inner->forChildren : nullptr;
  if (!recursive) {
    l.forChildren = innerForChildren;
  } else if (innerForChildren == inner) {
    l.forChildren = &l;
  } else {
    l.forChildren = layer(separator, suffix, true, innerForChildren);
  }
  return &l;
}

namespace {
// The JSON decoder under `base`, seen through reopened decoders; nothing when
// there is none.
JSONDecoderBase* jsonDecoderUnder(Decoder& base) {
  if (auto* json = dynamic_cast<JSONDecoderBase*>(&base)) return json;
  if (auto* reopened = dynamic_cast<ReopenedDecoder*>(&base))
    return jsonDecoderUnder(reopened->base());
  return nullptr;
}
}  // namespace

std::unique_ptr<KeyedDecodingContainer> variantKeyedContainer(Decoder& base,
                                                              std::string_view separator,
                                                              std::string_view suffix,
                                                              bool recursive) {
  JSONDecoderBase* json = jsonDecoderUnder(base);
  return json != nullptr ? json->layeredContainer(separator, suffix, recursive) : nullptr;
}

std::unique_ptr<UnkeyedDecodingContainer> variantUnkeyedContainer(Decoder& base,
                                                                  std::string_view separator,
                                                                  std::string_view suffix) {
  JSONDecoderBase* json = jsonDecoderUnder(base);
  return json != nullptr ? json->layeredUnkeyedContainer(separator, suffix) : nullptr;
}

}  // namespace detail
}  // namespace quarn
