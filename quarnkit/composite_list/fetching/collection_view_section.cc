#include "quarnkit/composite_list/fetching/collection_view_section.h"

#include "quarnkit/core/hash.h"

namespace quarn {

platform::AnyHashable CollectionViewSection::snapshotSection() const {
  std::size_t h = 0;
  for (const auto& item : snapshotItems()) hashCombine(h, item.hash());
  return platform::AnyHashable(h);
}

std::optional<platform::CollectionLayoutSection> CollectionViewSection::layoutSection(
    const platform::LayoutEnvironment&) const {
  return std::nullopt;
}

std::shared_ptr<platform::CollectionReusableView> CollectionViewSection::supplementaryView(
    const CollectionViewSectionContext&, const std::string&, const platform::IndexPath&) {
  return nullptr;
}

void CollectionViewSection::configureSupplementaryView(platform::CollectionReusableView&,
                                                       const platform::IndexPath&) {}

void CollectionViewSection::didSelectItem(const platform::IndexPath&,
                                          const CollectionViewSectionContext&) {}

void CollectionViewSection::willDisplayCell(platform::CollectionViewCell&,
                                            const platform::IndexPath&) {}

std::optional<platform::ContextMenuConfiguration> CollectionViewSection::contextMenuConfiguration(
    const platform::IndexPath&, platform::Point, const CollectionViewSectionContext&) {
  return std::nullopt;
}

std::optional<platform::ContextMenuConfiguration> CollectionViewSection::contextMenuConfiguration(
    const std::vector<platform::IndexPath>&, platform::Point, const CollectionViewSectionContext&) {
  return std::nullopt;
}

std::optional<platform::TargetedPreview> CollectionViewSection::previewForHighlightingContextMenu(
    const platform::ContextMenuConfiguration&, const CollectionViewSectionContext&) {
  return std::nullopt;
}

std::optional<platform::TargetedPreview> CollectionViewSection::previewForDismissingContextMenu(
    const platform::ContextMenuConfiguration&, const CollectionViewSectionContext&) {
  return std::nullopt;
}

void CollectionViewSection::willPerformPreviewAction(const CollectionViewSectionContext&,
                                                     const platform::ContextMenuConfiguration&,
                                                     platform::ContextMenuCommitAnimator&) {}

}  // namespace quarn
