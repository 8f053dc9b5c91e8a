/// @file
/// CompositeListRequestParameters: the one combined request of a fetch, which the host sends as the
/// body of one network request.

/// @struct quarn::CompositeListRequestParameters
/// The one combined request of a fetch, which
/// the host sends as the body of one network request. Each Item asks for the
/// entities of one template item; the answer's result entry carries the same
/// key.
///
/// The body is a bare JSON array of items; an item is an object with "key" and
/// "type" always, and "id", "filters", "items" only when present:
///   [{"key":"rows_2","type":"rows","filters":{"limit":5}}]
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/coding/encoder.h"
#include "quarnkit/composite_list/model/item_type.h"
#include "quarnkit/core/value.h"

namespace quarn {

struct CompositeListRequestParameters {
  /// One item's request: its key, type, entity id, filters and the requests of nested items. A
  /// value.
  struct Item {
    /// The key its result comes back under (the item's uniqueId).
    std::string key;
    /// The item type.
    CompositeListItemType type;
    /// The id of the entity asked for, when there is one.
    std::optional<std::int64_t> id;
    /// Any JSON value.
    std::optional<Value> filters;
    /// The requests of nested items, for a group.
    std::optional<std::vector<Item>> items;

    /// Stores each field as given.
    Item(std::string key_, CompositeListItemType type_, std::optional<std::int64_t> id_,
         std::optional<Value> filters_, std::optional<std::vector<Item>> items_)
        : key(std::move(key_)),
          type(std::move(type_)),
          id(id_),
          filters(std::move(filters_)),
          items(std::move(items_)) {}
    /// Filters from a dictionary: kept only when present and not empty.
    static Item withFilterDictionary(std::string key, CompositeListItemType type,
                                     std::optional<std::int64_t> id,
                                     std::optional<ValueDictionary> filters,
                                     std::optional<std::vector<Item>> items);
    /// A group request: type "list", no id, no filters.
    static Item group(std::string key, std::vector<Item> items) {
      return Item(std::move(key), CompositeListItemType::list, std::nullopt, std::nullopt,
                  std::move(items));
    }

    /// Writes the request object, leaving out what is absent.
    void encode(Encoder& e) const;
    /// Equal when every field is.
    friend bool operator==(const Item&, const Item&) = default;
  };

  /// Identifies the template being fetched; not part of the body.
  std::optional<std::string> key;
  /// The requests of the items, in template order.
  std::vector<Item> items;

  /// The bare array of the items.
  void encode(Encoder& e) const { e.encode(items); }
  /// Equal when key and items are.
  friend bool operator==(const CompositeListRequestParameters&,
                         const CompositeListRequestParameters&) = default;
};

}  // namespace quarn
