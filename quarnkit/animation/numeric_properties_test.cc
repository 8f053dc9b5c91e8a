// Finite inputs give finite results, or the documented refusal, across the
// geometry functions, the interpolator and the timing functions: a
// deterministic sweep over ordinary and extreme values, signed zeros and
// negative sizes included, plus the largest doubles where a formula's
// intermediate sum or square could overflow although its result cannot.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/geometry.h"
#include "quarnkit/animation/interpolator.h"
#include "quarnkit/animation/lagged_trim_shape.h"
#include "quarnkit/animation/spring_interpolation.h"

namespace quarn {
namespace {

constexpr double kMax = std::numeric_limits<double>::max();

// Magnitudes stay within 1e-100...1e100, so that no exact result of these
// formulas (at most a product of three of them) leaves the range of double.
const std::vector<double>& sweepValues() {
  static const std::vector<double> values{0.0, -0.0, 1e-100, -1e-100, 0.5,  -0.5,  1,
                                          -1,  3,    -3,     1e6,     -1e6, 1e100, -1e100};
  return values;
}

// A fixed pseudo-random walk over the sweep's values.
class Picker {
 public:
  double next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return sweepValues()[(state_ >> 33) % sweepValues().size()];
  }
  Point point() { return {next(), next()}; }
  Size size() { return {next(), next()}; }
  Rect rect() { return {point(), size()}; }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

constexpr int kSamples = 20000;

bool finite(double v) { return std::isfinite(v); }
bool finite(Point p) { return finite(p.x) && finite(p.y); }
bool finite(Size s) { return finite(s.width) && finite(s.height); }
bool finite(const Rect& r) { return finite(r.origin) && finite(r.size); }
bool finite(const AffineTransform& t) {
  return finite(t.a) && finite(t.b) && finite(t.c) && finite(t.d) && finite(t.tx) && finite(t.ty);
}

std::string text(double v) {
  std::ostringstream out;
  out.precision(17);
  out << v;
  return out.str();
}
std::string text(Point p) { return "(" + text(p.x) + ", " + text(p.y) + ")"; }
std::string text(Size s) { return "(" + text(s.width) + " x " + text(s.height) + ")"; }
std::string text(const Rect& r) { return text(r.origin) + text(r.size); }

// Counts the cases that break a property and keeps the first few, so that a
// broken formula reports a handful of lines, not thousands.
class Breaks {
 public:
  template <class Describe>
  void check(bool ok, Describe&& describe) {
    if (ok) return;
    if (count_++ < 8) examples_ += "\n  " + describe();
  }
  ~Breaks() { EXPECT_EQ(count_, 0) << examples_; }

 private:
  int count_ = 0;
  std::string examples_;
};

TEST(GeometryPropertyTest, PointFunctionsGiveFiniteResults) {
  Breaks breaks;
  Picker pick;
  for (int i = 0; i < kSamples; ++i) {
    const Point a = pick.point();
    const Point b = pick.point();
    const double x = pick.next();
    const auto at = [&] { return text(a) + " " + text(b) + " " + text(x); };
    breaks.check(finite(middle(a, b)), [&] { return "middle " + at(); });
    breaks.check(finite(distance(a, b)), [&] { return "distance " + at(); });
    breaks.check(finite(going(a, b, x)), [&] { return "going " + at(); });
    breaks.check(finite(rotatedBy(a, x, b)), [&] { return "rotatedBy " + at(); });
  }
  // Sums and squares of the largest coordinates overflow on the way; the
  // results themselves are in range.
  const Point far{kMax, kMax};
  EXPECT_EQ(middle(far, far).x, kMax);
  EXPECT_EQ(going(Point{-kMax, 0}, Point{kMax, 0}, 0.5).x, 0.0);
  EXPECT_EQ(going(Point{-kMax, 0}, Point{kMax, 0}, 1.0).x, kMax);
  EXPECT_DOUBLE_EQ(distance(Point{0, 0}, Point{3e200, 4e200}), 5e200);
}

TEST(GeometryPropertyTest, SizeFunctionsGiveFiniteResults) {
  Breaks breaks;
  const auto& values = sweepValues();
  for (double w : values) {
    for (double h : values) {
      const Size size{w, h};
      for (double tw : values) {
        for (double th : values) {
          const Size target{tw, th};
          const auto at = [&] { return text(size) + " in " + text(target); };
          const Size fit = aspectFit(size, target);
          const Size fill = aspectFill(size, target);
          breaks.check(finite(fit), [&] { return "aspectFit " + at() + " = " + text(fit); });
          breaks.check(finite(fill), [&] { return "aspectFill " + at() + " = " + text(fill); });
          // A size without a proportion fits and fills as nothing.
          if (w == 0 || h == 0) {
            breaks.check(fit.width == 0 && fit.height == 0,
                         [&] { return "aspectFit of a zero side " + at() + " = " + text(fit); });
            breaks.check(fill.width == 0 && fill.height == 0,
                         [&] { return "aspectFill of a zero side " + at() + " = " + text(fill); });
          }
        }
        const Size limited = withMinSide(size, tw);
        breaks.check(finite(limited), [&] {
          return "withMinSide " + text(size) + " " + text(tw) + " = " + text(limited);
        });
        const Size contained = fittedSizeToContain(size, tw);
        breaks.check(finite(contained), [&] {
          return "fittedSizeToContain " + text(size) + " " + text(tw) + " = " + text(contained);
        });
      }
    }
  }
}

TEST(GeometryPropertyTest, RectangleFunctionsGiveFiniteResults) {
  Breaks breaks;
  Picker pick;
  for (int i = 0; i < kSamples; ++i) {
    const Rect a = pick.rect();
    const Rect b = pick.rect();
    const Point p = pick.point();
    const double x = pick.next();
    const double y = pick.next();
    const auto at = [&] { return text(a) + " " + text(b) + " " + text(x) + " " + text(y); };
    breaks.check(finite(rectWithCenter(p, a.size)), [&] { return "rectWithCenter " + at(); });
    breaks.check(finite(centerPoint(a)), [&] { return "centerPoint " + at(); });
    Rect moved = a;
    setCenterPoint(moved, p);
    breaks.check(finite(moved), [&] { return "setCenterPoint " + at(); });
    breaks.check(finite(minSide(a)) && finite(maxSide(a)), [&] { return "sides " + at(); });
    breaks.check(finite(aspectFit(a, b)), [&] { return "aspectFit " + at(); });
    breaks.check(finite(aspectFill(a, b)), [&] { return "aspectFill " + at(); });
    breaks.check(finite(scaledFromCenterPoint(a, x, y)), [&] { return "scaled " + at(); });
    breaks.check(finite(normalizedFlippedVertically(a)), [&] { return "flipped " + at(); });
    breaks.check(finite(clamped(a, b.size)), [&] { return "clamped " + at(); });
    const auto edges = static_cast<RectEdges>(i % 16);
    const std::optional<double> ratio = i % 3 == 0 ? std::nullopt : std::optional(x);
    const Rect shifted = shiftedEdge(a, edges, p, ratio);
    breaks.check(finite(shifted), [&] {
      return "shiftedEdge " + std::to_string(i % 16) + " " + at() + " = " + text(shifted);
    });
    breaks.check(finite(point(a, edges)), [&] { return "point " + at(); });
    breaks.check(finite(transformAspectFit(a, b)), [&] { return "transformAspectFit " + at(); });
    const Rect rects[] = {a, b, pick.rect()};
    breaks.check(finite(mean(rects)), [&] { return "mean " + at(); });
  }
  // Squares of wide drags overflow on the way to a diagonal that does not.
  const Rect wide{{0, 0}, {1e200, 1e200}};
  const Rect grown = shiftedEdge(wide, RectEdges::bottom | RectEdges::right, {0, 0}, 1.0);
  EXPECT_DOUBLE_EQ(grown.size.width, 1e200);
}

TEST(GeometryPropertyTest, MeanReadsSidesAsTheOtherRectangleFunctionsDo) {
  Picker pick;
  for (int i = 0; i < 2000; ++i) {
    const Rect rects[] = {pick.rect(), pick.rect(), pick.rect()};
    Rect standard[3];
    for (int k = 0; k < 3; ++k) {
      standard[k] = {rects[k].origin,
                     {std::abs(rects[k].size.width), std::abs(rects[k].size.height)}};
    }
    const Rect m = mean(rects);
    EXPECT_EQ(m.size, mean(standard).size) << text(rects[0]) << text(rects[1]) << text(rects[2]);
    EXPECT_EQ(m.origin, mean(standard).origin);
    ASSERT_GE(m.size.width, 0);
    ASSERT_GE(m.size.height, 0);
  }
  // One rectangle is its own mean, as the other functions read it.
  const Rect flipped{{10, 20}, {-4, -6}};
  const Rect single[] = {flipped};
  EXPECT_EQ(centerPoint(mean(single)), centerPoint(flipped));
  EXPECT_EQ(maxSide(mean(single)), maxSide(flipped));
  // The largest rectangles average without overflowing.
  const Rect huge{{kMax, -kMax}, {kMax, -kMax}};
  const Rect pair[] = {huge, huge};
  EXPECT_EQ(mean(pair), (Rect{{kMax, -kMax}, {kMax, kMax}}));
}

TEST(InterpolatorPropertyTest, KeyValuesBlendToFiniteValuesAndEndExactly) {
  Breaks breaks;
  const auto& values = sweepValues();
  std::vector<double> progresses = values;
  progresses.insert(progresses.end(), {0.25, 0.75, 0.999});
  for (const auto& f : BasicInterpolation::allCases) {
    for (double a : values) {
      for (double b : values) {
        for (double c : {values[2], values[13], values[5]}) {
          Interpolator<double> interpolator({a, b, c}, f);
          const auto at = [&] {
            return "keys " + text(a) + ", " + text(b) + ", " + text(c) + " case " +
                   std::to_string(static_cast<int>(f.kind()));
          };
          for (double p : progresses) {
            const double v = interpolator.interpolateValue(p);
            breaks.check(finite(v), [&] { return at() + " at " + text(p) + " = " + text(v); });
          }
          breaks.check(interpolator.interpolateValue(0) == a, [&] { return at() + " at 0"; });
          breaks.check(interpolator.interpolateValue(1) == c, [&] { return at() + " at 1"; });
        }
      }
    }
  }
  // Key values whose difference overflows still blend through the middle.
  Interpolator<double> widest(-kMax, kMax, BasicInterpolation::linear);
  EXPECT_EQ(widest.interpolateValue(0), -kMax);
  EXPECT_EQ(widest.interpolateValue(0.5), 0.0);
  EXPECT_EQ(widest.interpolateValue(1), kMax);
}

TEST(TimingFunctionPropertyTest, EasingsAndTrimsStayFinite) {
  Breaks breaks;
  for (const auto& f : BasicInterpolation::allCases) {
    for (double t : sweepValues()) {
      breaks.check(finite(f(t)), [&] { return "easing at " + text(t); });
    }
  }
  for (double progress : sweepValues()) {
    for (double lag : sweepValues()) {
      const auto range = laggedTrimRange(progress, lag);
      breaks.check(!range || (finite(range->from) && finite(range->to) && range->from < range->to),
                   [&] { return "trim " + text(progress) + " " + text(lag); });
    }
  }
}

// Spring parameters from the ordinary to the ones whose rates or squares
// overflow (damping above about 2.7e154 with mass 1, or mass 1e-300).
const std::array<double, 13> kSpringValues{1e-300, 1e-100, 1e-3,  0.5,   1,     10,   20,
                                           100,    1e3,    1e100, 1e154, 3e154, 1e300};

// Times from before the start to the largest double.
const std::array<double, 12> kTimes{-1e100, -1,  -1e-100, 0,   1e-100, 0.1,
                                    0.36,   0.5, 1,       1e6, 1e100,  kMax};

void checkSettles(Breaks& breaks, const SpringInterpolation& spring) {
  const auto at = [&] {
    return "damping " + text(spring.damping()) + " mass " + text(spring.mass()) + " stiffness " +
           text(spring.stiffness()) + " velocity " + text(spring.velocity());
  };
  for (double t : kTimes) {
    const double v = spring(t);
    breaks.check(finite(v), [&] { return at() + " at " + text(t) + " = " + text(v); });
  }
  breaks.check(spring(0) == 0, [&] { return at() + " does not start at 0"; });
  breaks.check(std::abs(spring(kMax) - 1) < 1e-12,
               [&] { return at() + " settles at " + text(spring(kMax)); });
}

TEST(SpringPropertyTest, AcceptedSpringsStartAtZeroAndSettleAtOne) {
  Breaks breaks;
  int accepted = 0;
  for (double damping : kSpringValues) {
    for (double mass : kSpringValues) {
      for (double stiffness : kSpringValues) {
        if (!SpringInterpolation::areValid(damping, mass, stiffness)) continue;
        ++accepted;
        for (double velocity : {0.0, 1.0, -20.0, 1e100, -1e300, kMax}) {
          const SpringInterpolation spring(damping, velocity, mass, stiffness);
          if (velocity == 0) {
            EXPECT_TRUE(spring.isValid());
          }
          if (spring.isValid()) checkSettles(breaks, spring);
        }
      }
    }
  }
  // Far from all of them are refused.
  EXPECT_GT(accepted, 600);
}

TEST(SpringPropertyTest, OverflowingParametersAreRefused) {
  EXPECT_TRUE(SpringInterpolation::areValid(1e154, 1, 100));
  EXPECT_FALSE(SpringInterpolation::areValid(3e154, 1, 100));
  EXPECT_FALSE(SpringInterpolation::areValid(1e200, 1, 100));
  EXPECT_FALSE(SpringInterpolation::areValid(10, 1e-300, 100));
  EXPECT_FALSE(SpringInterpolation::areValid(10, 1e-300, 1e-300));
}

TEST(SpringPropertyTest, AVelocityThatCarriesItOutOfRangeIsRefused) {
  EXPECT_TRUE(SpringInterpolation(10, kMax, 1, 100).isValid());  // about 2e307 at most
  // Just over-damped: a slow rate that the largest velocity overflows.
  EXPECT_TRUE(SpringInterpolation(20.000001, 1, 1, 100).isValid());
  EXPECT_FALSE(SpringInterpolation(20.000001, kMax, 1, 100).isValid());
  EXPECT_FALSE(SpringInterpolation(10, NAN, 1, 100).isValid());
  EXPECT_FALSE(SpringInterpolation(10, INFINITY, 1, 100).isValid());
  SpringInterpolation spring;
  spring.setVelocity(-kMax);
  spring.setDamping(20.000001);
  EXPECT_FALSE(spring.isValid());
  spring.setVelocity(0);
  EXPECT_TRUE(spring.isValid());
}

TEST(SpringPropertyDeathTest, OverflowingParametersStopWithTheSystemMessage) {
  EXPECT_DEATH((void)SpringInterpolation(3e154, 0, 1, 100)(0.5), "Incorrect animation values");
  EXPECT_DEATH((void)SpringInterpolation(10, 0, 1e-300, 100)(0.5), "Incorrect animation values");
  EXPECT_DEATH((void)SpringInterpolation(20.000001, kMax, 1, 100)(0.5),
               "Incorrect animation values");
}

}  // namespace
}  // namespace quarn
