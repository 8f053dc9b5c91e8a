// The cubic easings, the spring's three branches and the timing-function handle.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <unordered_set>

#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/spring_interpolation.h"

namespace quarn {
namespace {

constexpr double kTolerance = 1e-9;

TEST(BasicInterpolationTest, ValuesAtKnownPoints) {
  struct Case {
    const BasicInterpolation& f;
    double t, expected;
  };
  const Case cases[] = {
      {BasicInterpolation::linear, 0.3, 0.3},
      {BasicInterpolation::easeIn, 0.5, 0.125},
      {BasicInterpolation::easeOut, 0.5, 0.875},
      {BasicInterpolation::easeInOut, 0.5, 0.5},
      {BasicInterpolation::easeInOut, 0.25, 0.0625},
      {BasicInterpolation::easeInOut, 0.75, 0.9375},
      {BasicInterpolation::easeIn, 0, 0},
      {BasicInterpolation::easeOut, 1, 1},
      {BasicInterpolation::easeInOut, 1, 1},
      {BasicInterpolation::easeInOut, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(c.f(c.t), c.expected, kTolerance) << static_cast<int>(c.f.kind()) << " at " << c.t;
    EXPECT_EQ(c.f.apply(c.t), c.f(c.t));
  }
  // Just below the switch the first half's cube applies.
  EXPECT_NEAR(BasicInterpolation::easeInOut(0.49999999), 4 * std::pow(0.49999999, 3), 1e-15);
}

TEST(BasicInterpolationTest, EqualityAndHashByCase) {
  std::unordered_set<BasicInterpolation> set(std::begin(BasicInterpolation::allCases),
                                             std::end(BasicInterpolation::allCases));
  EXPECT_EQ(set.size(), 4u);
  EXPECT_EQ(BasicInterpolation(BasicInterpolation::Case::easeOut), BasicInterpolation::easeOut);
  EXPECT_FALSE(BasicInterpolation::easeIn == BasicInterpolation::easeOut);
  EXPECT_EQ(BasicInterpolation::allCases[3], BasicInterpolation::easeInOut);
}

// The closed forms written out for the three branches, x0 = -1.
double underDamped(double b, double w, double v, double t) {
  return std::exp(-b * t) * (-std::cos(w * t) + std::sin(w * t) * (-b + v) / w) + 1;
}

TEST(SpringInterpolationTest, DefaultsAreUnderDampedAndOvershoot) {
  const SpringInterpolation spring;
  EXPECT_EQ(spring.damping(), 10.0);
  EXPECT_EQ(spring.mass(), 1.0);
  EXPECT_EQ(spring.stiffness(), 100.0);
  EXPECT_EQ(spring.velocity(), 0.0);
  EXPECT_NEAR(spring(0), 0, kTolerance);
  const double w = std::sqrt(75.0);
  for (double t : {0.05, 0.2, 0.36, 0.5, 1.0}) {
    EXPECT_NEAR(spring(t), underDamped(5, w, 0, t), kTolerance) << t;
  }
  EXPECT_GT(spring(0.36), 1.0);
  EXPECT_LT(spring(0.3), spring(0.36));
  EXPECT_NEAR(spring(5), 1, 1e-9);
}

TEST(SpringInterpolationTest, CriticalAndOverDampedBranches) {
  // damping 20, mass 1, stiffness 100: beta = omega0 = 10.
  const SpringInterpolation critical(20, 0, 1, 100);
  for (double t : {0.0, 0.1, 0.3, 1.0}) {
    EXPECT_NEAR(critical(t), std::exp(-10 * t) * (-1 + t * -10) + 1, kTolerance) << t;
    EXPECT_LE(critical(t), 1.0);
  }
  // damping 50: beta 25, omega = sqrt(625 - 100).
  SpringInterpolation over(50, 2, 1, 100);
  const double w = std::sqrt(525.0);
  for (double t : {0.0, 0.1, 0.5, 1.0}) {
    const double expected =
        std::exp(-25 * t) * (-std::cosh(w * t) + std::sinh(w * t) * (-25 + 2) / w) + 1;
    EXPECT_NEAR(over(t), expected, kTolerance) << t;
  }
  // Far along, cosh alone overflows (and times e^(-bt) = 0 gives NaN); the
  // spring has settled at 1.
  EXPECT_NEAR(over(1000), 1, kTolerance);
}

TEST(SpringInterpolationTest, ChangesApplyToTheNextEvaluation) {
  auto spring = std::make_shared<SpringInterpolation>();
  const TimingFunction f = spring;
  const double before = f(0.1);
  spring->setVelocity(20);
  EXPECT_NEAR(f(0.1), underDamped(5, std::sqrt(75.0), 20, 0.1), kTolerance);
  EXPECT_NE(f(0.1), before);
  spring->setStiffness(25);  // omega0 = 5 = beta: critical now
  EXPECT_NEAR(f(0.1), std::exp(-0.5) * (-1 + 0.1 * (-5 + 20)) + 1, kTolerance);
  spring->setMass(4);  // beta 1.25, omega0 2.5
  EXPECT_NEAR(f(0.2), underDamped(1.25, std::sqrt(6.25 - 1.5625), 20, 0.2), kTolerance);
}

TEST(SpringInterpolationTest, ParametersMustBePositiveNumbers) {
  EXPECT_TRUE(SpringInterpolation::areValid(1, 1, 1));
  EXPECT_FALSE(SpringInterpolation::areValid(1e300, 1e-300, 1));  // the rates overflow
  EXPECT_FALSE(SpringInterpolation::areValid(1, 1e-300, 1e300));
  for (double bad : {0.0, -1.0, double(NAN), double(INFINITY)}) {
    EXPECT_FALSE(SpringInterpolation::areValid(bad, 1, 1)) << bad;
    EXPECT_FALSE(SpringInterpolation::areValid(1, bad, 1)) << bad;
    EXPECT_FALSE(SpringInterpolation::areValid(1, 1, bad)) << bad;
  }
}

TEST(SpringInterpolationDeathTest, IncorrectValuesStop) {
  EXPECT_DEATH((void)SpringInterpolation(0, 0, 1, 100)(0.5), "Incorrect animation values");
  EXPECT_DEATH((void)SpringInterpolation(10, 0, -1, 100)(0.5), "Incorrect animation values");
  SpringInterpolation spring;
  spring.setStiffness(NAN);
  EXPECT_DEATH((void)spring(0.5), "Incorrect animation values");
}

TEST(TimingFunctionTest, DefaultsToLinearAndWrapsCallables) {
  EXPECT_EQ(TimingFunction()(0.25), 0.25);
  EXPECT_EQ(TimingFunction(std::shared_ptr<SpringInterpolation>())(0.25), 0.25);
  const TimingFunction square = [](double t) { return t * t; };
  EXPECT_EQ(square(0.5), 0.25);
  const TimingFunction ease = BasicInterpolation::easeIn;
  EXPECT_EQ(ease(0.5), 0.125);
}

}  // namespace
}  // namespace quarn
