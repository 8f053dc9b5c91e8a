#include "quarnkit/coding/json_schema.h"

#include <cstdint>
#include <limits>
#include <utility>

namespace quarn::json_schema {

namespace {

Value typed(const char* type, std::string description) {
  Value::Object o;
  o.set("type", type);
  if (!description.empty()) o.set("description", std::move(description));
  return o;
}

// Regular-expression metacharacters escaped, for a key inside a pattern.
std::string escapedForPattern(const std::string& key) {
  std::string out;
  for (const char c : key) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

Value string(std::string description) { return typed("string", std::move(description)); }

Value enumeration(std::vector<std::string> values, std::string description) {
  Value schema = typed("string", std::move(description));
  Value::Array list;
  for (auto& v : values) list.emplace_back(std::move(v));
  schema.ifObject()->set("enum", std::move(list));
  return schema;
}

Value integer64(std::string description) {
  Value schema = typed("integer", std::move(description));
  schema.ifObject()->set("minimum", std::numeric_limits<std::int64_t>::min());
  schema.ifObject()->set("maximum", std::numeric_limits<std::int64_t>::max());
  return schema;
}

Value number(std::string description) { return typed("number", std::move(description)); }

Value boolean(std::string description) { return typed("boolean", std::move(description)); }

Value dateTime(std::string description) {
  Value schema = typed("string", std::move(description));
  schema.ifObject()->set("pattern", kDateTimePattern);
  schema.ifObject()->set("examples", Value::Array{Value("2024-05-01T10:00:00Z")});
  return schema;
}

Value url(std::string description) {
  Value schema = typed("string", std::move(description));
  schema.ifObject()->set("format", "uri-reference");
  // A scheme, or a first segment without ":"; no spaces or characters a
  // URL cannot hold.
  schema.ifObject()->set("pattern",
                         "^([A-Za-z][A-Za-z0-9+.-]*:|[^:/?#]*([/?#]|$))[^\\s<>\"{}|\\\\^`]*$");
  return schema;
}

Value any(std::string description) {
  Value::Object o;
  if (!description.empty()) o.set("description", std::move(description));
  return o;
}

Value anyObject(std::string description) { return typed("object", std::move(description)); }

Value array(Value items, std::string description) {
  Value schema = typed("array", std::move(description));
  schema.ifObject()->set("items", std::move(items));
  return schema;
}

Value ref(const std::string& definition, std::string description) {
  Value::Object o;
  o.set("$ref", "#/$defs/" + definition);
  if (!description.empty()) o.set("description", std::move(description));
  return o;
}

Value describe(Value schema, std::string description) {
  if (auto* o = schema.ifObject()) o->set("description", std::move(description));
  return schema;
}

Value nullable(Value schema) {
  auto* o = schema.ifObject();
  if (o == nullptr) return schema;
  if (Value* type = o->find("type"); type != nullptr && type->isString()) {
    *type = Value::Array{*type, Value("null")};
    if (Value* values = o->find("enum"); values != nullptr && values->ifArray() != nullptr) {
      values->ifArray()->emplace_back(nullptr);
    }
    return schema;
  }
  if (Value* target = o->find("$ref")) {
    Value::Object wrapped;
    wrapped.set("anyOf",
                Value::Array{Value::Object{{"$ref", *target}}, Value::Object{{"type", "null"}}});
    if (Value* description = o->find("description")) wrapped.set("description", *description);
    return wrapped;
  }
  return schema;  // any value, null included
}

Value object(std::string title, std::string description, const std::vector<Member>& members,
             ObjectOptions options) {
  Value::Object o;
  o.set("type", "object");
  if (!title.empty()) o.set("title", std::move(title));
  if (!description.empty()) o.set("description", std::move(description));
  Value::Object properties;
  Value::Object variants;
  Value::Array required;
  for (const Member& m : members) {
    const Value schema = m.required || m.notNull ? m.schema : nullable(m.schema);
    properties.set(m.key, schema);
    if (m.required) required.emplace_back(m.key);
    if (options.deviceVariants) {
      variants.set("^" + escapedForPattern(m.key) + "~(ipad|iphone)$", schema);
    }
  }
  o.set("properties", std::move(properties));
  if (!variants.empty()) o.set("patternProperties", std::move(variants));
  if (!required.empty()) o.set("required", std::move(required));
  return o;
}

ValueObject* propertiesOf(Value& objectSchema) {
  auto* o = objectSchema.ifObject();
  if (o == nullptr) return nullptr;
  Value* properties = o->find("properties");
  return properties != nullptr ? properties->ifObject() : nullptr;
}

Value document(const std::string& id, const std::string& title, const std::string& description,
               Value root, ValueObject defs) {
  Value::Object o;
  o.set("$schema", kDialect);
  o.set("$id", id);
  o.set("title", title);
  o.set("description", description);
  if (auto* members = root.ifObject()) {
    for (auto& [key, value] : *members) {
      if (key != "title" && key != "description") o.set(key, std::move(value));
    }
  }
  if (!defs.empty()) o.set("$defs", std::move(defs));
  return o;
}

}  // namespace quarn::json_schema
