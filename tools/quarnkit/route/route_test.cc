// route: the routes file's errors with their lines, matching and explaining
// URLs, and the table check's findings.
#include "tools/quarnkit/route/route.h"

#include <gtest/gtest.h>

#include <bit>

#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/tool_test_support.h"
#include "tools/quarnkit/route/route_check.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

RouteReport run(const std::string& routesFile, std::vector<std::string> urls, bool explain = false,
                Format format = Format::text, std::string input = {}) {
  RouteOptions options;
  options.routesFile = routesFile;
  options.urls = std::move(urls);
  options.explain = explain;
  options.format = format;
  options.input = std::move(input);
  return routeReport(options);
}

RouteReport check(const std::string& routesFile, Format format = Format::text) {
  RouteOptions options;
  options.routesFile = routesFile;
  options.check = true;
  options.format = format;
  return routeReport(options);
}

TEST(RouteTableTest, OneErrorLineForEachBadLine) {
  ScratchDirectory dir;
  const std::string file = dir.write("r.txt",
                                     "# comment\n"
                                     "\n"
                                     "app://a/<int:id   a\n"
                                     "app://b/<x:y:z>\n"
                                     "app://c/<>  c\n"
                                     "app://d/<<x>>\r\n"
                                     "app://e  e  extra\n"
                                     "app://f  a\n"
                                     "app://g/\xff\n"
                                     "app://h/int:id>\n"
                                     "  app://fine/<int:id>   fine  \n");
  const RouteTable table = readRouteTable(file);
  const std::vector<std::string> expected{
      file + ":3: error: component 2 \"<int:id\" has an unbalanced \"<\" or \">\"",
      file +
          ":4: error: component 2 \"<x:y:z>\" has more than one \":\"; it would match only itself",
      file + ":5: error: component 2 is a placeholder without a key",
      file + ":6: error: component 2 \"<<x>>\" has an unbalanced \"<\" or \">\"",
      file + ":7: error: expected a pattern and an optional name, found 3 fields",
      file + ":8: error: the name \"a\" is used on line 3 already",
      file + ":9: error: not valid UTF-8",
      file + ":10: error: component 2 \"int:id>\" has an unbalanced \"<\" or \">\"",
  };
  EXPECT_EQ(table.errors, expected);
  ASSERT_EQ(table.routes.size(), 1U);
  EXPECT_EQ(table.routes[0].label(), "line 11 app://fine/<int:id> (fine)");

  const RouteReport report = run(file, {"app://fine/1"});
  EXPECT_EQ(report.status, 1);
  EXPECT_EQ(report.output, "");
  EXPECT_EQ(report.errors.find(expected[0] + "\n"), 0U);
  EXPECT_THROW(readRouteTable(dir.path().string() + "/missing.txt"), InputError);
}

TEST(RouteTableTest, TheJSONFormNumbersEntriesByTheLineTheyStartOn) {
  ScratchDirectory dir;
  const std::string file =
      dir.write("r.json",
                "\xef\xbb\xbf  {\n"
                "  \"$schema\": \"routes.schema.json\",\n"
                "  \"routes\": [\n"
                "    {\"pattern\": \"app://a/<int:id\", \"name\": \"a\"},\n"
                "    \"app://b/<x:y:z>\", {\"pattern\": \"app://c\",\n"
                "      \"name\": \"a\"},\n"
                "    {\"pattern\": \"app://d\", \"name\": [\"d\"]},\n"
                "    {\"name\": \"no pattern, [\\\"quoted\\\"] {}\"},\n"
                "    42, \"\", null,\n"
                "    {\"pattern\": \"app://fine/<int:id>\", \"name\": \"fine\"},\n"
                "    \"app://p/<x>\", {\"pattern\": \"app://n\", \"name\": null}\n"
                "  ]\n"
                "}\n");
  const RouteTable table = readRouteTable(file);
  const std::string shape = "expected a pattern, or an object with a \"pattern\" and a \"name\"";
  const std::vector<std::string> expected{
      file + ":4: error: component 2 \"<int:id\" has an unbalanced \"<\" or \">\"",
      file +
          ":5: error: component 2 \"<x:y:z>\" has more than one \":\"; it would match only itself",
      file + ":5: error: the name \"a\" is used on line 4 already",
      file + ":7: error: the name is not a string",
      file + ":8: error: " + shape,
      file + ":9: error: " + shape,
      file + ":9: error: " + shape,
      file + ":9: error: " + shape,
  };
  EXPECT_EQ(table.errors, expected);
  ASSERT_EQ(table.routes.size(), 3U);
  EXPECT_EQ(table.routes[0].label(), "line 10 app://fine/<int:id> (fine)");
  EXPECT_EQ(table.routes[1].label(), "line 11 app://p/<x>");
  EXPECT_EQ(table.routes[2].label(), "line 11 app://n");

  // A bare array, and its routes matched as the text form's are.
  const std::string bare = dir.write("bare.json",
                                     "\n[\"app://profile/<int:id>\",\n"
                                     " {\"pattern\": \"app://profile/me\", "
                                     "\"name\": \"me\"}]\n");
  const RouteReport report = run(bare, {"app://profile/me", "app://profile/7"});
  EXPECT_EQ(report.status, 0) << report.errors;
  EXPECT_NE(report.output.find("line 3"), std::string::npos) << report.output;
  EXPECT_NE(report.output.find("id = 7"), std::string::npos) << report.output;

  EXPECT_EQ(readRouteTable(dir.write("o.json", "{\"paths\": []}")).errors,
            std::vector<std::string>{dir.path().string() +
                                     "/o.json: error: expected a \"routes\" array of entries"});
  EXPECT_THROW(readRouteTable(dir.write("broken.json", "[\"app://a\",")), InputError);
}

class RouteCommandTest : public ::testing::Test {
 protected:
  ScratchDirectory dir_;
  std::string routes_ = dir_.write("routes.txt",
                                   "app://profile/me me\n"
                                   "app://profile/<int:id> profile\n"
                                   "app://files/<path:rest>\n"
                                   "app://v/<float:x>/<uuid:u>\n"
                                   "/help/<topic> help\n");
};

TEST_F(RouteCommandTest, PrintsTheWinnerAndItsValues) {
  const RouteReport report = run(routes_, {"app://profile/42?tab=1", "app://profile/me",
                                           "app://files/a/b", "app://nowhere", "/help/a b"});
  EXPECT_EQ(report.output,
            "app://profile/42?tab=1 -> line 2 app://profile/<int:id> (profile)\n"
            "    id = 42\n"
            "app://profile/me -> line 1 app://profile/me (me)\n"
            "app://files/a/b -> line 3 app://files/<path:rest>\n"
            "    rest = \"a/b\"\n"
            "app://nowhere -> no match\n"
            "/help/a b -> line 5 /help/<topic> (help)\n"
            "    topic = \"a b\"\n");
  EXPECT_EQ(report.status, 1);  // one URL has no match
  EXPECT_EQ(report.errors, "");
  EXPECT_EQ(run(routes_, {"app://profile/1"}).status, 0);
}

TEST_F(RouteCommandTest, JSONCarriesTypedValues) {
  const RouteReport report =
      run(routes_, {"app://v/0.1/e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "app://x"}, false,
          Format::json);
  const Value json = parseJSON(report.output);
  const Value* match = (*json.ifArray())[0].find("match");
  ASSERT_NE(match, nullptr);
  EXPECT_EQ(*match->find("line"), Value(4));
  EXPECT_TRUE(match->find("name")->isNull());
  EXPECT_EQ(*match->find("values"),
            Value(Value::Object{{"u", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}, {"x", 0.1}}));
  EXPECT_TRUE((*json.ifArray())[1].find("match")->isNull());
}

TEST_F(RouteCommandTest, ExplainSaysWhyForEveryPattern) {
  const RouteReport report = run(routes_, {"app://profile/me"}, true);
  EXPECT_EQ(report.output,
            "app://profile/me -> line 1 app://profile/me (me)\n"
            "  * line 1 app://profile/me (me), 2 literal: matched: no placeholders\n"
            "    line 2 app://profile/<int:id> (profile), 1 literal: component 2 \"me\" is not a "
            "valid int\n"
            "    line 3 app://files/<path:rest>, 1 literal: component 1 is \"profile\", not "
            "\"files\"\n"
            "    line 4 app://v/<float:x>/<uuid:u>, 1 literal: 3 components, the URL has 2\n"
            "    line 5 /help/<topic> (help), 1 literal: scheme none, the URL's is \"app\"\n");
  const RouteReport shorter = run(routes_, {"app://files"}, true);
  EXPECT_NE(shorter.output.find("line 3 app://files/<path:rest>, 1 literal: 2 components at "
                                "least, the URL has 1\n"),
            std::string::npos)
      << shorter.output;

  ScratchDirectory dir;
  const std::string ties = dir.write("t.txt", "app://p/<a>\napp://p/<int:b>\n");
  EXPECT_NE(run(ties, {"app://p/1"}, true).output.find("matched: b = 1; loses to line 1"),
            std::string::npos);
  const Value json = parseJSON(run(ties, {"app://p/1"}, true, Format::json).output);
  const Value& second = (*(*json.ifArray())[0].find("candidates")->ifArray())[1];
  EXPECT_EQ(*second.find("reason"), Value("matched"));
  EXPECT_EQ(*second.find("winner"), Value(false));
  EXPECT_EQ(*second.find("literalComponents"), Value(1));
}

TEST_F(RouteCommandTest, URLsFromStandardInputAndBadURLs) {
  const RouteReport report =
      run(routes_, {"-", "app://profile/\xff"}, false, Format::text, "app://profile/1\n\n[x\n");
  EXPECT_EQ(report.output,
            "app://profile/1 -> line 2 app://profile/<int:id> (profile)\n"
            "    id = 1\n"
            "[x -> no match\n");
  EXPECT_EQ(report.errors,
            "<stdin>:3: warning: \"[x\" is no URL even percent-encoded; it is matched by its raw "
            "text\n"
            "URL 2: error: not valid UTF-8\n");
  EXPECT_EQ(report.status, 1);
}

TEST_F(RouteCommandTest, UsageNeedsURLsOrCheckAlone) {
  EXPECT_EQ(run(routes_, {}).status, 2);
  RouteOptions both;
  both.routesFile = routes_;
  both.check = true;
  both.urls = {"app://x"};
  EXPECT_EQ(routeReport(both).status, 2);
}

TEST(RouteCheckTest, FindsUnknownTypesUnreachablePatternsAndTies) {
  ScratchDirectory dir;
  const std::string file = dir.write("r.txt",
                                     "app://o/<int:a>/i/<int:b>\n"  // 1: shadowed by 2
                                     "app://o/*/i/<b>\n"            // 2
                                     "app://s/<section>\n"          // 3
                                     "app://s/<hex:c>\n"            // 4: unknown, shadowed by 3
                                     "app://p/<uuid:id>\n"          // 5
                                     "app://p/<slug>\n"             // 6: tie with 5
                                     "app://p/<uuid:id>\n"          // 7: same as 5
                                     "app://q/<int:n>\n"            // 8
                                     "app://q/<float:f>\n"          // 9: tie with 8 (ints)
                                     "app://q/me\n"                 // 10: more literal, fine
                                     "app://u/<uuid:id>\n"          // 11
                                     "app://u/<int:n>\n"            // 12: no common URL
                                     "app://f/<path:p>\n"           // 13
                                     "app://f/a/<x>\n"              // 14: more literal
                                     "app://g/<path:p>\n"           // 15
                                     "app://g/<a>/<b>\n"            // 16: shadowed by 15
                                     "web://g/<a>/<b>\n");          // 17: other scheme
  const RouteTable table = readRouteTable(file);
  ASSERT_TRUE(table.errors.empty());
  const URLMatcher matcher;
  struct Expected {
    std::size_t line;
    RouteFinding::Kind kind;
    std::optional<std::size_t> otherLine;
    const char* example;
  };
  using enum RouteFinding::Kind;
  const Expected expected[] = {
      {1, unreachable, 2, ""},   {4, unknownType, std::nullopt, ""},
      {4, unreachable, 3, ""},   {6, ambiguous, 5, "app://p/00000000-0000-0000-0000-000000000000"},
      {7, unreachable, 5, ""},   {9, ambiguous, 8, "app://q/1"},
      {16, unreachable, 15, ""},
  };
  const auto findings = checkRoutes(table.routes, matcher);
  ASSERT_EQ(findings.size(), std::size(expected));
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const RouteFinding& f = findings[i];
    SCOPED_TRACE(f.message);
    EXPECT_EQ(table.routes[f.route].line, expected[i].line);
    EXPECT_EQ(f.kind, expected[i].kind);
    EXPECT_EQ(f.other ? std::optional(table.routes[*f.other].line) : std::nullopt,
              expected[i].otherLine);
    EXPECT_EQ(f.example, expected[i].example);
  }
  EXPECT_EQ(findings[4].message, "the same pattern as line 5, which comes first");

  const RouteReport report = check(file);
  EXPECT_EQ(report.status, 1);
  EXPECT_NE(report.output.find(file + ":6: ambiguous: app://p/<slug>: line 5 (app://p/<uuid:id>) "
                                      "also matches app://p/00000000-0000-0000-0000-000000000000 "
                                      "with 1 literal component; only its earlier place makes it "
                                      "win\n"),
            std::string::npos)
      << report.output;
  EXPECT_NE(report.output.find("7 findings in 17 routes.\n"), std::string::npos);

  const std::string clean = dir.write("clean.txt", "app://a/<int:n>\napp://a/me\n/b/<x>\n");
  EXPECT_EQ(check(clean).output, "No findings in 3 routes.\n");
  EXPECT_EQ(check(clean).status, 0);
}

TEST(RouteTableTest, SkipsAByteOrderMarkAndReadsBracketsAsTheMatcherDoes) {
  ScratchDirectory dir;
  const std::string file = dir.write("bom.txt",
                                     "\xef\xbb\xbf"
                                     "app://a  home\n"
                                     "app://q/<x>?a=/b  query\n"  // literal "<x>?a=" before a query
                                     "app://r/a<b>c<d>  pairs\n"
                                     "app://s/a>b  closes\n"
                                     "app://t/<a<b>  nested\n");
  const RouteTable table = readRouteTable(file);
  EXPECT_EQ(table.errors,
            (std::vector<std::string>{
                file + ":4: error: component 2 \"a>b\" has an unbalanced \"<\" or \">\"",
                file + ":5: error: component 2 \"<a<b>\" has an unbalanced \"<\" or \">\""}));
  ASSERT_EQ(table.routes.size(), 3U);
  EXPECT_EQ(table.routes[0].pattern, "app://a");
  EXPECT_EQ(run(dir.write("ok.txt",
                          "\xef\xbb\xbf"
                          "app://a  home\napp://q/<x>?a=/b  query\n"),
                {"app://a", "app://q/<x>?a=/b"})
                .output,
            "app://a -> line 1 app://a (home)\n"
            "app://q/<x>?a=/b -> line 2 app://q/<x>?a=/b (query)\n"
            "    x = \"<x>\"\n");
}

// The check follows only the branches of the table that can cover or tie
// with a pattern; each finding still names the earliest pattern that does.
TEST(RouteCheckTest, NamesTheEarliestCoveringOrTiedPatternAcrossTypesAndPaths) {
  ScratchDirectory dir;
  const RouteTable table =
      readRouteTable(dir.write("r.txt",
                               "app://m/<int:n>/<x>\n"              // 1
                               "app://m/<a>/<b>\n"                  // 2: tie with 1
                               "app://m/<float:f>/<y>\n"            // 3: under 2
                               "app://m/<int:k>/<z>\n"              // 4: under 1
                               "app://m/7/<path:rest>\n"            // 5
                               "app://m/<path:all>\n"               // 6: tie with 1
                               "app://m/7/8/9\n"                    // 7
                               "app://m/<int:q>/<int:r>/<int:s>\n"  // 8: under 6
                               "app://h/<uuid:u>\n"                 // 9
                               "app://h/00000000-0000-0000-0000-000000000000\n"
                               "app://h/<a>/<path:p>\n"
                               "app://h/x/<b>/c\n"));
  std::vector<std::string> seen;
  for (const RouteFinding& f : checkRoutes(table.routes, URLMatcher())) {
    seen.push_back(std::to_string(table.routes[f.route].line) + " " + kindName(f.kind) + " " +
                   std::to_string(table.routes[f.other.value()].line) + " " +
                   std::to_string(f.ties));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"2 ambiguous 1 3", "3 unreachable 2 0",
                                            "4 unreachable 1 0", "8 unreachable 6 0"}));
}

TEST(RouteCheckTest, TiesOfOneGroupAreOneFindingWithItsSizeAndAFewLines) {
  ScratchDirectory dir;
  // The first six tie with each other (no type of one covers the other's,
  // all match app://r/1/1/1); a string placeholder covers the uuid ones.
  std::string text;
  for (const char* p :
       {"<int:a>/<int:b>/<string:c>", "<int:a>/<string:b>/<int:c>", "<string:a>/<int:b>/<int:c>",
        "<int:a>/<string:b>/<string:c>", "<string:a>/<int:b>/<string:c>",
        "<string:a>/<string:b>/<int:c>", "<string:a>/<uuid:b>/<int:c>"}) {
    text += std::string("app://r/") + p + "\n";
  }
  text += "app://s/<int:a>\napp://s/<uuid:a>\napp://s/<float:a>\n";  // 8 and 10 tie
  const std::string file = dir.write("ties.txt", text);
  const RouteTable table = readRouteTable(file);
  const auto findings = checkRoutes(table.routes, URLMatcher());
  struct Expected {
    std::size_t line;
    RouteFinding::Kind kind;
    std::size_t otherLine;
    std::size_t ties;
  };
  using enum RouteFinding::Kind;
  const Expected expected[] = {{2, ambiguous, 1, 6}, {7, unreachable, 6, 0}, {10, ambiguous, 8, 2}};
  ASSERT_EQ(findings.size(), std::size(expected));
  for (std::size_t i = 0; i < findings.size(); ++i) {
    SCOPED_TRACE(findings[i].message);
    EXPECT_EQ(table.routes[findings[i].route].line, expected[i].line);
    EXPECT_EQ(findings[i].kind, expected[i].kind);
    EXPECT_EQ(table.routes[*findings[i].other].line, expected[i].otherLine);
    EXPECT_EQ(findings[i].ties, expected[i].ties);
  }
  EXPECT_NE(findings[0].message.find("only its earlier place makes it win, as over 4 more "
                                     "patterns it ties with: lines 3, 4, 5 and 6"),
            std::string::npos);
  EXPECT_EQ(findings[2].message.find(", as over"), std::string::npos);

  // A big group names a few lines and counts the rest: two int components
  // out of five, in each of the ten ways.
  std::string many;
  for (unsigned mask = 0; mask < 32; ++mask) {
    if (std::popcount(mask) != 2) continue;
    many += "app://r";
    for (unsigned k = 0; k < 5; ++k) many += (mask >> k & 1U) != 0 ? "/<int:c>" : "/<string:c>";
    many += "\n";
  }
  const auto big = checkRoutes(readRouteTable(dir.write("many.txt", many)).routes, URLMatcher());
  ASSERT_EQ(big.size(), 1U);
  EXPECT_EQ(big[0].ties, 10U);
  EXPECT_NE(big[0].message.find("as over 8 more patterns it ties with: lines 3, 4, 5, 6, 7 "
                                "and 3 more"),
            std::string::npos)
      << big[0].message;
}

}  // namespace
}  // namespace quarn::tool
