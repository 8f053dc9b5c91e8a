#include "quarnkit/core/url.h"

#include <gtest/gtest.h>

#include <boost/url.hpp>
#include <random>

namespace quarn {
namespace {

TEST(URLTest, ParsesReferencesAndRejectsInvalidText) {
  EXPECT_TRUE(URL::parse("https://example.com/a"));
  EXPECT_TRUE(URL::parse("relative/path"));
  EXPECT_TRUE(URL::parse("myapp://screen/1?x=2"));
  EXPECT_FALSE(URL::parse(""));
  EXPECT_FALSE(URL::parse("has space"));
  EXPECT_FALSE(URL::parse("http://[bad"));
}

// URL::parse answers common URLs without the full parser: it must accept and
// reject exactly what the full parser does.
TEST(URLTest, AcceptsWhatTheFullParserAccepts) {
  const auto full = [](std::string_view s) {
    return !s.empty() && boost::urls::parse_uri_reference(s).has_value();
  };
  const std::vector<std::string> samples = {"https://cdn.example.com/1/1.png",
                                            "myapp://screen/12",
                                            "a://",
                                            "a://h",
                                            "a://h?",
                                            "a://h#",
                                            "a://h/p?q?r/s#f?/:@",
                                            "a://h#f#g",
                                            "a://h/%2",
                                            "a://h/%zz",
                                            "a://h/%41",
                                            "a://%41/",
                                            "a://h:80/p",
                                            "a://u@h/p",
                                            "a://h/p:q@r",
                                            "1a://h",
                                            "a+b-c.d://h",
                                            "a_b://h",
                                            "a:/h",
                                            "a//h",
                                            "://h",
                                            "a://h h",
                                            "a://h/[x]",
                                            "a://[::1]/p",
                                            "a://h\\p",
                                            "a://h/é",
                                            "a://h/|"};
  for (const auto& s : samples) EXPECT_EQ(URL::parse(s).has_value(), full(s)) << s;
  // Random texts over the characters that matter to the grammar.
  const std::string alphabet = "ab9+-._~!$&'()*,;=:/@?#%[] AF";
  std::mt19937 random(7);
  for (int n = 0; n < 20000; ++n) {
    std::string s = n % 2 == 0 ? "ab://" : "";
    const auto length = random() % 12;
    for (unsigned k = 0; k < length; ++k) s += alphabet[random() % alphabet.size()];
    EXPECT_EQ(URL::parse(s).has_value(), full(s)) << s;
  }
}

TEST(URLTest, Parts) {
  auto u = *URL::parse("https://example.com:8080/a/b%20c.json?x=1#top");
  EXPECT_EQ(u.scheme(), "https");
  EXPECT_EQ(u.host(), "example.com");
  EXPECT_EQ(u.port(), 8080);
  EXPECT_EQ(u.path(), "/a/b c.json");
  EXPECT_EQ(u.pathComponents(), (std::vector<std::string>{"/", "a", "b c.json"}));
  EXPECT_EQ(u.lastPathComponent(), "b c.json");
  EXPECT_EQ(u.query(), "x=1");
  EXPECT_EQ(u.fragment(), "top");
  EXPECT_FALSE(u.isFileURL());
  EXPECT_EQ(URL::parse("https://h/dir/")->appendingPathComponent("f x").absoluteString(),
            "https://h/dir/f%20x");
}

TEST(URLTest, FileURLs) {
  auto u = URL::fileURL("/tmp/some dir/t.json");
  EXPECT_EQ(u.absoluteString(), "file:///tmp/some%20dir/t.json");
  EXPECT_TRUE(u.isFileURL());
  EXPECT_EQ(u.filePath(), std::filesystem::path("/tmp/some dir/t.json"));
  EXPECT_EQ(URL::parse(u.absoluteString()), u);
}

TEST(URLTest, PercentEncodingBothWays) {
  EXPECT_EQ(URL::addingPercentEncoding("a b/<c>%\u00e9", "abc/"), "a%20b/%3Cc%3E%25%C3%A9");
  EXPECT_EQ(URL::addingPercentEncoding("100%", "%0123456789"), "100%25");  // "%" always escaped
  EXPECT_EQ(URL::addingPercentEncoding("", "a"), "");
  EXPECT_FALSE(URL::addingPercentEncoding("\xff", "a"));  // not UTF-8

  EXPECT_EQ(URL::removingPercentEncoding("a%20b%3c+%C3%A9"), "a b<+\u00e9");
  EXPECT_EQ(URL::removingPercentEncoding("plain"), "plain");
  EXPECT_FALSE(URL::removingPercentEncoding("a%2"));
  EXPECT_FALSE(URL::removingPercentEncoding("a%zz"));
  EXPECT_FALSE(URL::removingPercentEncoding("%ff"));  // decodes to a byte that is not UTF-8
}

TEST(URLTest, QueryItems) {
  using Items = std::vector<URL::QueryItem>;
  EXPECT_EQ(URL::parse("a://h?x=1&flag&=v&y=a+b%20c&x=2")->queryItems(),
            (Items{{"x", "1"}, {"flag", std::nullopt}, {"", "v"}, {"y", "a+b c"}, {"x", "2"}}));
  EXPECT_EQ(URL::parse("a://h?")->queryItems(), Items{});
  EXPECT_FALSE(URL::parse("a://h#x=1")->queryItems());
}

}  // namespace
}  // namespace quarn
