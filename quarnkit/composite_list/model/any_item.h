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

  /// The item's identifier, unique in its template.
  [[nodiscard]] const std::string& uniqueId() const;
  /// The item type, which chooses the item's description.
  [[nodiscard]] const CompositeListItemType& type() const;
  /// The ids of the entities to ask for, when the template names them.
  [[nodiscard]] const std::optional<std::vector<std::int64_t>>& entityIds() const;
  /// Until this date the item is hidden.
  [[nodiscard]] const std::optional<Date>& startDate() const;
  /// From this date on the item is hidden.
  [[nodiscard]] const std::optional<Date>& expiryDate() const;
  /// The item's visibility class ("hidden", a premium class).
  [[nodiscard]] const std::optional<CompositeListItemVisibility>& visibility() const;
  /// The visibility predicate: the item shows only while it holds.
  [[nodiscard]] const std::optional<std::string>& predicate() const;
  /// How the item is shown: title, layout, header, footer.
  [[nodiscard]] const std::optional<CompositeListItemData>& data() const;
  /// The filters the item adds to its request.
  [[nodiscard]] const std::optional<ValueObject>& filters() const;
  /// The items nested in this one.
  [[nodiscard]] const std::optional<std::vector<AnyCompositeListItem>>& items() const;
  /// Values the predicate and the text templates read as variables.
  [[nodiscard]] const std::optional<Value>& vars() const;
  /// The host's own value; never set by decoding.
  [[nodiscard]] const std::any& userData() const;
  /// Whether the item is left out of the combined request.
  [[nodiscard]] bool skipFetching() const;
  /// How the item obtains its entities.
  [[nodiscard]] CompositeListFetchMode fetchMode() const;

  /// Sets the item's data in this wrapper's snapshot (the record keeps its own).
  void setData(std::optional<CompositeListItemData> data);
  /// Sets skipFetching in this wrapper's snapshot (the record keeps its own).
  void setSkipFetching(bool skip);
  /// Sets the fetch mode in this wrapper's snapshot (the record keeps its own).
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

  /// Equal when they wrap the same record or equal records.
  friend bool operator==(const AnyCompositeListItem& a, const AnyCompositeListItem& b) {
    return a.record_ == b.record_ || a.record_->isEqual(*b.record_);
  }
  /// The record's hash, agreeing with ==.
  [[nodiscard]] std::size_t hash() const { return record_->hashValue(); }

 private:
  CompositeListItemFields& mutableSnapshot();

  std::shared_ptr<CompositeListItem> record_;
  std::shared_ptr<const CompositeListItemFields> snapshot_;
};

/// The fields of an item record, as one copyable block.
struct CompositeListItemFields {
  /// The item's identifier, unique in its template.
  std::string uniqueId;
  /// The item type, which chooses the item's description.
  CompositeListItemType type;
  /// The ids of the entities to ask for, when the template names them.
  std::optional<std::vector<std::int64_t>> entityIds;
  /// Until this date the item is hidden.
  std::optional<Date> startDate;
  /// From this date on the item is hidden.
  std::optional<Date> expiryDate;
  /// The item's visibility class ("hidden", a premium class).
  std::optional<CompositeListItemVisibility> visibility;
  /// The visibility predicate: the item shows only while it holds.
  std::optional<std::string> predicate;
  /// How the item is shown: title, layout, header, footer.
  std::optional<CompositeListItemData> data;
  /// The filters the item adds to its request.
  std::optional<ValueObject> filters;
  /// The items nested in this one.
  std::optional<std::vector<AnyCompositeListItem>> items;
  /// Values the predicate and the text templates read as variables.
  std::optional<Value> vars;
  /// The host's own value; never set by decoding.
  std::any userData;
  /// Whether the item is left out of the combined request.
  bool skipFetching = false;
  /// How the item obtains its entities.
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

/// Hashes an item as AnyCompositeListItem::hash() does.
template <>
struct std::hash<quarn::AnyCompositeListItem> {
  /// AnyCompositeListItem::hash().
  std::size_t operator()(const quarn::AnyCompositeListItem& i) const noexcept { return i.hash(); }
};
