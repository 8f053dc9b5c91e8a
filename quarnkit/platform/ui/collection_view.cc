#include "quarnkit/platform/ui/collection_view.h"

#include "quarnkit/core/error.h"

namespace quarn::platform {

namespace {
std::string poolKey(const std::string& kind, const std::string& reuseIdentifier) {
  return kind + '\n' + reuseIdentifier;
}
}  // namespace

void CollectionView::setDataSource(CollectionViewDataSource* dataSource) {
  dataSource_ = dataSource;
  recycleRealized();
}

std::optional<CollectionLayoutSection> CollectionView::layoutSection(std::int64_t section) const {
  if (!layout_.sectionProvider) return std::nullopt;
  return layout_.sectionProvider(section, LayoutEnvironment{frame.size});
}

void CollectionView::registerCell(const std::string& reuseIdentifier, CellFactory factory) {
  cellFactories_[reuseIdentifier] = std::move(factory);
}

void CollectionView::registerSupplementaryView(const std::string& kind,
                                               const std::string& reuseIdentifier,
                                               SupplementaryFactory factory) {
  const std::pair<std::string_view, std::string_view> key(kind, reuseIdentifier);
  if (auto it = supplementaryFactories_.find(key); it != supplementaryFactories_.end()) {
    it->second = std::move(factory);
    return;
  }
  supplementaryFactories_.emplace(std::make_pair(kind, reuseIdentifier), std::move(factory));
}

bool CollectionView::isCellRegistered(const std::string& reuseIdentifier) const {
  return cellFactories_.contains(reuseIdentifier);
}

bool CollectionView::isSupplementaryViewRegistered(const std::string& kind,
                                                   const std::string& reuseIdentifier) const {
  return supplementaryFactories_.contains(
      std::pair<std::string_view, std::string_view>(kind, reuseIdentifier));
}

std::shared_ptr<CollectionViewCell> CollectionView::dequeueReusableCell(
    const std::string& reuseIdentifier, const IndexPath&) {
  auto& pool = reusable_[poolKey("", reuseIdentifier)];
  if (!pool.empty()) {
    auto cell = std::static_pointer_cast<CollectionViewCell>(pool.back());
    pool.pop_back();
    cell->prepareForReuse();
    return cell;
  }
  auto factory = cellFactories_.find(reuseIdentifier);
  if (factory == cellFactories_.end()) {
    fatalError("could not dequeue a cell with identifier " + reuseIdentifier +
               " - a class must be registered for the identifier");
  }
  auto cell = factory->second();
  cell->reuseIdentifier_ = reuseIdentifier;
  return cell;
}

std::shared_ptr<CollectionReusableView> CollectionView::dequeueReusableSupplementaryView(
    const std::string& kind, const std::string& reuseIdentifier, const IndexPath&) {
  auto& pool = reusable_[poolKey(kind, reuseIdentifier)];
  if (!pool.empty()) {
    auto view = pool.back();
    pool.pop_back();
    view->prepareForReuse();
    return view;
  }
  auto factory = supplementaryFactories_.find(
      std::pair<std::string_view, std::string_view>(kind, reuseIdentifier));
  if (factory == supplementaryFactories_.end()) {
    fatalError("could not dequeue a view of kind " + kind + " with identifier " + reuseIdentifier +
               " - a class must be registered for the identifier");
  }
  auto view = factory->second();
  view->reuseIdentifier_ = reuseIdentifier;
  return view;
}

std::int64_t CollectionView::numberOfSections() const {
  return dataSource_ ? dataSource_->numberOfSections(*this) : 0;
}

std::int64_t CollectionView::numberOfItems(std::int64_t section) const {
  if (!dataSource_ || section < 0 || section >= numberOfSections()) return 0;
  return dataSource_->numberOfItems(*this, section);
}

std::int64_t CollectionView::totalNumberOfItems() const {
  std::int64_t total = 0;
  const std::int64_t sections = numberOfSections();
  for (std::int64_t s = 0; s < sections; ++s) total += numberOfItems(s);
  return total;
}

std::shared_ptr<CollectionViewCell> CollectionView::cellForItem(const IndexPath& indexPath) {
  if (auto it = cells_.find(indexPath); it != cells_.end()) return it->second;
  if (!dataSource_ || indexPath.item < 0 || indexPath.item >= numberOfItems(indexPath.section)) {
    return nullptr;
  }
  const auto self = weak_from_this().lock();  // the data source may drop the view
  const auto content = contentVersion_;
  auto cell = dataSource_->cellForItem(*this, indexPath);
  if (!cell) fatalError("the collection view's data source returned no cell");
  // Content that changed meanwhile may hold another item at this position.
  if (contentVersion_ != content) return cell;
  cells_[indexPath] = cell;
  if (delegate_) delegate_->willDisplayCell(*this, *cell, indexPath);
  return cell;
}

std::shared_ptr<CollectionReusableView> CollectionView::supplementaryView(
    const std::string& kind, const IndexPath& indexPath) {
  const auto key = std::make_pair(kind, indexPath);
  if (auto it = supplementaries_.find(key); it != supplementaries_.end()) return it->second;
  if (!dataSource_ || indexPath.section < 0 || indexPath.section >= numberOfSections()) {
    return nullptr;
  }
  const auto self = weak_from_this().lock();
  const auto content = contentVersion_;
  auto view = dataSource_->supplementaryView(*this, kind, indexPath);
  if (view && contentVersion_ == content) supplementaries_[key] = view;
  return view;
}

void CollectionView::recycleRealized() {
  ++contentVersion_;
  for (auto& [path, cell] : cells_) {
    cell->isSelected = cell->isHighlighted = false;
    reusable_[poolKey("", cell->reuseIdentifier())].push_back(cell);
  }
  for (auto& [key, view] : supplementaries_) {
    reusable_[poolKey(key.first, view->reuseIdentifier())].push_back(view);
  }
  cells_.clear();
  supplementaries_.clear();
}

void CollectionView::reloadData() {
  recycleRealized();
  contentChanged();
}

void CollectionView::didApplyUpdate(const CollectionViewUpdate& update) {
  updates_.push_back(update);
  recycleRealized();
  contentChanged();
}

std::size_t CollectionView::addContentObserver(ContentObserver observer) {
  const std::size_t token = nextObserver_++;
  observers_.emplace(token, std::move(observer));
  return token;
}

void CollectionView::removeContentObserver(std::size_t token) { observers_.erase(token); }

void CollectionView::contentChanged() {
  const auto self = weak_from_this().lock();  // an observer may drop the view
  // Copied: an observer may remove itself.
  const auto observers = observers_;
  for (const auto& [token, observer] : observers) observer(*this);
}

void CollectionView::selectItem(const IndexPath& indexPath) {
  const auto self = weak_from_this().lock();
  auto cell = cellForItem(indexPath);
  if (!cell) return;
  cell->isSelected = true;
  if (delegate_) delegate_->didSelectItem(*this, indexPath);
}

void CollectionView::highlightItem(const IndexPath& indexPath) {
  const auto self = weak_from_this().lock();
  auto cell = cellForItem(indexPath);
  if (!cell) return;
  cell->isHighlighted = true;
  if (delegate_) delegate_->didHighlightItem(*this, indexPath);
}

void CollectionView::unhighlightItem(const IndexPath& indexPath) {
  const auto self = weak_from_this().lock();
  auto cell = cellForItem(indexPath);
  if (!cell) return;
  cell->isHighlighted = false;
  if (delegate_) delegate_->didUnhighlightItem(*this, indexPath);
}

std::optional<ContextMenuConfiguration> CollectionView::showContextMenu(
    const std::vector<IndexPath>& indexPaths, Point location) {
  if (!delegate_ || indexPaths.empty()) return std::nullopt;
  auto configuration = delegate_->contextMenuConfiguration(*this, indexPaths, location);
  if (!configuration) return std::nullopt;
  configuration->indexPaths = indexPaths;
  (void)delegate_->previewForHighlightingContextMenu(*this, *configuration);
  return configuration;
}

void CollectionView::commitContextMenuPreview(const ContextMenuConfiguration& configuration) {
  if (!delegate_) return;
  ContextMenuCommitAnimator animator;
  delegate_->willPerformPreviewAction(*this, configuration, animator);
  animator.finish();
}

std::optional<TargetedPreview> CollectionView::dismissContextMenu(
    const ContextMenuConfiguration& configuration) {
  if (!delegate_) return std::nullopt;
  return delegate_->previewForDismissingContextMenu(*this, configuration);
}

}  // namespace quarn::platform
