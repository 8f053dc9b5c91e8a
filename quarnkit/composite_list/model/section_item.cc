#include "quarnkit/composite_list/model/section_item.h"

#include <fmt/format.h>

#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/hash.h"

namespace quarn {

CompositeListSectionItemBase::CompositeListSectionItemBase() = default;

CompositeListSectionItemBase::CompositeListSectionItemBase(
    std::string uniqueId, CompositeListItemType type,
    std::optional<std::vector<std::int64_t>> entityIds, std::optional<CompositeListItemData> data) {
  ownFields_.uniqueId = std::move(uniqueId);
  ownFields_.type = std::move(type);
  ownFields_.entityIds = std::move(entityIds);
  ownFields_.data = std::move(data);
}

std::shared_ptr<const CompositeListItemFields> CompositeListSectionItemBase::snapshotFields()
    const {
  if (fields_ != &ownFields_) return heldFields_;
  // Shared with the record's ownership: the block lives as long as the record.
  if (auto self = weak_from_this().lock()) {
    ownFieldsShared_.store(true, std::memory_order_relaxed);
    return {std::move(self), &ownFields_};
  }
  // A record no shared_ptr owns (yet): a copy of the fields.
  return std::make_shared<const CompositeListItemFields>(ownFields_);
}

std::shared_ptr<const CompositeListItemFields> CompositeListSectionItemBase::fieldsHandle() const {
  if (fields_ != &ownFields_) return heldFields_;
  ownFieldsShared_.store(true, std::memory_order_relaxed);
  return {std::shared_ptr<const void>(), &ownFields_};
}

CompositeListItemFields& CompositeListSectionItemBase::mutableFields() {
  if (fields_ == &ownFields_) {
    if (!ownFieldsShared_.load(std::memory_order_relaxed)) return ownFields_;
  } else if (heldFields_.use_count() == 1) {
    return const_cast<CompositeListItemFields&>(*heldFields_);
  }
  auto copy = std::make_shared<CompositeListItemFields>(*fields_);
  fields_ = copy.get();
  heldFields_ = std::move(copy);
  return const_cast<CompositeListItemFields&>(*heldFields_);
}

void CompositeListSectionItemBase::readMember(CompositeListItemFields& f, std::string_view key,
                                              Decoder& value, SeenMembers& seen) {
  if (key == "type") {
    f.type = CompositeListItemType(value.decode<std::string>());
    seen.type = true;
  } else if (key == "uniqueId") {
    try {
      f.uniqueId = value.decode<std::string>();
      seen.uniqueId = true;
    } catch (const DecodingError&) {
      // a uniqueId of another type counts as absent
    }
  } else if (key == "entityIds") {
    f.entityIds = value.decode<std::vector<std::int64_t>>();
  } else if (key == "entityId") {
    seen.entityId = true;  // read only when there is no "entityIds"
  } else if (key == "visibility") {
    f.visibility = CompositeListItemVisibility(value.decode<std::string>());
  } else if (key == "start") {
    f.startDate = value.decode<Date>();
  } else if (key == "expiry") {
    f.expiryDate = value.decode<Date>();
  } else if (key == "predicate") {
    f.predicate = value.decode<std::string>();
  } else if (key == "vars") {
    f.vars = value.decode<Value>();
  } else if (key == "data") {
    f.data = value.decode<CompositeListItemData>();
  } else if (key == "filters") {
    auto filters = value.decode<Value>();
    if (auto* object = filters.ifObject()) f.filters = std::move(*object);
  } else if (key == "items") {
    f.items = value.decode<CompositeListItemDecoder>().items;
    seen.items = true;
  } else if (key == "fetchMode") {
    f.fetchMode = value.decode<CompositeListFetchMode>();
  }
}

void CompositeListSectionItemBase::finishMembers(CompositeListItemFields& f,
                                                 KeyedDecodingContainer& c, const Decoder& d,
                                                 const SeenMembers& seen) {
  if (!seen.type) f.type = CompositeListItemType(c.decode<std::string>("type"));  // reports it
  if (!seen.uniqueId) {
    // The item's position in its array, from the last key of the coding path.
    f.uniqueId = f.type.rawValue + "_" + std::to_string(d.lastCodingIndex().value_or(0));
  }
  if (!f.entityIds && seen.entityId) {
    if (auto id = c.decodeIfPresent<std::int64_t>("entityId")) {
      f.entityIds = std::vector<std::int64_t>{*id};
    }
  }
  // A null "items" is an error, as it is for any list of items.
  if (!seen.items && c.contains("items"))
    f.items = c.decode<CompositeListItemDecoder>("items").items;
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
