// The geometry functions: the documented values, rounding, edge picking and
// dragging, and the degenerate inputs that used to divide by zero.
#include "quarnkit/animation/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace quarn {
namespace {

using platform::DeviceOrientation;

constexpr double kTolerance = 1e-9;

void expectNear(Point a, Point b) {
  EXPECT_NEAR(a.x, b.x, kTolerance);
  EXPECT_NEAR(a.y, b.y, kTolerance);
}
void expectNear(const AffineTransform& a, const AffineTransform& b) {
  EXPECT_NEAR(a.a, b.a, kTolerance);
  EXPECT_NEAR(a.b, b.b, kTolerance);
  EXPECT_NEAR(a.c, b.c, kTolerance);
  EXPECT_NEAR(a.d, b.d, kTolerance);
  EXPECT_NEAR(a.tx, b.tx, kTolerance);
  EXPECT_NEAR(a.ty, b.ty, kTolerance);
}

TEST(GeometryTest, Points) {
  EXPECT_EQ(middle({0, 0}, {3, -5}), (Point{1.5, -2.5}));
  EXPECT_EQ(distance({1, 1}, {4, 5}), 5);
  EXPECT_EQ(going({0, 10}, {10, 20}, 0.25), (Point{2.5, 12.5}));
  expectNear(rotatedBy({1, 0}, std::numbers::pi / 2, {0, 0}), {0, -1});
  expectNear(rotatedBy({3, 2}, std::numbers::pi, {2, 2}), {1, 2});
  EXPECT_EQ((Point{1, 2} + Point{3, 4}), (Point{4, 6}));
  EXPECT_EQ((Point{1, 2} - Size{1, 1}), (Point{0, 1}));
  EXPECT_EQ((Point{1, 2} * 2.0), (Point{2, 4}));
  EXPECT_EQ((Size{4, 6} / Size{2, 3}), (Size{2, 2}));
  EXPECT_EQ(ceil(Point{1.2, -1.2}), (Point{2, -1}));
  EXPECT_EQ(floor(Size{1.8, -1.2}), (Size{1, -2}));
}

TEST(GeometryTest, FittingSizes) {
  struct Case {
    Size size, target, fit, fill;
  };
  const Case cases[] = {
      {{100, 50}, {300, 300}, {300, 150}, {600, 300}},
      {{100, 50}, {64, 64}, {64, 32}, {128, 64}},
      {{3, 2}, {10, 10}, {10, 7}, {15, 10}},  // 6.67 rounds up
      {{2, 3}, {10, 10}, {7, 10}, {10, 15}},
      {{4, 2}, {5, 5}, {5, 3}, {10, 5}},  // 2.5: halves away from zero
      {{10, 10}, {30, 20}, {20, 20}, {30, 30}},
      {{16, 9}, {32, 18}, {32, 18}, {32, 18}},  // equal ratios
  };
  for (const auto& c : cases) {
    EXPECT_EQ(aspectFit(c.size, c.target), c.fit) << c.size.width << "x" << c.size.height;
    EXPECT_EQ(aspectFill(c.size, c.target), c.fill) << c.size.width << "x" << c.size.height;
  }
  // The rectangle forms centre the result in the target.
  EXPECT_EQ(aspectFit(Rect{{5, 5}, {100, 50}}, Rect{{10, 20}, {300, 300}}),
            (Rect{{10, 95}, {300, 150}}));
  EXPECT_EQ(aspectFill(Rect{{}, {100, 50}}, Rect{{0, 0}, {300, 300}}),
            (Rect{{-150, 0}, {600, 300}}));
}

TEST(GeometryTest, SidesAndContainment) {
  EXPECT_EQ(withMinSide({100, 200}, 50), (Size{25, 50}));
  EXPECT_EQ(withMinSide({200, 100}, 50), (Size{50, 25}));
  EXPECT_EQ(withMinSide({40, 40}, 50), (Size{40, 40}));
  EXPECT_EQ(withMinSide({30, 60}, 100), (Size{30, 60}));
  EXPECT_EQ(fittedSizeToContain({100, 100}, 2), (Size{200, 100}));
  EXPECT_EQ(fittedSizeToContain({100, 10}, 2), (Size{100, 50}));
  for (auto [size, ratio] : std::vector<std::pair<Size, double>>{
           {{0, 100}, 2}, {{100, -1}, 2}, {{100, 100}, 0}, {{100, 100}, -2}, {{100, 100}, NAN}}) {
    EXPECT_EQ(fittedSizeToContain(size, ratio), (Size{0, 0}));
  }
  const Rect r{{10, 20}, {-40, 60}};  // read as 40 wide
  EXPECT_EQ(minSide(r), 40);
  EXPECT_EQ(maxSide(r), 60);
  EXPECT_EQ(centerPoint(r), (Point{30, 50}));
  Rect moved = r;
  setCenterPoint(moved, {0, 0});
  EXPECT_EQ(moved.origin, (Point{-20, -30}));
  EXPECT_EQ(rectWithCenter({0, 0}, {4, 2}), (Rect{{-2, -1}, {4, 2}}));
  EXPECT_EQ(scaledFromCenterPoint(Rect{{0, 0}, {10, 20}}, 2, 0.5), (Rect{{-5, 5}, {20, 10}}));
  EXPECT_EQ(scaledFromCenterPoint(Rect{{0, 0}, {10, 20}}, 3), (Rect{{-10, -20}, {30, 60}}));
  EXPECT_EQ(normalizedFlippedVertically({{0.1, 0.2}, {0.5, 0.25}}),
            (Rect{{0.1, 1 - 0.2 - 0.25}, {0.5, 0.25}}));
}

TEST(GeometryTest, Clamping) {
  EXPECT_EQ(clamped({{-10, 90}, {50, 50}}, {100, 100}), (Rect{{0, 50}, {50, 50}}));
  EXPECT_EQ(clamped({{30, 30}, {150, 40}}, {100, 100}), (Rect{{0, 30}, {100, 40}}));
  EXPECT_EQ(clamped({{5, 5}, {10, 10}}, {0, 0}), (Rect{{0, 0}, {0, 0}}));
}

TEST(GeometryTest, EdgesNearAPoint) {
  const Rect r{{0, 0}, {100, 50}};
  using E = RectEdges;
  struct Case {
    Point p;
    RectEdges edges;
  };
  const Case cases[] = {
      {{2, -3}, E::top | E::left},  {{100, 50}, E::bottom | E::right},
      {{50, 25}, E::none},          {{-5, 25}, E::left},
      {{-11, 25}, E::none},         {{50, 60}, E::bottom},
      {{-9, -9}, E::top | E::left}, {{50, 61}, E::none},
      {{105, -20}, E::none},  // beside the right edge, but too far above it
  };
  for (const auto& c : cases) {
    EXPECT_EQ(edge(r, c.p, 10), c.edges) << c.p.x << "," << c.p.y;
  }
  // 5 is beyond the horizontal tolerance of the left edge, 25 within the
  // vertical one of both the top and the bottom.
  EXPECT_EQ(edge(r, {5, 25}, Size{4, 100}), E::top | E::bottom);
  EXPECT_EQ(edge(r, {4, 25}, Size{4, 0}), E::left);
}

TEST(GeometryTest, PointOnEdges) {
  const Rect r{{0, 0}, {100, 50}};
  using E = RectEdges;
  EXPECT_EQ(point(r, E::none), (Point{50, 25}));
  EXPECT_EQ(point(r, E::left | E::right), (Point{100, 25}));
  EXPECT_EQ(point(r, E::top | E::left), (Point{0, 0}));
  EXPECT_EQ(point(r, E::bottom | E::top), (Point{50, 50}));
}

TEST(GeometryTest, ShiftingEdges) {
  const Rect square{{0, 0}, {100, 100}};
  using E = RectEdges;
  EXPECT_EQ(shiftedEdge(square, E::left, {10, 0}, std::nullopt), (Rect{{10, 0}, {90, 100}}));
  EXPECT_EQ(shiftedEdge(square, E::left, {10, 0}, 1.0), (Rect{{10, 0}, {90, 90}}));
  EXPECT_EQ(shiftedEdge(square, E::all, {10, 10}, 1.0), square);
  EXPECT_EQ(shiftedEdge(square, E::top | E::right, {5, 20}, std::nullopt),
            (Rect{{0, 20}, {105, 80}}));
  EXPECT_EQ(shiftedEdge(square, E::top, {0, 20}, 2.0), (Rect{{0, 20}, {40, 80}}));
  // Bottom and right with a ratio grow along the diagonal from the origin.
  const Rect diagonal = shiftedEdge(square, E::bottom | E::right, {20, 0}, 0.5);
  const double d = std::sqrt(120.0 * 120 + 100 * 100) / std::sqrt(2.0);
  EXPECT_EQ(diagonal.origin, (Point{0, 0}));
  EXPECT_NEAR(diagonal.size.width, d, kTolerance);
  EXPECT_NEAR(diagonal.size.height, d * 0.5, kTolerance);
  // A ratio of 0 (or one that is not a positive number) is no ratio.
  for (double k : {0.0, -1.0, double(NAN), double(INFINITY)}) {
    EXPECT_EQ(shiftedEdge(square, E::top, {0, 20}, k), (Rect{{0, 20}, {100, 80}})) << k;
    EXPECT_EQ(shiftedEdge(square, E::bottom | E::right, {10, 10}, k), (Rect{{0, 0}, {110, 110}}))
        << k;
  }
}

TEST(GeometryTest, MeanOfRectangles) {
  const std::vector<Rect> rects{{{0, 0}, {10, 20}}, {{10, 20}, {30, 40}}};
  EXPECT_EQ(mean(rects), (Rect{{5, 10}, {20, 30}}));
  EXPECT_EQ(mean(std::vector<Rect>{}), Rect{});
}

TEST(GeometryTest, OrientationTransforms) {
  expectNear(transformFor(DeviceOrientation::portraitUpsideDown),
             AffineTransform::rotation(std::numbers::pi));
  expectNear(transformFor(DeviceOrientation::landscapeRight), AffineTransform{0, -1, 1, 0, 0, 0});
  expectNear(transformFor(DeviceOrientation::landscapeLeft), AffineTransform{0, 1, -1, 0, 0, 0});
  for (int other : {0, 1, 5, 6, 42}) {
    EXPECT_TRUE(transformFor(static_cast<DeviceOrientation>(other)).isIdentity()) << other;
  }
}

TEST(GeometryTest, AspectFitTransforms) {
  // (3, 2) into (10, 10): the height is rounded to 7, so sy = 7 / 2 exactly.
  const AffineTransform t = transformAspectFit(Size{3, 2}, Size{10, 10});
  expectNear(t, {10.0 / 3, 0, 0, 3.5, 0, 1.5});
  expectNear(t.apply({3, 2}), {10, 8.5});
  // A source rectangle lands on the fitted rectangle centred in the target.
  const Rect source{{10, 10}, {100, 50}};
  const Rect target{{0, 0}, {64, 64}};
  const AffineTransform r = transformAspectFit(source, target);
  const Rect fitted = aspectFit(source, target);
  expectNear(r.apply(source.origin), fitted.origin);
  expectNear(r.apply({110, 60}),
             {fitted.origin.x + fitted.size.width, fitted.origin.y + fitted.size.height});
  // A source without area has no fitting scale.
  for (Size degenerate : {Size{0, 50}, Size{100, 0}, Size{0, 0}, Size{NAN, 5}}) {
    EXPECT_TRUE(transformAspectFit(degenerate, Size{64, 64}).isIdentity());
  }
}

}  // namespace
}  // namespace quarn
