#include "quarnkit/platform/ui/refresh_control_adapter.h"

#include "quarnkit/platform/device.h"

namespace quarn::platform {

namespace {
bool isDesktop() { return Device::current()->userInterfaceIdiom() == UserInterfaceIdiom::desktop; }
}  // namespace

std::shared_ptr<RefreshControlAdapter> RefreshControlAdapter::addTo(
    const std::shared_ptr<ScrollView>& scrollView, std::function<void()> actionHandler) {
  if (isDesktop() || !scrollView) return nullptr;
  auto control = std::make_shared<RefreshControl>();
  control->addValueChangedAction(
      [handler = std::move(actionHandler)](RefreshControl&) { handler(); });
  scrollView->setRefreshControl(control);
  return std::shared_ptr<RefreshControlAdapter>(new RefreshControlAdapter(std::move(control)));
}

void RefreshControlAdapter::setEnabled(bool enabled, ScrollView& scrollView) {
  if (isDesktop()) return;
  if (enabled) {
    scrollView.setRefreshControl(control_);
  } else if (scrollView.refreshControl() == control_) {
    scrollView.setRefreshControl(nullptr);
  }
}

}  // namespace quarn::platform
