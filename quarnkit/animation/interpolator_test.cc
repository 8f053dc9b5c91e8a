// Interpolation through key values: segments, clamping, extrapolation,
// every provided value type and the construction errors.
#include "quarnkit/animation/interpolator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/spring_interpolation.h"
#include "quarnkit/testing/support.h"

// A host type with a list of any length, to exercise the length checks.
template <>
struct quarn::Interpolatable<std::vector<double>> {
  static void vectorize(const std::vector<double>& v, std::vector<double>& out) { out = v; }
  static std::vector<double> from(std::span<const double> v) { return {v.begin(), v.end()}; }
};

namespace quarn {
namespace {

using platform::AffineTransform;
using platform::Point;
using platform::Rect;
using platform::Size;
using platform::Transform3D;

constexpr double kTolerance = 1e-9;

TEST(InterpolatorTest, LinearThroughThreeKeyValues) {
  Interpolator<double> i({0, 10, 30}, BasicInterpolation::linear);
  const double cases[][2] = {{0, 0},  {0.25, 5}, {0.5, 10}, {0.75, 20},
                             {1, 30}, {-1, 0},   {2, 30},   {NAN, 0}};
  for (const auto& c : cases) EXPECT_NEAR(i.interpolateValue(c[0]), c[1], kTolerance) << c[0];
  EXPECT_EQ(i.count(), 3u);
  EXPECT_EQ(i.diffVector(1)[0], 20);
}

TEST(InterpolatorTest, SegmentsAreHalfOpenOnTheLeft) {
  // A function that returns exactly the x the test wants, over 2 segments.
  double eased = 0;
  Interpolator<double> i({0, 10, 30}, [&](double) { return eased; });
  eased = 0.5;  // x = 1: the end of segment 0
  EXPECT_EQ(i.interpolateValue(0), 10);
  eased = 0.75;  // x = 1.5: segment 1
  EXPECT_EQ(i.interpolateValue(0), 20);
  eased = -0.25;  // x = -0.5: extrapolates along segment 0
  EXPECT_EQ(i.interpolateValue(0), -5);
}

TEST(InterpolatorTest, OvershootPastTheLastSegmentExtrapolates) {
  auto spring = std::make_shared<SpringInterpolation>();
  Interpolator<double> two(0.0, 100.0, spring);
  const double peak = (*spring)(0.36);
  ASSERT_GT(peak, 1);
  EXPECT_NEAR(two.interpolateValue(0.36), 100 * peak, kTolerance);

  double eased = 1.5;  // x = 3 over 2 segments: along the last one, u = 2
  Interpolator<double> three({0, 10, 30}, [&](double) { return eased; });
  EXPECT_NEAR(three.interpolateValue(1), 50, kTolerance);
  eased = INFINITY;
  EXPECT_EQ(three.interpolateValue(1), INFINITY);
  eased = NAN;
  EXPECT_TRUE(std::isnan(three.interpolateValue(1)));
}

TEST(InterpolatorTest, OneKeyValueGivesThatValue) {
  Interpolator<Point> i(std::vector<Point>{{3, 4}}, std::make_shared<SpringInterpolation>());
  for (double p : {0.0, 0.36, 1.0, -3.0}) EXPECT_EQ(i.interpolateValue(p), (Point{3, 4}));
}

TEST(InterpolatorTest, BadKeyValuesAreRejectedAtConstruction) {
  auto message = [](auto make) {
    try {
      make();
    } catch (const std::invalid_argument& e) {
      return std::string(e.what());
    }
    return std::string("(no error)");
  };
  EXPECT_EQ(message([] { Interpolator<double>(std::vector<double>{}, TimingFunction()); }),
            "Interpolator needs at least one key value");
  EXPECT_EQ(message([] {
              Interpolator<std::vector<double>>({{1, 2}, {1, 2}, {1, 2, 3}}, TimingFunction());
            }),
            "Interpolator: key value 2 has 3 numbers where key value 0 has 2");
  EXPECT_EQ(message([] {
              Interpolator<std::vector<double>>({{}, {}}, TimingFunction());
            }),
            "Interpolator: key values flatten to no numbers");
}

TEST(InterpolatorTest, ProvidedValueTypes) {
  auto mid = [](const auto& from, const auto& to) {
    using T = std::decay_t<decltype(from)>;
    return Interpolator<T>(from, to, BasicInterpolation::linear).interpolateValue(0.5);
  };
  EXPECT_EQ(mid(1.0f, 2.0f), 1.5f);
  EXPECT_EQ(mid(Size{2, 4}, Size{4, 8}), (Size{3, 6}));
  // Rectangles interpolate their standardized extent.
  EXPECT_EQ(mid(Rect{{0, 0}, {-10, 20}}, Rect{{10, 10}, {30, -40}}), (Rect{{5, 5}, {20, 30}}));
  EXPECT_EQ(mid(AffineTransform{}, AffineTransform{3, 2, 2, 3, 10, -10}),
            (AffineTransform{2, 1, 1, 2, 5, -5}));
  Transform3D scaled;
  scaled.m11 = scaled.m22 = scaled.m33 = 3;
  scaled.m43 = 8;
  const Transform3D half = mid(Transform3D{}, scaled);
  EXPECT_EQ(half.m11, 2);
  EXPECT_EQ(half.m33, 2);
  EXPECT_EQ(half.m43, 4);
  EXPECT_EQ(half.m44, 1);
  EXPECT_EQ(mid(Vector3<float>{0, 2, 4}, Vector3<float>{2, 4, 8}), (Vector3<float>{1, 3, 6}));
}

TEST(InterpolatorTest, IntegersTruncateTowardsZeroAndSaturate) {
  Interpolator<int> i(-10, 10, BasicInterpolation::linear);
  EXPECT_EQ(i.interpolateValue(0.46), -0);  // -0.8 truncates to 0
  EXPECT_EQ(i.interpolateValue(0.24), -5);  // -5.2
  EXPECT_EQ(i.interpolateValue(0.76), 5);   // 5.2
  using Limits = std::numeric_limits<std::int64_t>;
  Interpolator<std::int64_t> wide(Limits::min(), Limits::max(),
                                  std::make_shared<SpringInterpolation>());
  EXPECT_EQ(wide.interpolateValue(0.36), Limits::max());  // overshoots the range
  EXPECT_EQ(Interpolatable<std::int8_t>::from(std::vector<double>{-300}), -128);
  EXPECT_EQ(Interpolatable<int>::from(std::vector<double>{NAN}), 0);
}

}  // namespace
}  // namespace quarn
