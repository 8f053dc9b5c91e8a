#include "quarnkit/composite_list/model/item_data.h"

#include "quarnkit/coding/json_schema.h"

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

Value CompositeListItemData::jsonSchema() {
  namespace s = json_schema;
  return s::object(
      "Item data", "Presentation data of the item. Unknown members are ignored.",
      {{"title", s::string("The item's title; ${...} placeholders are filled from the facts and "
                           "the item's vars.")},
       {"description", s::string("The item's subtitle; ${...} placeholders are filled.")},
       {"layoutSize",
        s::describe(s::string("How large the host lays the item out: default, compact, normal, "
                              "large, dynamic, auto, or a name of the host's own."),
                    "How large the host lays the item out: default, compact, normal, large, "
                    "dynamic, auto, or a name of the host's own.")},
       {"maxItems", s::integer64("The most entities the item shows: sent as the request's "
                                 "\"limit\", and the cut after a random selection.")},
       {"random", s::boolean("Shuffle the inline list entity when the template is decoded (then "
                             "keep the first maxItems).")},
       {"headerAction", s::string("\"default\", \"none\" (no action), or a URL the header opens.")},
       {"footerMode", s::string("\"none\" (no footer), \"expand\", or anything else for the "
                                "default footer.")},
       {"footerText", s::string("The footer's text; ${...} placeholders are filled.")},
       {"isVertical", s::boolean("Lay the entities out vertically.")},
       {"style", s::string("A style name for the host.")},
       {"viewMore", s::boolean("Offer a \"view more\" action.")},
       {"others", s::anyObject("Free-form extras for the host.")}},
      {.deviceVariants = true});
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
