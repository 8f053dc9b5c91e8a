#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"

#include "quarnkit/platform/device.h"

namespace quarn {

namespace {
std::weak_ptr<BaseCompositeListViewController> weakScreen(BaseCompositeListViewController& screen) {
  return std::static_pointer_cast<BaseCompositeListViewController>(screen.shared_from_this());
}
}  // namespace

BaseCompositeListViewController::BaseCompositeListViewController(
    Passkey key, std::shared_ptr<CompositeListSectionsProvider> sectionsProvider)
    : CompositionalLayoutViewController(key), sectionsProvider_(std::move(sectionsProvider)) {
  setProvider(sectionsProvider_);
}

const std::shared_ptr<platform::EmptyStateManager>&
BaseCompositeListViewController::emptyDataSetManager() {
  if (!emptyDataSetManager_) {
    emptyDataSetManager_ = std::make_shared<platform::EmptyStateManager>(collectionView());
  }
  return emptyDataSetManager_;
}

void BaseCompositeListViewController::setTemplateFileObserver(
    std::shared_ptr<CompositeListTemplateFileObserver> observer) {
  templateFileObserver_ = std::move(observer);
  if (!templateFileObserver_) return;
  templateFileObserver_->setOnFileChanged([weak = weakScreen(*this)] {
    if (auto self = weak.lock()) self->reloadData(nullptr);
  });
}

void BaseCompositeListViewController::didSectionHeaderClick(const CompositeListItemType&) {}

void BaseCompositeListViewController::refreshControlTriggered(platform::RefreshControl& control) {
  std::weak_ptr<platform::View> weakControl = control.shared_from_this();
  const auto endRefreshing = [weakControl] {
    if (auto c = std::static_pointer_cast<platform::RefreshControl>(weakControl.lock())) {
      c->endRefreshing();
    }
  };
  try {
    reloadData(endRefreshing);
  } catch (...) {
    // No reload will end it: a control left refreshing would spin forever.
    endRefreshing();
    throw;
  }
}

void BaseCompositeListViewController::reloadSections(bool animateWhenUpdate,
                                                     std::function<void()> completion) {
  sectionsProvider_->setViewController(weakScreen(*this).lock());
  sectionsProvider_->update(items);
  const bool inWindow = view()->window() != nullptr;
  updateSections(animateWhenUpdate && inWindow, std::move(completion));
}

void BaseCompositeListViewController::viewDidLoad() {
  CompositionalLayoutViewController::viewDidLoad();
  const auto& list = collectionView();
  if (platform::Device::current()->userInterfaceIdiom() != platform::UserInterfaceIdiom::desktop) {
    auto control = std::make_shared<platform::RefreshControl>();
    control->addValueChangedAction([weak = weakScreen(*this)](platform::RefreshControl& c) {
      if (auto self = weak.lock()) self->refreshControlTriggered(c);
    });
    list->setRefreshControl(std::move(control));
  }
  list->preservesSuperviewLayoutMargins = true;
  list->alwaysBounceVertical = true;
  list->contentInset = {20, 0, 20, 0};
  list->selfSizingInvalidation =
      platform::CollectionView::SelfSizingInvalidation::enabledIncludingConstraints;
  emptyDataSetManager()->retryAction = [weak = weakScreen(*this)] {
    if (auto self = weak.lock()) self->reloadData(nullptr);
  };
  reloadSections(false, nullptr);
}

}  // namespace quarn
