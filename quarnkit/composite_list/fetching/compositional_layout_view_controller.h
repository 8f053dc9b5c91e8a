/// @file
/// CompositionalLayoutViewController: a screen that shows the sections of a SectionProvider in a
/// collection view through a diffable data source.

/// @class quarn::CompositionalLayoutViewController
/// A screen that shows the sections of a
/// SectionProvider in a collection view through a diffable data source. Each
/// section supplies its layout, cells and header, and hears the events that
/// happen at its rows (selection, display, context menus). A shared object:
/// made by make<T>() only, as its layout and data source reach it through
/// weak_from_this().
///
/// ```
///   auto screen = CompositionalLayoutViewController::make();
///   screen->setProvider(provider);
///   screen->loadViewIfNeeded();
///   screen->updateSections(/*animateWhenUpdate=*/false, nullptr);
/// ```
///
/// Applying sections appends each section's identity and its rows to one
/// snapshot; a row whose identity is already in the snapshot (in an earlier
/// section or earlier in the same one) is dropped rather than rejected.
#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "quarnkit/composite_list/fetching/collection_view_section.h"
#include "quarnkit/platform/ui/diffable_data_source.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {

class CompositionalLayoutViewController : public platform::ViewController,
                                          public platform::CollectionViewDelegate {
 public:
  /// The diffable data source of sections and rows, both identified by hashable values.
  using DataSource =
      platform::CollectionViewDiffableDataSource<platform::AnyHashable, platform::AnyHashable>;
  /// A snapshot of the data source.
  using Snapshot = DataSource::Snapshot;
  /// The sections of the screen, in order.
  using Sections = std::vector<std::shared_ptr<CollectionViewSection>>;

  /// What only make() can give: every constructor of a screen, a host's
  /// subclass included, takes one, so none is built outside a shared_ptr.
  class Passkey {
    Passkey() = default;
    friend class CompositionalLayoutViewController;
  };

  /// Makes a screen of class T (this class or a subclass), passing a Passkey
  /// before `args` to its constructor.
  template <class T = CompositionalLayoutViewController, class... Args>
  requires std::derived_from<T, CompositionalLayoutViewController>
  static std::shared_ptr<T> make(Args&&... args) {
    return std::make_shared<T>(Passkey(), std::forward<Args>(args)...);
  }

  /// For make(): the passkey comes only from it.
  explicit CompositionalLayoutViewController(Passkey /*key*/) {}
  ~CompositionalLayoutViewController() override;

  /// The colour of a highlighted cell.
  std::optional<platform::Color> highlightedColor;
  /// The diffable data source; created when the view loads.
  [[nodiscard]] DataSource* collectionViewDataSource() const { return dataSource_.get(); }
  /// The collection view (loads the view).
  const std::shared_ptr<platform::CollectionView>& collectionView();

  /// The provider of the sections, held weakly; null when it is gone.
  [[nodiscard]] std::shared_ptr<SectionProvider> provider() const { return provider_.lock(); }
  /// Sets the provider of the sections, held weakly.
  void setProvider(const std::shared_ptr<SectionProvider>& provider) { provider_ = provider; }

  /// Applies the provider's sections (nothing happens without a provider).
  virtual void updateSections(bool animateWhenUpdate, std::function<void()> completion);
  /// Rebuilds and applies the sections; here the same as updateSections().
  virtual void reloadSections(bool animateWhenUpdate, std::function<void()> completion);
  /// Lets every section register its cell and header kinds.
  virtual void registerSections(const Sections& sections);
  /// The provider's section at the index path's section index, or nothing.
  [[nodiscard]] std::shared_ptr<CollectionViewSection> section(
      const platform::IndexPath& indexPath) const;
  /// Applies one snapshot of the sections and their rows (duplicate rows
  /// dropped), animating differences when asked, then calls `completion`.
  virtual void updateDataSource(const Sections& sections, bool animateWhenUpdate,
                                std::function<void()> completion);

  ///@{
  /// Collection view events, forwarded to the section at the event's position.
  void didSelectItem(platform::CollectionView& view, const platform::IndexPath& indexPath) override;
  void didHighlightItem(platform::CollectionView& view,
                        const platform::IndexPath& indexPath) override;
  void didUnhighlightItem(platform::CollectionView& view,
                          const platform::IndexPath& indexPath) override;
  void willDisplayCell(platform::CollectionView& view, platform::CollectionViewCell& cell,
                       const platform::IndexPath& indexPath) override;
  std::optional<platform::ContextMenuConfiguration> contextMenuConfiguration(
      platform::CollectionView& view, const std::vector<platform::IndexPath>& indexPaths,
      platform::Point location) override;
  std::optional<platform::TargetedPreview> previewForHighlightingContextMenu(
      platform::CollectionView& view,
      const platform::ContextMenuConfiguration& configuration) override;
  std::optional<platform::TargetedPreview> previewForDismissingContextMenu(
      platform::CollectionView& view,
      const platform::ContextMenuConfiguration& configuration) override;
  void willPerformPreviewAction(platform::CollectionView& view,
                                const platform::ContextMenuConfiguration& configuration,
                                platform::ContextMenuCommitAnimator& animator) override;
  ///@}

 protected:
  /// A root view holding the collection view, whose compositional layout asks
  /// each section for its own layout.
  std::shared_ptr<platform::View> loadView() override;
  /// Creates the diffable data source and wires the collection view to the
  /// sections.
  void viewDidLoad() override;
  /// The context handed to the sections: the collection view and this screen.
  [[nodiscard]] CollectionViewSectionContext sectionContext();

 private:
  std::shared_ptr<platform::CollectionView> collectionView_;
  std::unique_ptr<DataSource> dataSource_;
  std::weak_ptr<SectionProvider> provider_;
};

}  // namespace quarn
