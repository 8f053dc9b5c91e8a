// The visibility check: each rule and the order in which they apply, the
// premium flag's sources, predicates without facts, and agreement with the
// element filter on the same elements.
#include "quarnkit/composite_list/model/element_visibility.h"

#include <gtest/gtest.h>

#include "quarnkit/composite_list/model/element_filter.h"
#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {
namespace {

using platform::ScopedService;
using Reason = CompositeListVisibilityReason;

constexpr Date kNow = Date(1706695200);  // 2024-01-31T10:00:00Z

using Environment = testing::TestEnvironment;

struct Platform {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>(kNow);
  ScopedService<platform::Clock> clockService{clock};
  ScopedService<platform::Device> device{
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::phone)};
};

CompositeListRow row(std::optional<std::string> visibility = std::nullopt,
                     std::optional<Date> start = std::nullopt,
                     std::optional<Date> expiry = std::nullopt,
                     std::optional<std::string> predicate = std::nullopt) {
  CompositeListRow r(std::nullopt, "text");
  if (visibility) r.visibility = CompositeListItemVisibility(*visibility);
  r.startDate = start;
  r.expiryDate = expiry;
  r.predicate = std::move(predicate);
  return r;
}

TEST(CompositeListElementVisibilityTest, RulesInOrder) {
  const Platform platform;
  const Environment environment({{"tier", 2}});
  const Date before = Date(kNow.timeIntervalSince1970() - 60);
  const Date after = Date(kNow.timeIntervalSince1970() + 60);
  struct Case {
    const char* name;
    std::optional<bool> premium;
    CompositeListRow element;
    Reason expected;
  };
  const Case cases[] = {
      {"plain", std::nullopt, row(), Reason::shown},
      {"hidden beats everything", true, row("hidden", after, before, "1 == 2"),
       Reason::hiddenClass},
      {"free for a premium user", true, row("free"), Reason::premiumClass},
      {"pro for a free user", false, row("pro"), Reason::premiumClass},
      {"pro for a premium user", true, row("pro"), Reason::shown},
      {"free, premium unknown", std::nullopt, row("free"), Reason::shown},
      {"other class", false, row("beta"), Reason::shown},
      {"premium class before dates", false, row("pro", after), Reason::premiumClass},
      {"starts now", std::nullopt, row(std::nullopt, kNow), Reason::notStarted},
      {"started", std::nullopt, row(std::nullopt, before), Reason::shown},
      {"not started before expired", std::nullopt, row(std::nullopt, after, before),
       Reason::notStarted},
      {"expires now", std::nullopt, row(std::nullopt, std::nullopt, kNow), Reason::shown},
      {"expired", std::nullopt, row(std::nullopt, std::nullopt, before), Reason::expired},
      {"expired before predicate", std::nullopt,
       row(std::nullopt, std::nullopt, before, "tier > 5"), Reason::expired},
      {"predicate true", std::nullopt, row(std::nullopt, std::nullopt, std::nullopt, "tier == 2"),
       Reason::shown},
      {"predicate false", std::nullopt, row(std::nullopt, std::nullopt, std::nullopt, "tier > 5"),
       Reason::predicateFalse},
      {"empty predicate", std::nullopt, row(std::nullopt, std::nullopt, std::nullopt, ""),
       Reason::shown},
      {"predicate does not parse", std::nullopt,
       row(std::nullopt, std::nullopt, std::nullopt, "tier >"), Reason::predicateError},
      {"unknown variable", std::nullopt,
       row(std::nullopt, std::nullopt, std::nullopt, "tier == $missing"), Reason::predicateError},
  };
  for (const Case& c : cases) {
    const CompositeListElementVisibilityCheck check(c.premium, &environment);
    const auto v = check.visibility(c.element);
    EXPECT_EQ(v.reason, c.expected) << c.name;
    EXPECT_EQ(v.isShown(), c.expected == Reason::shown || c.expected == Reason::predicateError)
        << c.name;
    EXPECT_EQ(v.message.empty(), c.expected != Reason::predicateError) << c.name;
  }
}

TEST(CompositeListElementVisibilityTest, PredicatesSeeTheElementsVarsWithTheirDates) {
  const Platform platform;
  const Environment environment({{"tier", 2}});
  const CompositeListElementVisibilityCheck check(std::nullopt, &environment);
  const auto shown = [&](const char* predicate, Value vars) {
    CompositeListRow r = row(std::nullopt, std::nullopt, std::nullopt, predicate);
    r.vars = std::move(vars);
    return check.visibility(r).reason == Reason::shown;
  };
  // Plain values are compared as they are; date texts as dates.
  EXPECT_TRUE(shown("tier == $t", Value{{"t", 2}, {"label", "two"}}));
  EXPECT_FALSE(shown("tier == $t", Value{{"t", 3}}));
  EXPECT_TRUE(shown("date > $since", Value{{"since", "2024-01-30T10:00:00Z"}}));
  EXPECT_FALSE(shown("date > $since", Value{{"since", "2024-02-01T10:00:00Z"}}));
  EXPECT_TRUE(
      shown("date IN $days", Value{{"days", Value::Array{"2024-01-31T10:00:00Z", "not a date"}}}));
  // Vars that are not an object give no variables.
  EXPECT_FALSE(shown("tier == $t", Value(Value::Array{2})));
}

TEST(CompositeListElementVisibilityTest, PredicateErrorsCarryTheirMessageAndLog) {
  const Platform platform;
  const Environment environment;
  testing::LogCapture log;
  const CompositeListElementVisibilityCheck check(std::nullopt, &environment);
  const auto v = check.visibility(row(std::nullopt, std::nullopt, std::nullopt, "a >"));
  EXPECT_NE(v.message.find("position 3"), std::string::npos) << v.message;
  EXPECT_EQ(log.count("Predicate evaluation error: (a >)"), 1u);
}

TEST(CompositeListElementVisibilityTest, PremiumFlagAndFactsComeFromTheEnvironment) {
  const Platform platform;
  const Environment premium({{"is_premium", true}});
  // The argument wins over the environment's flag.
  EXPECT_EQ(CompositeListElementVisibilityCheck(false, &premium).visibility(row("free")).reason,
            Reason::shown);
  EXPECT_EQ(CompositeListElementVisibilityCheck(std::nullopt, &premium).premium(), true);
  // Without an environment, predicates are not evaluated.
  const CompositeListElementVisibilityCheck bare(std::nullopt, nullptr);
  EXPECT_FALSE(bare.facts());
  EXPECT_EQ(bare.visibility(row(std::nullopt, std::nullopt, std::nullopt, "1 == 2")).reason,
            Reason::shown);
  EXPECT_EQ(bare.now(), kNow);
}

}  // namespace
}  // namespace quarn
