#include "quarnkit/composite_list/model/result.h"

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"

namespace quarn {

namespace {
void logUnknownClass(const std::string& name) {
  defaultLogger().error(
      "[CompositeListResultItem] Could not find a matching type to decode the model with class "
      "'{}'",
      name);
}
}  // namespace

CompositeListResult::Item CompositeListResult::Item::decode(Decoder& d) {
  auto c = d.container();
  Item item;
  item.key = c->decode<std::string>("key");
  const CompositeListEntityClassMap* map = entityClassMap(d);
  if (map == nullptr) {
    fatalError(
        "[CompositeListResultItem] Need to provide userInfo[.compositeListEntityClassMap] for "
        "decoder");
  }
  std::unique_ptr<UnkeyedDecodingContainer> list;
  if (c->contains("result")) {
    try {
      list = c->nestedUnkeyedContainer("result");
    } catch (const DecodingError&) {
      list = nullptr;  // not an array: read as a single object below
    }
  }
  if (list) {
    item.results.reserve(static_cast<std::size_t>(list->count().value_or(0)));
    while (!list->isAtEnd()) {
      list->decodeNested([&](Decoder& element) {
        std::string unknown;
        if (auto entity = decodeEntityByClassName(element, *map, &unknown)) {
          item.results.push_back(std::move(*entity));
        } else {
          logUnknownClass(unknown);
        }
      });
    }
    return item;
  }
  try {
    c->decodeNestedIfPresent("result", [&](Decoder& element) {
      std::string unknown;
      if (auto entity = decodeEntityByClassName(element, *map, &unknown)) {
        item.results.push_back(std::move(*entity));
      } else {
        logUnknownClass(unknown);
      }
    });
  } catch (const std::exception&) {
    item.results.clear();
  }
  return item;
}

CompositeListResult decodeCompositeListResult(std::string_view json,
                                              const CompositeListEntityClassMap& classMap,
                                              JSONDecoder decoder) {
  decoder.userInfo.set(std::string(kCompositeListEntityClassMapKey),
                       std::make_shared<const CompositeListEntityClassMap>(classMap));
  return decoder.decode<CompositeListResult>(json);
}

}  // namespace quarn
