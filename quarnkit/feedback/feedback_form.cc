#include "quarnkit/feedback/feedback_form.h"

#include "quarnkit/feedback/form_items_registry.h"

namespace quarn {

FeedbackForm FeedbackForm::decode(Decoder& d) {
  auto c = d.container();
  FeedbackForm form;
  form.id = c->decode<std::int64_t>("id");
  form.title = c->decodeIfPresent<std::string>("title");
  form.description = c->decodeIfPresent<std::string>("description");
  form.alias = c->decodeIfPresent<std::string>("alias");
  form.buttonTitle = c->decodeIfPresent<std::string>("buttonTitle");
  form.footerText = c->decodeIfPresent<std::string>("footerText");
  form.expiryDate = c->decodeIfPresent<Date>("expiryDate");
  form.refill = c->decodeIfPresent<bool>("refill").value_or(true);

  const auto registry = FeedbackFormItemsRegistry::shared();
  auto list = c->nestedUnkeyedContainer("items");
  while (!list->isAtEnd()) {
    list->decodeNested([&](Decoder& element) {
      auto object = element.container();
      if (!object->contains("type")) return;
      const auto type = object->decode<FeedbackFormItemType>("type");
      const FeedbackFormItemClass* found = registry->itemClass(type);
      if (found == nullptr || found->decode == nullptr) return;
      const FeedbackFormItemClass itemClass = *found;
      // The question reads the object already opened.
      ReopenedDecoder question(element, std::move(object));
      form.items.push_back(itemClass.decode(question));
    });
  }
  return form;
}

void FeedbackForm::encode(Encoder& e) const {
  auto c = e.container();
  c->encode(id, "id");
  c->encodeIfPresent(title, "title");
  c->encodeIfPresent(description, "description");
  c->encodeIfPresent(alias, "alias");
  c->encodeIfPresent(buttonTitle, "buttonTitle");
  c->encodeIfPresent(footerText, "footerText");
  c->encodeIfPresent(expiryDate, "expiryDate");
  c->encode(refill, "refill");
  auto list = c->nestedUnkeyedContainer("items");
  for (const auto& item : items) {
    if (item) list->encode(*item);
  }
}

}  // namespace quarn
