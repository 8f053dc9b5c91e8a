#include "quarnkit/composite_list/model/item_data.h"

namespace quarn {

CompositeListItemData::Action CompositeListItemData::Action::decode(Decoder& d) {
  const auto text = d.decode<std::string>();
  if (text == "default") return default_();
  if (text == "none") return disabled();
  if (auto url = URL::parse(text)) return link(std::move(*url));
  return default_();
}

CompositeListItemData::FooterMode Decodable<CompositeListItemData::FooterMode>::decode(Decoder& d) {
  const auto text = d.decode<std::string>();
  if (text == "none") return CompositeListItemData::FooterMode::disabled;
  if (text == "expand") return CompositeListItemData::FooterMode::expand;
  return CompositeListItemData::FooterMode::default_;
}

CompositeListItemData CompositeListItemData::decode(Decoder& d) {
  auto c = d.container();
  CompositeListItemData data;
  data.title = c->decodeIfPresent<std::string>("title");
  data.description = c->decodeIfPresent<std::string>("description");
  data.layoutSize = c->decodeIfPresent<CompositeListItemLayoutSize>("layoutSize");
  data.maxItems = c->decodeIfPresent<std::int64_t>("maxItems");
  data.random = c->decodeIfPresent<bool>("random");
  data.headerAction = c->decodeIfPresent<Action>("headerAction");
  data.footerMode = c->decodeIfPresent<FooterMode>("footerMode");
  data.footerText = c->decodeIfPresent<std::string>("footerText");
  data.isVertical = c->decodeIfPresent<bool>("isVertical");
  data.style = c->decodeIfPresent<std::string>("style");
  data.viewMore = c->decodeIfPresent<bool>("viewMore");
  if (auto others = c->decodeIfPresent<Value>("others")) {
    auto* object = others->ifObject();
    if (object == nullptr) {
      throw DecodingError::typeMismatch(
          "Dictionary<String, Any>",
          {c->codingPath(), "Expected to decode Dictionary<String, Any> for \"others\"."});
    }
    data.others = std::move(*object);
  }
  return data;
}

void CompositeListItemData::encode(Encoder& e) const {
  if (headerAction || footerMode) {
    throw EncodingError::invalidValue(
        "CompositeListItemData",
        {e.codingPath(), "headerAction and footerMode have no encoded form."});
  }
  auto c = e.container();
  c->encodeIfPresent(title, "title");
  c->encodeIfPresent(description, "description");
  c->encodeIfPresent(layoutSize, "layoutSize");
  c->encodeIfPresent(maxItems, "maxItems");
  c->encodeIfPresent(random, "random");
  c->encodeIfPresent(footerText, "footerText");
  c->encodeIfPresent(isVertical, "isVertical");
  c->encodeIfPresent(style, "style");
  c->encodeIfPresent(viewMore, "viewMore");
  if (others) c->encode(Value(*others), "others");
}

}  // namespace quarn
