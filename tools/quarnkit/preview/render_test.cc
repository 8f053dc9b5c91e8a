// Renderings: html escapes every text and drops links and images whose
// scheme could run code; the outline's entity summaries stay short and
// whole characters; the json document has its documented members.
#include "tools/quarnkit/preview/render.h"

#include <gtest/gtest.h>

#include "quarnkit/coding/json_serialization.h"

namespace quarn::tool {
namespace {

Preview hostilePreview() {
  PreviewSection s;
  s.uniqueId = "x\"><script>";
  s.type = "rows";
  s.title = "<b>Title</b> & more";
  s.headerLink = "javascript:alert(1)";
  s.textRows = true;
  s.rows = {Value{{"text", "<img src=x onerror=alert(1)>"},
                  {"imageUrl", "javascript:alert(2)"},
                  {"actionLink", "JavaScript:alert(3)"}},
            Value{{"text", "ok"}, {"imageUrl", "https://e.com/a.png"}, {"actionLink", "app://x"}}};
  PreviewSection cards;
  cards.uniqueId = "c";
  cards.type = "banner";
  cards.rows = {Value{{"title", "T"},
                      {"image", "data:text/html,<script>"},
                      {"actionLink", "https://e.com/?a=1&b=\"2\""}}};
  Preview p;
  p.sections = {s, cards};
  return p;
}

TEST(RenderHTMLTest, EscapesTextsAndDropsUnsafeURLs) {
  const RenderContext context{"t<1>.json", "no results", Date(0), "phone", false, true};
  const std::string html = renderHTML(hostilePreview(), context);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_EQ(html.find("<img src=x"), std::string::npos);
  EXPECT_EQ(html.find("javascript:"), std::string::npos);
  EXPECT_EQ(html.find("JavaScript:"), std::string::npos);
  EXPECT_EQ(html.find("data:text"), std::string::npos);
  EXPECT_NE(html.find("&lt;b&gt;Title&lt;/b&gt; &amp; more"), std::string::npos);
  EXPECT_NE(html.find("src=\"https://e.com/a.png\""), std::string::npos);
  EXPECT_NE(html.find("href=\"app://x\""), std::string::npos);
  EXPECT_NE(html.find("href=\"https://e.com/?a=1&amp;b=&quot;2&quot;\""), std::string::npos);
}

TEST(RenderTextTest, SummariesAreShortAndCutOnCharacters) {
  const Value entity{{"class", "Product"},
                     {"name", "Über-Jacke äöü äöü äöü"},
                     {"price", 9.5},
                     {"tags", Value::Array{1, 2}},
                     {"gone", nullptr}};
  EXPECT_EQ(summarizeEntity(entity),
            "Product: name=\"Über-Jacke äöü äöü äöü\", price=9.5, tags=[2 items]");
  for (std::size_t length = 10; length < 40; ++length) {
    const std::string s = summarizeEntity(entity, length);
    // Never a partial UTF-8 sequence before the ellipsis.
    const std::string body = s.substr(0, s.size() - std::string("…").size());
    EXPECT_NE((static_cast<unsigned char>(body.back()) & 0xC0), 0xC0) << s;
  }
  EXPECT_EQ(summarizeEntity(Value("plain")), "\"plain\"");
}

TEST(RenderJSONTest, HasTheDocumentedMembers) {
  const RenderContext context{"t.json", "no results", Date(0), "tablet", std::nullopt, true};
  const Value document = parseJSON(renderJSON(hostilePreview(), context));
  for (const char* key :
       {"template", "inputs", "now", "device", "premium", "items", "sections", "request"}) {
    EXPECT_TRUE(document.find(key)) << key;
  }
  const Value& section = document.find("sections")->ifArray()->front();
  for (const char* key : {"uniqueId", "type", "title", "subtitle", "separator", "header", "footer",
                          "layoutSize", "style", "vertical", "rowKind", "rows"}) {
    EXPECT_TRUE(section.find(key)) << key;
  }
  EXPECT_EQ(*section.find("rowKind"), Value("text"));
  EXPECT_TRUE(document.find("premium")->isNull());
}

}  // namespace
}  // namespace quarn::tool
