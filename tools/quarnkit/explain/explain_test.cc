// explain: each reason on a small template, includes that select by
// uniqueId or range, the next change, and the matrix's axes.
#include "tools/quarnkit/explain/explain.h"

#include <gtest/gtest.h>

#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

std::vector<std::pair<std::string, std::string>> reasons(const Explanation& e) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& item : e.items) out.emplace_back(item.uniqueId, reasonName(item));
  return out;
}

TEST(ExplainTest, SaysWhyEachItemIsHiddenAndWhenThatChanges) {
  ScratchDirectory dir;
  dir.write("inc/part.json", R"([
    {"uniqueId": "a", "type": "card"}, {"uniqueId": "b", "type": "card"},
    {"uniqueId": "c", "type": "card", "expiry": "2024-05-03T00:00:00Z"}])");
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([
    {"uniqueId": "plain", "type": "card"},
    {"uniqueId": "secret", "type": "card", "visibility": "hidden"},
    {"uniqueId": "pro", "type": "card", "visibility": "pro"},
    {"uniqueId": "soon", "type": "card", "start": "2024-06-01T00:00:00Z"},
    {"uniqueId": "old", "type": "card", "expiry": "2024-01-01T00:00:00Z"},
    {"uniqueId": "tablet", "type": "card", "predicate": "is_pad == YES"},
    {"uniqueId": "broken", "type": "card", "predicate": "tier >"},
    {"uniqueId": "by_id", "type": "include", "entity": {"key": "part", "uniqueId": "b"}},
    {"uniqueId": "by_range", "type": "include", "entity": {"key": "part", "range": [1, 2]}},
    {"uniqueId": "lost", "type": "include", "entity": {"key": "nowhere"}}
  ])");
  options.includesDirectory = (dir.path() / "inc").string();
  options.premium = false;
  options.now = testing::kNow;
  HostPlatform platform(options.device, options.now);
  HostSession session(options);
  const Explanation e = runUntilComplete(explain(session));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"plain", "shown"},
      {"secret", "hiddenClass"},
      {"pro", "premiumClass"},
      {"soon", "notStarted"},
      {"old", "expired"},
      {"tablet", "predicateFalse"},
      {"broken", "predicateError"},
      {"by_id", "shown"},
      {"a", "notIncluded"},
      {"b", "shown"},
      {"c", "notIncluded"},
      {"by_range", "shown"},
      {"a", "notIncluded"},
      {"b", "shown"},
      {"c", "shown"},
      {"lost", "notIncluded"},
  };
  EXPECT_EQ(reasons(e), expected);
  EXPECT_TRUE(e.items[6].isShown());  // a broken predicate never hides
  EXPECT_NE(describeVisibility(e.items[6], e.premium).find("position"), std::string::npos);
  EXPECT_NE(e.items.back().note->find("cannot resolve the include key"), std::string::npos);
  // The expiry of an included item comes before the start of "soon".
  ASSERT_TRUE(e.nextChange);
  EXPECT_EQ(e.nextChange->uniqueId, "c");
  EXPECT_FALSE(e.nextChange->starts);
  EXPECT_EQ(e.nextChange->date.iso8601String(), "2024-05-03T00:00:00Z");
}

TEST(ExplainTest, ItemsTheRulesKeepButThatGetNoSectionAreNotShown) {
  ScratchDirectory dir;
  dir.write("inc/part.json", R"([{"uniqueId": "inner", "type": "card"}])");
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([
    {"uniqueId": "answered", "type": "card"},
    {"uniqueId": "unanswered", "type": "card"},
    {"type": "divider"},
    {"uniqueId": "no_rows", "type": "rows", "entity": []},
    {"uniqueId": "broken", "type": "card", "predicate": "tier >"},
    {"uniqueId": "part", "type": "include", "entity": {"key": "part"}},
    {"uniqueId": "gone", "type": "card", "visibility": "hidden"}
  ])");
  options.resultsFile = dir.write("r.json", R"([
    {"key": "answered", "result": {"class": "Promo", "id": 1}}])");
  options.includesDirectory = (dir.path() / "inc").string();
  options.now = testing::kNow;
  HostPlatform platform(options.device, options.now);
  HostSession session(options);
  const Explanation e = runUntilComplete(explain(session));
  // Dividers and includes have no section of their own; a hidden item keeps
  // the rule that hides it.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"answered", "shown"},    {"unanswered", "noSection"}, {"divider_2", "shown"},
      {"no_rows", "noSection"}, {"broken", "noSection"},     {"part", "shown"},
      {"inner", "noSection"},   {"gone", "hiddenClass"},
  };
  EXPECT_EQ(reasons(e), expected);
  EXPECT_FALSE(e.items[1].isShown());
  EXPECT_EQ(describeVisibility(e.items[1], e.premium),
            "not shown: shown by the rules; no section: no entities");
  const std::string broken = describeVisibility(e.items[4], e.premium);
  EXPECT_EQ(broken.rfind("not shown: shown by the rules; no section: no entities; predicate", 0),
            0u)
      << broken;
}

TEST(ExplainTest, MatrixAxes) {
  EXPECT_EQ(parseMatrixAxis("premium=yes,no").values, (std::vector<std::string>{"yes", "no"}));
  EXPECT_EQ(parseMatrixAxis("country=DE").name, "country");
  for (const char* bad : {"premium", "=yes", "premium=", "premium=yes,,no", "premium=yes,"}) {
    EXPECT_THROW(parseMatrixAxis(bad), std::invalid_argument) << bad;
  }
  HostOptions options;
  options = applyAxisValue(options, "premium", "no");
  options = applyAxisValue(options, "device", "tablet");
  options = applyAxisValue(options, "tier", "3");
  options = applyAxisValue(options, "country", "DE");
  EXPECT_EQ(options.premium, false);
  EXPECT_EQ(options.device, platform::UserInterfaceIdiom::tablet);
  EXPECT_EQ(*options.extraFacts.find("tier"), Value(3));
  EXPECT_EQ(*options.extraFacts.find("country"), Value("DE"));
  EXPECT_THROW(applyAxisValue(options, "premium", "maybe"), std::invalid_argument);
  EXPECT_THROW(applyAxisValue(options, "device", "watch"), std::invalid_argument);
}

}  // namespace
}  // namespace quarn::tool
