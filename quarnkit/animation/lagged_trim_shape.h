/// @file
/// `LaggedTrimShape<S>`: draws a moving segment of another shape's outline, a head at `progress`
/// trailed by a tail `lag` behind it (in fractions of the outline).

/// @struct quarn::LaggedTrimShape
/// Draws a moving segment of another shape's outline, a
/// head at `progress` trailed by a tail `lag` behind it (in fractions of the
/// outline). It and TrimRange are values. Near the end the tail catches up, so at progress 1
/// nothing is drawn:
///
/// ```
///   from = max(progress - lag, 0)     while progress <= 1 - lag
///   from = max(2 progress - 1, 0)     beyond that
/// ```
///
/// S is any shape whose path(rect) gives a path with trimmedPath(from, to);
/// progress is the animatable value.
///
/// ```
///   LaggedTrimShape<Circle> spinner{circle, 0.5, 0.2};
///   spinner.trimRange();    // 0.3...0.5
/// ```
#pragma once

#include <algorithm>
#include <optional>
#include <utility>

namespace quarn {

/// The fractions of an outline that are drawn.
struct TrimRange {
  /// Where the drawn part starts.
  double from = 0;
  /// Where the drawn part ends.
  double to = 0;
  /// Equal when both ends are.
  friend bool operator==(const TrimRange&, const TrimRange&) = default;
};

/// What a LaggedTrimShape draws, or nothing (an empty or not-a-number range).
inline std::optional<TrimRange> laggedTrimRange(double progress, double lag) {
  const double from =
      progress <= 1 - lag ? std::max(progress - lag, 0.0) : std::max(2 * progress - 1, 0.0);
  const double to = std::min(progress, 1.0);
  if (!(from < to)) return std::nullopt;
  return TrimRange{from, to};
}

template <class S>
struct LaggedTrimShape {
  /// The shape whose outline is trimmed.
  S shape;
  /// Where the head is, 0...1.
  double progress = 0;
  /// How far the tail trails the head.
  double lag = 0;

  /// The animated value: progress.
  [[nodiscard]] double animatableData() const { return progress; }
  /// Sets the progress (the animated value).
  void setAnimatableData(double value) { progress = value; }

  /// The part drawn now, or nothing.
  [[nodiscard]] std::optional<TrimRange> trimRange() const {
    return laggedTrimRange(progress, lag);
  }

  /// The wrapped shape's outline in `rect`, trimmed; an empty path when
  /// nothing is drawn.
  template <class R>
  auto path(const R& rect) const {
    auto outline = shape.path(rect);
    using Path = decltype(outline);
    const auto range = trimRange();
    return range ? Path(outline.trimmedPath(range->from, range->to)) : Path{};
  }
};

}  // namespace quarn
