#include "quarnkit/feedback/feedback_form.h"

#include <algorithm>
#include <utility>

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

Value feedbackFormSchema(const FeedbackFormItemsRegistry& registry, const std::string& id) {
  namespace s = json_schema;
  // Kinds in a stable order: the library's first, then the host's by name.
  std::vector<FeedbackFormItemType> kinds;
  for (const auto& [kind, itemClass] : registry.itemClassMap()) {
    if (itemClass.decode != nullptr) kinds.push_back(kind);
  }
  const std::vector<std::string> builtIn = {
      "text",         "single_choice",       "single_choice_select",
      "multi_choice", "image_single_choice", "image_multi_choice"};
  auto rank = [&](const FeedbackFormItemType& k) {
    auto at = std::find(builtIn.begin(), builtIn.end(), k.rawValue);
    return std::pair(at - builtIn.begin(), k.rawValue);
  };
  std::sort(kinds.begin(), kinds.end(),
            [&](const auto& a, const auto& b) { return rank(a) < rank(b); });

  Value::Array names;
  Value::Array byKind;
  for (const auto& kind : kinds) {
    names.emplace_back(kind.rawValue);
    const FeedbackFormItemClass* itemClass = registry.itemClass(kind);
    if (itemClass == nullptr || itemClass->members == nullptr) continue;
    Value question = s::object("", "", itemClass->members());
    Value::Object when{
        {"required", Value::Array{Value("type")}},
        {"properties", Value::Object{{"type", Value::Object{{"const", kind.rawValue}}}}}};
    byKind.push_back(Value::Object{{"if", std::move(when)}, {"then", std::move(question)}});
  }
  Value element = s::object(
      "Question",
      "A question. An element without \"type\", or of a kind no class is registered for, is "
      "dropped.",
      {{"type", s::describe(s::string(""), "The question's kind."), false, true}});
  s::propertiesOf(element)->find("type")->ifObject()->set("examples", std::move(names));
  if (!byKind.empty()) element.ifObject()->set("allOf", std::move(byKind));

  Value root = s::object(
      "", "",
      {{"id", s::integer64("The form's identifier."), true},
       {"title", s::string("The form's title.")},
       {"description", s::string("The text under the title.")},
       {"alias", s::string("A host-side name of the form.")},
       {"buttonTitle", s::string("The title of the send button.")},
       {"footerText", s::string("The text under the questions.")},
       {"expiryDate", s::dateTime("The form is not shown after this internet date-time.")},
       {"refill", s::boolean("Whether the form may be filled again (default true).")},
       {"items", s::array(s::ref("question"), "The questions, in the order shown."), true}});
  return s::document(id, "Feedback form",
                     "A questionnaire: its texts and its questions of several kinds.",
                     std::move(root), ValueObject{{"question", std::move(element)}});
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
