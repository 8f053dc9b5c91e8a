#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/preview/render.h"

namespace quarn::tool {

namespace {

std::string premiumText(std::optional<bool> premium) {
  if (!premium) return "premium unknown";
  return *premium ? "premium user" : "free user";
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// Plain values as written in the outline: strings quoted, the rest as JSON.
std::string plain(const Value& value) {
  if (const std::string* s = value.ifString()) return quoted(*s);
  if (value.isArray()) return "[" + std::to_string(value.ifArray()->size()) + " items]";
  if (value.isObject()) return "{…}";
  return value.description();
}

std::string textRow(const Value& row) {
  std::string out = firstText(row, {"text"}).value_or("");
  if (auto details = firstText(row, {"details"})) out += " · " + *details;
  if (auto image = firstText(row, {"imageUrl"})) out += "  [image " + *image + "]";
  if (auto link = firstText(row, {"actionLink"})) out += "  → " + *link;
  return out;
}

}  // namespace

std::optional<std::string> firstText(const Value& entity,
                                     std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) {
    if (const Value* v = entity.find(key); v && v->isString()) return *v->ifString();
  }
  return std::nullopt;
}

std::string summarizeEntity(const Value& entity, std::size_t maxLength) {
  const Value::Object* object = entity.ifObject();
  if (object == nullptr) return plain(entity);
  std::string out = firstText(entity, {"class"}).value_or("entity");
  std::string members;
  for (const auto& [key, value] : *object) {
    if (key == "class" || value.isNull()) continue;
    members += (members.empty() ? "" : ", ") + key + "=" + plain(value);
    if (members.size() > maxLength) break;
  }
  if (!members.empty()) out += ": " + members;
  if (out.size() > maxLength) {
    // Cut on a character boundary.
    std::size_t cut = maxLength;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out = out.substr(0, cut) + "…";
  }
  return out;
}

std::string renderText(const Preview& preview, const RenderContext& context) {
  std::string out;
  out += context.templateFile + " — " + context.device + ", " + premiumText(context.premium) +
         ", " + context.now.iso8601String() + "\n";
  out += "with " + context.inputs + "\n";
  std::size_t rows = 0;
  for (const auto& s : preview.sections) rows += s.rows.size();
  out += std::to_string(preview.sections.size()) + " sections, " + std::to_string(rows) +
         " rows from " + std::to_string(preview.processedItemCount) + " items (" +
         std::to_string(preview.templateItemCount) + " in the template)\n";

  std::size_t index = 0;
  for (const PreviewSection& s : preview.sections) {
    out += "\n";
    if (s.separator) out += "────────────────────────────────────────\n";
    out += std::to_string(++index) + ". " + s.type + " " + quoted(s.uniqueId);
    if (s.layoutSize) out += "  size " + *s.layoutSize;
    if (s.style) out += "  style " + *s.style;
    if (s.headerLink) out += "  [header → " + *s.headerLink + "]";
    if (s.headerAction == "none") out += "  [header inactive]";
    out += "\n";
    if (s.title) out += "   " + *s.title + "\n";
    if (s.subtitle) out += "   " + *s.subtitle + "\n";
    for (const Value& row : s.rows) {
      out += "   - " + (s.textRows ? textRow(row) : summarizeEntity(row)) + "\n";
    }
    if (s.footerText || s.footerMode != "default") {
      out += "   footer: " + s.footerText.value_or("") +
             (s.footerMode != "default" ? " (" + s.footerMode + ")" : "") + "\n";
    }
  }
  if (context.printRequest) {
    out += "\nRequest body:\n";
    out += preview.request
               ? serializeJSON(*preview.request, {.prettyPrinted = true, .sortedKeys = false})
               : std::string("(no request: no item needs entities)");
    out += "\n";
  }
  return out;
}

}  // namespace quarn::tool
