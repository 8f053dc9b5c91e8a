/// @file
/// Item descriptions: everything the library needs to know about one item
/// type: what record and entity its JSON decodes into, whether its entity is
/// a list, how it asks the server for entities and how a result is applied.
///
/// A description is a class derived from CompositeListItemDescription<Entity>
/// whose operations are virtual members; the registry holds one instance per
/// class (descriptionInstance<D>()), so a description behaves like a set of
/// class-level operations that a subclass can override. Descriptions are
/// immutable objects shared by shared_ptr<const>; a registry entry
/// (AnyCompositeListItemDescription) is a value that refers to one. A host extends the
/// system by registering its own descriptions and entity classes:
///
/// ```
///   struct Promo { std::string title; /* decode, ==, std::hash */ };
///
///   class PromoBannerDescription : public BannerItemDescription<Promo> {
///    public:
///     CompositeListItemType type() const override { return "promo_banner"; }
///   };
///
///   auto registry = CompositeListItemsRegistry::shared();
///   registry->register_<PromoBannerDescription>();
///   registry->registerEntityClass("Promo", CompositeListEntityClass::of<Promo>());
/// ```
///
/// Template items of type "promo_banner" then decode into
/// CompositeListSectionItem<Promo>, and results whose entities name the class
/// "Promo" are applied to them.
#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/composite_list/model/any_item.h"
#include "quarnkit/composite_list/model/request_parameters.h"
#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/platform/runtime/async_fwd.h"

namespace quarn {

class EntityProvidingCompositeListItemDescription;
class TemplateProvidingItemDescription;

/// The root of CompositeListSectionProviding, the interface of descriptions
/// that also make display sections (sections_provider.h, a layer above this
/// one): registry entries find that role through it once, without knowing
/// about sections. Nothing else derives from it.
class CompositeListSectionProvidingRole {
 public:
  virtual ~CompositeListSectionProvidingRole() = default;

 private:
  CompositeListSectionProvidingRole() = default;
  CompositeListSectionProvidingRole(const CompositeListSectionProvidingRole&) = default;
  CompositeListSectionProvidingRole& operator=(const CompositeListSectionProvidingRole&) = default;
  friend class CompositeListSectionProviding;
};

/// The type-independent side of a description: what the registry, the
/// decoder and the fetcher call.
class CompositeListItemDescriptionBase {
 public:
  virtual ~CompositeListItemDescriptionBase() = default;

  /// The item type this description handles.
  [[nodiscard]] virtual CompositeListItemType type() const = 0;
  /// Whether this is the description of items whose type has no description of its own.
  [[nodiscard]] virtual bool isDefault() const { return false; }
  /// True when the entity is a list.
  [[nodiscard]] virtual bool isList() const = 0;
  /// The description's own type name, for messages ("IncludeItemDescription").
  [[nodiscard]] virtual std::string descriptionTypeName() const;

  /// Decodes an item of this type and wraps the record.
  virtual AnyCompositeListItem decodeAny(Decoder& d) const = 0;
  /// The JSON Schema (json_schema.h) of the "entity" member as decodeAny()
  /// reads it, for editors and the tool's schema command; nothing when it is
  /// not known. The typed description gives its entity's static jsonSchema()
  /// (of each element for a list) when the entity has one.
  [[nodiscard]] virtual std::optional<Value> entitySchema() const { return std::nullopt; }
  /// Applies a result to an item this description decoded; any other item is
  /// a programming error.
  virtual void updateAny(const AnyCompositeListItem& item, const CompositeListResult::Item& result,
                         CompositeListContext& context) const = 0;

  /// Request filters: "limit" from data.maxItems, then the item's filters
  /// merged over them (the item's win). Never absent by default.
  virtual Async<std::optional<ValueDictionary>> makeRequestParametersFilters(
      const CompositeListItem& item) const;
  /// The item's request: key = uniqueId, type = this description's type,
  /// filters when there are any.
  virtual Async<std::optional<CompositeListRequestParameters::Item>> makeRequestParametersItem(
      const CompositeListItem& item) const;

  /// The request the two members above make when neither is overridden,
  /// made without suspending.
  [[nodiscard]] CompositeListRequestParameters::Item defaultRequestParametersItem(
      const CompositeListItem& item) const;

 private:
  static ValueDictionary defaultRequestParametersFilters(const CompositeListItem& item);
  // The request for an item with these filters: what both ways end with.
  [[nodiscard]] CompositeListRequestParameters::Item requestParametersItem(
      const CompositeListItem& item, std::optional<ValueDictionary> filters) const;
};

/// Whether description class D overrides (or hides) either request member;
/// when that cannot be told, it is taken to.
template <class D>
inline constexpr bool kOverridesRequestMembers = [] {
  using Base = CompositeListItemDescriptionBase;
  if constexpr (requires {
                  &D::makeRequestParametersFilters;
                  &D::makeRequestParametersItem;
                }) {
    return !std::is_same_v<decltype(&D::makeRequestParametersFilters),
                           decltype(&Base::makeRequestParametersFilters)> ||
           !std::is_same_v<decltype(&D::makeRequestParametersItem),
                           decltype(&Base::makeRequestParametersItem)>;
  } else {
    return true;
  }
}();

/// The typed side: Entity is the entity the records of this description hold.
template <class Entity>
class CompositeListItemDescription : public CompositeListItemDescriptionBase {
 public:
  /// The entity the records hold.
  using EntityType = Entity;
  /// The record type of the items.
  using Record = CompositeListSectionItem<Entity>;

  /// Whether Entity is a list.
  [[nodiscard]] bool isList() const override { return kIsVector<Entity>; }
  /// The schema Entity (or its element, for a list) gives through a static
  /// jsonSchema(); none when it has no such function.
  [[nodiscard]] std::optional<Value> entitySchema() const override {
    if constexpr (requires { Entity::jsonSchema(); }) {
      return Value(Entity::jsonSchema());
    } else if constexpr (kIsVector<Entity>) {
      using Element = typename Entity::value_type;
      if constexpr (requires { Element::jsonSchema(); }) {
        Value::Object list{{"type", "array"}, {"items", Element::jsonSchema()}};
        return Value(std::move(list));
      }
    }
    return std::nullopt;
  }

  /// Decodes a record (a CompositeListSectionItem<Entity> or a subclass).
  virtual std::shared_ptr<Record> decode(Decoder& d) const { return Record::decode(d); }
  /// Applies a result to a record; default: the record's own update.
  virtual void update(Record& item, const CompositeListResult::Item& result,
                      CompositeListContext& context) const {
    item.update(result, context);
  }

  /// Decodes a record with decode() and wraps it.
  AnyCompositeListItem decodeAny(Decoder& d) const final { return AnyCompositeListItem(decode(d)); }
  /// Applies a result with update(); an item of another entity type is a programming error.
  void updateAny(const AnyCompositeListItem& item, const CompositeListResult::Item& result,
                 CompositeListContext& context) const final {
    auto record = item.template base<Entity>();
    if (!record) failTypeMismatch(typeName<Entity>());
    update(*record, result, context);
  }

 protected:
  /// Stops with a message naming both entity types (a programming error).
  [[noreturn]] void failTypeMismatch(const std::string& entityTypeName) const;
};

/// The one instance of a description class.
template <class D>
const std::shared_ptr<const D>& descriptionInstance() {
  static const std::shared_ptr<const D> instance = std::make_shared<const D>();
  return instance;
}

/// A registry entry: a description with its type and flags copied once, and
/// its operations bound at construction.
class AnyCompositeListItemDescription {
 public:
  /// The entry of `description`, its operations bound.
  explicit AnyCompositeListItemDescription(
      const std::shared_ptr<const CompositeListItemDescriptionBase>& description);
  /// The entry of a description known by its class: whether it builds
  /// requests as the base class does is known too.
  template <std::derived_from<CompositeListItemDescriptionBase> D>
  static AnyCompositeListItemDescription of(const std::shared_ptr<D>& description) {
    AnyCompositeListItemDescription entry(description);
    // The class named must be the object's own: a subclass may override.
    entry.buildsRequestsByDefault = !kOverridesRequestMembers<std::remove_const_t<D>> &&
                                    typeid(*description) == typeid(std::remove_const_t<D>);
    return entry;
  }

  /// The item type of the description.
  [[nodiscard]] const CompositeListItemType& type() const { return type_; }
  /// Copied from the description.
  bool isDefault;
  /// Copied from the description.
  bool isList;
  /// The description itself, for typed look-ups.
  std::shared_ptr<const CompositeListItemDescriptionBase> base;
  /// The roles the description plays besides decoding, found once here
  /// rather than by a cast for every item: null when it does not play them.
  /// (CompositeListSectionProviding::of() gives the first as what it is.)
  /// This one: the section-providing role.
  const CompositeListSectionProvidingRole* sectionProviding = nullptr;
  /// The entity-providing role, or null.
  const EntityProvidingCompositeListItemDescription* entityProviding = nullptr;
  /// The template-providing role, or null.
  const TemplateProvidingItemDescription* templateProviding = nullptr;
  /// True when the description is known to override neither request member:
  /// its requests are then made by defaultRequestParametersItem(), without
  /// the asynchronous calls. False when not known.
  bool buildsRequestsByDefault = false;

  /// Decodes an item with the bound description.
  [[nodiscard]] AnyCompositeListItem decode(Decoder& d) const { return decode_(d); }
  /// Asks the bound description for the request of an item's record.
  [[nodiscard]] Async<std::optional<CompositeListRequestParameters::Item>>
  makeRequestParametersItem(const CompositeListItem& item) const;
  /// Applies a result to an item with the bound description.
  void update(const AnyCompositeListItem& item, const CompositeListResult::Item& result,
              CompositeListContext& context) const {
    update_(item, result, context);
  }

 private:
  CompositeListItemType type_;
  std::function<AnyCompositeListItem(Decoder&)> decode_;
  std::function<Async<std::optional<CompositeListRequestParameters::Item>>(
      const CompositeListItem&)>
      makeRequestParametersItem_;
  std::function<void(const AnyCompositeListItem&, const CompositeListResult::Item&,
                     CompositeListContext&)>
      update_;
};

namespace detail {
[[noreturn]] void failDescriptionTypeMismatch(const std::string& entityTypeName,
                                              const std::string& descriptionTypeName);
}

template <class Entity>
void CompositeListItemDescription<Entity>::failTypeMismatch(
    const std::string& entityTypeName) const {
  detail::failDescriptionTypeMismatch(entityTypeName, descriptionTypeName());
}

}  // namespace quarn
