// The text-template operations of the item records (declared with the
// records; gathered here beside the engine they call).
#include "quarnkit/composite_list/model/text_template_element.h"

#include "quarnkit/composite_list/fetching/text_template.h"
#include "quarnkit/composite_list/model/section_item.h"

namespace quarn {

namespace {

void templateInPlace(std::optional<std::string>& text, const ValueDictionary& values) {
  if (text) text = templateString(*text, values);
}

}  // namespace

CompositeListItemData CompositeListItemData::templateText(const ValueDictionary& values) const {
  CompositeListItemData out = *this;
  templateInPlace(out.title, values);
  templateInPlace(out.description, values);
  templateInPlace(out.footerText, values);
  return out;
}

bool CompositeListItemData::hasTextPlaceholders() const {
  return detail::hasPlaceholder(title) || detail::hasPlaceholder(description) ||
         detail::hasPlaceholder(footerText);
}

bool CompositeListRow::hasTextPlaceholders() const {
  return detail::hasPlaceholder(std::string_view(text)) || detail::hasPlaceholder(details);
}

CompositeListRow CompositeListRow::templateText(const ValueDictionary& values) const {
  CompositeListRow out = *this;
  out.text = templateString(text, values);
  templateInPlace(out.details, values);
  return out;
}

AnyCompositeListItem AnyCompositeListItem::templateText(const ValueDictionary& values) const {
  return AnyCompositeListItem(record_->templateText(values));
}

CompositeListItem::PreparedTextTemplate CompositeListItem::prepareTemplateText(
    const ValueDictionary& values) {
  return [filled = templateText(values)] { return filled; };
}

std::function<std::vector<AnyCompositeListItem>()> prepareTemplateText(
    const std::vector<AnyCompositeListItem>& items, const ValueDictionary& values) {
  struct Prepared {
    std::shared_ptr<CompositeListItem> record;
    CompositeListItem::PreparedTextTemplate fill;  // empty: the record as it is
  };
  std::vector<Prepared> prepared;
  prepared.reserve(items.size());
  detail::forEachWithTheirValues(
      items, values, [&](const AnyCompositeListItem& item, const ValueDictionary& v) {
        prepared.push_back({item.base(), item.base()->prepareTemplateText(v)});
      });
  return [prepared = std::move(prepared)] {
    std::vector<AnyCompositeListItem> out;
    out.reserve(prepared.size());
    for (const auto& [record, fill] : prepared) out.emplace_back(fill ? fill() : record);
    return out;
  };
}

std::vector<AnyCompositeListItem> templateText(const std::vector<AnyCompositeListItem>& items,
                                               const ValueDictionary& values) {
  return prepareTemplateText(items, values)();
}

std::shared_ptr<CompositeListItem> CompositeListSectionItemBase::templateText(
    const ValueDictionary& values) {
  const PreparedTextTemplate fill = prepareTemplateText(values);
  return fill ? fill() : shared_from_this();
}

CompositeListItem::PreparedTextTemplate CompositeListSectionItemBase::prepareTemplateText(
    const ValueDictionary& values) {
  // Data without placeholders would come back equal: the shared field block
  // is copied only when a text changes. The block with the template texts is
  // kept (shared) as the source of every later filling.
  const std::optional<CompositeListItemData>& source =
      templateFields_ ? templateFields_->data : data();
  std::optional<CompositeListItemData> filled;
  if (source && source->hasTextPlaceholders()) filled = source->templateText(values);
  std::function<void()> entity = prepareEntityText(values);
  if (!filled && !entity) return {};
  return [self = shared_from_this(), filled = std::move(filled),
          entity = std::move(entity)]() mutable -> std::shared_ptr<CompositeListItem> {
    if (filled) {
      if (!self->templateFields_) self->templateFields_ = self->fields_;
      self->mutableFields().data = std::move(*filled);
    }
    if (entity) entity();
    return self;
  };
}

std::optional<ValueDictionary> detail::valuesWithVars(const ValueDictionary& values,
                                                      const std::optional<Value>& vars) {
  const ValueObject* object = vars ? vars->ifObject() : nullptr;
  if (object == nullptr) return std::nullopt;
  ValueDictionary merged = values;
  merged.merge(*object);
  return merged;
}

void detail::unmergeVars(ValueDictionary& withVars, const ValueDictionary& values,
                         const ValueObject& merged) {
  for (const auto& [key, value] : merged) {
    if (const Value* original = values.find(key)) {
      if (Value* current = withVars.find(key)) *current = *original;
    } else {
      withVars.erase(key);
    }
  }
}

}  // namespace quarn
