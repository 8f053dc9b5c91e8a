// The hand-written normaliser against the regular expressions it stands for,
// on generated URL texts, and the splitting into components.
#include "quarnkit/routing/detail/url_text.h"

#include <gtest/gtest.h>

#include <random>

namespace quarn::detail {
namespace {

TEST(URLTextTest, EqualsTheRegularExpressionsOnGeneratedTexts) {
  // Pieces that matter to the expressions (colons, slashes, queries,
  // fragments, every line terminator "$" knows) and some that do not.
  const std::vector<std::string> pieces{
      "/",   "/",    "//", ":",        "://",          "app",          "h",
      "a.b", "?",    "#",  "=",        "\n",           "\r",           "\v",
      "\f",  "\r\n", "é",  "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9", " ",
      "<",   ">",    "%",  "\t"};
  std::mt19937 random(23);
  for (int n = 0; n < 50000; ++n) {
    std::string text;
    const auto length = random() % 10;
    for (unsigned k = 0; k < length; ++k) text += pieces[random() % pieces.size()];
    ASSERT_EQ(normalizeURLText(text), normalizeURLTextByExpressions(text)) << '"' << text << '"';
  }
}

TEST(URLTextTest, TrailingSlashesBeforeAFinalLineTerminator) {
  // "$" also matches before a line terminator that ends the text.
  EXPECT_EQ(normalizeURLText("a/b/\n"), "a/b\n");
  EXPECT_EQ(normalizeURLText("a/b/\r\n"), "a/b\r\n");
  EXPECT_EQ(normalizeURLText("a/b/\n\n"), "a/b/\n\n");
  EXPECT_EQ(normalizeURLText("a:/\n"), "a:/\n");
  // So a second pass can change more: the text's end moved.
  EXPECT_EQ(normalizeURLText("a/\n/"), "a/\n");
  EXPECT_EQ(normalizeURLText("a/\n"), "a\n");
}

TEST(URLTextTest, Components) {
  using Texts = std::vector<std::string>;
  EXPECT_EQ(pathComponentTexts("app://h//a/"), (Texts{"h", "a"}));
  EXPECT_EQ(pathComponentTexts("app:"), Texts{});
  EXPECT_EQ(pathComponentTexts(":"), Texts{});
  EXPECT_EQ(pathComponentTexts(""), Texts{});
  EXPECT_EQ(pathComponentTexts("a/b:"), (Texts{"a", "b:"}));
}

}  // namespace
}  // namespace quarn::detail
