#include "quarnkit/composite_list/model/request_parameters.h"

namespace quarn {

CompositeListRequestParameters::Item CompositeListRequestParameters::Item::withFilterDictionary(
    std::string key, CompositeListItemType type, std::optional<std::int64_t> id,
    std::optional<ValueDictionary> filters, std::optional<std::vector<Item>> items) {
  std::optional<Value> value;
  if (filters && !filters->empty()) value = Value(std::move(*filters));
  return Item(std::move(key), std::move(type), id, std::move(value), std::move(items));
}

void CompositeListRequestParameters::Item::encode(Encoder& e) const {
  auto c = e.container();
  c->encode(key, "key");
  c->encode(type, "type");
  c->encodeIfPresent(id, "id");
  c->encodeIfPresent(filters, "filters");
  c->encodeIfPresent(items, "items");
}

}  // namespace quarn
