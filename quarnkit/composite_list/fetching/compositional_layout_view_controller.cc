#include "quarnkit/composite_list/fetching/compositional_layout_view_controller.h"

#include <boost/unordered/unordered_flat_set.hpp>

namespace quarn {

using platform::AnyHashable;
using platform::IndexPath;

CompositionalLayoutViewController::~CompositionalLayoutViewController() {
  if (collectionView_) collectionView_->setDelegate(nullptr);
}

const std::shared_ptr<platform::CollectionView>&
CompositionalLayoutViewController::collectionView() {
  loadViewIfNeeded();
  return collectionView_;
}

std::shared_ptr<platform::View> CompositionalLayoutViewController::loadView() {
  auto root = std::make_shared<platform::View>();
  // Each section lays itself out; the layout asks the section at its index.
  platform::CollectionViewCompositionalLayout layout;
  layout.sectionProvider = [weak = weak_from_this()](std::int64_t index,
                                                     const platform::LayoutEnvironment& env)
      -> std::optional<platform::CollectionLayoutSection> {
    auto self = std::static_pointer_cast<CompositionalLayoutViewController>(weak.lock());
    if (!self) return std::nullopt;
    auto section = self->section(IndexPath{index, 0});
    return section ? section->layoutSection(env) : std::nullopt;
  };
  collectionView_ = std::make_shared<platform::CollectionView>(std::move(layout));
  root->addSubview(collectionView_);
  return root;
}

void CompositionalLayoutViewController::viewDidLoad() {
  collectionView_->setDelegate(this);
  const std::weak_ptr<ViewController> weak = weak_from_this();
  dataSource_ = std::make_unique<DataSource>(
      collectionView_,
      [weak](platform::CollectionView&, const IndexPath& indexPath,
             const AnyHashable&) -> std::shared_ptr<platform::CollectionViewCell> {
        auto self = std::static_pointer_cast<CompositionalLayoutViewController>(weak.lock());
        auto section = self ? self->section(indexPath) : nullptr;
        return section ? section->cell(self->sectionContext(), indexPath) : nullptr;
      });
  dataSource_->supplementaryViewProvider =
      [weak](platform::CollectionView&, const std::string& kind,
             const IndexPath& indexPath) -> std::shared_ptr<platform::CollectionReusableView> {
    auto self = std::static_pointer_cast<CompositionalLayoutViewController>(weak.lock());
    auto section = self ? self->section(indexPath) : nullptr;
    return section ? section->supplementaryView(self->sectionContext(), kind, indexPath) : nullptr;
  };
}

CollectionViewSectionContext CompositionalLayoutViewController::sectionContext() {
  return {collectionView(), shared_from_this()};
}

void CompositionalLayoutViewController::updateSections(bool animateWhenUpdate,
                                                       std::function<void()> completion) {
  auto source = provider();
  if (!source) return;
  const Sections sections = source->sections();
  registerSections(sections);
  updateDataSource(sections, animateWhenUpdate, std::move(completion));
}

void CompositionalLayoutViewController::reloadSections(bool animateWhenUpdate,
                                                       std::function<void()> completion) {
  updateSections(animateWhenUpdate, std::move(completion));
}

void CompositionalLayoutViewController::registerSections(const Sections& sections) {
  for (const auto& section : sections) section->register_(collectionView());
}

std::shared_ptr<CollectionViewSection> CompositionalLayoutViewController::section(
    const IndexPath& indexPath) const {
  auto source = provider();
  if (!source || indexPath.section < 0) return nullptr;
  const auto& sections = source->sections();
  const auto index = static_cast<std::size_t>(indexPath.section);
  return index < sections.size() ? sections[index] : nullptr;
}

// The completion is taken by value, as overrides take it.
void CompositionalLayoutViewController::updateDataSource(
    const Sections& sections, bool animateWhenUpdate,
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    std::function<void()> completion) {
  loadViewIfNeeded();
  Snapshot snapshot;
  std::vector<AnyHashable> identities;
  identities.reserve(sections.size());
  // Each section is asked for its rows once (some make them when asked).
  std::vector<const std::vector<AnyHashable>*> rowsOf;
  rowsOf.reserve(sections.size());
  std::size_t rows = 0;
  for (const auto& section : sections) {
    identities.push_back(section->snapshotSection());
    rowsOf.push_back(&section->snapshotItems());
    rows += rowsOf.back()->size();
  }
  snapshot.reserve(sections.size(), rows);
  snapshot.appendSections(identities);
  boost::unordered_flat_set<std::size_t> seen;
  seen.reserve(rows);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    std::vector<AnyHashable> kept;
    kept.reserve(rowsOf[i]->size());
    for (const auto& item : *rowsOf[i]) {
      // Rows are told apart by hash: a second row of the same hash is dropped.
      if (seen.insert(item.hash()).second) kept.push_back(item);
    }
    // The list becomes the section's in the snapshot.
    snapshot.appendItems(std::move(kept), identities[i]);
  }
  dataSource_->apply(std::move(snapshot), animateWhenUpdate, completion);
}

void CompositionalLayoutViewController::didSelectItem(platform::CollectionView&,
                                                      const IndexPath& indexPath) {
  if (auto s = section(indexPath)) s->didSelectItem(indexPath, sectionContext());
}

void CompositionalLayoutViewController::didHighlightItem(platform::CollectionView& view,
                                                         const IndexPath& indexPath) {
  if (!highlightedColor) return;
  if (auto cell = view.cellForItem(indexPath)) cell->backgroundColor = highlightedColor;
}

void CompositionalLayoutViewController::didUnhighlightItem(platform::CollectionView& view,
                                                           const IndexPath& indexPath) {
  if (!highlightedColor) return;
  if (auto cell = view.cellForItem(indexPath)) cell->backgroundColor.reset();
}

void CompositionalLayoutViewController::willDisplayCell(platform::CollectionView&,
                                                        platform::CollectionViewCell& cell,
                                                        const IndexPath& indexPath) {
  if (auto s = section(indexPath)) s->willDisplayCell(cell, indexPath);
}

std::optional<platform::ContextMenuConfiguration>
CompositionalLayoutViewController::contextMenuConfiguration(
    platform::CollectionView&, const std::vector<IndexPath>& indexPaths, platform::Point location) {
  if (indexPaths.empty()) return std::nullopt;
  auto s = section(indexPaths.front());
  if (!s) return std::nullopt;
  if (indexPaths.size() == 1) {
    return s->contextMenuConfiguration(indexPaths.front(), location, sectionContext());
  }
  return s->contextMenuConfiguration(indexPaths, location, sectionContext());
}

std::optional<platform::TargetedPreview>
CompositionalLayoutViewController::previewForHighlightingContextMenu(
    platform::CollectionView&, const platform::ContextMenuConfiguration& configuration) {
  if (configuration.indexPaths.empty()) return std::nullopt;
  auto s = section(configuration.indexPaths.front());
  return s ? s->previewForHighlightingContextMenu(configuration, sectionContext()) : std::nullopt;
}

std::optional<platform::TargetedPreview>
CompositionalLayoutViewController::previewForDismissingContextMenu(
    platform::CollectionView&, const platform::ContextMenuConfiguration& configuration) {
  if (configuration.indexPaths.empty()) return std::nullopt;
  auto s = section(configuration.indexPaths.front());
  return s ? s->previewForDismissingContextMenu(configuration, sectionContext()) : std::nullopt;
}

void CompositionalLayoutViewController::willPerformPreviewAction(
    platform::CollectionView&, const platform::ContextMenuConfiguration& configuration,
    platform::ContextMenuCommitAnimator& animator) {
  if (configuration.indexPaths.empty()) return;
  if (auto s = section(configuration.indexPaths.front())) {
    s->willPerformPreviewAction(sectionContext(), configuration, animator);
  }
}

}  // namespace quarn
