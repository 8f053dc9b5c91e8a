#include "quarnkit/composite_list/model/entity.h"

#include "quarnkit/core/error.h"

namespace quarn {

const CompositeListEntityClassMap* entityClassMap(const Decoder& d) {
  using Ptr = std::shared_ptr<const CompositeListEntityClassMap>;
  if (const auto* p = d.userInfo().get<Ptr>(kCompositeListEntityClassMapKey)) return p->get();
  if (const auto* p = d.userInfo().get<std::shared_ptr<CompositeListEntityClassMap>>(
          kCompositeListEntityClassMapKey)) {
    return p->get();
  }
  return d.userInfo().get<CompositeListEntityClassMap>(kCompositeListEntityClassMapKey);
}

std::optional<AnyEntity> decodeEntityByClassName(Decoder& d, const CompositeListEntityClassMap& map,
                                                 std::string* unknownClass) {
  auto object = d.container();
  const auto className = object->decode<std::string>("class");
  const auto it = map.find(className);
  if (it == map.end()) {
    if (unknownClass != nullptr) *unknownClass = className;
    return std::nullopt;
  }
  ReopenedDecoder entity(d, std::move(object));
  return it->second.decode(entity);
}

void detail::missingClassMapForEntity(const Decoder& d) {
  throw DecodingError::dataCorrupted(
      {d.codingPath(),
       "No compositeListEntityClassMap in the decoder settings to decode the entity."});
}

}  // namespace quarn
