// The timeline's containment rules and local progress, and the lagged trim.
#include "quarnkit/animation/animation_timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <unordered_set>
#include <vector>

#include "quarnkit/animation/lagged_trim_shape.h"

namespace quarn {
namespace {

struct Call {
  std::string name;
  double local;
  friend bool operator==(const Call&, const Call&) = default;
};

TEST(AnimationTimelineTest, FillModesDecideWhatIsCalled) {
  struct Case {
    FillMode mode;
    double p;
    std::optional<double> local;  // nothing: not called
  };
  const Case cases[] = {
      {FillMode::removed, 0.2, std::nullopt},
      {FillMode::removed, 0.3, 0.5},
      {FillMode::removed, 0.4, 1.0},
      {FillMode::removed, 0.41, std::nullopt},
      {FillMode::both, 0.0, 0.0},
      {FillMode::both, 1.0, 1.0},
      {FillMode::backwards, 0.1, 0.0},
      {FillMode::backwards, 0.5, std::nullopt},
      {FillMode::forwards, 0.1, std::nullopt},
      {FillMode::forwards, 0.9, 1.0},
  };
  for (const auto& c : cases) {
    auto timeline = AnimationTimeline::make(1.0);
    std::optional<double> seen;
    double global = -1;
    timeline->addUntil(0.2, 0.4, c.mode, [&](const auto& item, double p, double local) {
      EXPECT_DOUBLE_EQ(item.end(), 0.4);
      global = p;
      seen = local;
    });
    timeline->perform(c.p);
    ASSERT_EQ(seen.has_value(), c.local.has_value()) << static_cast<int>(c.mode) << " " << c.p;
    if (seen) {
      EXPECT_NEAR(*seen, *c.local, 1e-9);
      EXPECT_EQ(global, c.p);
    }
  }
}

TEST(AnimationTimelineTest, ItemsRunInStartOrderStably) {
  auto timeline = AnimationTimeline::make(2.0);
  std::vector<Call> calls;
  auto record = [&](std::string name) {
    return [&calls, name](const AnimationTimeline::Item&, double, double local) {
      calls.push_back({name, local});
    };
  };
  timeline->add(0.5, 0.5, FillMode::both, record("c"));
  timeline->addRelative(0.0, 1.0, FillMode::both, record("a"));
  timeline->addRelativeUntil(0.5, 0.75, FillMode::both, record("d"));
  timeline->add(NAN, 1.0, FillMode::both, record("nan"));
  timeline->add(0.0, 0.0, FillMode::both, record("zero"));  // 0/0 counts as 0
  timeline->perform(0.75);
  EXPECT_EQ(calls, (std::vector<Call>{{"a", 0.75}, {"zero", 1.0}, {"c", 0.5}, {"d", 1.0}}));
  EXPECT_TRUE(timeline->items()[0].isRelative);  // sorted by start now
  EXPECT_FALSE(timeline->items()[1].isRelative);
  EXPECT_EQ(timeline->duration(), 2.0);

  calls.clear();
  timeline->perform(0.0);  // the zero-length item at its own start: 0/0
  EXPECT_EQ(calls.at(1), (Call{"zero", 0.0}));
}

TEST(AnimationTimelineTest, ItemsAreEqualByTheirSpan) {
  const AnimationTimeline::Item a{0.1, 0.2, false, FillMode::both, nullptr};
  const AnimationTimeline::Item b{0.1, 0.2, false, FillMode::removed, [](auto&, double, double) {}};
  const AnimationTimeline::Item c{0.1, 0.2, true, FillMode::both, nullptr};
  EXPECT_EQ(a, b);
  EXPECT_FALSE(a == c);
  std::unordered_set<AnimationTimeline::Item> set{a, b, c};
  EXPECT_EQ(set.size(), 2u);
}

TEST(LaggedTrimShapeTest, TrimRanges) {
  EXPECT_EQ(laggedTrimRange(0.5, 0.2), (TrimRange{0.3, 0.5}));
  EXPECT_EQ(laggedTrimRange(0.9, 0.2), (TrimRange{0.8, 0.9}));
  EXPECT_EQ(laggedTrimRange(0.1, 0.2), (TrimRange{0.0, 0.1}));
  EXPECT_EQ(laggedTrimRange(1.0, 0.2), std::nullopt);
  EXPECT_EQ(laggedTrimRange(0.0, 0.2), std::nullopt);
  EXPECT_EQ(laggedTrimRange(NAN, 0.2), std::nullopt);
  // Both rules meet at the switch point, 1 - 2 lag.
  EXPECT_NEAR(laggedTrimRange(0.8, 0.2)->from, 0.6, 1e-12);
  EXPECT_NEAR(laggedTrimRange(0.8000001, 0.2)->from, 0.6000002, 1e-12);
}

struct RecordedPath {
  std::optional<TrimRange> trim;
  [[nodiscard]] RecordedPath trimmedPath(double from, double to) const {
    return {TrimRange{from, to}};
  }
};
struct Outline {
  [[nodiscard]] RecordedPath path(int) const { return {}; }
};

TEST(LaggedTrimShapeTest, TrimsTheWrappedOutline) {
  LaggedTrimShape<Outline> shape{{}, 0.5, 0.2};
  EXPECT_EQ(shape.path(0).trim, (TrimRange{0.3, 0.5}));
  shape.setAnimatableData(1.0);
  EXPECT_EQ(shape.animatableData(), 1.0);
  EXPECT_EQ(shape.path(0).trim, std::nullopt);
}

}  // namespace
}  // namespace quarn
