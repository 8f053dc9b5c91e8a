// The indexed table against the plain scan of its patterns, on generated
// tables and URLs.
#include "quarnkit/routing/url_pattern_set.h"

#include <gtest/gtest.h>

#include <random>

#include "quarnkit/routing/detail/component_match.h"
#include "quarnkit/routing/url_matcher.h"

namespace quarn {
namespace {

std::string describe(const std::optional<URLMatchResult>& r) {
  if (!r) return "none";
  std::string out = r->pattern;
  for (const auto& [key, value] : r->values) {
    out += " " + key + "=" + describeURLValue(value).value_or("?");
  }
  return out;
}

// Each pattern tried in turn.
std::optional<URLMatchResult> scan(const URLMatcher& matcher, const std::string& url,
                                   const std::vector<std::string>& patterns) {
  return detail::scanMatch(NormalizedURL(url), patterns, *matcher.valueConverters.table());
}

// Random texts over a few components so that patterns often overlap: the
// ties, the failing converters and the path placeholders all get exercised.
struct Generator {
  std::mt19937 random{2023};
  std::string pick(const std::vector<std::string>& from) { return from[random() % from.size()]; }

  std::string pattern() {
    static const std::vector<std::string> schemes{"app://", "app://", "web://", "/", ""};
    static const std::vector<std::string> components{
        "a",        "b",       "7",       "*",  "<k>", "<int:n>", "<float:f>", "<uuid:u>",
        "<path:p>", "<hex:h>", "<a:b:c>", "<k", "",    "<m>",     "<int:m>",   "<path:q>"};
    std::string out = pick(schemes);
    const auto count = random() % 5;
    for (unsigned i = 0; i < count; ++i) out += (i ? "/" : "") + pick(components);
    if (random() % 8 == 0) out += "/?x=/y";
    if (random() % 8 == 0) out += "/";
    return out;
  }

  std::string url() {
    static const std::vector<std::string> schemes{"app://", "web://", "/", "", "other://"};
    static const std::vector<std::string> components{
        "a", "b", "7", "-3", "2.5", "x", "e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "<k", ""};
    std::string out = pick(schemes);
    const auto count = random() % 6;
    for (unsigned i = 0; i < count; ++i) out += (i ? "/" : "") + pick(components);
    if (random() % 6 == 0) out += "?q=1";
    return out;
  }
};

TEST(URLPatternSetTest, GivesTheScansResultOnGeneratedTables) {
  Generator generate;
  const URLMatcher matcher;
  for (int table = 0; table < 120; ++table) {
    std::vector<std::string> patterns(1 + generate.random() % 40);
    for (auto& p : patterns) p = generate.pattern();
    const URLPatternSet set(patterns);
    ASSERT_EQ(set.size(), patterns.size());
    for (int n = 0; n < 60; ++n) {
      const std::string url = generate.url();
      const std::string scanned = describe(scan(matcher, url, patterns));
      ASSERT_EQ(describe(matcher.match(url, set)), scanned) << url << " in table " << table;
      ASSERT_EQ(describe(matcher.match(url, patterns)), scanned) << url << " in table " << table;
    }
  }
}

TEST(URLPatternSetTest, PatternsThatDifferOnlyInNamesAnswerAsTheFirst) {
  std::vector<std::string> patterns;
  for (int k = 1; k <= 2000; ++k) patterns.push_back("app://p/<int:k" + std::to_string(k) + ">");
  patterns.push_back("app://p/<uuid:u>");
  patterns.push_back("app://p/<int:k1>?tab=1");  // one literal more: preferred
  const URLPatternSet set(patterns);
  EXPECT_EQ(set.size(), patterns.size());
  const URLMatcher matcher;
  for (const std::string url :
       {"app://p/7", "app://p/x", "app://p/e621e1f8-c36c-495a-93fc-0c247a3e6e5f"}) {
    EXPECT_EQ(describe(matcher.match(url, set)), describe(scan(matcher, url, patterns))) << url;
  }
  EXPECT_EQ(describe(matcher.match("app://p/7", set)), "app://p/<int:k1>?tab=1 k1=7");
  EXPECT_FALSE(matcher.match("app://p/x", set));
}

TEST(URLPatternSetTest, TheLastListIsKeptUntilItsPatternsChange) {
  URLMatcher matcher;
  std::vector<std::string> routes{"app://p/<int:n>", "app://q"};
  EXPECT_EQ(matcher.match("app://p/1", routes)->pattern, "app://p/<int:n>");
  routes[0] = "app://p/<uuid:u>";  // the same list, changed in place
  EXPECT_FALSE(matcher.match("app://p/1", routes));
  routes.push_back("app://p/*");
  EXPECT_EQ(matcher.match("app://p/1", routes)->pattern, "app://p/*");
  // A converter may match another list from inside a match.
  const std::vector<std::string> other{"app://r/<int:n>"};
  matcher.valueConverters.add("nested", [&](std::span<const std::string> c, std::size_t i) {
    return matcher.match("app://r/" + c[i], other) ? std::any(c[i]) : std::any();
  });
  const std::vector<std::string> outer{"app://s/<nested:v>"};
  EXPECT_EQ(matcher.match("app://s/5", outer)->pattern, "app://s/<nested:v>");
  EXPECT_FALSE(matcher.match("app://s/x", outer));
  EXPECT_EQ(matcher.match("app://s/5", outer)->pattern, "app://s/<nested:v>");
}

TEST(URLPatternSetTest, AddingKeepsOrderAndSeesConverterChanges) {
  URLPatternSet set;
  set.add("app://p/<s>");
  set.add("app://p/<int:n>");
  EXPECT_EQ(set[1], "app://p/<int:n>");
  URLMatcher matcher;
  EXPECT_EQ(matcher.match("app://p/1", set)->pattern, "app://p/<s>");  // first on a tie
  set.add("app://p/1");
  EXPECT_EQ(matcher.match("app://p/1", set)->pattern, "app://p/1");
  EXPECT_FALSE(matcher.match("app://p", set));
  EXPECT_FALSE(matcher.match("web://p/1", set));
  // Converters are the matcher's, at match time.
  URLPatternSet typed;
  typed.add("app://q/<int:n>");
  EXPECT_TRUE(matcher.match("app://q/1", typed));
  matcher.valueConverters.remove("int");
  matcher.valueConverters.add(
      "text", [](std::span<const std::string>, std::size_t) -> std::any { return {}; });
  typed.add("app://q/<text:t>");
  EXPECT_EQ(matcher.match("app://q/x", typed)->pattern, "app://q/<int:n>");
}

TEST(URLPatternSetTest, DeepPatternsAndLongURLs) {
  std::string deep = "app://h";
  std::string url = "app://h";
  for (int i = 0; i < 20000; ++i) {
    deep += "/c";
    url += "/c";
  }
  URLPatternSet set;
  set.add(deep);
  set.add("app://h/<path:p>");
  const URLMatcher matcher;
  EXPECT_EQ(matcher.match(url, set)->pattern, deep);
  EXPECT_EQ(matcher.match(url + "/d", set)->pattern, "app://h/<path:p>");
}

}  // namespace
}  // namespace quarn
