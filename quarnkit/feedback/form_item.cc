#include "quarnkit/feedback/form_item.h"

namespace quarn {

void FeedbackFormItem::encode(Encoder& e) const {
  auto c = e.container();
  encodeMembers(*c);
}

void FeedbackFormItem::decodeMembers(KeyedDecodingContainer& c) {
  id = c.decode<std::int64_t>("id");
  type = c.decode<FeedbackFormItemType>("type");
  key = c.decodeIfPresent<std::string>("key");
  isRequired = c.decode<bool>("isRequired");
  text = c.decodeIfPresent<std::string>("text");
}

void FeedbackFormItem::encodeMembers(KeyedEncodingContainer& c) const {
  c.encode(id, "id");
  c.encode(type, "type");
  c.encodeIfPresent(key, "key");
  c.encode(isRequired, "isRequired");
  c.encodeIfPresent(text, "text");
}

std::vector<json_schema::Member> FeedbackFormItem::jsonSchemaMembers() {
  namespace s = json_schema;
  return {{"id", s::integer64("The question's identifier."), true},
          {"type", s::string("The question's kind."), true},
          {"key", s::string("The key its answer is sent under.")},
          {"isRequired", s::boolean("Whether the question must be answered."), true},
          {"text", s::string("The question.")}};
}

std::vector<json_schema::Member> FeedbackFormTextItem::jsonSchemaMembers() {
  auto members = FeedbackFormItem::jsonSchemaMembers();
  members.push_back({"hint", json_schema::string("A hint shown in the empty text field.")});
  return members;
}

void FeedbackFormTextItem::decodeMembers(KeyedDecodingContainer& c) {
  FeedbackFormItem::decodeMembers(c);
  hint = c.decodeIfPresent<std::string>("hint");
}

void FeedbackFormTextItem::encodeMembers(KeyedEncodingContainer& c) const {
  FeedbackFormItem::encodeMembers(c);
  c.encodeIfPresent(hint, "hint");
}

Value FeedbackFormChoiceTextElement::jsonSchema() {
  namespace s = json_schema;
  return s::object("Option", "An option with a text.",
                   {{"id", s::integer64("The option's identifier: what an answer sends."), true},
                    {"text", s::string("The option's text.")}});
}

Value FeedbackFormChoiceImageElement::jsonSchema() {
  namespace s = json_schema;
  return s::object("Image option", "An option shown as an image.",
                   {{"id", s::integer64("The option's identifier: what an answer sends."), true},
                    {"caption", s::string("The text under the image.")},
                    {"imageUrl", s::url("The image.")},
                    {"link", s::url("A URL the option links to.")},
                    {"entityId", s::integer64("An entity the option stands for.")},
                    {"entityType", s::string("The kind of that entity.")}});
}

FeedbackFormChoiceTextElement FeedbackFormChoiceTextElement::decode(Decoder& d) {
  auto c = d.container();
  return {c->decode<std::int64_t>("id"), c->decodeIfPresent<std::string>("text")};
}

void FeedbackFormChoiceTextElement::encode(Encoder& e) const {
  auto c = e.container();
  c->encode(id, "id");
  c->encodeIfPresent(text, "text");
}

FeedbackFormChoiceImageElement FeedbackFormChoiceImageElement::decode(Decoder& d) {
  auto c = d.container();
  FeedbackFormChoiceImageElement out;
  out.id = c->decode<std::int64_t>("id");
  out.caption = c->decodeIfPresent<std::string>("caption");
  out.imageUrl = c->decodeIfPresent<URL>("imageUrl");
  out.link = c->decodeIfPresent<URL>("link");
  out.entityId = c->decodeIfPresent<std::int64_t>("entityId");
  out.entityType = c->decodeIfPresent<std::string>("entityType");
  return out;
}

void FeedbackFormChoiceImageElement::encode(Encoder& e) const {
  auto c = e.container();
  c->encode(id, "id");
  c->encodeIfPresent(caption, "caption");
  c->encodeIfPresent(imageUrl, "imageUrl");
  c->encodeIfPresent(link, "link");
  c->encodeIfPresent(entityId, "entityId");
  c->encodeIfPresent(entityType, "entityType");
}

}  // namespace quarn
