// CompositeListSectionItem<Entity>: the item record every built-in
// description decodes into: the template item's fields plus its entity
// (a host model object, a list of them, a divider or an include).
//
// Records are shared (std::shared_ptr) and updated in place: a fetch result
// applied to a record is seen by every list holding it. Two records are
// equal when their uniqueId and type are equal.
//
// JSON keys: "uniqueId" (default: type + "_" + position in the array),
// "type", "entityIds" (or "entityId"), "entity", "visibility", "start",
// "expiry", "predicate", "vars", "data", "filters" (kept only when an
// object), "items" (decoded with the registry), "fetchMode".
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/composite_list/model/any_item.h"
#include "quarnkit/composite_list/model/context.h"
#include "quarnkit/composite_list/model/item.h"
#include "quarnkit/core/log.h"
#include "quarnkit/core/type_name.h"

namespace quarn {

template <class T>
inline constexpr bool kIsVector = false;
template <class T>
inline constexpr bool kIsVector<std::vector<T>> = true;

/// The fields and behaviour shared by every CompositeListSectionItem.
class CompositeListSectionItemBase : public CompositeListItem {
 public:
  [[nodiscard]] const std::optional<CompositeListItemVisibility>& visibility() const override {
    return visibility_;
  }
  [[nodiscard]] const std::optional<Date>& startDate() const override { return startDate_; }
  [[nodiscard]] const std::optional<Date>& expiryDate() const override { return expiryDate_; }
  [[nodiscard]] const std::optional<std::string>& predicate() const override { return predicate_; }
  [[nodiscard]] const std::optional<Value>& vars() const override { return vars_; }
  [[nodiscard]] const std::string& uniqueId() const override { return uniqueId_; }
  [[nodiscard]] const CompositeListItemType& type() const override { return type_; }
  [[nodiscard]] const std::optional<std::vector<std::int64_t>>& entityIds() const override {
    return entityIds_;
  }
  [[nodiscard]] const std::optional<CompositeListItemData>& data() const override { return data_; }
  [[nodiscard]] const std::optional<ValueObject>& filters() const override { return filters_; }
  [[nodiscard]] const std::optional<std::vector<AnyCompositeListItem>>& items() const override {
    return items_;
  }
  [[nodiscard]] const std::any& userData() const override { return userData_; }
  void setUserData(std::any value) override { userData_ = std::move(value); }
  [[nodiscard]] bool skipFetching() const override { return skipFetching_; }
  [[nodiscard]] CompositeListFetchMode fetchMode() const override { return fetchMode_; }

  void setVisibility(std::optional<CompositeListItemVisibility> v) { visibility_ = std::move(v); }
  void setStartDate(std::optional<Date> d) { startDate_ = d; }
  void setExpiryDate(std::optional<Date> d) { expiryDate_ = d; }
  void setPredicate(std::optional<std::string> p) { predicate_ = std::move(p); }
  void setVars(std::optional<Value> v) { vars_ = std::move(v); }
  void setData(std::optional<CompositeListItemData> d) { data_ = std::move(d); }
  void setFilters(std::optional<ValueObject> f) { filters_ = std::move(f); }
  void setItems(std::optional<std::vector<AnyCompositeListItem>> items) {
    items_ = std::move(items);
  }
  void setSkipFetching(bool skip) { skipFetching_ = skip; }
  void setFetchMode(CompositeListFetchMode mode) { fetchMode_ = mode; }

  [[nodiscard]] std::string description() const override;
  [[nodiscard]] bool isEqual(const CompositeListItem& other) const override;
  [[nodiscard]] std::size_t hashValue() const override;

 protected:
  CompositeListSectionItemBase(std::string uniqueId, CompositeListItemType type,
                               std::optional<std::vector<std::int64_t>> entityIds,
                               std::optional<CompositeListItemData> data);
  CompositeListSectionItemBase();

  /// Reads every member except "entity", in the documented order; the entity
  /// is read between `readHead` and `readTail`.
  void readHead(KeyedDecodingContainer& c, const Decoder& d);
  void readTail(KeyedDecodingContainer& c);
  /// The name of the record type for log lines ("CompositeListSectionItem<Product>").
  [[nodiscard]] virtual std::string recordTypeName() const = 0;
  void logEntityMismatch(const std::string& receivedType) const;

  std::string uniqueId_;
  CompositeListItemType type_;
  std::optional<std::vector<std::int64_t>> entityIds_;
  std::optional<CompositeListItemVisibility> visibility_;
  std::optional<Date> startDate_;
  std::optional<Date> expiryDate_;
  std::optional<std::string> predicate_;
  std::optional<Value> vars_;
  std::optional<CompositeListItemData> data_;
  std::optional<ValueObject> filters_;
  std::optional<std::vector<AnyCompositeListItem>> items_;
  std::any userData_;
  bool skipFetching_ = false;
  CompositeListFetchMode fetchMode_ = CompositeListFetchMode::automatic;
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
  using EntityType = Entity;
  static constexpr bool kIsList = kIsVector<Entity>;

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
    skipFetching_ = skipFetching;
  }

  [[nodiscard]] const std::optional<Entity>& entity() const { return entity_; }
  void setEntity(std::optional<Entity> e) { entity_ = std::move(e); }

  /// The record's JSON decoding (see the file comment). Decode-time random
  /// selection: for a list entity whose data has random = true, the list is
  /// shuffled (with the context's generator in the decoder settings, else the
  /// system's) and cut to data.maxItems.
  static std::shared_ptr<CompositeListSectionItem> decode(Decoder& d) {
    std::shared_ptr<CompositeListSectionItem> item(new CompositeListSectionItem());
    item->decodeFrom(d);
    return item;
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
          entity_.reset();
          if (!result.results.empty()) logEntityMismatch("Array<Any>");
          return;
        }
        list.push_back(*e);
      }
      if (data_ && data_->random.value_or(false)) shuffle(list, context.randomGenerator());
      entity_ = std::move(list);
    } else {
      (void)context;
      const Entity* e =
          result.results.empty() ? nullptr : result.results.front().template get<Entity>();
      if (e != nullptr) {
        entity_ = *e;
        return;
      }
      entity_.reset();
      if (!result.results.empty()) logEntityMismatch(result.results.front().typeName());
    }
  }

 protected:
  CompositeListSectionItem() = default;

  void decodeFrom(Decoder& d) {
    auto c = d.container();
    readHead(*c, d);
    if constexpr (DecodableType<Entity>) {
      entity_ = c->template decodeIfPresent<Entity>("entity");
    } else if (c->contains("entity")) {
      throw DecodingError::dataCorrupted(
          {c->codingPath(), "Items of type \"" + type_.rawValue + "\" have no decodable entity."});
    }
    readTail(*c);
    if constexpr (kIsList) {
      if (entity_ && data_ && data_->random.value_or(false)) {
        detail::shuffleForDecoding(*entity_, d);
        if (data_->maxItems) {
          const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(0, *data_->maxItems));
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

  std::optional<Entity> entity_;
};

}  // namespace quarn
