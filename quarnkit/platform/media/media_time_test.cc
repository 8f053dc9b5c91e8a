#include "quarnkit/platform/media/media_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "quarnkit/platform/locale.h"

namespace quarn::platform {
namespace {

using T = MediaTime;

MediaTimeRange seconds(std::int64_t from, std::int64_t length) {
  return {T::make(from, 1), T::make(length, 1)};
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int32_t kMaxScale = std::numeric_limits<std::int32_t>::max();

TEST(MediaTimeTest, KindsAndSeconds) {
  EXPECT_EQ(T::make(3, 2).seconds(), 1.5);
  EXPECT_TRUE(T::make(3, 2).isNumeric());
  EXPECT_FALSE(T::invalidTime().isValid());
  EXPECT_TRUE(std::isnan(T::indefiniteTime().seconds()));
  EXPECT_TRUE(T::indefiniteTime().isIndefinite());
  EXPECT_EQ(T::positiveInfinityTime().seconds(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(T::negativeInfinityTime().seconds(), -std::numeric_limits<double>::infinity());
  // Marked valid, but no timescale to divide by: invalid for every operation.
  for (const std::int32_t scale : {0, -1}) {
    const T broken{5, scale, T::valid, 0};
    EXPECT_FALSE(broken.isValid());
    EXPECT_FALSE(broken.isNumeric());
    EXPECT_TRUE(std::isnan(broken.seconds()));
    EXPECT_FALSE((broken + T::make(1, 1)).isValid());
  }
}

TEST(MediaTimeTest, ComparisonIsExactAndOrdersTheSpecialTimes) {
  EXPECT_EQ(T::make(1, 2), T::make(2, 4));
  EXPECT_LT(T::make(1, 3), T::make(333333333, 1000000000) + T::make(1, 1000000000));
  EXPECT_GT(T::make(1, 3), T::make(333333333, 1000000000));
  // Beyond double precision: these differ by one part in 2^62.
  EXPECT_LT(T::make(kMax - 1, kMaxScale), T::make(kMax, kMaxScale));
  EXPECT_LT(T::make(kMin, 1), T::make(kMax, kMaxScale));
  EXPECT_LT(T::make(1, 1, 0), T::make(0, 1, 1));  // the epoch first

  const T ordered[] = {
      T::negativeInfinityTime(), T::make(-5, 1),  T::make(7, 1), T::indefiniteTime(),
      T::positiveInfinityTime(), T::invalidTime()};
  for (std::size_t i = 0; i + 1 < std::size(ordered); ++i) {
    EXPECT_LT(ordered[i], ordered[i + 1]) << i;
  }
  EXPECT_EQ(T::invalidTime(), (T{1, 0, T::valid, 0}));
}

TEST(MediaTimeTest, ArithmeticStaysExactOrFails) {
  EXPECT_EQ(T::make(1, 3) + T::make(1, 6), T::make(1, 2));
  EXPECT_EQ((T::make(1, 3) + T::make(1, 6)).timescale, 6);
  EXPECT_EQ(T::make(1, 2) - T::make(3, 4), T::make(-1, 4));
  // The common timescale is too wide, the reduced sum is not.
  const T sum = T::make(kMaxScale - 1, kMaxScale - 1) + T::make(kMaxScale, kMaxScale);
  EXPECT_EQ(sum.value, 2);
  EXPECT_EQ(sum.timescale, 1);
  EXPECT_EQ(T::make(kMin, 1) - T::make(kMin, 1), T::zero());

  // Detected, never wrapped.
  EXPECT_THROW(T::make(kMax, 1) + T::make(1, 1), std::overflow_error);
  EXPECT_THROW(T::make(kMin, 3) - T::make(1, 2), std::overflow_error);
  EXPECT_THROW(-T::make(kMin, 1), std::overflow_error);
  EXPECT_THROW(T::make(1, kMaxScale) + T::make(1, kMaxScale - 1), std::overflow_error);

  // The special times.
  const T inf = T::positiveInfinityTime();
  EXPECT_EQ(inf + T::make(1, 1), inf);
  EXPECT_EQ(T::make(1, 1) - inf, T::negativeInfinityTime());
  EXPECT_EQ(inf + T::indefiniteTime(), inf);
  EXPECT_FALSE((inf + T::negativeInfinityTime()).isValid());
  EXPECT_TRUE((T::indefiniteTime() + T::make(1, 1)).isIndefinite());
  EXPECT_FALSE((T::invalidTime() + T::make(1, 1)).isValid());
  EXPECT_FALSE((T::make(1, 1, 0) + T::make(1, 1, 1)).isValid());
}

TEST(MediaTimeRangeTest, ContainmentExcludesTheEnd) {
  const MediaTimeRange r = seconds(0, 5);
  EXPECT_TRUE(r.containsTime(T::zero()));
  EXPECT_TRUE(r.containsTime(T::make(4999, 1000)));
  EXPECT_FALSE(r.containsTime(T::make(5, 1)));
  EXPECT_FALSE(r.containsTime(T::make(-1, 1000)));
  EXPECT_FALSE(r.containsTime(T::indefiniteTime()));
  EXPECT_FALSE(seconds(0, 0).containsTime(T::zero()));
  // No end: everything from the start on.
  EXPECT_TRUE(
      (MediaTimeRange{T::zero(), T::positiveInfinityTime()}).containsTime(T::make(kMax, 1)));
  // Exact where the end does not fit a media time.
  const MediaTimeRange huge{T::make(kMax, 1), T::make(kMax, 1)};
  EXPECT_THROW((void)huge.end(), std::overflow_error);
  EXPECT_TRUE(huge.containsTime(T::make(kMax, 1)));
  EXPECT_FALSE(huge.containsTime(T::make(kMax - 1, 1)));
}

TEST(MediaTimeRangeTest, Intersection) {
  struct Case {
    MediaTimeRange a, b;
    bool intersect;
  };
  const MediaTimeRange broken{T{5, 0, T::valid, 0}, T::make(10, 1)};
  const Case cases[] = {
      {seconds(0, 5), seconds(5, 5), true},  // touching
      {seconds(0, 5), seconds(6, 4), false},
      {seconds(0, 10), seconds(2, 3), true},  // inside
      {seconds(2, 0), seconds(0, 5), true},   // empty, inside
      {seconds(5, 0), seconds(0, 5), false},  // empty, at the (excluded) end
      {seconds(6, 0), seconds(0, 5), false},
      {{T::make(1, 3), T::make(1, 3)}, {T::make(666666667, 1000000000), T::make(1, 1)}, false},
      {{T::make(1, 3), T::make(1, 3)}, {T::make(666666666, 1000000000), T::make(1, 1)}, true},
      {broken, seconds(0, 100), false},
      {{T::make(kMax, 1), T::make(kMax, 1)}, {T::make(kMax, 1), T::make(1, 1)}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a.isIntersection(c.b), c.intersect)
        << c.a.formattedDescription("en_US") << " / " << c.b.formattedDescription("en_US");
    EXPECT_EQ(c.b.isIntersection(c.a), c.intersect);
  }
}

TEST(MediaTimeRangeTest, DescriptionFollowsTheLocale) {
  const MediaTimeRange r{T::make(3, 2), T::make(2, 1)};
  EXPECT_EQ(r.formattedDescription("en_US"), "1.50 - 3.50");
  EXPECT_EQ(r.formattedDescription("de_DE"), "1,50 - 3,50");
  EXPECT_EQ((MediaTimeRange{T::make(12345, 10), T::make(1, 3)}).formattedDescription("en_US"),
            "1,234.50 - 1,234.83");
  // No number to show: the empty text, for either time.
  for (const MediaTimeRange& invalid : {MediaTimeRange{T{5, 0, T::valid, 0}, T::make(1, 1)},
                                        MediaTimeRange{T::make(1, 1), T{5, -3, T::valid, 0}},
                                        MediaTimeRange{T::make(1, 1), T::indefiniteTime()}}) {
    EXPECT_EQ(invalid.formattedDescription("en_US"), "");
  }
  // An infinite end is a number all the same.
  EXPECT_NE(
      (MediaTimeRange{T::make(1, 1), T::positiveInfinityTime()}).formattedDescription("en_US"), "");

  const auto saved = Locale::current();
  Locale::setCurrent(
      std::make_shared<FixedLocale>("de_DE", std::vector<std::string>{"de"}, "Europe/Berlin"));
  EXPECT_EQ(r.formattedDescription(), "1,50 - 3,50");
  Locale::setCurrent(saved);
}

}  // namespace
}  // namespace quarn::platform
