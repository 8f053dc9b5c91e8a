/// @file
/// ViewAnimation: the toolkit's animation call.

/// @class quarn::platform::ViewAnimation
/// The toolkit's animation call. The headless toolkit has no
/// screen to animate on: animate() applies the changes at once, completes
/// with true, and tells every live ViewAnimationRecorder its duration, so
/// that tests can see what would have been animated and for how long.
/// ViewAnimation has static members only; a recorder is a unique object (it
/// registers itself while it lives).
///
/// ```
///   ViewAnimationRecorder recorder;
///   ViewAnimation::animate(0.3, [&] { view->setAlpha(1); });
///   recorder.durations();   // {0.3}
/// ```
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace quarn::platform {

class ViewAnimation {
 public:
  /// Runs `animations` now, then `completion(true)`.
  static void animate(double duration, const std::function<void()>& animations,
                      const std::function<void(bool)>& completion = {});
};

/// Records the durations of the animations run while it lives. Thread-safe.
class ViewAnimationRecorder {
 public:
  ViewAnimationRecorder();
  ~ViewAnimationRecorder();
  ViewAnimationRecorder(const ViewAnimationRecorder&) = delete;
  ViewAnimationRecorder& operator=(const ViewAnimationRecorder&) = delete;

  /// The durations recorded, in order.
  [[nodiscard]] std::vector<double> durations() const;
  /// Records an animation of `duration` seconds (called by ViewAnimation).
  void record(double duration);

 private:
  mutable std::mutex mutex_;
  std::vector<double> durations_;
};

}  // namespace quarn::platform
