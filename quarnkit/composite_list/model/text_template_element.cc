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

PreparedTextTemplate CompositeListItem::prepareTemplateText(const ValueDictionary& values) {
  return PreparedTextTemplate(templateText(values));
}

std::function<std::vector<AnyCompositeListItem>()> prepareTemplateText(
    const std::vector<AnyCompositeListItem>& items, const ValueDictionary& values) {
  // Records with nothing left to make are wrapped at once (while they are at
  // hand); the others hold their place until the change is made.
  std::vector<AnyCompositeListItem> out;
  out.reserve(items.size());
  std::vector<std::pair<std::size_t, PreparedTextTemplate>> pending;
  detail::forEachWithTheirValues(
      items, values, [&](const AnyCompositeListItem& item, const ValueDictionary& v) {
        PreparedTextTemplate prepared = item.base()->prepareTemplateText(v);
        if (prepared.pending()) {
          pending.emplace_back(out.size(), std::move(prepared));
          out.push_back(item);
        } else {
          out.emplace_back(std::move(prepared).make());
        }
      });
  return [out = std::move(out), pending = std::move(pending)]() mutable {
    for (auto& [at, prepared] : pending) out[at] = AnyCompositeListItem(std::move(prepared).make());
    return std::move(out);
  };
}

std::vector<AnyCompositeListItem> templateText(const std::vector<AnyCompositeListItem>& items,
                                               const ValueDictionary& values) {
  return prepareTemplateText(items, values)();
}

std::shared_ptr<CompositeListItem> CompositeListSectionItemBase::templateText(
    const ValueDictionary& values) {
  return prepareTemplateText(values).make();
}

namespace {

// What templating changes in a record besides its field block.
struct RecordTextChange {
  std::shared_ptr<const CompositeListItemFields> fields;  // null: unchanged
  std::function<void()> entity;
};

}  // namespace

PreparedTextTemplate CompositeListSectionItemBase::prepareTemplateText(
    const ValueDictionary& values) {
  // Data without placeholders would come back equal: a new field block is
  // made only when a text changes. The block with the template texts is kept
  // (shared) as the source of every later filling.
  const CompositeListItemFields* source = templateFields_ ? templateFields_.get() : fields_;
  std::shared_ptr<CompositeListItemFields> filled;
  if (source->data && source->data->hasTextPlaceholders()) {
    auto data = source->data->templateText(values);
    filled = std::make_shared<CompositeListItemFields>(*fields_);
    filled->data = std::move(data);
  }
  std::function<void()> entity = prepareEntityText(values);
  auto self = shared_from_this();
  if (!entity) {
    if (!filled) return PreparedTextTemplate(std::move(self));
    // The usual change, held by the new block itself: nothing more to allocate.
    return {
        std::move(self), std::move(filled),
        [](std::shared_ptr<CompositeListItem> record, std::shared_ptr<void> change) {
          auto& r = static_cast<CompositeListSectionItemBase&>(*record);
          r.putFields(std::static_pointer_cast<const CompositeListItemFields>(std::move(change)));
          return record;
        }};
  }
  auto change = std::make_shared<RecordTextChange>(RecordTextChange{filled, std::move(entity)});
  return {std::move(self), std::move(change),
          [](std::shared_ptr<CompositeListItem> record, std::shared_ptr<void> made) {
            auto& r = static_cast<CompositeListSectionItemBase&>(*record);
            const auto c = std::static_pointer_cast<RecordTextChange>(std::move(made));
            if (c->fields) r.putFields(std::move(c->fields));
            c->entity();
            return record;
          }};
}

void CompositeListSectionItemBase::putFields(
    std::shared_ptr<const CompositeListItemFields> filled) {
  if (!templateFields_) templateFields_ = fieldsHandle();
  fields_ = filled.get();
  heldFields_ = std::move(filled);
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
