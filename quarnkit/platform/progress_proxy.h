/// @file
/// ProgressProxy: a second progress object that mirrors a base progress, so that one piece of work
/// can be shown in several progress trees (a progress has one parent only).

/// @class quarn::platform::ProgressProxy
/// A second progress object that mirrors a base progress, so
/// that one piece of work can be shown in several progress trees (a progress
/// has one parent only).
///
/// ```
///   auto proxy = ProgressProxy::make(task->progress());   // already in a tree
///   callerProgress->addChild(proxy, 1);
/// ```
///
/// The proxy's unit counts follow the base's fraction: for a base with fewer
/// than 2 units it counts 1000 units (fraction × 1000, truncated), otherwise it
/// copies the base's counts. Its descriptions, cancellable and pausable flags,
/// kind, file operation kind and file URL follow the base's; its cancelled,
/// paused, indeterminate and finished states and its user info are the base's.
/// Cancelling, pausing or resuming the proxy does so to the base. The base does
/// not keep the proxy alive.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "quarnkit/platform/progress.h"

namespace quarn::platform {

class ProgressProxy final : public Progress {
  struct ProxyToken {
    explicit ProxyToken() = default;
  };

 public:
  /// The only way to build a proxy (Progress::make is hidden here: a proxy
  /// without a base is not a thing).
  static std::shared_ptr<ProgressProxy> make(std::shared_ptr<Progress> progress);

  /// For make() and subclasses: the token is not the host's.
  ProgressProxy(ProxyToken, std::shared_ptr<Progress> progress);
  ~ProgressProxy() override;

  /// The progress this proxy stands for.
  [[nodiscard]] const std::shared_ptr<Progress>& baseProgress() const { return baseProgress_; }

  void cancel() override;
  void pause() override;
  void resume() override;
  [[nodiscard]] bool isCancelled() const override;
  [[nodiscard]] bool isPaused() const override;
  [[nodiscard]] bool isIndeterminate() const override;
  [[nodiscard]] bool isFinished() const override;
  [[nodiscard]] UserInfo userInfo() const override;
  void setUserInfoObject(std::optional<Value> value, const std::string& key) override;
  [[nodiscard]] AnyPublisher<bool, Never> isCancelledPublisher() const override;
  [[nodiscard]] AnyPublisher<bool, Never> isPausedPublisher() const override;

 private:
  struct Cancellables;

  // Starts mirroring; needs the proxy to be shared already.
  void observeBase();
  // Sets the unit counts from the base's fraction and counts.
  void mirrorUnitCounts(double fraction);

  const std::shared_ptr<Progress> baseProgress_;
  const std::unique_ptr<Cancellables> cancellables_;
};

}  // namespace quarn::platform
