#include "quarnkit/composite_list/model/row.h"

#include "quarnkit/composite_list/model/template_schema.h"
#include "quarnkit/core/hash.h"

namespace quarn {

Value CompositeListRow::jsonSchema() {
  namespace s = json_schema;
  std::vector<s::Member> members = {
      {"id", s::string("The row's identifier.")},
      {"text", s::string("The row's text; ${...} placeholders are filled."), true},
      {"details", s::string("A second line; ${...} placeholders are filled.")},
      {"imageUrl", s::url("The image shown beside the row.")},
      {"actionLink", s::url("The URL the row opens.")}};
  for (auto& m : compositeListElementMembers()) members.push_back(std::move(m));
  return s::object("Row",
                   "One line of text with optional details, image and link; shown or hidden "
                   "like an item.",
                   members, {.deviceVariants = true});
}

CompositeListRow CompositeListRow::decode(Decoder& d) {
  auto c = d.container();
  CompositeListRow r;
  bool hasText = false;
  c->forEachMember([&](std::string_view key, Decoder& v) {
    if (key == "text") {
      r.text = v.decode<std::string>();
      hasText = true;
    } else if (key == "id") {
      r.id = v.decode<std::string>();
    } else if (key == "details") {
      r.details = v.decode<std::string>();
    } else if (key == "imageUrl") {
      r.imageUrl = v.decode<URL>();
    } else if (key == "actionLink") {
      r.actionLink = v.decode<URL>();
    } else if (key == "visibility") {
      r.visibility = v.decode<CompositeListItemVisibility>();
    } else if (key == "start") {
      r.startDate = v.decode<Date>();
    } else if (key == "expiry") {
      r.expiryDate = v.decode<Date>();
    } else if (key == "predicate") {
      r.predicate = v.decode<std::string>();
    } else if (key == "vars") {
      r.vars = v.decode<Value>();
    }
  });
  if (!hasText) r.text = c->decode<std::string>("text");  // missing or null: reported as such
  return r;
}

void CompositeListRow::encode(Encoder& e) const {
  auto c = e.container();
  c->encodeIfPresent(id, "id");
  c->encode(text, "text");
  c->encodeIfPresent(details, "details");
  c->encodeIfPresent(imageUrl, "imageUrl");
  c->encodeIfPresent(actionLink, "actionLink");
  c->encodeIfPresent(visibility, "visibility");
  c->encodeIfPresent(startDate, "start");
  c->encodeIfPresent(expiryDate, "expiry");
  c->encodeIfPresent(predicate, "predicate");
  c->encodeIfPresent(vars, "vars");
}

std::size_t CompositeListRow::hash() const {
  std::size_t h = 0;
  auto opt = [&](const auto& o) {
    if (o) {
      hashValue(h, *o);
    } else {
      hashCombine(h, 0);
    }
  };
  opt(id);
  hashValue(h, text);
  opt(details);
  opt(imageUrl);
  opt(actionLink);
  opt(visibility);
  hashCombine(h, startDate ? std::hash<double>()(startDate->timeIntervalSince1970()) : 0);
  hashCombine(h, expiryDate ? std::hash<double>()(expiryDate->timeIntervalSince1970()) : 0);
  opt(predicate);
  hashCombine(h, vars ? vars->hash() : 0);
  return h;
}

}  // namespace quarn
