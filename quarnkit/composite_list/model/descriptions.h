/// @file
/// The descriptions the library provides. A new registry holds the first four
/// (divider, rows, tags, include); the host registers the others, usually
/// through subclasses that override type(), isDefault() or
/// provideTemplateSections().
#pragma once

#include <typeinfo>
#include <vector>

#include "quarnkit/composite_list/model/description.h"
#include "quarnkit/composite_list/model/divider_include.h"
#include "quarnkit/composite_list/model/entity.h"
#include "quarnkit/composite_list/model/row.h"

namespace quarn {

/// Divider items ("divider"): a separator between sections, with no entity.
class DividerItemDesctiption : public CompositeListItemDescription<CompositeListDivider> {
 public:
  [[nodiscard]] CompositeListItemType type() const override {
    return CompositeListItemType::divider;
  }
};

/// Rows items ("rows"): a list of text rows.
class RowsItemDescription : public CompositeListItemDescription<std::vector<CompositeListRow>> {
 public:
  [[nodiscard]] CompositeListItemType type() const override { return CompositeListItemType::rows; }
};

/// Tags items ("tags"): a list of text rows shown as tags.
class TagsItemDescription : public CompositeListItemDescription<std::vector<CompositeListRow>> {
 public:
  [[nodiscard]] CompositeListItemType type() const override { return CompositeListItemType::tags; }
};

/// Include items ("include"): another template whose items take this one's place.
class IncludeItemDescription : public CompositeListItemDescription<CompositeListInclude> {
 public:
  [[nodiscard]] CompositeListItemType type() const override {
    return CompositeListItemType::include;
  }
};

/// Items whose content is a whole nested template, supplied by
/// provideTemplateSections() (the base supplies nothing) and fetched by the
/// fetcher like a template of its own. Such items have no decodable entity:
/// an "entity" member in their JSON fails the item.
class TemplateProvidingItemDescription
    : public CompositeListItemDescription<std::vector<AnyCompositeListItem>> {
 public:
  [[nodiscard]] CompositeListItemType type() const override {
    return CompositeListItemType::template_;
  }
  /// The items of the nested template; nothing here.
  virtual Async<std::vector<AnyCompositeListItem>> provideTemplateSections() const;
};

/// Banners of a host entity type T.
template <class T>
class BannerItemDescription : public CompositeListItemDescription<T> {
 public:
  [[nodiscard]] CompositeListItemType type() const override {
    return CompositeListItemType::banner;
  }
};

/// Small banners of a host entity type T.
template <class T>
class SmallBannerItemDescription : public BannerItemDescription<T> {
 public:
  [[nodiscard]] CompositeListItemType type() const override {
    return CompositeListItemType::bannerSmall;
  }
};

namespace detail {
void logListEntityMismatch(const std::string& descriptionName, const std::string& elementType,
                           const std::string& item);
}

/// Lists of host entities of type T, each wrapped as CompositeListEntity<T>.
/// A result's entities may be bare T (decoded by class name) or already
/// wrapped (what a provider of this description's own entity gives); entities
/// of other types are dropped with an error line.
template <HashableType T>
class ListItemDescription
    : public CompositeListItemDescription<std::vector<CompositeListEntity<T>>> {
 public:
  /// The typed description the list is.
  using Base = CompositeListItemDescription<std::vector<CompositeListEntity<T>>>;

  [[nodiscard]] CompositeListItemType type() const override { return CompositeListItemType::list; }
  /// True: a list item type without a description of its own is shown as a list.
  [[nodiscard]] bool isDefault() const override { return true; }

  void update(typename Base::Record& item, const CompositeListResult::Item& result,
              CompositeListContext& context) const override {
    std::vector<CompositeListEntity<T>> list;
    list.reserve(result.results.size());
    for (const auto& element : result.results) {
      // The result's entity itself, shared rather than copied.
      if (auto value = element.template shared<T>()) {
        list.emplace_back(std::move(value));
      } else if (const auto* wrapped = element.template get<CompositeListEntity<T>>()) {
        list.push_back(*wrapped);
      } else {
        detail::logListEntityMismatch(this->descriptionTypeName(), element.typeName(),
                                      item.description());
      }
    }
    // The record's own update() would take the same list; a subclass may
    // have its own, which gets the wrapped entities as a result.
    if (typeid(item) == typeid(typename Base::Record)) {
      item.setResultList(std::move(list), context);
      return;
    }
    CompositeListResult::Item wrapped{result.key, {}};
    wrapped.results.reserve(list.size());
    for (auto& entity : list) wrapped.results.emplace_back(std::move(entity));
    item.update(wrapped, context);
  }
};

/// The list form of another description D: type D's type + "_list",
/// entity a list of D's entity, isDefault D's.
template <class D>
class ListItemDescriptionOf
    : public CompositeListItemDescription<std::vector<typename D::EntityType>> {
 public:
  [[nodiscard]] CompositeListItemType type() const override {
    return CompositeListItemType::listOf(descriptionInstance<D>()->type());
  }
  /// D's.
  [[nodiscard]] bool isDefault() const override { return descriptionInstance<D>()->isDefault(); }
};

}  // namespace quarn
