#include "quarnkit/composite_list/model/section_item.h"

#include <fmt/format.h>

#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/hash.h"

namespace quarn {

CompositeListSectionItemBase::CompositeListSectionItemBase() = default;

CompositeListSectionItemBase::CompositeListSectionItemBase(
    std::string uniqueId, CompositeListItemType type,
    std::optional<std::vector<std::int64_t>> entityIds, std::optional<CompositeListItemData> data)
    : uniqueId_(std::move(uniqueId)),
      type_(std::move(type)),
      entityIds_(std::move(entityIds)),
      data_(std::move(data)) {}

void CompositeListSectionItemBase::readHead(KeyedDecodingContainer& c, const Decoder& d) {
  std::optional<std::string> uniqueId;
  try {
    uniqueId = c.decodeIfPresent<std::string>("uniqueId");
  } catch (const DecodingError&) {
    uniqueId.reset();  // a uniqueId of another type counts as absent
  }
  type_ = c.decode<CompositeListItemType>("type");
  if (uniqueId) {
    uniqueId_ = std::move(*uniqueId);
  } else {
    // The item's position in its array, from the last key of the coding path.
    const CodingPath path = d.codingPath();
    const int index = path.empty() ? 0 : path.back().intValue().value_or(0);
    uniqueId_ = fmt::format("{}_{}", type_.rawValue, index);
  }
  entityIds_ = c.decodeIfPresent<std::vector<std::int64_t>>("entityIds");
  if (!entityIds_) {
    if (auto id = c.decodeIfPresent<std::int64_t>("entityId")) {
      entityIds_ = std::vector<std::int64_t>{*id};
    }
  }
  visibility_ = c.decodeIfPresent<CompositeListItemVisibility>("visibility");
  startDate_ = c.decodeIfPresent<Date>("start");
  expiryDate_ = c.decodeIfPresent<Date>("expiry");
  predicate_ = c.decodeIfPresent<std::string>("predicate");
  vars_ = c.decodeIfPresent<Value>("vars");
}

void CompositeListSectionItemBase::readTail(KeyedDecodingContainer& c) {
  data_ = c.decodeIfPresent<CompositeListItemData>("data");
  if (auto filters = c.decodeIfPresent<Value>("filters")) {
    if (auto* object = filters->ifObject()) filters_ = std::move(*object);
  }
  if (c.contains("items")) items_ = c.decode<CompositeListItemDecoder>("items").items;
  fetchMode_ = c.decodeIfPresent<CompositeListFetchMode>("fetchMode")
                   .value_or(CompositeListFetchMode::automatic);
}

std::string CompositeListSectionItemBase::description() const {
  return fmt::format("{}(uniqueId: \"{}\", type: \"{}\")", recordTypeName(), uniqueId_,
                     type_.rawValue);
}

bool CompositeListSectionItemBase::isEqual(const CompositeListItem& other) const {
  return typeid(*this) == typeid(other) && uniqueId_ == other.uniqueId() && type_ == other.type();
}

std::size_t CompositeListSectionItemBase::hashValue() const {
  std::size_t h = std::hash<std::string>()(uniqueId_);
  hashCombine(h, std::hash<std::string>()(type_.rawValue));
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
