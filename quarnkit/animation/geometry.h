/// @file
/// Geometry functions over the toolkit's points, sizes, rectangles and affine
/// transforms (all values): fitting images, dragging crop edges, turning
/// content with the device. Each is a formula over doubles; component-wise
/// arithmetic is in platform/ui/geometry_arithmetic.h.
///
/// ```
///   aspectFit(Size{100, 50}, Size{300, 300});         // (300, 150)
///   auto edges = edge(crop, touch, 22);               // RectEdges::top | RectEdges::left
///   crop = shiftedEdge(crop, edges, drag, 1.0);       // keeps the crop square
/// ```
///
/// Rectangles are (x, y, width, height) with y growing downwards. The
/// rectangle functions read width and height as absolute values: minX = x,
/// maxX = x + |width|, midX = x + |width| / 2, and likewise for y.
///
/// Degenerate input never divides by zero: the mean of no rectangles is the
/// zero rectangle, a size with a zero side has no proportions to fit or fill
/// (both give the zero size), an aspect-fit transform of a source without area
/// (or with a side that is not a finite number) is the identity, and an aspect
/// ratio that is not a positive finite number is no ratio. Finite input gives
/// finite results, unless the exact result itself lies beyond the largest
/// double; sums and squares on the way do not overflow early.
#pragma once

#include <optional>
#include <span>

#include "quarnkit/platform/device.h"
#include "quarnkit/platform/ui/geometry.h"
#include "quarnkit/platform/ui/geometry_arithmetic.h"
#include "quarnkit/platform/ui/transform.h"

namespace quarn {

using platform::AffineTransform;
using platform::Point;
using platform::Rect;
using platform::Size;

/// A set of rectangle edges.
enum class RectEdges : unsigned { none = 0, top = 1, left = 2, bottom = 4, right = 8, all = 15 };

/// The edges in either set.
constexpr RectEdges operator|(RectEdges a, RectEdges b) {
  return static_cast<RectEdges>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
/// The edges in both sets.
constexpr RectEdges operator&(RectEdges a, RectEdges b) {
  return static_cast<RectEdges>(static_cast<unsigned>(a) & static_cast<unsigned>(b));
}
/// Whether `set` holds every edge of `edges`.
constexpr bool contains(RectEdges set, RectEdges edges) { return (set & edges) == edges; }

// Points.

/// The point halfway between `p1` and `p2`.
Point middle(Point p1, Point p2);
/// The straight-line distance between the two points.
double distance(Point from, Point to);
/// `from` moved towards `to` by `factor` of the way (0 stays, 1 arrives).
Point going(Point from, Point to, double factor);
/// `p` turned by `angle` radians about `anchor`: (1, 0) turned by pi/2
/// about the origin is (0, -1).
Point rotatedBy(Point p, double angle, Point anchor);

// Sizes. Fitting compares rx = target.width / width and ry = target.height /
// height.

/// The largest size with `size`'s proportions inside `target`; the side that
/// is not the target's is rounded to the nearest integer, halves away from
/// zero. Equal ratios give the target; a size with a zero side gives (0, 0).
Size aspectFit(Size size, Size target);
/// The smallest size with `size`'s proportions covering `target`; no rounding.
/// A size with a zero side gives (0, 0).
Size aspectFill(Size size, Size target);
/// `size` with its longer side limited to `minSide`, keeping its proportions;
/// with a zero side each side is limited on its own.
Size withMinSide(Size size, double minSide);
/// The smallest size of width / height = `aspectRatio` containing
/// `innerSize`; (0, 0) unless both sides and the ratio are positive.
Size fittedSizeToContain(Size innerSize, double aspectRatio);

// Rectangles.

/// The rectangle of `size` centred on `center`.
Rect rectWithCenter(Point center, Size size);
/// The centre of the rectangle.
Point centerPoint(const Rect& rect);
/// Moves the origin so that the centre is `center`.
void setCenterPoint(Rect& rect, Point center);
/// The shorter side's length.
double minSide(const Rect& rect);
/// The longer side's length.
double maxSide(const Rect& rect);
/// aspectFit of the sizes, centred in `target`.
Rect aspectFit(const Rect& rect, const Rect& target);
/// aspectFill of the sizes, centred in `target`.
Rect aspectFill(const Rect& rect, const Rect& target);
/// The size scaled by (sx, sy) about the unchanged centre.
Rect scaledFromCenterPoint(const Rect& rect, double sx, double sy);
/// The size scaled by `scale` both ways about the unchanged centre.
Rect scaledFromCenterPoint(const Rect& rect, double scale);
/// For rectangles in the unit square: (x, 1 - y - height, width, height).
Rect normalizedFlippedVertically(const Rect& rect);
/// The rectangle limited to `size`, then moved inside (0, 0, size).
Rect clamped(const Rect& rect, Size size);
/// The edges within the tolerance (horizontal, vertical) of `p`: left and
/// right when p.y lies beside the rectangle's height (widened by the vertical
/// tolerance) and p.x is near minX or maxX; top and bottom likewise.
RectEdges edge(const Rect& rect, Point p, Size tolerance);
/// edge() with the same tolerance both ways.
RectEdges edge(const Rect& rect, Point p, double tolerance);
/// The crop rectangle after dragging `edges` by `translation`: all edges
/// leave it as it is; bottom and right together with a ratio grow it from its
/// origin along the diagonal; otherwise each named edge moves, and with a
/// ratio the other dimension follows (width = height / ratio when top or
/// bottom moved, else height = width * ratio).
Rect shiftedEdge(const Rect& rect, RectEdges edges, Point translation,
                 std::optional<double> aspectRatio);
/// The point on the named edges: x at maxX for right, else minX for left,
/// else midX; y at maxY for bottom, else minY for top, else midY.
Point point(const Rect& rect, RectEdges edges);
/// The average of the origins and of the sides read as above (absolute
/// values); the zero rectangle for none.
Rect mean(std::span<const Rect> rects);

// Transforms.

/// The rotation that turns content with the device: pi upside down, -pi/2
/// landscape right, pi/2 landscape left, the identity otherwise.
AffineTransform transformFor(platform::DeviceOrientation orientation);
/// The scale and translation that map `source` onto the rectangle
/// aspectFit(source, target) gives (scales from the rounded side exactly).
AffineTransform transformAspectFit(const Rect& source, const Rect& target);
/// The same with both origins at (0, 0).
AffineTransform transformAspectFit(Size source, Size target);

}  // namespace quarn
