/// @file
/// TabBarController: screens side by side, one of them selected and shown.

/// @class quarn::platform::TabBarController
/// Screens side by side, one of them selected and shown. A
/// view controller: a shared object held by shared_ptr.
///
/// ```
///   auto tabs = std::make_shared<TabBarController>();
///   tabs->setViewControllers({home, search}, false);   // home is selected
///   tabs->setSelectedIndex(1);                         // search is shown
/// ```
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "quarnkit/platform/ui/view_controller.h"

namespace quarn::platform {

class TabBarController : public ViewController {
 public:
  /// The tabs' screens, which are the controller's children.
  [[nodiscard]] const std::vector<std::shared_ptr<ViewController>>& viewControllers() const {
    return children();
  }
  /// Replaces the tabs; the first is selected (none without tabs).
  void setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers,
                          bool animated);

  /// The selected tab's index, or nothing without tabs.
  [[nodiscard]] std::optional<std::size_t> selectedIndex() const { return selectedIndex_; }
  /// Selects the tab at `index`; an index past the tabs changes nothing.
  void setSelectedIndex(std::size_t index);
  /// The selected tab's screen, or null.
  [[nodiscard]] std::shared_ptr<ViewController> selectedViewController() const;
  /// Selects the tab of `controller`; a screen that is not a tab changes nothing.
  void setSelectedViewController(const std::shared_ptr<ViewController>& controller);

 protected:
  void viewDidLoad() override;

 private:
  void showSelected();
  std::optional<std::size_t> selectedIndex_;
};

}  // namespace quarn::platform
