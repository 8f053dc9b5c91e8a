#include "quarnkit/coding/detail/json_decode_state.h"

namespace quarn::detail {

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

}  // namespace quarn::detail
