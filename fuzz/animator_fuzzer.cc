// Fuzz target of the frame-driven animator: the input is a sequence of host
// actions on a few animators driven by manual frames (animate with any target
// and duration, zero and huge ones included, frame steps, stopAnimation,
// setProgress, invalidate, release), and the closures the animators call do
// what the next bytes say (nothing, animate again, stop, set the progress,
// release their animator, or throw).
//
// Beyond not crashing, hanging or leaking, it checks that every animate()
// completes exactly once (one that invalidate() forgot at most once), that a
// completion told "finished" sees its target reached, that only the closures'
// own exceptions leave the animator, and that the progress stays in 0...1.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "fuzz/event_bytes.h"
#include "fuzz/quiet_logs.h"
#include "quarnkit/animation/animator.h"
#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/spring_interpolation.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/display_link.h"

namespace {

using namespace quarn;

constexpr std::size_t kSlots = 3;
constexpr int kMaxActions = 400;
constexpr int kMaxDepth = 6;            // nested calls from inside closures
constexpr std::size_t kMaxFrames = 40;  // per step action

void check(bool condition) {
  if (!condition) std::abort();
}

// What a closure throws; anything else leaving the animator is a fault.
struct HostError {};

struct Call {
  std::uint64_t owner;
  int completions = 0;
  bool forgotten = false;
};

class Session {
 public:
  Session(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

  void run() {
    for (int n = 0; n < kMaxActions && !bytes_.empty(); ++n) {
      const std::size_t slot = bytes_.choose(kSlots);
      switch (bytes_.choose(8)) {
        case 0:
        case 1:
          hostCall([&] { animate(slot); });
          break;
        case 2:
          hostCall([&] { frames_->step(1 + bytes_.choose(kMaxFrames)); });
          break;
        case 3:
          make(slot);
          break;
        case 4:
          if (slots_[slot]) hostCall([&] { slots_[slot]->stopAnimation(); });
          break;
        case 5:
          if (slots_[slot]) hostCall([&] { slots_[slot]->setProgress(progressValue()); });
          break;
        case 6:
          invalidate(slot);
          break;
        default:
          hostCall([&] { slots_[slot].reset(); });
          break;
      }
      checkState();
    }
    // Releasing every animator ends every animation still running.
    for (auto& animator : slots_) hostCall([&] { animator.reset(); });
    check(frames_->linkCount() == 0);
    for (const Call& call : calls_) {
      check(call.forgotten ? call.completions <= 1 : call.completions == 1);
    }
  }

 private:
  template <class F>
  void hostCall(F&& f) {
    try {
      f();
    } catch (const HostError&) {
      // A closure's exception, leaving once.
    }
  }

  double progressValue() {
    switch (bytes_.choose(6)) {
      case 0:
        return 1.0;
      case 1:
        return 0.0;
      case 2:
        return std::numeric_limits<double>::quiet_NaN();
      case 3:
        return bytes_.between(-2, 3);
      case 4:
        return bytes_.anyDouble();
      default:
        return bytes_.unit();
    }
  }

  double durationValue() {
    switch (bytes_.choose(8)) {
      case 0:
        return 0.0;
      case 1:
        return bytes_.between(0.01, 0.5);
      case 2:
        return 1e308;
      case 3:
        return 1e-320;
      case 4:
        return -bytes_.unit();
      case 5:
        return bytes_.anyDouble();
      case 6:
        return 1e15;
      default:
        return 0.05;
    }
  }

  void make(std::size_t slot) {
    const std::uint64_t owner = ++serial_;
    // Filled once the animator exists; its closures reach it only weakly.
    auto weak = std::make_shared<std::weak_ptr<ProgressAnimator>>();
    auto onApply = [this, slot, owner, weak](double p) {
      check(p >= 0 && p <= 1);
      react(slot, owner, *weak);
    };
    if (bytes_.choose(2) == 0) {
      slots_[slot] = ProgressAnimator::make(onApply);
    } else {
      TimingFunction function = BasicInterpolation::allCases[bytes_.choose(4)];
      if (bytes_.choose(2) == 0) {
        auto spring =
            std::make_shared<SpringInterpolation>(bytes_.between(0.1, 50), bytes_.between(-50, 50),
                                                  bytes_.between(0.1, 5), bytes_.between(1, 500));
        if (spring->isValid()) function = spring;
      }
      const std::vector<double> keys{bytes_.between(-10, 10), bytes_.between(-10, 10), 0.5};
      auto typed = Animator<double>::make(keys, function, [this, slot, owner, weak](double value) {
        check(std::isfinite(value));
        react(slot, owner, *weak);
      });
      slots_[slot] = typed;
    }
    *weak = slots_[slot];
    owners_[slot] = owner;
  }

  void invalidate(std::size_t slot) {
    if (!slots_[slot]) return;
    slots_[slot]->invalidate();
    for (Call& call : calls_) {
      if (call.owner == owners_[slot] && call.completions == 0) call.forgotten = true;
    }
  }

  void animate(std::size_t slot) {
    if (!slots_[slot]) make(slot);
    auto animator = slots_[slot];
    const std::size_t id = calls_.size();
    calls_.push_back({owners_[slot]});
    const std::uint64_t owner = owners_[slot];
    const double target = progressValue();
    const double duration = durationValue();
    animator->animate(target, duration,
                      [this, id, slot, owner, weak = std::weak_ptr(animator)](bool finished) {
                        check(++calls_[id].completions == 1);
                        if (auto self = weak.lock()) {
                          if (finished) check(self->progress() == self->targetProgress());
                        }
                        react(slot, owner, weak);
                      });
  }

  // A closure of the animator in `slot` (while it is `owner`) does what the
  // next bytes say.
  void react(std::size_t slot, std::uint64_t owner, const std::weak_ptr<ProgressAnimator>& weak) {
    if (depth_ >= kMaxDepth) return;
    ++depth_;
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{depth_};
    const auto self = weak.lock();
    switch (bytes_.choose(8)) {
      case 1:
        if (self && owners_[slot] == owner && slots_[slot] == self) animate(slot);
        break;
      case 2:
        if (self) self->stopAnimation();
        break;
      case 3:
        if (self) self->setProgress(progressValue());
        break;
      case 4:
        if (self && slots_[slot] == self) slots_[slot].reset();
        break;
      case 5:
        throw HostError{};
      default:
        break;  // nothing, the likeliest
    }
  }

  void checkState() {
    for (const auto& animator : slots_) {
      if (!animator) continue;
      check(animator->progress() >= 0 && animator->progress() <= 1);
      check(animator->isAnimating() == (animator->displayLink() != nullptr));
      if (animator->isAnimating()) check(animator->displayLink()->isValid());
    }
  }

  fuzzing::EventBytes bytes_;
  std::shared_ptr<platform::ManualFrameScheduler> frames_ =
      std::make_shared<platform::ManualFrameScheduler>();
  platform::ScopedService<platform::FrameScheduler> installed_{frames_};
  std::shared_ptr<ProgressAnimator> slots_[kSlots];
  std::uint64_t owners_[kSlots] = {};
  std::uint64_t serial_ = 0;
  std::vector<Call> calls_;
  int depth_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::silenceLogsOnce();
  Session(data, size).run();
  return 0;
}
