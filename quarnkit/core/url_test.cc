#include "quarnkit/core/url.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quarn
