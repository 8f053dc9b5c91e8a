#include "quarnkit/platform/ui/view_animation.h"

#include <algorithm>

namespace quarn::platform {

namespace {
std::mutex& recordersMutex() {
  static std::mutex m;
  return m;
}
std::vector<ViewAnimationRecorder*>& recorders() {
  static std::vector<ViewAnimationRecorder*> r;
  return r;
}
}  // namespace

void ViewAnimation::animate(double duration, const std::function<void()>& animations,
                            const std::function<void(bool)>& completion) {
  {
    std::lock_guard lock(recordersMutex());
    for (auto* recorder : recorders()) recorder->record(duration);
  }
  if (animations) animations();
  if (completion) completion(true);
}

ViewAnimationRecorder::ViewAnimationRecorder() {
  std::lock_guard lock(recordersMutex());
  recorders().push_back(this);
}

ViewAnimationRecorder::~ViewAnimationRecorder() {
  std::lock_guard lock(recordersMutex());
  std::erase(recorders(), this);
}

std::vector<double> ViewAnimationRecorder::durations() const {
  std::lock_guard lock(mutex_);
  return durations_;
}

void ViewAnimationRecorder::record(double duration) {
  std::lock_guard lock(mutex_);
  durations_.push_back(duration);
}

}  // namespace quarn::platform
