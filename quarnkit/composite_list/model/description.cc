#include "quarnkit/composite_list/model/description.h"

#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/entity_providing.h"
#include "quarnkit/core/error.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn {

std::string CompositeListItemDescriptionBase::descriptionTypeName() const {
  return typeNameOf(typeid(*this));
}

ValueDictionary CompositeListItemDescriptionBase::defaultRequestParametersFilters(
    const CompositeListItem& item) {
  const bool limit = item.data() && item.data()->maxItems;
  const std::optional<ValueObject>& own = item.filters();
  // Sized once for both: a dictionary per item is made for every request.
  ValueDictionary filters;
  filters.reserve((limit ? 1 : 0) + (own ? own->size() : 0));
  if (limit) filters.set("limit", *item.data()->maxItems);
  if (own) filters.merge(*own);
  return filters;
}

Async<std::optional<ValueDictionary>>
CompositeListItemDescriptionBase::makeRequestParametersFilters(
    const CompositeListItem& item) const {
  co_return defaultRequestParametersFilters(item);
}

Async<std::optional<CompositeListRequestParameters::Item>>
CompositeListItemDescriptionBase::makeRequestParametersItem(const CompositeListItem& item) const {
  auto filters = co_await makeRequestParametersFilters(item);
  co_return requestParametersItem(item, std::move(filters));
}

CompositeListRequestParameters::Item CompositeListItemDescriptionBase::defaultRequestParametersItem(
    const CompositeListItem& item) const {
  return requestParametersItem(item, defaultRequestParametersFilters(item));
}

CompositeListRequestParameters::Item CompositeListItemDescriptionBase::requestParametersItem(
    const CompositeListItem& item, std::optional<ValueDictionary> filters) const {
  return CompositeListRequestParameters::Item::withFilterDictionary(
      item.uniqueId(), type(), std::nullopt, std::move(filters), std::nullopt);
}

AnyCompositeListItemDescription::AnyCompositeListItemDescription(
    const std::shared_ptr<const CompositeListItemDescriptionBase>& description)
    : isDefault(description->isDefault()),
      isList(description->isList()),
      base(description),
      sectionProviding(dynamic_cast<const CompositeListSectionProvidingRole*>(description.get())),
      entityProviding(
          dynamic_cast<const EntityProvidingCompositeListItemDescription*>(description.get())),
      templateProviding(dynamic_cast<const TemplateProvidingItemDescription*>(description.get())),
      type_(description->type()),
      decode_([description](Decoder& d) { return description->decodeAny(d); }),
      makeRequestParametersItem_([description](const CompositeListItem& item) {
        return description->makeRequestParametersItem(item);
      }),
      update_([description](const AnyCompositeListItem& item,
                            const CompositeListResult::Item& result,
                            CompositeListContext& context) {
        description->updateAny(item, result, context);
      }) {}

Async<std::optional<CompositeListRequestParameters::Item>>
AnyCompositeListItemDescription::makeRequestParametersItem(const CompositeListItem& item) const {
  return makeRequestParametersItem_(item);
}

void detail::failDescriptionTypeMismatch(const std::string& entityTypeName,
                                         const std::string& descriptionTypeName) {
  fatalError("Composite list item type mismatch. Expected base type " + entityTypeName +
             ", but received AnyCompositeListItem. Description type: " + descriptionTypeName + ".");
}

}  // namespace quarn
