// schema: the JSON Schema (draft 2020-12) of each kind of document the tool
// reads, made from the library's own registries and member lists, so that it
// names exactly the members the decoders read.
//
//   quarnkit schema template -o schemas/template.schema.json
//   quarnkit schema form
//
// Kinds: "template" (the item types of the tool's registry, the built-ins
// with their entities), "form" (the question kinds of the shared form
// registry), "products" (store products), "routes" (the JSON form of a
// routes file). Free functions over values.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/value.h"

namespace quarn {
class CompositeListItemsRegistry;
}

namespace quarn::tool {

enum class SchemaKind { template_, form, products, routes };

/// The kinds' names, in the order above.
std::vector<std::string> schemaKindNames();
std::optional<SchemaKind> schemaKindNamed(std::string_view name);

/// The file a kind's schema is kept in ("template.schema.json"); its "$id"
/// is that name under kSchemaBaseId.
std::string schemaFileName(SchemaKind kind);
inline constexpr const char* kSchemaBaseId = "https://quarnkit.example/schemas/";

/// The schema of a kind. The template schema names the types of the tool's
/// registry (or of `registry` when given: a host's own types included).
Value schemaDocument(SchemaKind kind, const CompositeListItemsRegistry* registry = nullptr);

/// The document as written: indented JSON and a final line break.
std::string schemaText(const Value& document);

struct SchemaOptions {
  SchemaKind kind = SchemaKind::template_;
  std::optional<std::string> output;
};

/// Writes the schema; 0.
int runSchema(const SchemaOptions& options);

}  // namespace quarn::tool
