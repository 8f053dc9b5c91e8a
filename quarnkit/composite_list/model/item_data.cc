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
  c->forEachMember([&](std::string_view key, Decoder& v) {
    if (key == "title") {
      data.title = v.decode<std::string>();
    } else if (key == "description") {
      data.description = v.decode<std::string>();
    } else if (key == "layoutSize") {
      data.layoutSize = v.decode<CompositeListItemLayoutSize>();
    } else if (key == "maxItems") {
      data.maxItems = v.decode<std::int64_t>();
    } else if (key == "random") {
      data.random = v.decode<bool>();
    } else if (key == "headerAction") {
      data.headerAction = v.decode<Action>();
    } else if (key == "footerMode") {
      data.footerMode = v.decode<FooterMode>();
    } else if (key == "footerText") {
      data.footerText = v.decode<std::string>();
    } else if (key == "isVertical") {
      data.isVertical = v.decode<bool>();
    } else if (key == "style") {
      data.style = v.decode<std::string>();
    } else if (key == "viewMore") {
      data.viewMore = v.decode<bool>();
    } else if (key == "others") {
      auto value = v.decode<Value>();
      auto* object = value.ifObject();
      if (object == nullptr) {
        throw DecodingError::typeMismatch(
            "Dictionary<String, Any>",
            {c->codingPath(), "Expected to decode Dictionary<String, Any> for \"others\"."});
      }
      data.others = std::move(*object);
    }
  });
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
