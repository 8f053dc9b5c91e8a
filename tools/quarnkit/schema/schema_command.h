// The command line of `quarnkit schema` (included by main.cc only).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "tools/quarnkit/schema/schema.h"

namespace quarn::tool {

struct SchemaArguments {
  std::string kind, output;

  /// The options, with the texts given turned into their values.
  [[nodiscard]] SchemaOptions parsed() const {
    SchemaOptions o;
    o.kind = schemaKindNamed(kind).value_or(SchemaKind::template_);
    if (!output.empty()) o.output = output;
    return o;
  }
};

inline CLI::App* addSchemaCommand(CLI::App& app, SchemaArguments& a) {
  CLI::App* schema = app.add_subcommand(
      "schema", "Write the JSON Schema of templates, forms, store products or routes files");
  schema->add_option("KIND", a.kind, "template, form, products or routes")
      ->required()
      ->check(CLI::IsMember(schemaKindNames()));
  schema->add_option("--output,-o", a.output, "Write to FILE instead of standard output");
  return schema;
}

}  // namespace quarn::tool
