/// @file
/// PageViewController: shows one page at a time (two, side by side, where the host lays out a
/// spread) out of content the host supplies page by page.

/// @class quarn::platform::PageViewController
/// Shows one page at a time (two, side by side, where the
/// host lays out a spread) out of content the host supplies page by page. A
/// view controller: a shared object held by shared_ptr.
///
/// ```
///   auto pages = std::make_shared<PageViewController>();
///   pages->setViewControllers({firstPage}, false);
/// ```
#pragma once

#include <memory>
#include <vector>

#include "quarnkit/platform/ui/view_controller.h"

namespace quarn::platform {

class PageViewController : public ViewController {
 public:
  /// The pages shown now, which are the controller's children.
  [[nodiscard]] const std::vector<std::shared_ptr<ViewController>>& viewControllers() const {
    return children();
  }
  /// Shows `pages` instead of the pages shown before.
  void setViewControllers(const std::vector<std::shared_ptr<ViewController>>& pages, bool animated);

 protected:
  void viewDidLoad() override;

 private:
  void showPages();
};

}  // namespace quarn::platform
