#include "quarnkit/composite_list/model/row.h"

#include "quarnkit/core/hash.h"

namespace quarn {

CompositeListRow CompositeListRow::decode(Decoder& d) {
  auto c = d.container();
  CompositeListRow r;
  r.id = c->decodeIfPresent<std::string>("id");
  r.text = c->decode<std::string>("text");
  r.details = c->decodeIfPresent<std::string>("details");
  r.imageUrl = c->decodeIfPresent<URL>("imageUrl");
  r.actionLink = c->decodeIfPresent<URL>("actionLink");
  r.visibility = c->decodeIfPresent<CompositeListItemVisibility>("visibility");
  r.startDate = c->decodeIfPresent<Date>("start");
  r.expiryDate = c->decodeIfPresent<Date>("expiry");
  r.predicate = c->decodeIfPresent<std::string>("predicate");
  r.vars = c->decodeIfPresent<Value>("vars");
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
