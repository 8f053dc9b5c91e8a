/// @file
/// LoopCollectionSection: a section (a unique object held by shared_ptr, like the section it wraps)
/// that repeats another section's rows `multiplier` times, so a carousel can scroll on endlessly.

/// @class quarn::LoopCollectionSection
/// A section (a unique object held by shared_ptr, like
/// the section it wraps) that repeats another section's rows `multiplier` times, so a carousel can
/// scroll on endlessly. Virtual positions run over the repeated rows; each maps to the real row at
/// the same place in the wrapped section. A carousel starts at the middle repetition and, when it
/// scrolls near either end (within ten repetitions), jumps back to the middle at the same real row.
///
/// ```
///   LoopCollectionSection loop(carousel, 100);   // carousel has 3 rows
///   loop.virtualItemCount();                     // 300
///   loop.middleVirtualIndex();                   // 150
///   loop.realIndex(151);                         // 1
///   loop.needsRecentering(29);                   // true
/// ```
///
/// Cells, selection, display, rows and context menus are the wrapped
/// section's, asked at the real position.
#pragma once

#include <cstdint>
#include <memory>

#include "quarnkit/composite_list/fetching/base_collection_section.h"

namespace quarn {

/// A row of a looping section: its virtual position and the real row's
/// identity.
struct LoopCollectionSectionItem {
  /// The row's position in the looping list.
  std::int64_t virtualIndex = 0;
  /// The identity of the real row shown there.
  platform::AnyHashable realItem;
  /// Equal when position and real row are.
  friend bool operator==(const LoopCollectionSectionItem&,
                         const LoopCollectionSectionItem&) = default;
};

}  // namespace quarn

/// Hashes a looping row by its position and real row.
template <>
struct std::hash<quarn::LoopCollectionSectionItem> {
  /// The hash of the position and the real row.
  std::size_t operator()(const quarn::LoopCollectionSectionItem& i) const noexcept {
    std::size_t h = std::hash<std::int64_t>()(i.virtualIndex);
    quarn::hashCombine(h, i.realItem.hash());
    return h;
  }
};

namespace quarn {

class LoopCollectionSection : public BaseCollectionSection {
 public:
  /// Takes the wrapped section's title and subtitle, and copies its separator,
  /// disclosure and single-item flags, footer, item type and header handler.
  LoopCollectionSection(std::shared_ptr<BaseCollectionSection> wrapping, std::int64_t multiplier);

  /// The section whose rows are repeated.
  [[nodiscard]] const std::shared_ptr<BaseCollectionSection>& wrappedSection() const {
    return wrappedSection_;
  }
  /// How many times the rows are repeated.
  std::int64_t multiplier;

  /// The wrapped section's row count.
  [[nodiscard]] std::int64_t realItemCount() const;
  /// realItemCount() × multiplier (0 without real rows).
  [[nodiscard]] std::int64_t virtualItemCount() const;
  /// The largest multiple of the real count not above half the virtual count.
  [[nodiscard]] std::int64_t middleVirtualIndex() const;
  /// The virtual index modulo the real count (the remainder has the sign of
  /// the virtual index); 0 without real rows.
  [[nodiscard]] std::int64_t realIndex(std::int64_t virtualIndex) const;
  /// The real position of a virtual one.
  [[nodiscard]] platform::IndexPath realIndexPath(
      const platform::IndexPath& virtualIndexPath) const;
  /// The virtual position of real row `realIndex` in the middle repetition.
  [[nodiscard]] platform::IndexPath virtualIndexPath(std::int64_t realIndex,
                                                     std::int64_t section) const;
  /// Whether a virtual index lies within ten repetitions of either end.
  [[nodiscard]] bool needsRecentering(std::int64_t virtualIndex) const;
  /// The virtual index of the same real row in the middle repetition.
  [[nodiscard]] std::int64_t recenteredVirtualIndex(std::int64_t virtualIndex) const;
  /// The index path of the same real row in the middle repetition.
  [[nodiscard]] platform::IndexPath recenteredIndexPath(const platform::IndexPath& indexPath) const;

  /// One LoopCollectionSectionItem per virtual position; made once for each
  /// rows version of the wrapped section and multiplier, not on every call.
  [[nodiscard]] const std::vector<platform::AnyHashable>& snapshotItems() const override;
  [[nodiscard]] std::uint64_t rowsVersion() const override;
  /// A hash of "loop_section", the title, the subtitle, the wrapped section's
  /// identity and the multiplier.
  [[nodiscard]] platform::AnyHashable snapshotSection() const override;

  [[nodiscard]] std::optional<platform::AnyHashable> anyItem(
      const platform::IndexPath& indexPath) const override;
  void register_(const std::shared_ptr<platform::CollectionView>& collectionView) override;
  std::shared_ptr<platform::CollectionViewCell> cell(const CollectionViewSectionContext& context,
                                                     const platform::IndexPath& indexPath) override;
  /// Selects the real row in the wrapped section.
  void didSelectItem(const platform::IndexPath& indexPath,
                     const CollectionViewSectionContext& context) override;
  /// Lets the wrapped section see the real row's cell.
  void willDisplayCell(platform::CollectionViewCell& cell,
                       const platform::IndexPath& indexPath) override;
  std::optional<platform::ContextMenuConfiguration> contextMenuConfiguration(
      const platform::IndexPath& indexPath, platform::Point location,
      const CollectionViewSectionContext& context) override;
  std::optional<platform::ContextMenuConfiguration> contextMenuConfiguration(
      const std::vector<platform::IndexPath>& indexPaths, platform::Point location,
      const CollectionViewSectionContext& context) override;

 private:
  // Makes the virtual rows again when the wrapped rows or the multiplier
  // changed since they were made.
  void refreshVirtualItems() const;

  std::shared_ptr<BaseCollectionSection> wrappedSection_;
  mutable std::vector<platform::AnyHashable> virtualItems_;
  // What the virtual rows were made from, and their own version (0: not yet made).
  mutable std::uint64_t madeFromVersion_ = 0;
  mutable std::int64_t madeWithMultiplier_ = 0;
  mutable std::uint64_t virtualItemsVersion_ = 0;
};

}  // namespace quarn
