/// @file
/// ActivityIndicatorProtocol: what ActivityIndicatorManager needs from a busy indicator.

/// @class quarn::ActivityIndicatorProtocol
/// What ActivityIndicatorManager needs from a busy
/// indicator. ActivityIndicatorViewAdapter makes the headless toolkit's
/// spinning view one:
///
/// ```
///   auto spinner = std::make_shared<platform::ActivityIndicatorView>();
///   auto indicator = std::make_shared<ActivityIndicatorViewAdapter>(spinner);
///   ActivityIndicatorManager manager(indicator, request);
/// ```
///
/// The manager calls these on the main context only. The adapter is a unique
/// object (not copied: copies would share the one view), usually held by
/// shared_ptr as the manager's indicator.
#pragma once

#include <memory>
#include <utility>

#include "quarnkit/platform/ui/activity_indicator_view.h"

namespace quarn {

class ActivityIndicatorProtocol {
 public:
  virtual ~ActivityIndicatorProtocol() = default;
  /// Whether the indicator is spinning.
  [[nodiscard]] virtual bool isAnimating() const = 0;
  /// Shows the indicator spinning.
  virtual void startAnimating() = 0;
  /// Stops and hides the indicator.
  virtual void stopAnimating() = 0;
};

/// A platform::ActivityIndicatorView seen as an ActivityIndicatorProtocol.
class ActivityIndicatorViewAdapter final : public ActivityIndicatorProtocol {
 public:
  /// An adapter over `view`, which it keeps alive.
  explicit ActivityIndicatorViewAdapter(std::shared_ptr<platform::ActivityIndicatorView> view)
      : view_(std::move(view)) {}
  ActivityIndicatorViewAdapter(const ActivityIndicatorViewAdapter&) = delete;
  ActivityIndicatorViewAdapter& operator=(const ActivityIndicatorViewAdapter&) = delete;

  /// The adapted view.
  [[nodiscard]] const std::shared_ptr<platform::ActivityIndicatorView>& view() const {
    return view_;
  }
  [[nodiscard]] bool isAnimating() const override { return view_->isAnimating(); }
  void startAnimating() override { view_->startAnimating(); }
  void stopAnimating() override { view_->stopAnimating(); }

 private:
  std::shared_ptr<platform::ActivityIndicatorView> view_;
};

}  // namespace quarn
