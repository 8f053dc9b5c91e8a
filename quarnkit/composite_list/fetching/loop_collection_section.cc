#include "quarnkit/composite_list/fetching/loop_collection_section.h"

#include <algorithm>

namespace quarn {

LoopCollectionSection::LoopCollectionSection(std::shared_ptr<BaseCollectionSection> wrapping,
                                             std::int64_t multiplier_)
    : BaseCollectionSection(wrapping->title, wrapping->subtitle),
      multiplier(multiplier_),
      wrappedSection_(std::move(wrapping)) {
  showSeparator = wrappedSection_->showSeparator;
  allowDisclosureIndicator = wrappedSection_->allowDisclosureIndicator;
  useAlternativeLayoutForSingleItem = wrappedSection_->useAlternativeLayoutForSingleItem;
  footer = wrappedSection_->footer;
  compositeListItemType = wrappedSection_->compositeListItemType;
  headerClickHandler = wrappedSection_->headerClickHandler;
}

std::int64_t LoopCollectionSection::realItemCount() const {
  return static_cast<std::int64_t>(wrappedSection_->snapshotItems().size());
}

std::int64_t LoopCollectionSection::virtualItemCount() const {
  const std::int64_t real = realItemCount();
  return real == 0 ? 0 : real * multiplier;
}

std::int64_t LoopCollectionSection::middleVirtualIndex() const {
  const std::int64_t real = realItemCount();
  return real == 0 ? 0 : real * multiplier / 2 / real * real;
}

std::int64_t LoopCollectionSection::realIndex(std::int64_t virtualIndex) const {
  const std::int64_t real = realItemCount();
  return real == 0 ? 0 : virtualIndex % real;
}

platform::IndexPath LoopCollectionSection::realIndexPath(
    const platform::IndexPath& virtualIndexPath) const {
  return {virtualIndexPath.section, realIndex(virtualIndexPath.item)};
}

platform::IndexPath LoopCollectionSection::virtualIndexPath(std::int64_t realIndex_,
                                                            std::int64_t section) const {
  return {section, middleVirtualIndex() + realIndex_};
}

bool LoopCollectionSection::needsRecentering(std::int64_t virtualIndex) const {
  const std::int64_t real = realItemCount();
  if (real == 0) return false;
  return virtualIndex < 10 * real || virtualIndex > virtualItemCount() - 10 * real;
}

std::int64_t LoopCollectionSection::recenteredVirtualIndex(std::int64_t virtualIndex) const {
  return middleVirtualIndex() + realIndex(virtualIndex);
}

platform::IndexPath LoopCollectionSection::recenteredIndexPath(
    const platform::IndexPath& indexPath) const {
  return {indexPath.section, recenteredVirtualIndex(indexPath.item)};
}

void LoopCollectionSection::refreshVirtualItems() const {
  const std::uint64_t wrappedVersion = wrappedSection_->rowsVersion();
  if (virtualItemsVersion_ != 0 && wrappedVersion == madeFromVersion_ &&
      multiplier == madeWithMultiplier_) {
    return;
  }
  const std::vector<platform::AnyHashable>& real = wrappedSection_->snapshotItems();
  const auto realCount = static_cast<std::int64_t>(real.size());
  const std::int64_t count = realCount == 0 ? 0 : realCount * multiplier;
  // All positions in one allocation: they are made and dropped together.
  platform::AnyHashable::makeEach<LoopCollectionSectionItem>(
      virtualItems_, static_cast<std::size_t>(std::max<std::int64_t>(count, 0)),
      [&](std::size_t i) {
        const auto v = static_cast<std::int64_t>(i);
        return LoopCollectionSectionItem{v, real[static_cast<std::size_t>(v % realCount)]};
      },
      std::hash<LoopCollectionSectionItem>());
  madeFromVersion_ = wrappedVersion;
  madeWithMultiplier_ = multiplier;
  virtualItemsVersion_ = nextRowsVersion();
}

const std::vector<platform::AnyHashable>& LoopCollectionSection::snapshotItems() const {
  refreshVirtualItems();
  return virtualItems_;
}

std::uint64_t LoopCollectionSection::rowsVersion() const {
  refreshVirtualItems();
  return virtualItemsVersion_;
}

platform::AnyHashable LoopCollectionSection::snapshotSection() const {
  std::size_t h = std::hash<std::string>()("loop_section");
  hashOptionalText(h, title);
  hashOptionalText(h, subtitle);
  hashCombine(h, wrappedSection_->snapshotSection().hash());
  hashValue(h, multiplier);
  return platform::AnyHashable(static_cast<std::int64_t>(h));
}

std::optional<platform::AnyHashable> LoopCollectionSection::anyItem(
    const platform::IndexPath& indexPath) const {
  return wrappedSection_->anyItem(realIndexPath(indexPath));
}

void LoopCollectionSection::register_(
    const std::shared_ptr<platform::CollectionView>& collectionView) {
  BaseCollectionSection::register_(collectionView);
  wrappedSection_->register_(collectionView);
}

std::shared_ptr<platform::CollectionViewCell> LoopCollectionSection::cell(
    const CollectionViewSectionContext& context, const platform::IndexPath& indexPath) {
  return wrappedSection_->cell(context, realIndexPath(indexPath));
}

void LoopCollectionSection::didSelectItem(const platform::IndexPath& indexPath,
                                          const CollectionViewSectionContext& context) {
  wrappedSection_->didSelectItem(realIndexPath(indexPath), context);
}

void LoopCollectionSection::willDisplayCell(platform::CollectionViewCell& cell,
                                            const platform::IndexPath& indexPath) {
  wrappedSection_->willDisplayCell(cell, realIndexPath(indexPath));
}

std::optional<platform::ContextMenuConfiguration> LoopCollectionSection::contextMenuConfiguration(
    const platform::IndexPath& indexPath, platform::Point location,
    const CollectionViewSectionContext& context) {
  return wrappedSection_->contextMenuConfiguration(realIndexPath(indexPath), location, context);
}

std::optional<platform::ContextMenuConfiguration> LoopCollectionSection::contextMenuConfiguration(
    const std::vector<platform::IndexPath>& indexPaths, platform::Point location,
    const CollectionViewSectionContext& context) {
  std::vector<platform::IndexPath> real;
  real.reserve(indexPaths.size());
  for (const auto& p : indexPaths) real.push_back(realIndexPath(p));
  return wrappedSection_->contextMenuConfiguration(real, location, context);
}

}  // namespace quarn
