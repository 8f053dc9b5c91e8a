// The text-template operations of the item records (declared with the
// records; gathered here beside the engine they call).
#include "quarnkit/composite_list/model/text_template_element.h"

#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/composite_list/model/text_template.h"

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

std::shared_ptr<CompositeListItem> CompositeListSectionItemBase::templateText(
    const ValueDictionary& values) {
  // Data without placeholders would come back equal: the shared field block
  // is copied only when a text changes. The block with the template texts is
  // kept (shared) as the source of every later filling.
  const std::optional<CompositeListItemData>& source =
      templateFields_ ? templateFields_->data : data();
  if (source && source->hasTextPlaceholders()) {
    CompositeListItemData filled = source->templateText(values);
    if (!templateFields_) templateFields_ = fields_;
    mutableFields().data = std::move(filled);
  }
  templateEntityText(values);
  return shared_from_this();
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
