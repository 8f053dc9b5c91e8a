// lint: every kind of finding with its path, and a clean template.
#include "tools/quarnkit/lint/lint.h"

#include <gtest/gtest.h>

#include "tools/quarnkit/common/input_file.h"
#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

TEST(LintTest, PlaceholderFields) {
  EXPECT_EQ(placeholderFields("Hi ${user.name}, ${n} new"),
            (std::vector<std::string>{"user.name", "n"}));
  EXPECT_TRUE(placeholderFields("${} and ${unclosed").empty());
  EXPECT_EQ(placeholderFields("${a${b}"), (std::vector<std::string>{"a${b"}));
}

TEST(LintTest, ReportsEachFindingWithItsPath) {
  ScratchDirectory dir;
  dir.write("inc/ok.json", R"([{"type": "card", "predicate": "x =="}])");
  HostOptions options;
  options.includesDirectory = (dir.path() / "inc").string();
  options.environmentFile = dir.write("env.json", R"({"name": "Ada"})");
  options.templateFile = dir.write("t.json", R"([
    {"uniqueId": "a", "type": "rows", "data": {"title": "${name} ${nobody}", "maxItems": "x"},
     "entity": [{"text": "${own}", "vars": {"own": 1}, "predicate": "a >"}]},
    {"uniqueId": "a", "type": "card", "vars": {"v": 2}, "data": {"title": "${v} ${app.version}"}},
    {"data": {}},
    {"type": "include", "entity": {"key": "ok"}},
    {"type": "include", "entity": {"key": "gone"}},
    {"type": "card", "items": [{"type": "card"}, {"type": "card", "uniqueId": "card_0"}]}
  ])");
  HostPlatform platform(options.device, testing::kNow);
  struct Expected {
    const char* file;
    const char* path;
    LintFinding::Severity severity;
    const char* fragment;
  };
  using enum LintFinding::Severity;
  const Expected expected[] = {
      {"t.json", "[0].data.maxItems", error, ""},
      {"t.json", "[0].data.title", warning, "placeholder ${nobody} names no fact"},
      {"t.json", "[0].entity[0].predicate", error, "does not parse at position 3"},
      {"t.json", "[1].type", warning, "no built-in description for type \"card\""},
      {"t.json", "[1].uniqueId", error, "duplicate uniqueId \"a\" (first at [0])"},
      {"t.json", "[1].data.title", warning, "placeholder ${app.version}"},
      {"t.json", "[2]", warning, "has no \"type\""},
      {"t.json", "[4].entity", error, "cannot resolve the include key \"gone\""},
      {"t.json", "[5].items[1].uniqueId", error, "duplicate uniqueId \"card_0\""},
      // Included templates after the file that includes them.
      {"ok.json", "[0].predicate", error, "does not parse"},
  };
  const auto findings = lintTemplate(options);
  ASSERT_EQ(findings.size(), std::size(expected));
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const LintFinding& f = findings[i];
    const Expected& e = expected[i];
    EXPECT_EQ(std::filesystem::path(f.file).filename(), e.file) << f.line();
    EXPECT_EQ(f.path, e.path) << f.line();
    EXPECT_EQ(f.severity, e.severity) << f.line();
    EXPECT_NE(f.message.find(e.fragment), std::string::npos) << f.line();
  }
}

TEST(LintTest, ANumberNoDoubleHoldsIsOneFindingAndTheLintGoesOn) {
  ScratchDirectory dir;
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([
    {"type": "rows"},
    {"type": "rows", "data": {"maxItems": 1e400}},
    {"type": "rows", "predicate": "a >"}
  ])");
  HostPlatform platform(options.device, testing::kNow);
  const auto findings = lintTemplate(options);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].path, "[1].data.maxItems");
  EXPECT_EQ(findings[0].message, kNumberOutOfRange);
  EXPECT_EQ(findings[1].path, "[2].predicate");
}

TEST(LintTest, FollowsIncludesWithinTheBoundsPreviewHas) {
  ScratchDirectory dir;
  dir.write("inc/a.json", R"([{"type": "include", "entity": {"key": "b"}}])");
  dir.write("inc/b.json",
            R"([{"type": "card"}, {"type": "include", "entity": {"reference": "r"}}])");
  dir.write("inc/index.json", R"({"r": "a"})");
  HostOptions options;
  options.includesDirectory = (dir.path() / "inc").string();
  // Two includes of a: the cycle through the reference is reported once.
  options.templateFile = dir.write("t.json", R"([
    {"type": "include", "entity": {"key": "a"}},
    {"type": "include", "entity": {"key": "a", "uniqueId": "x"}}
  ])");
  HostPlatform platform(options.device, testing::kNow);
  auto findings = lintTemplate(options);
  std::erase_if(findings,
                [](const LintFinding& f) { return f.severity == LintFinding::Severity::warning; });
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(std::filesystem::path(findings[0].file).filename(), "b.json");
  EXPECT_EQ(findings[0].path, "[1].entity");
  EXPECT_NE(findings[0].message.find("include cycle: "), std::string::npos) << findings[0].line();
  EXPECT_NE(findings[0].message.find("inc/b.json [1] -> " + options.includesDirectory.value() +
                                     "/a.json"),
            std::string::npos)
      << findings[0].line();

  // Each include of a reads its two items again: the limit counts them all.
  options.limits.maxIncludedItems = 5;
  findings = lintTemplate(options);
  ASSERT_FALSE(findings.empty());
  EXPECT_NE(findings.back().message.find("more than 5 included items"), std::string::npos)
      << findings.back().line();
}

TEST(LintTest, ACleanTemplateHasNoFindings) {
  ScratchDirectory dir;
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([
    {"type": "rows", "vars": {"n": 1}, "predicate": "is_pad == NO",
     "data": {"title": "${n} of ${os}"}, "entity": [{"text": "a"}]},
    {"type": "divider"}
  ])");
  HostPlatform platform(options.device, testing::kNow);
  EXPECT_TRUE(lintTemplate(options).empty());
}

}  // namespace
}  // namespace quarn::tool
