/// @file
/// AnimationTimeline: one global progress dispatched to several time-boxed sub-animations.

/// @class quarn::AnimationTimeline
/// One global progress dispatched to several time-boxed
/// sub-animations. A timeline is a shared object (make() it); its items are
/// values.
///
/// Each item covers start < p <= end of the global progress and is called
/// with its local progress (p - start) / (end - start), clamped to 0...1. Its
/// fill mode extends it: backwards (and both) also before its start, with
/// local progress 0; forwards (and both) also after its end, with 1; removed
/// (any other mode) not at all.
///
/// ```
///   auto timeline = AnimationTimeline::make(1.0);
///   timeline->addUntil(0.2, 0.4, FillMode::both, [&](auto&, double, double local) {
///     badge->setAlpha(local);
///   });
///   timeline->perform(0.3);   // local progress 0.5
/// ```
///
/// perform() calls the items in the order of their start (stable for equal
/// starts; an item whose start is not a number sorts last and contains no
/// progress). isRelative and the timeline's duration are kept for the
/// handlers; perform() does not scale by them.
///
/// Handlers may call back into the timeline. perform() calls the items chosen
/// when it began: items added by a handler are called from the next perform(),
/// and a nested perform() makes a whole pass of its own. A handler that
/// releases the timeline (drops its last reference) ends the pass: the items
/// after it are not called. A handler that throws ends the pass too, and the
/// exception propagates out of perform(); the timeline keeps its items and
/// stays usable.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace quarn {

/// How a timed animation extends beyond its active span.
enum class FillMode { removed, forwards, backwards, both };

class AnimationTimeline : public std::enable_shared_from_this<AnimationTimeline> {
 public:
  /// One time-boxed sub-animation of the timeline. A value.
  struct Item {
    /// Called with the item, the global progress and the item's local progress.
    using Handler = std::function<void(const Item& item, double progress, double localProgress)>;

    /// Where the item starts, in global progress.
    double start = 0;
    /// How long it runs, in global progress.
    double duration = 0;
    /// Whether start and duration are relative to the timeline's duration (kept for handlers;
    /// perform() does not scale).
    bool isRelative = false;
    /// How the item extends beyond its span.
    FillMode fillMode = FillMode::removed;
    /// Called with the progress.
    Handler handler;

    /// start + duration.
    [[nodiscard]] double end() const { return start + duration; }
    /// Whether the item is called for global progress `p`.
    [[nodiscard]] bool contains(double p) const;
    /// Equal by start, duration and isRelative.
    friend bool operator==(const Item& a, const Item& b) {
      return a.start == b.start && a.duration == b.duration && a.isRelative == b.isRelative;
    }
  };

  /// An empty timeline of `duration`.
  static std::shared_ptr<AnimationTimeline> make(double duration);
  AnimationTimeline(const AnimationTimeline&) = delete;
  AnimationTimeline& operator=(const AnimationTimeline&) = delete;

  /// The duration given at creation.
  [[nodiscard]] double duration() const { return duration_; }
  /// The items, in the order added.
  [[nodiscard]] const std::vector<Item>& items() const { return items_; }

  /// Adds an item covering `start` to `start + duration`.
  void add(double start, double duration, FillMode fillMode, Item::Handler handler);
  /// add() with duration = end - start.
  void addUntil(double start, double end, FillMode fillMode, Item::Handler handler);
  /// add() with isRelative set.
  void addRelative(double start, double duration, FillMode fillMode, Item::Handler handler);
  /// addUntil() with isRelative set.
  void addRelativeUntil(double start, double end, FillMode fillMode, Item::Handler handler);

  /// Calls the items that contain `progress`.
  void perform(double progress);

 private:
  explicit AnimationTimeline(double duration) : duration_(duration) {}

  double duration_;
  std::vector<Item> items_;
};

}  // namespace quarn

/// Hashes an item by start, duration and isRelative, as == compares.
template <>
struct std::hash<quarn::AnimationTimeline::Item> {
  /// The hash of the three fields.
  std::size_t operator()(const quarn::AnimationTimeline::Item& item) const noexcept;
};
