#include "quarnkit/composite_list/model/section_item.h"

#include <fmt/format.h>

#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/hash.h"

namespace quarn {

CompositeListSectionItemBase::CompositeListSectionItemBase()
    : fields_(std::make_shared<CompositeListItemFields>()) {}

CompositeListSectionItemBase::CompositeListSectionItemBase(
    std::string uniqueId, CompositeListItemType type,
    std::optional<std::vector<std::int64_t>> entityIds, std::optional<CompositeListItemData> data) {
  auto f = std::make_shared<CompositeListItemFields>();
  f->uniqueId = std::move(uniqueId);
  f->type = std::move(type);
  f->entityIds = std::move(entityIds);
  f->data = std::move(data);
  fields_ = std::move(f);
}

CompositeListItemFields& CompositeListSectionItemBase::mutableFields() {
  if (fields_.use_count() > 1) fields_ = std::make_shared<CompositeListItemFields>(*fields_);
  return const_cast<CompositeListItemFields&>(*fields_);
}

void CompositeListSectionItemBase::readHead(CompositeListItemFields& f, KeyedDecodingContainer& c,
                                            const Decoder& d) {
  std::optional<std::string> uniqueId;
  try {
    uniqueId = c.decodeIfPresent<std::string>("uniqueId");
  } catch (const DecodingError&) {
    uniqueId.reset();  // a uniqueId of another type counts as absent
  }
  f.type = CompositeListItemType(c.decode<std::string>("type"));
  if (uniqueId) {
    f.uniqueId = std::move(*uniqueId);
  } else {
    // The item's position in its array, from the last key of the coding path.
    f.uniqueId = f.type.rawValue + "_" + std::to_string(d.lastCodingIndex().value_or(0));
  }
  f.entityIds = c.decodeIfPresent<std::vector<std::int64_t>>("entityIds");
  if (!f.entityIds) {
    if (auto id = c.decodeIfPresent<std::int64_t>("entityId")) {
      f.entityIds = std::vector<std::int64_t>{*id};
    }
  }
  if (auto visibility = c.decodeIfPresent<std::string>("visibility")) {
    f.visibility = CompositeListItemVisibility(std::move(*visibility));
  }
  f.startDate = c.decodeIfPresent<Date>("start");
  f.expiryDate = c.decodeIfPresent<Date>("expiry");
  f.predicate = c.decodeIfPresent<std::string>("predicate");
  f.vars = c.decodeIfPresent<Value>("vars");
}

void CompositeListSectionItemBase::readTail(CompositeListItemFields& f, KeyedDecodingContainer& c) {
  f.data = c.decodeIfPresent<CompositeListItemData>("data");
  if (auto filters = c.decodeIfPresent<Value>("filters")) {
    if (auto* object = filters->ifObject()) f.filters = std::move(*object);
  }
  if (c.contains("items")) f.items = c.decode<CompositeListItemDecoder>("items").items;
  f.fetchMode = c.decodeIfPresent<CompositeListFetchMode>("fetchMode")
                    .value_or(CompositeListFetchMode::automatic);
}

std::string CompositeListSectionItemBase::description() const {
  return fmt::format("{}(uniqueId: \"{}\", type: \"{}\")", recordTypeName(), uniqueId(),
                     type().rawValue);
}

bool CompositeListSectionItemBase::isEqual(const CompositeListItem& other) const {
  return typeid(*this) == typeid(other) && uniqueId() == other.uniqueId() && type() == other.type();
}

std::size_t CompositeListSectionItemBase::hashValue() const {
  std::size_t h = std::hash<std::string>()(uniqueId());
  hashCombine(h, std::hash<std::string>()(type().rawValue));
  return h;
}

void CompositeListSectionItemBase::logEntityMismatch(const std::string& receivedType) const {
  defaultLogger().error(
      "[CompositeListSectionItem] Not match entity type {} for section update: '{}'", receivedType,
      description());
}

CompositeListContext* detail::contextFromSettings(const Decoder& d) {
  const auto* context =
      d.userInfo().get<std::shared_ptr<CompositeListContext>>(kCompositeListContextKey);
  return context ? context->get() : nullptr;
}

}  // namespace quarn
