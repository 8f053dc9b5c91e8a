/// @file
/// DisplayLink: a callback called once per display frame on the main context, the clock that
/// frame-driven animations step by.

/// @class quarn::platform::DisplayLink
/// A callback called once per display frame on the main context,
/// the clock that frame-driven animations step by.
///
/// Kinds: DisplayLink is a shared object (made only by its scheduler); frame
/// schedulers are unique objects (not copyable), installed as services.
///
/// Links come from the current FrameScheduler: by default a repeating 1/60 s
/// timer of the current TimerScheduler per link; in tests a
/// ManualFrameScheduler, whose step() runs exactly one frame, so that frame
/// counts never depend on adding up 1/60 s in floating point:
///
/// ```
///   auto frames = std::make_shared<ManualFrameScheduler>();
///   ScopedService<FrameScheduler> installed(frames);
///   auto link = DisplayLink::add([&](DisplayLink&) { ++count; });
///   frames->step(3);      // count == 3
///   link->invalidate();   // no more calls
/// ```
///
/// A link is called from the first frame after it was added until it is
/// invalidated (it may invalidate itself, or add other links, from its own
/// callback). The scheduler keeps a link alive while it is valid. Links are
/// used on the main context only.
///
/// A callback may drop
/// the last reference to its link or to a manual scheduler (its call
/// completes; a dropped scheduler runs no more frames). A callback that throws:
/// with timer frames the exception propagates out of the main context's run
/// and the link goes on; in a manual step() the frame still reaches every
/// link, then the exception propagates out of step().
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "quarnkit/platform/service.h"

namespace quarn::platform {

class DisplayLink {
 public:
  /// Called with the link at each frame.
  using Callback = std::function<void(DisplayLink&)>;
  /// Seconds between frames.
  static constexpr double kFrameInterval = 1.0 / 60;

  virtual ~DisplayLink() = default;
  DisplayLink(const DisplayLink&) = delete;
  DisplayLink& operator=(const DisplayLink&) = delete;
  /// Stops the calls for good.
  virtual void invalidate() = 0;
  /// Whether it still calls back.
  [[nodiscard]] virtual bool isValid() const = 0;

  /// A link of the current FrameScheduler.
  static std::shared_ptr<DisplayLink> add(Callback callback);

 protected:
  DisplayLink() = default;
};

/// Makes display links (an interface; TimerFrameScheduler by default, ManualFrameScheduler in
/// tests). A unique object, installed as a service.
class FrameScheduler {
 public:
  FrameScheduler() = default;
  virtual ~FrameScheduler() = default;
  FrameScheduler(const FrameScheduler&) = delete;
  FrameScheduler& operator=(const FrameScheduler&) = delete;
  /// A link calling `callback` once per frame.
  virtual std::shared_ptr<DisplayLink> addDisplayLink(DisplayLink::Callback callback) const = 0;

  /// The scheduler of this process.
  static std::shared_ptr<const FrameScheduler> current();
  /// Replaces the scheduler of this process (null: the default).
  static void setCurrent(std::shared_ptr<const FrameScheduler> scheduler);
};

/// Frames from repeating timers of TimerScheduler::current(): the default.
class TimerFrameScheduler final : public FrameScheduler {
 public:
  /// A link driven by a repeating timer of the current TimerScheduler.
  std::shared_ptr<DisplayLink> addDisplayLink(DisplayLink::Callback callback) const override;
};

/// Frames that happen only when a test calls step().
class ManualFrameScheduler final : public FrameScheduler {
 public:
  ManualFrameScheduler();
  ~ManualFrameScheduler() override;

  /// A link called at each step().
  std::shared_ptr<DisplayLink> addDisplayLink(DisplayLink::Callback callback) const override;
  /// Runs `frames` frames: each calls, in the order they were added, the
  /// links that were valid when the frame began and still are.
  void step(std::size_t frames = 1);
  /// Steps until no link is left or `maxFrames` ran; returns the frames run.
  std::size_t runUntilIdle(std::size_t maxFrames);
  /// Valid links.
  [[nodiscard]] std::size_t linkCount() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace quarn::platform
