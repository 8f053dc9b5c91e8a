#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/preview/render.h"

namespace quarn::tool {

namespace {

Value optionalText(const std::optional<std::string>& text) { return text ? Value(*text) : Value(); }

Value sectionValue(const PreviewSection& s) {
  Value::Array rows(s.rows.begin(), s.rows.end());
  Value::Object header{{"action", s.headerAction}, {"link", optionalText(s.headerLink)}};
  Value::Object footer{{"mode", s.footerMode}, {"text", optionalText(s.footerText)}};
  return Value::Object{
      {"uniqueId", s.uniqueId},
      {"type", s.type},
      {"title", optionalText(s.title)},
      {"subtitle", optionalText(s.subtitle)},
      {"separator", s.separator},
      {"header", std::move(header)},
      {"footer", std::move(footer)},
      {"layoutSize", optionalText(s.layoutSize)},
      {"style", optionalText(s.style)},
      {"vertical", s.vertical},
      {"rowKind", s.textRows ? "text" : "entity"},
      {"rows", std::move(rows)},
  };
}

}  // namespace

std::string renderJSON(const Preview& preview, const RenderContext& context) {
  Value::Array sections;
  sections.reserve(preview.sections.size());
  for (const auto& s : preview.sections) sections.push_back(sectionValue(s));
  Value::Object document{
      {"template", context.templateFile},
      {"inputs", context.inputs},
      {"now", context.now},
      {"device", context.device},
      {"premium", context.premium ? Value(*context.premium) : Value()},
      {"items", Value::Object{{"template", preview.templateItemCount},
                              {"shown", preview.processedItemCount}}},
      {"sections", std::move(sections)},
  };
  if (context.printRequest) document.set("request", preview.request ? *preview.request : Value());
  return serializeJSON(Value(std::move(document)), {.prettyPrinted = true, .sortedKeys = false}) +
         "\n";
}

}  // namespace quarn::tool
