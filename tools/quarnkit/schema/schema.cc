#include "tools/quarnkit/schema/schema.h"

#include <memory>

#include "quarnkit/coding/json_schema.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/composite_list/model/template_schema.h"
#include "quarnkit/feedback/feedback_form.h"
#include "quarnkit/feedback/form_items_registry.h"
#include "quarnkit/formatting/store_product_decoding.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/host/host_descriptions.h"
#include "tools/quarnkit/host/host_environment.h"
#include "tools/quarnkit/route/route.h"

namespace quarn::tool {

namespace {

constexpr std::pair<SchemaKind, const char*> kKinds[] = {{SchemaKind::template_, "template"},
                                                         {SchemaKind::form, "form"},
                                                         {SchemaKind::products, "products"},
                                                         {SchemaKind::routes, "routes"}};

// The tool previews a type it has no description for through a generic one
// (HostRegistry::registerTypes): "list" as the library's list of entities
// named by "class", any other type ending in "list" as a list of any values,
// every other type as one value of any kind.
Value withGenericTypes(Value schema, const CompositeListItemsRegistry& registry) {
  namespace s = json_schema;
  Value::Array described;
  for (const auto& entry : registry.descriptions()) described.emplace_back(entry.type().rawValue);
  auto when = [&](Value type) {
    return Value::Object{{"required", Value::Array{Value("type")}},
                         {"properties", Value::Object{{"type", std::move(type)}}}};
  };
  auto then = [](Value entity) {
    const Value nullable = s::nullable(std::move(entity));
    return Value::Object{
        {"properties", Value::Object{{"entity", nullable}}},
        {"patternProperties", Value::Object{{"^entity~(ipad|iphone)$", nullable}}}};
  };
  Value::Array listOrDescribed = described;
  listOrDescribed.emplace_back("list");
  Value classed = s::object("", "An entity of the model class it names.",
                            {{"class", s::string("The host model class."), true}});
  Value::Array rules;
  rules.push_back(Value::Object{
      {"if", when(Value::Object{{"const", "list"}, {"not", Value::Object{{"enum", described}}}})},
      {"then", then(s::array(std::move(classed), "Entities named by their class."))}});
  rules.push_back(
      Value::Object{{"if", when(Value::Object{{"pattern", "list$"},
                                              {"not", Value::Object{{"enum", listOrDescribed}}}})},
                    {"then", then(s::array(s::any(""), "A list of entities."))}});
  Value& item = *schema.ifObject()->find("$defs")->ifObject()->find("item");
  Value* all = item.ifObject()->find("allOf");
  if (all == nullptr) {
    item.ifObject()->set("allOf", Value::Array{});
    all = item.ifObject()->find("allOf");
  }
  for (auto& rule : rules) all->ifArray()->push_back(std::move(rule));
  return schema;
}

}  // namespace

std::vector<std::string> schemaKindNames() {
  std::vector<std::string> names;
  for (const auto& [kind, name] : kKinds) names.emplace_back(name);
  return names;
}

std::optional<SchemaKind> schemaKindNamed(std::string_view name) {
  for (const auto& [kind, n] : kKinds) {
    if (name == n) return kind;
  }
  return std::nullopt;
}

std::string schemaFileName(SchemaKind kind) {
  for (const auto& [k, name] : kKinds) {
    if (k == kind) return std::string(name) + ".schema.json";
  }
  return {};
}

Value schemaDocument(SchemaKind kind, const CompositeListItemsRegistry* registry) {
  const std::string id = kSchemaBaseId + schemaFileName(kind);
  switch (kind) {
    case SchemaKind::template_: {
      if (registry != nullptr) return compositeListTemplateSchema(*registry, id);
      // The registry previews run with: the library's built-ins as the
      // tool's screens show them.
      const HostRegistry host(std::make_shared<HostEnvironment>(ValueDictionary{}, std::nullopt));
      return withGenericTypes(compositeListTemplateSchema(*host.registry(), id), *host.registry());
    }
    case SchemaKind::form:
      return feedbackFormSchema(*FeedbackFormItemsRegistry::shared(), id);
    case SchemaKind::products:
      return storeProductsSchema(id);
    case SchemaKind::routes:
      return routeTableSchema(id);
  }
  return {};
}

std::string schemaText(const Value& document) {
  return serializeJSON(document, {.prettyPrinted = true}) + "\n";
}

int runSchema(const SchemaOptions& options) {
  writeOutput(options.output, schemaText(schemaDocument(options.kind)));
  return 0;
}

}  // namespace quarn::tool
