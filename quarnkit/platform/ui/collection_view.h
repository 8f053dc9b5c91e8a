/// @file
/// CollectionView: a scrolling list of sections of items, filled by a data source and reporting
/// user events to a delegate.

/// @class quarn::platform::CollectionView
/// A scrolling list of sections of items, filled by a data
/// source and reporting user events to a delegate.
///
/// Cells and supplementary views (section headers) are registered by reuse
/// identifier and dequeued by the data source; dequeuing an identifier nobody
/// registered is a programming error. The headless collection view has no
/// viewport: a cell is realised when cellForItem() asks for it, which is also
/// when the delegate hears willDisplayCell. Applied updates (see
/// diffable_data_source.h) are recorded in updates() and drop realised cells.
///
/// It is a ScrolledList (quarnkit/platform/scrolled_list.h): a scrolled
/// paginated data source reloads it after each page.
///
/// User events are simulated by selectItem(), highlightItem(),
/// unhighlightItem() and the context-menu calls; each goes to the delegate as
/// the user's gesture would.
///
/// The collection view and its cells are views: shared objects held by
/// shared_ptr. Calls into the data source, the delegate and content observers
/// keep the view alive until they return, so any of them may drop it. A data
/// source that changes the content while it makes a cell (applies a snapshot,
/// reloads) still hands the cell out, but the view neither keeps it nor tells
/// the delegate it displays: the position may hold another item now. An
/// exception from the data source leaves the call with nothing realised (the
/// next request asks again); one from the delegate leaves it after the cell
/// was kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/platform/scrolled_list.h"
#include "quarnkit/platform/ui/any_hashable.h"
#include "quarnkit/platform/ui/collection_layout.h"
#include "quarnkit/platform/ui/menu.h"
#include "quarnkit/platform/ui/scroll_view.h"

namespace quarn::platform {

/// The position of an item: its section and its place in the section.
struct IndexPath {
  /// The section's index.
  std::int64_t section = 0;
  /// The item's index in the section.
  std::int64_t item = 0;
  /// Ordered by section, then item.
  friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
};

/// A view the collection view reuses: cells and supplementary views.
class CollectionReusableView : public View {
 public:
  /// The identifier it was dequeued with.
  [[nodiscard]] const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  /// Called before a reused view is handed out again.
  virtual void prepareForReuse() {}

 private:
  friend class CollectionView;
  std::string reuseIdentifier_;
};

/// A cell of the collection view; shows one item.
class CollectionViewCell : public CollectionReusableView {
 public:
  /// Whether the item is selected.
  bool isSelected = false;
  /// Whether the item is touched.
  bool isHighlighted = false;
};

/// The element kind of section headers.
inline constexpr const char* kElementKindSectionHeader = "UICollectionElementKindSectionHeader";

/// A context menu for one or several items, offering the toolkit's menu
/// actions. The collection view fills in `indexPaths` with the items it was
/// asked for.
struct ContextMenuConfiguration {
  /// The menu's identifier, chosen by the delegate.
  std::optional<AnyHashable> identifier;
  /// The items the menu is for.
  std::vector<IndexPath> indexPaths;
  /// The menu's actions.
  std::vector<MenuAction> actions;
};

/// The view a context menu lifts or returns to.
struct TargetedPreview {
  /// The view.
  std::shared_ptr<View> view;
};

/// The commit of a context-menu preview (the user tapped the preview).
/// Completions added before the commit ends run in order when it ends; one
/// that a completion adds runs after those already added. An exception a
/// completion throws leaves finish() and the completions after it queued.
/// A unique object, lent to the delegate for the commit.
class ContextMenuCommitAnimator {
 public:
  /// How the preview goes away.
  enum class CommitStyle { dismiss, pop };
  ContextMenuCommitAnimator() = default;
  ContextMenuCommitAnimator(const ContextMenuCommitAnimator&) = delete;
  ContextMenuCommitAnimator& operator=(const ContextMenuCommitAnimator&) = delete;
  /// How the preview goes away.
  CommitStyle preferredCommitStyle = CommitStyle::pop;
  /// Adds a completion, run when the commit ends.
  void addCompletion(std::function<void()> completion) {
    completions_.push_back(std::move(completion));
  }
  /// Ends the commit: runs the completions in order.
  void finish() {
    while (!completions_.empty()) {
      auto completion = std::move(completions_.front());
      completions_.pop_front();
      completion();
    }
  }

 private:
  std::deque<std::function<void()>> completions_;
};

class CollectionView;

/// Supplies sections, items, cells and supplementary views.
class CollectionViewDataSource {
 public:
  virtual ~CollectionViewDataSource() = default;
  /// The number of sections.
  [[nodiscard]] virtual std::int64_t numberOfSections(const CollectionView& view) const = 0;
  /// The number of items in `section`.
  [[nodiscard]] virtual std::int64_t numberOfItems(const CollectionView& view,
                                                   std::int64_t section) const = 0;
  /// The configured cell of the item at `indexPath`.
  virtual std::shared_ptr<CollectionViewCell> cellForItem(CollectionView& view,
                                                          const IndexPath& indexPath) = 0;
  /// The configured supplementary view of `kind` at `indexPath`.
  virtual std::shared_ptr<CollectionReusableView> supplementaryView(CollectionView& view,
                                                                    const std::string& kind,
                                                                    const IndexPath& indexPath) = 0;
};

/// Hears the collection view's user events; every member does nothing by
/// default.
class CollectionViewDelegate {
 public:
  virtual ~CollectionViewDelegate() = default;
  /// The user selected the item.
  virtual void didSelectItem(CollectionView&, const IndexPath&) {}
  /// The user touched the item.
  virtual void didHighlightItem(CollectionView&, const IndexPath&) {}
  /// The touch left the item.
  virtual void didUnhighlightItem(CollectionView&, const IndexPath&) {}
  /// The item's cell is about to show.
  virtual void willDisplayCell(CollectionView&, CollectionViewCell&, const IndexPath&) {}
  /// The context menu for `indexPaths`, or nothing for none.
  virtual std::optional<ContextMenuConfiguration> contextMenuConfiguration(
      CollectionView&, const std::vector<IndexPath>&, Point) {
    return std::nullopt;
  }
  /// The view the menu lifts, or nothing for the cell.
  virtual std::optional<TargetedPreview> previewForHighlightingContextMenu(
      CollectionView&, const ContextMenuConfiguration&) {
    return std::nullopt;
  }
  /// The view a dismissed menu returns to, or nothing for the cell.
  virtual std::optional<TargetedPreview> previewForDismissingContextMenu(
      CollectionView&, const ContextMenuConfiguration&) {
    return std::nullopt;
  }
  /// The user tapped the menu's preview.
  virtual void willPerformPreviewAction(CollectionView&, const ContextMenuConfiguration&,
                                        ContextMenuCommitAnimator&) {}
};

/// What one applied update changed, in counts.
struct CollectionViewUpdate {
  /// Whether it was animated.
  bool animated = false;
  /// Sections inserted.
  std::size_t insertedSections = 0;
  /// Sections deleted.
  std::size_t deletedSections = 0;
  /// Sections moved.
  std::size_t movedSections = 0;
  /// Sections reloaded.
  std::size_t reloadedSections = 0;
  /// Items inserted.
  std::size_t insertedItems = 0;
  /// Items deleted.
  std::size_t deletedItems = 0;
  /// Items moved.
  std::size_t movedItems = 0;
  /// Items reloaded.
  std::size_t reloadedItems = 0;
  /// Equal when every count is.
  friend bool operator==(const CollectionViewUpdate&, const CollectionViewUpdate&) = default;
};

class CollectionView : public ScrollView, public ScrolledList {
 public:
  /// Makes a new cell.
  using CellFactory = std::function<std::shared_ptr<CollectionViewCell>()>;
  /// Makes a new supplementary view.
  using SupplementaryFactory = std::function<std::shared_ptr<CollectionReusableView>()>;
  /// How cells invalidate their size.
  enum class SelfSizingInvalidation { disabled, enabled, enabledIncludingConstraints };

  /// A collection view laid out by `layout`.
  explicit CollectionView(CollectionViewCompositionalLayout layout = {})
      : layout_(std::move(layout)) {}

  /// How cells invalidate their size.
  SelfSizingInvalidation selfSizingInvalidation = SelfSizingInvalidation::enabled;
  /// Shown behind the content (an empty state, for instance).
  std::shared_ptr<View> backgroundView;

  /// Neither is owned; their owners keep them alive while installed.
  void setDataSource(CollectionViewDataSource* dataSource);
  /// The data source, or null.
  [[nodiscard]] CollectionViewDataSource* dataSource() const { return dataSource_; }
  /// Sets the delegate (not owned).
  void setDelegate(CollectionViewDelegate* delegate) { delegate_ = delegate; }
  /// The delegate, or null.
  [[nodiscard]] CollectionViewDelegate* delegate() const { return delegate_; }

  /// The layout.
  [[nodiscard]] const CollectionViewCompositionalLayout& layout() const { return layout_; }
  /// Replaces the layout.
  void setLayout(CollectionViewCompositionalLayout layout) { layout_ = std::move(layout); }
  /// The layout the layout's provider gives for a section.
  [[nodiscard]] std::optional<CollectionLayoutSection> layoutSection(std::int64_t section) const;

  /// Registers how cells of `reuseIdentifier` are made.
  void registerCell(const std::string& reuseIdentifier, CellFactory factory);
  /// Registers cells of class Cell under `reuseIdentifier`.
  template <class Cell>
  void registerCell(const std::string& reuseIdentifier) {
    registerCell(reuseIdentifier, [] { return std::make_shared<Cell>(); });
  }
  /// Registers how supplementary views of `kind` and `reuseIdentifier` are made.
  void registerSupplementaryView(const std::string& kind, const std::string& reuseIdentifier,
                                 SupplementaryFactory factory);
  /// Registers supplementary views of class V under `kind` and `reuseIdentifier`.
  template <class V>
  void registerSupplementaryView(const std::string& kind, const std::string& reuseIdentifier) {
    registerSupplementaryView(kind, reuseIdentifier, [] { return std::make_shared<V>(); });
  }
  /// Whether cells of `reuseIdentifier` are registered.
  [[nodiscard]] bool isCellRegistered(const std::string& reuseIdentifier) const;
  /// Whether supplementary views of `kind` and `reuseIdentifier` are registered.
  [[nodiscard]] bool isSupplementaryViewRegistered(const std::string& kind,
                                                   const std::string& reuseIdentifier) const;

  /// A cell for the data source to configure: a reused one, or a new one.
  std::shared_ptr<CollectionViewCell> dequeueReusableCell(const std::string& reuseIdentifier,
                                                          const IndexPath& indexPath);
  /// A supplementary view for the data source to configure: a reused one, or a new one.
  std::shared_ptr<CollectionReusableView> dequeueReusableSupplementaryView(
      const std::string& kind, const std::string& reuseIdentifier, const IndexPath& indexPath);

  /// The data source's number of sections.
  [[nodiscard]] std::int64_t numberOfSections() const;
  /// The data source's number of items in `section`.
  [[nodiscard]] std::int64_t numberOfItems(std::int64_t section) const;
  /// All items of all sections.
  [[nodiscard]] std::int64_t totalNumberOfItems() const;
  /// The cell at a position, realised through the data source on first
  /// request; nothing for a position outside the content.
  std::shared_ptr<CollectionViewCell> cellForItem(const IndexPath& indexPath);
  /// The supplementary view of a kind for a section, realised on request.
  std::shared_ptr<CollectionReusableView> supplementaryView(const std::string& kind,
                                                            const IndexPath& indexPath);
  /// How many cells are realised.
  [[nodiscard]] std::size_t realizedCellCount() const { return cells_.size(); }

  /// Forgets all content and asks the data source again.
  void reloadData() override;
  /// Records an applied update (data sources call it) and tells observers.
  void didApplyUpdate(const CollectionViewUpdate& update);
  /// Every update applied so far, in order.
  [[nodiscard]] const std::vector<CollectionViewUpdate>& updates() const { return updates_; }
  /// Called after every reloadData() and applied update.
  using ContentObserver = std::function<void(CollectionView&)>;
  /// Adds `observer`; returns a token for removeContentObserver().
  std::size_t addContentObserver(ContentObserver observer);
  /// Removes the observer added with `token`.
  void removeContentObserver(std::size_t token);

  /// Simulates the user selecting the item: the delegate is told.
  void selectItem(const IndexPath& indexPath);
  /// Simulates a touch down on the item: the delegate is told.
  void highlightItem(const IndexPath& indexPath);
  /// Simulates the touch leaving the item: the delegate is told.
  void unhighlightItem(const IndexPath& indexPath);
  /// A long press on items: the menu the delegate offers (with the lifted
  /// preview asked for), or nothing.
  std::optional<ContextMenuConfiguration> showContextMenu(const std::vector<IndexPath>& indexPaths,
                                                          Point location = {});
  /// Tapping the preview of a shown menu.
  void commitContextMenuPreview(const ContextMenuConfiguration& configuration);
  /// Closing a shown menu; returns the preview it returns to.
  std::optional<TargetedPreview> dismissContextMenu(const ContextMenuConfiguration& configuration);

 private:
  void contentChanged();
  void recycleRealized();

  CollectionViewCompositionalLayout layout_;
  CollectionViewDataSource* dataSource_ = nullptr;
  CollectionViewDelegate* delegate_ = nullptr;
  std::map<std::string, CellFactory> cellFactories_;
  // Ordered by (kind, reuse identifier); looked up without copying either.
  struct KindAndIdentifierLess {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      const int kind = std::string_view(a.first).compare(std::string_view(b.first));
      return kind != 0 ? kind < 0 : std::string_view(a.second) < std::string_view(b.second);
    }
  };
  std::map<std::pair<std::string, std::string>, SupplementaryFactory, KindAndIdentifierLess>
      supplementaryFactories_;
  std::map<std::string, std::vector<std::shared_ptr<CollectionReusableView>>> reusable_;
  std::map<IndexPath, std::shared_ptr<CollectionViewCell>> cells_;
  std::map<std::pair<std::string, IndexPath>, std::shared_ptr<CollectionReusableView>>
      supplementaries_;
  std::vector<CollectionViewUpdate> updates_;
  std::map<std::size_t, ContentObserver> observers_;
  std::size_t nextObserver_ = 1;
  // Moves on whenever the realised views are dropped for new content.
  std::uint64_t contentVersion_ = 0;
};

}  // namespace quarn::platform
