// The JSON Schema of composite-list templates, made from the records'
// member lists (each record's static jsonSchema(), beside its decode
// function) and from a registry's item types, so that it says what the
// decoder reads and nothing else:
//
//   Value schema = compositeListTemplateSchema(*CompositeListItemsRegistry::shared(),
//                                              "https://example.com/template.schema.json");
//
// Free functions returning values (json_schema.h).
#pragma once

#include <string>
#include <vector>

#include "quarnkit/coding/json_schema.h"
#include "quarnkit/core/value.h"

namespace quarn {

class CompositeListItemsRegistry;

/// The members that say when and for whom an element is shown, shared by
/// items and rows: "visibility", "start", "expiry", "predicate", "vars".
std::vector<json_schema::Member> compositeListElementMembers();

/// The schema of one template item (the record's own members), with
/// `entity` as the schema of "entity" for items of any type; nested "items"
/// refer to the document's root.
Value compositeListItemSchema(Value entity);

/// The whole template document: an array of items. The item types of
/// `registry` (the last registration of a type) are named in "type", and
/// each one whose description knows its entity's schema gets it for
/// "entity". Item types in the registry's ignore list are left out.
Value compositeListTemplateSchema(const CompositeListItemsRegistry& registry,
                                  const std::string& id);

}  // namespace quarn
