/// @file
/// CollectionViewSection: what a list screen asks of each of its display sections: identities for
/// the diffable data source, cell and header kinds, a layout, cells and headers, and the handling
/// of selection, display and context menus.

/// @class quarn::CollectionViewSection
/// What a list screen asks of each of its display
/// sections: identities for the diffable data source, cell and header kinds,
/// a layout, cells and headers, and the handling of selection, display and
/// context menus. SectionProvider: whatever supplies a screen's sections.
///
/// Sections are unique objects (not copyable: a copy of a polymorphic section
/// would be cut to its base), held by shared_ptr by the provider and screens
/// that show them.
///
/// Identities are platform::AnyHashable values: a section's snapshotItems() are
/// its rows, snapshotSection() the section itself. Every operation but
/// snapshotItems(), register_() and cell() has a default that does nothing
/// (or offers nothing).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/platform/ui/any_hashable.h"
#include "quarnkit/platform/ui/collection_view.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {

/// What sections receive with their calls: the collection view showing them
/// and the screen at the root of it.
struct CollectionViewSectionContext {
  /// The collection view showing the section.
  std::shared_ptr<platform::CollectionView> collectionView;
  /// The screen at the root of it.
  std::shared_ptr<platform::ViewController> rootViewController;
};

class CollectionViewSection {
 public:
  CollectionViewSection() = default;
  virtual ~CollectionViewSection() = default;
  CollectionViewSection(const CollectionViewSection&) = delete;
  CollectionViewSection& operator=(const CollectionViewSection&) = delete;

  /// The identities of the section's rows, in order. The reference is valid
  /// until the section changes or is asked again.
  [[nodiscard]] virtual const std::vector<platform::AnyHashable>& snapshotItems() const = 0;
  /// The section's identity; by default a hash of its rows' identities.
  [[nodiscard]] virtual platform::AnyHashable snapshotSection() const;

  /// Registers the section's cell and header kinds with the collection view.
  virtual void register_(const std::shared_ptr<platform::CollectionView>& collectionView) = 0;
  /// The section's layout; nothing leaves it to the collection view.
  [[nodiscard]] virtual std::optional<platform::CollectionLayoutSection> layoutSection(
      const platform::LayoutEnvironment& environment) const;

  /// The configured cell of a row.
  virtual std::shared_ptr<platform::CollectionViewCell> cell(
      const CollectionViewSectionContext& context, const platform::IndexPath& indexPath) = 0;
  /// A supplementary view (a header) of `kind`, configured; nothing when the
  /// section has none of that kind.
  virtual std::shared_ptr<platform::CollectionReusableView> supplementaryView(
      const CollectionViewSectionContext& context, const std::string& kind,
      const platform::IndexPath& indexPath);
  /// Sets up a supplementary view the collection view reuses; does nothing by default.
  virtual void configureSupplementaryView(platform::CollectionReusableView& view,
                                          const platform::IndexPath& indexPath);

  /// The user selected a row; does nothing by default.
  virtual void didSelectItem(const platform::IndexPath& indexPath,
                             const CollectionViewSectionContext& context);
  /// A row's cell is about to show; does nothing by default.
  virtual void willDisplayCell(platform::CollectionViewCell& cell,
                               const platform::IndexPath& indexPath);

  /// The context menu of one row.
  virtual std::optional<platform::ContextMenuConfiguration> contextMenuConfiguration(
      const platform::IndexPath& indexPath, platform::Point location,
      const CollectionViewSectionContext& context);
  /// The context menu of several rows.
  virtual std::optional<platform::ContextMenuConfiguration> contextMenuConfiguration(
      const std::vector<platform::IndexPath>& indexPaths, platform::Point location,
      const CollectionViewSectionContext& context);
  /// The view a row's context menu lifts; nothing by default (the cell).
  virtual std::optional<platform::TargetedPreview> previewForHighlightingContextMenu(
      const platform::ContextMenuConfiguration& configuration,
      const CollectionViewSectionContext& context);
  /// The view a dismissed context menu returns to; nothing by default (the cell).
  virtual std::optional<platform::TargetedPreview> previewForDismissingContextMenu(
      const platform::ContextMenuConfiguration& configuration,
      const CollectionViewSectionContext& context);
  /// The user committed a menu's preview (tapped it).
  virtual void willPerformPreviewAction(const CollectionViewSectionContext& context,
                                        const platform::ContextMenuConfiguration& configuration,
                                        platform::ContextMenuCommitAnimator& animator);
};

/// Supplies a screen's sections.
class SectionProvider {
 public:
  virtual ~SectionProvider() = default;
  /// The sections, in screen order.
  [[nodiscard]] virtual const std::vector<std::shared_ptr<CollectionViewSection>>& sections()
      const = 0;
};

}  // namespace quarn
