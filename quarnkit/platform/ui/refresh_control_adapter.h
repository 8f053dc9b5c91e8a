/// @file
/// RefreshControlProtocol: the pull-to-refresh control as a paged list uses it, and
/// RefreshControlAdapter, its implementation over the toolkit's RefreshControl.

/// @class quarn::platform::RefreshControlProtocol
/// The pull-to-refresh control as a paged list uses
/// it, and RefreshControlAdapter, its implementation over the toolkit's
/// RefreshControl. The type of control to make is passed as a
/// RefreshControlType (its static addTo):
///
/// ```
///   RefreshControlType type = refreshControlType<RefreshControlAdapter>();
///   auto control = type(scrollView, [] { reload(); });   // null on a desktop
///   control->setEnabled(false, *scrollView);              // detached
/// ```
///
/// On a desktop-class device there is no pull-to-refresh: addTo makes
/// nothing and setEnabled does nothing. The adapter is a shared object, made
/// only by addTo and held by shared_ptr.
#pragma once

#include <functional>
#include <memory>

#include "quarnkit/platform/ui/refresh_control.h"
#include "quarnkit/platform/ui/scroll_view.h"

namespace quarn::platform {

class RefreshControlProtocol {
 public:
  virtual ~RefreshControlProtocol() = default;
  /// Enabled attaches the control to the scroll view; disabled detaches it
  /// when it is the one attached.
  virtual void setEnabled(bool enabled, ScrollView& scrollView) = 0;
  /// Stops the refresh animation.
  virtual void endRefreshing() = 0;
};

/// A control type's addTo: attaches a new control to the scroll view whose
/// pull runs the handler; returns it, or null where there is none.
using RefreshControlType = std::function<std::shared_ptr<RefreshControlProtocol>(
    const std::shared_ptr<ScrollView>& scrollView, std::function<void()> actionHandler)>;

/// The control type of a class T with a static addTo().
template <class T>
RefreshControlType refreshControlType() {
  return [](const std::shared_ptr<ScrollView>& scrollView, std::function<void()> actionHandler) {
    return std::shared_ptr<RefreshControlProtocol>(T::addTo(scrollView, std::move(actionHandler)));
  };
}

/// The headless toolkit's RefreshControl as a RefreshControlProtocol. A unique object (not
/// copyable), held by shared_ptr.
class RefreshControlAdapter final : public RefreshControlProtocol {
 public:
  /// A RefreshControl attached to `scrollView` whose user pull runs
  /// `actionHandler`; null on a desktop-class device.
  static std::shared_ptr<RefreshControlAdapter> addTo(const std::shared_ptr<ScrollView>& scrollView,
                                                      std::function<void()> actionHandler);

  RefreshControlAdapter(const RefreshControlAdapter&) = delete;
  RefreshControlAdapter& operator=(const RefreshControlAdapter&) = delete;

  void setEnabled(bool enabled, ScrollView& scrollView) override;
  void endRefreshing() override { control_->endRefreshing(); }

  /// The adapted control.
  [[nodiscard]] const std::shared_ptr<RefreshControl>& control() const { return control_; }

 private:
  explicit RefreshControlAdapter(std::shared_ptr<RefreshControl> control)
      : control_(std::move(control)) {}
  std::shared_ptr<RefreshControl> control_;
};

}  // namespace quarn::platform
