#include "quarnkit/composite_list/model/template_schema.h"

#include <algorithm>
#include <utility>

#include "quarnkit/composite_list/model/fetch_mode.h"
#include "quarnkit/composite_list/model/item_data.h"
#include "quarnkit/composite_list/model/registry.h"

namespace quarn {

namespace s = json_schema;

namespace {

// What a person writing a predicate needs to know of its language.
constexpr const char* kPredicateDescription =
    "A predicate over the facts (os, date, locale, preferred_languages, is_pad, app.version, "
    "app.build, date.year ... date.second, and the host's own) and the element's $vars; the "
    "element is hidden when it is false, kept when it does not parse. "
    "Forms: key paths (app.build, user.name), $variables, strings in quotes, numbers, TRUE/YES, "
    "FALSE/NO, NULL/NIL, lists {a, b}. "
    "Comparisons: == = != <> < <= > >= BETWEEN {low, high}, IN, CONTAINS, BEGINSWITH, ENDSWITH, "
    "LIKE (* and ?), MATCHES (a regular expression), with [c] (ignore case), [d] (ignore "
    "diacritics) or [cd]; ANY, SOME, ALL, NONE before a comparison apply it to each element of "
    "a list. Connectives: AND/&&, OR/||, NOT/!, parentheses, TRUEPREDICATE, FALSEPREDICATE. "
    "Arithmetic + - * / ** and functions such as now(). "
    "Example: is_pad == YES AND app.build >= $min_build";

std::vector<std::string> fetchModes() {
  std::vector<std::string> out;
  for (auto mode : {CompositeListFetchMode::automatic, CompositeListFetchMode::compose,
                    CompositeListFetchMode::individual, CompositeListFetchMode::skip,
                    CompositeListFetchMode::one}) {
    out.emplace_back(rawValue(mode));
  }
  return out;
}

}  // namespace

std::vector<s::Member> compositeListElementMembers() {
  return {{"visibility",
           s::string("Who sees it: \"hidden\" (nobody), \"free\" (users without premium), \"pro\" "
                     "(premium users); any other value hides nothing.")},
          {"start", s::dateTime("Shown only once this internet date-time has passed.")},
          {"expiry", s::dateTime("Hidden once this internet date-time has passed.")},
          {"predicate", s::string(kPredicateDescription)},
          {"vars", s::any("The predicate's $variables: an object whose date-time strings become "
                          "dates.")}};
}

Value compositeListItemSchema(Value entity) {
  std::vector<s::Member> members = {
      {"uniqueId", s::string("The item's identifier: results are applied by it. Default: the "
                             "type, \"_\" and the item's position.")},
      {"type",
       s::string("The item type; its description decides how the item decodes. An item without "
                 "a type, or of a type no description handles, is skipped."),
       false, true},
      {"entityId", s::integer64("The one entity the item shows (when there is no entityIds).")},
      {"entityIds", s::array(s::integer64(""), "The entities the item shows.")},
      {"entity", std::move(entity)},
  };
  for (auto& m : compositeListElementMembers()) members.push_back(std::move(m));
  std::vector<s::Member> rest = {
      {"data", s::ref("data", "Presentation data.")},
      {"filters", s::anyObject("Request filters, merged over \"limit\" (from data.maxItems).")},
      {"items", s::describe(s::ref("template"), "Nested items, decoded as a template."), false,
       true},
      {"fetchMode", s::enumeration(fetchModes(),
                                   "How the item's entities are fetched (default "
                                   "automatic).")}};
  for (auto& m : rest) members.push_back(std::move(m));
  return s::object("Item", "One item of a template.", members, {.deviceVariants = true});
}

Value compositeListTemplateSchema(const CompositeListItemsRegistry& registry,
                                  const std::string& id) {
  // The types in registration order, each with its last registration.
  std::vector<AnyCompositeListItemDescription> entries;
  for (const auto& entry : registry.descriptions()) {
    auto same = std::find_if(entries.begin(), entries.end(),
                             [&](const auto& e) { return e.type() == entry.type(); });
    if (same != entries.end()) {
      *same = entry;
    } else {
      entries.push_back(entry);
    }
  }
  const auto ignored = registry.ignoreItemTypes();
  std::erase_if(entries, [&](const auto& e) {
    return std::find(ignored.begin(), ignored.end(), e.type()) != ignored.end();
  });

  Value item = compositeListItemSchema(
      s::any("The item's entity, as its type reads it (see the item type)."));
  Value::Array types;
  Value::Array byType;
  // Entities of the same schema (rows and tags) share one definition.
  ValueObject entities;
  for (const auto& entry : entries) {
    types.emplace_back(entry.type().rawValue);
    auto entity = entry.base->entitySchema();
    if (!entity) continue;
    std::string name = "entity." + entry.type().rawValue;
    for (const auto& [defined, schema] : entities) {
      if (schema == *entity) name = defined;
    }
    if (!entities.contains(name)) entities.set(name, std::move(*entity));
    const Value nullable = s::nullable(s::ref(name));
    Value::Object when{
        {"required", Value::Array{Value("type")}},
        {"properties", Value::Object{{"type", Value::Object{{"const", entry.type().rawValue}}}}}};
    Value::Object then{{"properties", Value::Object{{"entity", nullable}}},
                       {"patternProperties", Value::Object{{"^entity~(ipad|iphone)$", nullable}}}};
    byType.push_back(Value::Object{{"if", std::move(when)}, {"then", std::move(then)}});
  }
  if (auto* type = s::propertiesOf(item)->find("type")) {
    type->ifObject()->set("examples", std::move(types));
  }
  if (!byType.empty()) item.ifObject()->set("allOf", std::move(byType));

  Value root = s::array(s::ref("item"), "");
  ValueObject defs{{"template", s::array(s::ref("item"), "A list of items.")},
                   {"item", std::move(item)},
                   {"data", CompositeListItemData::jsonSchema()}};
  defs.merge(entities);
  return s::document(id, "Composite-list template",
                     "A screen's items, in order: each names its type and, optionally, its "
                     "entities, when and for whom it is shown, its presentation data and nested "
                     "items.",
                     std::move(root), std::move(defs));
}

}  // namespace quarn
