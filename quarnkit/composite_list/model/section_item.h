/// @file
/// CompositeListSectionItem<Entity>: the item record every built-in description decodes into: the
/// template item's fields plus its entity (a host model object, a list of them, a divider or an
/// include).

/// @class quarn::CompositeListSectionItem
/// The item record every built-in
/// description decodes into: the template item's fields plus its entity
/// (a host model object, a list of them, a divider or an include).
///
/// Records are shared objects (std::shared_ptr; every way into the pipeline,
/// AnyCompositeListItem and decode(), takes or makes one) and updated in
/// place: a fetch result applied to a record is seen by every list holding it. Two records are
/// equal when their uniqueId and type are equal.
///
/// JSON keys: "uniqueId" (default: type + "_" + position in the array),
/// "type", "entityIds" (or "entityId"), "entity", "visibility", "start",
/// "expiry", "predicate", "vars", "data", "filters" (kept only when an
/// object), "items" (decoded with the registry), "fetchMode".
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/composite_list/model/any_item.h"
#include "quarnkit/composite_list/model/context.h"
#include "quarnkit/composite_list/model/item.h"
#include "quarnkit/composite_list/model/text_template_element.h"
#include "quarnkit/core/log.h"
#include "quarnkit/core/type_name.h"

namespace quarn {

/// Whether T is a std::vector.
template <class T>
inline constexpr bool kIsVector = false;
/// @cond INTERNAL
template <class T>
inline constexpr bool kIsVector<std::vector<T>> = true;
/// @endcond

/// The fields and behaviour shared by every CompositeListSectionItem. The
/// fields live in one immutable block shared with the snapshots of
/// AnyCompositeListItem; a setter copies the block when it is shared.
class CompositeListSectionItemBase
    : public CompositeListItem,
      public std::enable_shared_from_this<CompositeListSectionItemBase> {
 public:
  [[nodiscard]] const std::optional<CompositeListItemVisibility>& visibility() const override {
    return fields_->visibility;
  }
  [[nodiscard]] const std::optional<Date>& startDate() const override { return fields_->startDate; }
  [[nodiscard]] const std::optional<Date>& expiryDate() const override {
    return fields_->expiryDate;
  }
  [[nodiscard]] const std::optional<std::string>& predicate() const override {
    return fields_->predicate;
  }
  [[nodiscard]] const std::optional<Value>& vars() const override { return fields_->vars; }
  [[nodiscard]] const std::string& uniqueId() const override { return fields_->uniqueId; }
  [[nodiscard]] const CompositeListItemType& type() const override { return fields_->type; }
  [[nodiscard]] const std::optional<std::vector<std::int64_t>>& entityIds() const override {
    return fields_->entityIds;
  }
  [[nodiscard]] const std::optional<CompositeListItemData>& data() const override {
    return fields_->data;
  }
  [[nodiscard]] const std::optional<ValueObject>& filters() const override {
    return fields_->filters;
  }
  [[nodiscard]] const std::optional<std::vector<AnyCompositeListItem>>& items() const override {
    return fields_->items;
  }
  [[nodiscard]] const std::any& userData() const override { return fields_->userData; }
  void setUserData(std::any value) override { mutableFields().userData = std::move(value); }
  [[nodiscard]] bool skipFetching() const override { return fields_->skipFetching; }
  [[nodiscard]] CompositeListFetchMode fetchMode() const override { return fields_->fetchMode; }

  ///@{
  /// Sets the field (copying the field block first when a snapshot shares it).
  void setVisibility(std::optional<CompositeListItemVisibility> v) {
    mutableFields().visibility = std::move(v);
  }
  void setStartDate(std::optional<Date> d) { mutableFields().startDate = d; }
  void setExpiryDate(std::optional<Date> d) { mutableFields().expiryDate = d; }
  void setPredicate(std::optional<std::string> p) { mutableFields().predicate = std::move(p); }
  void setVars(std::optional<Value> v) { mutableFields().vars = std::move(v); }
  void setData(std::optional<CompositeListItemData> d) {
    templateFields_.reset();
    mutableFields().data = std::move(d);
  }
  void setFilters(std::optional<ValueObject> f) { mutableFields().filters = std::move(f); }
  void setItems(std::optional<std::vector<AnyCompositeListItem>> items) {
    mutableFields().items = std::move(items);
  }
  void setSkipFetching(bool skip) { mutableFields().skipFetching = skip; }
  void setFetchMode(CompositeListFetchMode mode) { mutableFields().fetchMode = mode; }
  ///@}

  /// The field block in force, shared: the record's own block is then never
  /// written again (a change copies it).
  [[nodiscard]] std::shared_ptr<const CompositeListItemFields> snapshotFields() const override;
  /// Templates the texts of `data` and, when it is a template element (rows, a
  /// list of rows, a nested item list), the entity, in place; returns this
  /// record (which must be owned by a shared_ptr). The texts are filled from
  /// the record's template texts, kept when they are first filled: a record
  /// templated again (fetched again, or included again) is filled anew, not
  /// left with the texts of the former values. Setting the data or the entity
  /// makes the new one the template. A failure leaves the record unchanged.
  std::shared_ptr<CompositeListItem> templateText(const ValueDictionary& values) override;
  /// The same, in two steps (CompositeListItem::prepareTemplateText).
  PreparedTextTemplate prepareTemplateText(const ValueDictionary& values) override;

  [[nodiscard]] std::string description() const override;
  [[nodiscard]] bool isEqual(const CompositeListItem& other) const override;
  [[nodiscard]] std::size_t hashValue() const override;

 protected:
  /// A record of these fields, visible to everyone, without entity.
  CompositeListSectionItemBase(std::string uniqueId, CompositeListItemType type,
                               std::optional<std::vector<std::int64_t>> entityIds,
                               std::optional<CompositeListItemData> data);
  CompositeListSectionItemBase();
  // A record's field block may be its own member: a copy would point into
  // the record copied from.
  CompositeListSectionItemBase(const CompositeListSectionItemBase&) = delete;
  CompositeListSectionItemBase& operator=(const CompositeListSectionItemBase&) = delete;

  /// The fields for writing: the block itself when no snapshot shares it,
  /// else a fresh copy that replaces it.
  CompositeListItemFields& mutableFields();

  /// What decoding a record saw besides its fields.
  struct SeenMembers {
    bool uniqueId = false;  ///< "uniqueId" was present.
    bool type = false;      ///< "type" was present.
    bool entityId = false;  ///< "entityId" was present.
    bool items = false;     ///< "items" was present.
    bool entity = false;    ///< "entity" was present.
  };
  /// Reads one member other than "entity" into `f` (unknown keys are ignored).
  static void readMember(CompositeListItemFields& f, std::string_view key, Decoder& value,
                         SeenMembers& seen);
  /// After the members: the required type, the default uniqueId, "entityId"
  /// when there is no "entityIds", and a null "items" reported as an error.
  static void finishMembers(CompositeListItemFields& f, KeyedDecodingContainer& c, const Decoder& d,
                            const SeenMembers& seen);
  /// The name of the record type for log lines ("CompositeListSectionItem<Product>").
  [[nodiscard]] virtual std::string recordTypeName() const = 0;
  /// Puts a field block with filled texts in place, keeping the one with
  /// the template texts.
  void putFields(std::shared_ptr<const CompositeListItemFields> filled);
  /// The entity's texts filled when it is a template element: calling the
  /// result puts them in place; empty when there is nothing to fill.
  virtual std::function<void()> prepareEntityText(const ValueDictionary& values) = 0;
  /// Logs a result entity of `receivedType` that does not fit the record.
  void logEntityMismatch(const std::string& receivedType) const;

  /// The block in force as a shared handle (the own block's without owning
  /// the record, for handles the record keeps itself).
  [[nodiscard]] std::shared_ptr<const CompositeListItemFields> fieldsHandle() const;

  /// The fields in force: ownFields_ (made with the record, in its
  /// allocation) until a change is made after it was shared, then a block
  /// of their own in heldFields_.
  const CompositeListItemFields* fields_ = &ownFields_;
  /// The block of fields_ once it is no longer the record's own.
  std::shared_ptr<const CompositeListItemFields> heldFields_;
  /// The field block whose data holds the template texts, once they were
  /// filled (the block is shared, not copied).
  std::shared_ptr<const CompositeListItemFields> templateFields_;

 private:
  CompositeListItemFields ownFields_;
  // Set once ownFields_ is shared (a snapshot or the template texts): it is
  // read-only from then on.
  mutable std::atomic<bool> ownFieldsShared_{false};
};

namespace detail {
/// The context in the decoder settings, or nothing.
CompositeListContext* contextFromSettings(const Decoder& d);
/// Shuffles with the context's generator, or with the system's without one.
template <class T>
void shuffleForDecoding(std::vector<T>& list, const Decoder& d) {
  if (CompositeListContext* context = contextFromSettings(d)) {
    shuffle(list, context->randomGenerator());
  } else {
    SystemRandomNumberGenerator system;
    shuffle(list, system);
  }
}
}  // namespace detail

template <class Entity>
class CompositeListSectionItem : public CompositeListSectionItemBase {
 public:
  using EntityType = Entity;                          ///< The entity the record holds.
  static constexpr bool kIsList = kIsVector<Entity>;  ///< Whether the entity is a list.

  /// A record for an item with an optional single entity id.
  CompositeListSectionItem(std::string uniqueId, CompositeListItemType type,
                           std::optional<std::int64_t> entityId,
                           std::optional<CompositeListItemData> data = std::nullopt)
      : CompositeListSectionItemBase(std::move(uniqueId), std::move(type),
                                     entityId ? std::optional<std::vector<std::int64_t>>(
                                                    std::vector<std::int64_t>{*entityId})
                                              : std::nullopt,
                                     std::move(data)) {}
  /// A record for an item with a list of entity ids.
  CompositeListSectionItem(std::string uniqueId, CompositeListItemType type,
                           std::optional<std::vector<std::int64_t>> entityIds,
                           std::optional<CompositeListItemData> data)
      : CompositeListSectionItemBase(std::move(uniqueId), std::move(type), std::move(entityIds),
                                     std::move(data)) {}
  /// A record that already holds its entity and may be excluded from fetching.
  CompositeListSectionItem(std::string uniqueId, CompositeListItemType type, Entity entity,
                           std::optional<CompositeListItemData> data, bool skipFetching)
      : CompositeListSectionItemBase(std::move(uniqueId), std::move(type), std::nullopt,
                                     std::move(data)),
        entity_(std::move(entity)) {
    setSkipFetching(skipFetching);
  }

  /// The entity, once it was decoded or fetched.
  [[nodiscard]] const std::optional<Entity>& entity() const { return entity_; }
  /// Replaces the entity; the new one is the template of later templating.
  void setEntity(std::optional<Entity> e) {
    entityTemplate_.reset();
    entity_ = std::move(e);
  }

  /// The record's JSON decoding (see the file comment). Decode-time random
  /// selection: for a list entity whose data has random = true, the list is
  /// shuffled (with the context's generator in the decoder settings, else the
  /// system's) and cut to data.maxItems.
  static std::shared_ptr<CompositeListSectionItem> decode(Decoder& d) {
    auto item = std::make_shared<CompositeListSectionItem>();
    item->decodeFrom(d);
    return item;
  }

  /// An empty record (filled by decoding).
  CompositeListSectionItem() = default;

  /// Makes `list` the entity as update() does with a result whose entities
  /// all are elements of the list: shuffled first when data.random is true.
  void setResultList(Entity list, CompositeListContext& context) requires kIsList {
    if (data() && data()->random.value_or(false)) shuffle(list, context.randomGenerator());
    setEntity(std::move(list));
  }

  /// Single entity: the first result when it is an Entity, else none. List:
  /// every result when all are elements of the list (shuffled when data.random
  /// is true), else none. A mismatch with results present is logged.
  void update(const CompositeListResult::Item& result, CompositeListContext& context) override {
    if constexpr (kIsList) {
      using Element = typename Entity::value_type;
      Entity list;
      list.reserve(result.results.size());
      for (const auto& r : result.results) {
        const Element* e = r.template get<Element>();
        if (e == nullptr) {
          setEntity(std::nullopt);
          if (!result.results.empty()) logEntityMismatch("Array<Any>");
          return;
        }
        list.push_back(*e);
      }
      setResultList(std::move(list), context);
    } else {
      (void)context;
      const Entity* e =
          result.results.empty() ? nullptr : result.results.front().template get<Entity>();
      if (e != nullptr) {
        setEntity(*e);
        return;
      }
      setEntity(std::nullopt);
      if (!result.results.empty()) logEntityMismatch(result.results.front().typeName());
    }
  }

 protected:
  /// Reads the record's members, and its entity, from `d`.
  void decodeFrom(Decoder& d) {
    auto c = d.container();
    CompositeListItemFields* f = &mutableFields();
    SeenMembers seen;
    c->forEachMember([&](std::string_view key, Decoder& value) {
      if (key != "entity") {
        readMember(*f, key, value, seen);
        return;
      }
      seen.entity = true;
      if constexpr (DecodableType<Entity>) entity_ = value.template decode<Entity>();
    });
    finishMembers(*f, *c, d, seen);
    if constexpr (!DecodableType<Entity>) {
      if (seen.entity || c->contains("entity")) {
        throw DecodingError::dataCorrupted({c->codingPath(), "Items of type \"" + f->type.rawValue +
                                                                 "\" have no decodable entity."});
      }
    }
    if constexpr (kIsList) {
      if (entity_ && f->data && f->data->random.value_or(false)) {
        detail::shuffleForDecoding(*entity_, d);
        if (f->data->maxItems) {
          const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(0, *f->data->maxItems));
          if (entity_->size() > keep) {
            entity_->erase(entity_->begin() + static_cast<std::ptrdiff_t>(keep), entity_->end());
          }
        }
      }
    }
  }

  [[nodiscard]] std::string recordTypeName() const override {
    return "CompositeListSectionItem<" + typeName<Entity>() + ">";
  }

  std::function<void()> prepareEntityText(const ValueDictionary& values) override {
    if constexpr (kIsTextTemplatable<Entity>) {
      // Filled from the entity as it was before its texts were first filled.
      const std::optional<Entity>& source = entityTemplate_ ? entityTemplate_ : entity_;
      if (!source || !mayChangeByTextTemplate(*source)) return {};
      const auto keep = [self = shared_from_this(), this](Entity filled) {
        if (!entityTemplate_) entityTemplate_ = std::move(entity_);
        entity_ = std::move(filled);
      };
      if constexpr (std::is_same_v<Entity, std::vector<AnyCompositeListItem>>) {
        // Nested records: each is changed only when the whole list is.
        return [keep, fill = quarn::prepareTemplateText(*source, values)] { keep(fill()); };
      } else {
        return
            [keep, filled = templateTextOf(*source, values)]() mutable { keep(std::move(filled)); };
      }
    } else {
      (void)values;
      return {};
    }
  }

  /// The entity.
  std::optional<Entity> entity_;
  /// The entity with its template texts, once they were filled.
  std::optional<Entity> entityTemplate_;
};

}  // namespace quarn
