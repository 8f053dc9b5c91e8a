// The html rendering: one page, its style inline, nothing fetched but the
// rows' images. Every text is escaped, and only links and images with safe
// schemes become attributes, since templates and results come from outside.
#include <string_view>

#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/common/html_text.h"
#include "tools/quarnkit/preview/render.h"

namespace quarn::tool {

namespace {

constexpr std::string_view kStyle = R"css(
* { box-sizing: border-box; }
body { margin: 0; padding: 32px 0; background: #dfe3ea; font: 15px/1.35 system-ui, sans-serif; color: #1c1f24; }
.phone { width: 390px; height: 844px; margin: 0 auto; border: 12px solid #111; border-radius: 48px; background: #f6f7f9; overflow: hidden; display: flex; flex-direction: column; box-shadow: 0 24px 60px rgba(0,0,0,.25); }
.status { height: 44px; flex: none; display: flex; align-items: center; justify-content: space-between; padding: 0 24px; font-weight: 600; font-size: 14px; background: #f6f7f9; }
.screen { flex: 1; overflow-y: auto; padding: 20px 0; }
.meta { font-size: 12px; color: #6b7280; padding: 0 16px 8px; }
hr.separator { border: 0; border-top: 1px solid #d5d9e0; margin: 12px 16px; }
section { margin: 0 0 18px; }
.header { display: flex; align-items: baseline; justify-content: space-between; padding: 0 16px 8px; }
.header h2 { font-size: 19px; margin: 0; }
.header p { margin: 2px 0 0; color: #6b7280; font-size: 13px; }
.header a { font-size: 14px; color: #2563eb; text-decoration: none; white-space: nowrap; margin-left: 12px; }
.rows { margin: 0 16px; background: #fff; border-radius: 12px; overflow: hidden; }
.row { display: flex; align-items: center; gap: 12px; padding: 10px 12px; border-bottom: 1px solid #eef0f3; color: inherit; text-decoration: none; }
.row:last-child { border-bottom: 0; }
.row img { width: 40px; height: 40px; border-radius: 8px; object-fit: cover; flex: none; background: #e5e7eb; }
.row .details { color: #6b7280; font-size: 13px; }
.row .chevron { margin-left: auto; color: #9ca3af; }
.tags { display: flex; flex-wrap: wrap; gap: 8px; padding: 0 16px; }
.tag { padding: 6px 12px; border-radius: 16px; background: #e8eefc; color: #1e40af; font-size: 14px; text-decoration: none; }
.cards { display: flex; gap: 12px; padding: 0 16px; overflow-x: auto; }
.cards.vertical { flex-direction: column; overflow-x: visible; }
.card { flex: none; width: 150px; background: #fff; border-radius: 12px; overflow: hidden; color: inherit; text-decoration: none; box-shadow: 0 1px 2px rgba(0,0,0,.06); }
.cards.vertical .card, .card.wide { width: 100%; }
.card img { display: block; width: 100%; height: 110px; object-fit: cover; background: #e5e7eb; }
.card.wide img { height: 180px; }
.card .body { padding: 8px 10px 10px; }
.card .title { font-weight: 600; }
.card .subtitle { color: #6b7280; font-size: 13px; }
.card .fields { color: #6b7280; font-size: 12px; margin-top: 4px; word-break: break-word; }
.footer { padding: 8px 16px 0; font-size: 14px; color: #2563eb; }
.request { margin: 24px 16px 0; font-size: 12px; }
.request pre { white-space: pre-wrap; word-break: break-all; background: #fff; padding: 8px; border-radius: 8px; }
.empty { padding: 40px 16px; text-align: center; color: #6b7280; }
)css";

std::string linkOpen(const std::optional<std::string>& href, const char* cls) {
  return href ? "<a class=\"" + std::string(cls) + "\" href=\"" + *href + "\">"
              : "<div class=\"" + std::string(cls) + "\">";
}
std::string linkClose(const std::optional<std::string>& href) { return href ? "</a>" : "</div>"; }

void textRows(std::string& out, const PreviewSection& s) {
  const bool tags = s.type == "tags";
  out += tags ? "<div class=\"tags\">" : "<div class=\"rows\">";
  for (const Value& row : s.rows) {
    const auto href = safeLink(firstText(row, {"actionLink"}));
    const std::string text = escapeHTML(firstText(row, {"text"}).value_or(""));
    if (tags) {
      out += linkOpen(href, "tag") + text + linkClose(href);
      continue;
    }
    out += linkOpen(href, "row");
    if (auto image = safeImage(firstText(row, {"imageUrl"}))) {
      out += "<img src=\"" + *image + "\" alt=\"\">";
    }
    out += "<div><div>" + text + "</div>";
    if (auto details = firstText(row, {"details"})) {
      out += "<div class=\"details\">" + escapeHTML(*details) + "</div>";
    }
    out += "</div>";
    if (href) out += "<span class=\"chevron\">›</span>";
    out += linkClose(href);
  }
  out += "</div>";
}

void entityCards(std::string& out, const PreviewSection& s) {
  const bool wide = s.rows.size() == 1 || s.type.find("banner") != std::string::npos;
  out += std::string("<div class=\"cards") + (s.vertical ? " vertical" : "") + "\">";
  for (const Value& entity : s.rows) {
    const auto href = safeLink(firstText(entity, {"actionLink", "link", "url", "deeplink"}));
    out += linkOpen(href, wide ? "card wide" : "card");
    if (auto image = safeImage(firstText(
            entity, {"imageUrl", "image", "imageURL", "thumbnail", "picture", "cover"}))) {
      out += "<img src=\"" + *image + "\" alt=\"\">";
    }
    out += "<div class=\"body\">";
    const auto title = firstText(entity, {"title", "name", "text", "label"});
    out += "<div class=\"title\">" +
           escapeHTML(title.value_or(firstText(entity, {"class"}).value_or("")));
    out += "</div>";
    if (auto subtitle = firstText(entity, {"subtitle", "description", "details", "caption"})) {
      out += "<div class=\"subtitle\">" + escapeHTML(*subtitle) + "</div>";
    }
    if (!title)
      out += "<div class=\"fields\">" + escapeHTML(summarizeEntity(entity, 80)) + "</div>";
    out += "</div>" + linkClose(href);
  }
  out += "</div>";
}

}  // namespace

std::string_view previewStyle() { return kStyle; }

std::string renderHTMLScreen(const Preview& preview, const RenderContext& context) {
  std::string out;
  out.reserve(8192);
  out += "<div class=\"phone\"><div class=\"status\"><span>";
  out += escapeHTML(context.now.iso8601String().substr(11, 5));
  out += "</span><span>" + escapeHTML(context.device) + "</span></div><div class=\"screen\">\n";
  out += "<div class=\"meta\" title=\"" + escapeHTML(context.inputs) + "\">" +
         escapeHTML(context.templateFile) + " · " + escapeHTML(context.now.iso8601String()) +
         " · " + (context.premium ? (*context.premium ? "premium" : "free") : "premium unknown") +
         "</div>\n";
  if (preview.sections.empty()) out += "<div class=\"empty\">Nothing to show</div>\n";
  for (const PreviewSection& s : preview.sections) {
    if (s.separator) out += "<hr class=\"separator\">\n";
    out += "<section data-type=\"" + escapeHTML(s.type) + "\" data-id=\"" + escapeHTML(s.uniqueId) +
           "\">";
    if (s.title || s.subtitle || s.headerLink) {
      out += "<div class=\"header\"><div>";
      if (s.title) out += "<h2>" + escapeHTML(*s.title) + "</h2>";
      if (s.subtitle) out += "<p>" + escapeHTML(*s.subtitle) + "</p>";
      out += "</div>";
      if (auto link = safeLink(s.headerLink)) out += "<a href=\"" + *link + "\">See all ›</a>";
      out += "</div>";
    }
    if (s.textRows) {
      textRows(out, s);
    } else {
      entityCards(out, s);
    }
    if (s.footerText && s.footerMode != "none") {
      out += "<div class=\"footer\">" + escapeHTML(*s.footerText) + "</div>";
    }
    out += "</section>\n";
  }
  if (context.printRequest) {
    out += "<details class=\"request\"><summary>Request body</summary><pre>";
    out += escapeHTML(preview.request ? serializeJSON(*preview.request, {.prettyPrinted = true})
                                      : std::string("no request"));
    out += "</pre></details>\n";
  }
  out += "</div></div>\n";
  return out;
}

std::string renderHTML(const Preview& preview, const RenderContext& context) {
  std::string out = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
  out += "<title>" + escapeHTML(context.templateFile) + " — quarnkit preview</title>";
  out += "<style>";
  out += kStyle;
  out += "</style></head><body>\n";
  out += renderHTMLScreen(preview, context);
  out += "</body></html>\n";
  return out;
}

}  // namespace quarn::tool
