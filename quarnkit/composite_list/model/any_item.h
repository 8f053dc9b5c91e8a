/// @file
/// AnyCompositeListItem: the type-erased item record passed between all composite-list stages: a
/// snapshot of a record's fields taken when it was wrapped, plus the record itself.

/// @class quarn::AnyCompositeListItem
/// The type-erased item record passed between all
/// composite-list stages: a snapshot of a record's fields taken when it was
/// wrapped, plus the record itself. A value handle: copies share the record
/// (a shared object, see section_item.h) and nothing else.
///
/// Equality and hashing are the record's alone (two snapshots of one record
/// are equal). update() changes the shared record, not the snapshot. The
/// snapshot is an immutable field block shared with the record (and between
/// copies) until one side changes a field, which then copies the block.
///
/// ```
///   AnyCompositeListItem item(record);                 // from any CompositeListItem
///   auto rows = item.getEntityArray<CompositeListRow>();   // a copy
///   auto view = item.entities<CompositeListRow>();         // the record's own, no copy
///   auto banner = item.base<Banner>();                 // the CompositeListSectionItem<Banner>
/// ```
#pragma once

#include <any>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "quarnkit/composite_list/model/item.h"

namespace quarn {

template <class Entity>
class CompositeListSectionItem;

class AnyCompositeListItem {
 public:
  /// Wraps a record, copying its fields as they are now.
  explicit AnyCompositeListItem(std::shared_ptr<CompositeListItem> record);

  [[nodiscard]] const std::string& uniqueId() const;
  [[nodiscard]] const CompositeListItemType& type() const;
  [[nodiscard]] const std::optional<std::vector<std::int64_t>>& entityIds() const;
  [[nodiscard]] const std::optional<Date>& startDate() const;
  [[nodiscard]] const std::optional<Date>& expiryDate() const;
  [[nodiscard]] const std::optional<CompositeListItemVisibility>& visibility() const;
  [[nodiscard]] const std::optional<std::string>& predicate() const;
  [[nodiscard]] const std::optional<CompositeListItemData>& data() const;
  [[nodiscard]] const std::optional<ValueObject>& filters() const;
  [[nodiscard]] const std::optional<std::vector<AnyCompositeListItem>>& items() const;
  [[nodiscard]] const std::optional<Value>& vars() const;
  [[nodiscard]] const std::any& userData() const;
  [[nodiscard]] bool skipFetching() const;
  [[nodiscard]] CompositeListFetchMode fetchMode() const;

  void setData(std::optional<CompositeListItemData> data);
  void setSkipFetching(bool skip);
  void setFetchMode(CompositeListFetchMode mode);

  /// The snapshot's field block.
  [[nodiscard]] const CompositeListItemFields& fields() const { return *snapshot_; }

  /// The wrapped record.
  [[nodiscard]] const std::shared_ptr<CompositeListItem>& base() const { return record_; }
  /// The wrapped record when it is a CompositeListSectionItem<T>.
  template <class T>
  [[nodiscard]] std::shared_ptr<CompositeListSectionItem<T>> base() const {
    return std::dynamic_pointer_cast<CompositeListSectionItem<T>>(record_);
  }
  /// The record's entity as a list of T: its list when the record holds a
  /// list of T, its single T as a one-element list, else nothing.
  template <class T>
  [[nodiscard]] std::optional<std::vector<T>> getEntityArray() const {
    // Casts of the plain pointer: no reference count changes hands.
    if (const auto* list =
            dynamic_cast<const CompositeListSectionItem<std::vector<T>>*>(record_.get())) {
      return list->entity();
    }
    if (const auto* single = dynamic_cast<const CompositeListSectionItem<T>*>(record_.get())) {
      if (single->entity()) return std::vector<T>{*single->entity()};
    }
    return std::nullopt;
  }
  /// The same entities as getEntityArray<T>(), viewed in the record without
  /// copying them: for hosts that only read them (to make rows, say). The
  /// view is valid while the record and its entity are unchanged.
  template <class T>
  [[nodiscard]] std::optional<std::span<const T>> entities() const {
    if (const auto* list =
            dynamic_cast<const CompositeListSectionItem<std::vector<T>>*>(record_.get())) {
      if (const auto& entity = list->entity()) return std::span<const T>(*entity);
      return std::nullopt;
    }
    if (const auto* single = dynamic_cast<const CompositeListSectionItem<T>*>(record_.get())) {
      if (const auto& entity = single->entity()) return std::span<const T>(&*entity, 1);
    }
    return std::nullopt;
  }

  /// The wrapped record with its texts filled from `values` (its
  /// templateText()), wrapped anew.
  [[nodiscard]] AnyCompositeListItem templateText(const ValueDictionary& values) const;

  /// Applies a result to the wrapped record.
  void updateEntity(const CompositeListResult::Item& result, CompositeListContext& context) const {
    record_->update(result, context);
  }

  friend bool operator==(const AnyCompositeListItem& a, const AnyCompositeListItem& b) {
    return a.record_ == b.record_ || a.record_->isEqual(*b.record_);
  }
  [[nodiscard]] std::size_t hash() const { return record_->hashValue(); }

 private:
  CompositeListItemFields& mutableSnapshot();

  std::shared_ptr<CompositeListItem> record_;
  std::shared_ptr<const CompositeListItemFields> snapshot_;
};

/// The fields of an item record, as one copyable block.
struct CompositeListItemFields {
  std::string uniqueId;
  CompositeListItemType type;
  std::optional<std::vector<std::int64_t>> entityIds;
  std::optional<Date> startDate;
  std::optional<Date> expiryDate;
  std::optional<CompositeListItemVisibility> visibility;
  std::optional<std::string> predicate;
  std::optional<CompositeListItemData> data;
  std::optional<ValueObject> filters;
  std::optional<std::vector<AnyCompositeListItem>> items;
  std::optional<Value> vars;
  std::any userData;
  bool skipFetching = false;
  CompositeListFetchMode fetchMode = CompositeListFetchMode::automatic;
};

inline const std::string& AnyCompositeListItem::uniqueId() const { return snapshot_->uniqueId; }
inline const CompositeListItemType& AnyCompositeListItem::type() const { return snapshot_->type; }
inline const std::optional<std::vector<std::int64_t>>& AnyCompositeListItem::entityIds() const {
  return snapshot_->entityIds;
}
inline const std::optional<Date>& AnyCompositeListItem::startDate() const {
  return snapshot_->startDate;
}
inline const std::optional<Date>& AnyCompositeListItem::expiryDate() const {
  return snapshot_->expiryDate;
}
inline const std::optional<CompositeListItemVisibility>& AnyCompositeListItem::visibility() const {
  return snapshot_->visibility;
}
inline const std::optional<std::string>& AnyCompositeListItem::predicate() const {
  return snapshot_->predicate;
}
inline const std::optional<CompositeListItemData>& AnyCompositeListItem::data() const {
  return snapshot_->data;
}
inline const std::optional<ValueObject>& AnyCompositeListItem::filters() const {
  return snapshot_->filters;
}
inline const std::optional<std::vector<AnyCompositeListItem>>& AnyCompositeListItem::items() const {
  return snapshot_->items;
}
inline const std::optional<Value>& AnyCompositeListItem::vars() const { return snapshot_->vars; }
inline const std::any& AnyCompositeListItem::userData() const { return snapshot_->userData; }
inline bool AnyCompositeListItem::skipFetching() const { return snapshot_->skipFetching; }
inline CompositeListFetchMode AnyCompositeListItem::fetchMode() const {
  return snapshot_->fetchMode;
}

}  // namespace quarn

template <>
struct std::hash<quarn::AnyCompositeListItem> {
  std::size_t operator()(const quarn::AnyCompositeListItem& i) const noexcept { return i.hash(); }
};
