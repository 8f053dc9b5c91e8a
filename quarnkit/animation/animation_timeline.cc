#include "quarnkit/animation/animation_timeline.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "quarnkit/core/hash.h"

namespace quarn {

bool AnimationTimeline::Item::contains(double p) const {
  if (start < p && p <= end()) return true;
  if (p <= start && (fillMode == FillMode::backwards || fillMode == FillMode::both)) return true;
  return p > end() && (fillMode == FillMode::forwards || fillMode == FillMode::both);
}

std::shared_ptr<AnimationTimeline> AnimationTimeline::make(double duration) {
  return std::shared_ptr<AnimationTimeline>(new AnimationTimeline(duration));
}

void AnimationTimeline::add(double start, double duration, FillMode fillMode,
                            Item::Handler handler) {
  items_.push_back({start, duration, false, fillMode, std::move(handler)});
}

void AnimationTimeline::addUntil(double start, double end, FillMode fillMode,
                                 Item::Handler handler) {
  add(start, end - start, fillMode, std::move(handler));
}

void AnimationTimeline::addRelative(double start, double duration, FillMode fillMode,
                                    Item::Handler handler) {
  items_.push_back({start, duration, true, fillMode, std::move(handler)});
}

void AnimationTimeline::addRelativeUntil(double start, double end, FillMode fillMode,
                                         Item::Handler handler) {
  addRelative(start, end - start, fillMode, std::move(handler));
}

void AnimationTimeline::perform(double progress) {
  // Not-a-number starts last, so that the order stays a strict weak one.
  std::stable_sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
    if (std::isnan(a.start) || std::isnan(b.start))
      return !std::isnan(a.start) && std::isnan(b.start);
    return a.start < b.start;
  });
  // Copies: a handler may add items, perform again or release the timeline
  // while the others wait; after a call only the weak reference is touched.
  std::vector<Item> chosen;
  for (const Item& item : items_) {
    if (item.contains(progress)) chosen.push_back(item);
  }
  const std::weak_ptr<AnimationTimeline> weak = weak_from_this();
  for (const Item& item : chosen) {
    const double local = (progress - item.start) / (item.end() - item.start);
    const double clamped = std::isnan(local) ? 0.0 : std::clamp(local, 0.0, 1.0);
    if (item.handler) item.handler(item, progress, clamped);
    if (weak.expired()) return;
  }
}

}  // namespace quarn

std::size_t std::hash<quarn::AnimationTimeline::Item>::operator()(
    const quarn::AnimationTimeline::Item& item) const noexcept {
  std::size_t seed = std::hash<double>()(item.start);
  quarn::hashCombine(seed, std::hash<double>()(item.duration));
  quarn::hashCombine(seed, std::hash<bool>()(item.isRelative));
  return seed;
}
