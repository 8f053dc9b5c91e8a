#include "quarnkit/animation/geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "quarnkit/animation/detail/blend.h"

namespace quarn {

namespace {
double width(const Rect& r) { return std::abs(r.size.width); }
double height(const Rect& r) { return std::abs(r.size.height); }
double minX(const Rect& r) { return r.origin.x; }
double minY(const Rect& r) { return r.origin.y; }
double maxX(const Rect& r) { return r.origin.x + width(r); }
double maxY(const Rect& r) { return r.origin.y + height(r); }
double midX(const Rect& r) { return r.origin.x + width(r) / 2; }
double midY(const Rect& r) { return r.origin.y + height(r) / 2; }
Size extent(const Rect& r) { return {width(r), height(r)}; }

bool usableRatio(double k) { return k > 0 && std::isfinite(k); }

Rect centredIn(Size size, const Rect& target) {
  return {{target.origin.x + (width(target) - size.width) / 2,
           target.origin.y + (height(target) - size.height) / 2},
          size};
}

// The fitted size, and which side was rounded.
struct Fit {
  Size size;
  bool widthRounded = false;
  bool heightRounded = false;
};

bool hasZeroSide(Size size) { return size.width == 0 || size.height == 0; }

// (a + b) / 2, halving first where the sum would overflow.
double halfway(double a, double b) {
  const double sum = a + b;
  return std::isfinite(sum) ? sum * 0.5 : a * 0.5 + b * 0.5;
}

// sqrt(x^2 + y^2), scaled where the squares would overflow.
double length(double x, double y) {
  const double squares = x * x + y * y;
  return std::isfinite(squares) ? std::sqrt(squares) : std::hypot(x, y);
}

Fit fit(Size size, Size target) {
  if (hasZeroSide(size)) return {};
  const double rx = target.width / size.width;
  const double ry = target.height / size.height;
  if (ry < rx) return {{std::round(size.width * ry), target.height}, true, false};
  if (rx < ry) return {{target.width, std::round(size.height * rx)}, false, true};
  return {target, false, false};
}
}  // namespace

Point middle(Point p1, Point p2) { return {halfway(p1.x, p2.x), halfway(p1.y, p2.y)}; }

double distance(Point from, Point to) { return length(to.x - from.x, to.y - from.y); }

Point going(Point from, Point to, double factor) {
  return {detail::blend(from.x, to.x, factor), detail::blend(from.y, to.y, factor)};
}

Point rotatedBy(Point p, double angle, Point anchor) {
  const double s = std::sin(angle);
  const double c = std::cos(angle);
  const Point d = p - anchor;
  return {anchor.x + c * d.x + s * d.y, anchor.y + c * d.y - s * d.x};
}

Size aspectFit(Size size, Size target) { return fit(size, target).size; }

Size aspectFill(Size size, Size target) {
  if (hasZeroSide(size)) return {};
  const double rx = target.width / size.width;
  const double ry = target.height / size.height;
  if (rx < ry) return {size.width * ry, target.height};
  if (ry < rx) return {target.width, size.height * rx};
  return target;
}

Size withMinSide(Size size, double minSide) {
  const double w = size.width;
  const double h = size.height;
  if (hasZeroSide(size)) return {std::min(minSide, w), std::min(minSide, h)};
  const double r = h / w;
  if (w < h) {
    const double side = std::min(minSide, h);
    return {side / r, side};
  }
  if (h < w) {
    const double side = std::min(minSide, w);
    return {side, side * r};
  }
  return {std::min(minSide, w), std::min(minSide, h)};
}

Size fittedSizeToContain(Size innerSize, double aspectRatio) {
  const double w = innerSize.width;
  const double h = innerSize.height;
  if (!(w > 0 && h > 0 && aspectRatio > 0)) return {0, 0};
  if (h <= w / aspectRatio) return {w, w / aspectRatio};
  return {h * aspectRatio, h};
}

Rect rectWithCenter(Point center, Size size) {
  return {{center.x - size.width / 2, center.y - size.height / 2}, size};
}

Point centerPoint(const Rect& rect) { return {midX(rect), midY(rect)}; }

void setCenterPoint(Rect& rect, Point center) {
  rect.origin = {center.x - width(rect) / 2, center.y - height(rect) / 2};
}

double minSide(const Rect& rect) { return std::min(width(rect), height(rect)); }
double maxSide(const Rect& rect) { return std::max(width(rect), height(rect)); }

Rect aspectFit(const Rect& rect, const Rect& target) {
  return centredIn(aspectFit(extent(rect), extent(target)), target);
}

Rect aspectFill(const Rect& rect, const Rect& target) {
  return centredIn(aspectFill(extent(rect), extent(target)), target);
}

Rect scaledFromCenterPoint(const Rect& rect, double sx, double sy) {
  return rectWithCenter(centerPoint(rect), {width(rect) * sx, height(rect) * sy});
}

Rect scaledFromCenterPoint(const Rect& rect, double scale) {
  return scaledFromCenterPoint(rect, scale, scale);
}

Rect normalizedFlippedVertically(const Rect& rect) {
  return {{rect.origin.x, 1 - rect.origin.y - height(rect)}, extent(rect)};
}

Rect clamped(const Rect& rect, Size size) {
  const double w = std::min(width(rect), size.width);
  const double h = std::min(height(rect), size.height);
  // max before min: a rectangle wider than a negative size still lands at 0.
  const double x = std::max(std::min(rect.origin.x, size.width - w), 0.0);
  const double y = std::max(std::min(rect.origin.y, size.height - h), 0.0);
  return {{x, y}, {w, h}};
}

RectEdges edge(const Rect& rect, Point p, Size tolerance) {
  const double th = tolerance.width;
  const double tv = tolerance.height;
  RectEdges edges = RectEdges::none;
  if (p.y >= minY(rect) - tv && p.y <= maxY(rect) + tv) {
    if (std::abs(p.x - minX(rect)) <= th) edges = edges | RectEdges::left;
    if (std::abs(p.x - maxX(rect)) <= th) edges = edges | RectEdges::right;
  }
  if (p.x >= minX(rect) - th && p.x <= maxX(rect) + th) {
    if (std::abs(p.y - minY(rect)) <= tv) edges = edges | RectEdges::top;
    if (std::abs(p.y - maxY(rect)) <= tv) edges = edges | RectEdges::bottom;
  }
  return edges;
}

RectEdges edge(const Rect& rect, Point p, double tolerance) {
  return edge(rect, p, Size{tolerance, tolerance});
}

Rect shiftedEdge(const Rect& rect, RectEdges edges, Point translation,
                 std::optional<double> aspectRatio) {
  if (contains(edges, RectEdges::all)) return rect;
  if (aspectRatio && !usableRatio(*aspectRatio)) aspectRatio.reset();
  const double dx = translation.x;
  const double dy = translation.y;
  if (edges == (RectEdges::bottom | RectEdges::right) && aspectRatio) {
    const double w = dx + width(rect);
    const double h = dy + height(rect);
    const double d = length(w, h) / std::numbers::sqrt2;
    return {rect.origin, {d, d * *aspectRatio}};
  }
  Rect r{rect.origin, extent(rect)};
  if (contains(edges, RectEdges::left)) {
    r.origin.x += dx;
    r.size.width -= dx;
  }
  if (contains(edges, RectEdges::right)) r.size.width += dx;
  if (contains(edges, RectEdges::top)) {
    r.origin.y += dy;
    r.size.height -= dy;
  }
  if (contains(edges, RectEdges::bottom)) r.size.height += dy;
  if (aspectRatio) {
    const bool vertical = (edges & (RectEdges::top | RectEdges::bottom)) != RectEdges::none;
    const bool horizontal = (edges & (RectEdges::left | RectEdges::right)) != RectEdges::none;
    if (vertical) {
      r.size.width = r.size.height / *aspectRatio;
    } else if (horizontal) {
      r.size.height = r.size.width * *aspectRatio;
    }
  }
  return r;
}

Point point(const Rect& rect, RectEdges edges) {
  double x = midX(rect);
  if (contains(edges, RectEdges::right)) {
    x = maxX(rect);
  } else if (contains(edges, RectEdges::left)) {
    x = minX(rect);
  }
  double y = midY(rect);
  if (contains(edges, RectEdges::bottom)) {
    y = maxY(rect);
  } else if (contains(edges, RectEdges::top)) {
    y = minY(rect);
  }
  return {x, y};
}

Rect mean(std::span<const Rect> rects) {
  if (rects.empty()) return {};
  const auto n = static_cast<double>(rects.size());
  // Sides as the other functions read them; each term divided first where the
  // sum of the largest values would overflow.
  auto average = [&](auto component) {
    double sum = 0;
    for (const Rect& r : rects) sum += component(r);
    if (std::isfinite(sum)) return sum / n;
    sum = 0;
    for (const Rect& r : rects) sum += component(r) / n;
    return sum;
  };
  return {{average(minX), average(minY)}, {average(width), average(height)}};
}

AffineTransform transformFor(platform::DeviceOrientation orientation) {
  using platform::DeviceOrientation;
  switch (orientation) {
    case DeviceOrientation::portraitUpsideDown:
      return AffineTransform::rotation(std::numbers::pi);
    case DeviceOrientation::landscapeRight:
      return AffineTransform::rotation(-std::numbers::pi / 2);
    case DeviceOrientation::landscapeLeft:
      return AffineTransform::rotation(std::numbers::pi / 2);
    default:
      return AffineTransform::identity();
  }
}

AffineTransform transformAspectFit(const Rect& source, const Rect& target) {
  const Size from = extent(source);
  const Size to = extent(target);
  auto usableSide = [](double side) { return side > 0 && std::isfinite(side); };
  if (!usableSide(from.width) || !usableSide(from.height)) return AffineTransform::identity();
  const Fit fitted = fit(from, to);
  const double sx = fitted.widthRounded ? fitted.size.width / from.width : to.width / from.width;
  const double sy =
      fitted.heightRounded ? fitted.size.height / from.height : to.height / from.height;
  const double tx = target.origin.x + (to.width - fitted.size.width) / 2 - source.origin.x * sx;
  const double ty = target.origin.y + (to.height - fitted.size.height) / 2 - source.origin.y * sy;
  return {sx, 0, 0, sy, tx, ty};
}

AffineTransform transformAspectFit(Size source, Size target) {
  return transformAspectFit(Rect{{}, source}, Rect{{}, target});
}

}  // namespace quarn
