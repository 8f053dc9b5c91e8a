/// @file
/// Geometry and colour records of the headless toolkit: points, sizes,
/// rectangles, edge insets and RGBA colours, in points. All values.
#pragma once

namespace quarn::platform {

/// A point.
struct Point {
  double x = 0;  ///< The horizontal coordinate.
  double y = 0;  ///< The vertical coordinate, growing downwards.
  /// Equal when both coordinates are.
  friend bool operator==(const Point&, const Point&) = default;
};

/// A width and a height.
struct Size {
  double width = 0;   ///< The width.
  double height = 0;  ///< The height.
  /// Equal when both sides are.
  friend bool operator==(const Size&, const Size&) = default;
};

/// A rectangle: its origin (top-left corner) and size.
struct Rect {
  Point origin;  ///< The top-left corner.
  Size size;     ///< The size.
  /// Equal when origin and size are.
  friend bool operator==(const Rect&, const Rect&) = default;
};

/// Insets from each edge of a rectangle.
struct EdgeInsets {
  double top = 0;     ///< From the top edge.
  double left = 0;    ///< From the left edge.
  double bottom = 0;  ///< From the bottom edge.
  double right = 0;   ///< From the right edge.
  /// Equal when every inset is.
  friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

/// An sRGB colour with alpha, each component in 0...1.
struct Color {
  double red = 0;    ///< The red component.
  double green = 0;  ///< The green component.
  double blue = 0;   ///< The blue component.
  double alpha = 1;  ///< The opacity.
  /// Equal when every component is.
  friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace quarn::platform
