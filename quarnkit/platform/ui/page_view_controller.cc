#include "quarnkit/platform/ui/page_view_controller.h"

namespace quarn::platform {

void PageViewController::setViewControllers(
    const std::vector<std::shared_ptr<ViewController>>& pages, bool) {
  replaceChildren(pages);
  showPages();
}

void PageViewController::viewDidLoad() { showPages(); }

void PageViewController::showPages() {
  if (!isViewLoaded()) return;
  for (const auto& page : children()) view()->addSubview(page->view());
}

}  // namespace quarn::platform
