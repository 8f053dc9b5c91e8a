/// @file
/// Diffable data source: a collection view's content as snapshots of section
/// and item identifiers, applied as a whole. Snapshots and their differences
/// are values; the data source is a unique object.
///
/// ```
///   DiffableDataSourceSnapshot<AnyHashable, AnyHashable> snapshot;
///   snapshot.appendSections({AnyHashable(1)});
///   snapshot.appendItems({AnyHashable(std::string("a")), AnyHashable(std::string("b"))});
///   dataSource->apply(snapshot, /*animatingDifferences=*/true);
///   dataSource->lastDifference();   // what was inserted, deleted, moved and reloaded
/// ```
///
/// Identifiers are unique within a snapshot: appending a section or an item
/// that is already there is a programming error, as is naming one that is not
/// (to append to, delete or reload). Applying a snapshot computes the
/// difference from the current one (identifiers added, removed, moved, and
/// those marked for reload), records it, and tells the collection view.
#pragma once

#include <algorithm>
#include <boost/unordered/unordered_flat_map.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/ui/collection_view.h"

namespace quarn::platform {

/// The content of a collection view as identities: sections in order, each with its items in order;
/// every identity appears once. A value.
template <class SectionID, class ItemID>
class DiffableDataSourceSnapshot {
 public:
  /// The number of sections.
  [[nodiscard]] std::int64_t numberOfSections() const {
    return static_cast<std::int64_t>(sections_.size());
  }
  /// The number of items of all sections.
  [[nodiscard]] std::int64_t numberOfItems() const {
    return static_cast<std::int64_t>(itemSection_.size());
  }
  /// The number of items in `section`.
  [[nodiscard]] std::int64_t numberOfItems(const SectionID& section) const {
    return static_cast<std::int64_t>(itemIdentifiers(section).size());
  }
  /// The sections, in order.
  [[nodiscard]] const std::vector<SectionID>& sectionIdentifiers() const { return sections_; }
  /// Every item, section after section.
  [[nodiscard]] std::vector<ItemID> itemIdentifiers() const {
    std::vector<ItemID> all;
    all.reserve(itemSection_.size());
    for (const auto& items : items_) all.insert(all.end(), items.begin(), items.end());
    return all;
  }
  /// The items of `section`, in order.
  [[nodiscard]] const std::vector<ItemID>& itemIdentifiers(const SectionID& section) const {
    return items_[requireSection(section)];
  }
  /// Whether `section` is in the snapshot.
  [[nodiscard]] bool containsSection(const SectionID& section) const {
    return sectionIndex_.contains(section);
  }
  /// Whether `item` is in the snapshot.
  [[nodiscard]] bool containsItem(const ItemID& item) const { return itemSection_.contains(item); }
  /// The position of `section`, or nothing.
  [[nodiscard]] std::optional<std::int64_t> indexOfSection(const SectionID& section) const {
    auto it = sectionIndex_.find(section);
    if (it == sectionIndex_.end()) return std::nullopt;
    return static_cast<std::int64_t>(it->second);
  }
  /// The section holding `item`, or nothing.
  [[nodiscard]] std::optional<SectionID> sectionIdentifier(const ItemID& item) const {
    auto it = itemSection_.find(item);
    if (it == itemSection_.end()) return std::nullopt;
    return sections_[it->second];
  }
  /// The item's section index and position in its section.
  [[nodiscard]] std::optional<std::pair<std::int64_t, std::int64_t>> position(
      const ItemID& item) const {
    auto it = itemSection_.find(item);
    if (it == itemSection_.end()) return std::nullopt;
    const auto& items = items_[it->second];
    const auto at = std::find(items.begin(), items.end(), item) - items.begin();
    return std::make_pair(static_cast<std::int64_t>(it->second), static_cast<std::int64_t>(at));
  }

  /// Makes room for `sections` more sections and `items` more items.
  void reserve(std::size_t sections, std::size_t items) {
    sections_.reserve(sections_.size() + sections);
    items_.reserve(items_.size() + sections);
    sectionIndex_.reserve(sectionIndex_.size() + sections);
    itemSection_.reserve(itemSection_.size() + items);
  }
  /// Appends sections; one already present is a programming error.
  void appendSections(const std::vector<SectionID>& sections) {
    for (const auto& s : sections) {
      if (!sectionIndex_.emplace(s, sections_.size()).second) {
        fatalError("Fatal: supplied section identifiers are not unique.");
      }
      sections_.push_back(s);
      items_.emplace_back();
    }
  }
  /// Appends to the last section; without a section it is a programming error.
  void appendItems(const std::vector<ItemID>& items) {
    if (sections_.empty()) fatalError("There are currently no sections in the data source.");
    appendItems(items, sections_.back());
  }
  /// Appends items to `section`; an item already present is a programming error.
  void appendItems(const std::vector<ItemID>& items, const SectionID& section) {
    appendItems(std::vector<ItemID>(items), section);
  }
  /// The same, taking the items over.
  void appendItems(std::vector<ItemID>&& items, const SectionID& section) {
    const std::size_t index = requireSection(section);
    for (const auto& item : items) {
      if (!itemSection_.emplace(item, index).second) {
        fatalError("Fatal: supplied item identifiers are not unique.");
      }
    }
    auto& list = items_[index];
    if (list.empty()) {
      list = std::move(items);
    } else {
      list.insert(list.end(), std::make_move_iterator(items.begin()),
                  std::make_move_iterator(items.end()));
    }
  }
  /// Removes the items.
  void deleteItems(const std::vector<ItemID>& items) {
    for (const auto& item : items) {
      auto it = itemSection_.find(item);
      if (it == itemSection_.end()) continue;
      std::erase(items_[it->second], item);
      itemSection_.erase(it);
      std::erase(reloadedItems_, item);
    }
  }
  /// Removes the sections with their items.
  void deleteSections(const std::vector<SectionID>& sections) {
    for (const auto& s : sections) {
      auto it = sectionIndex_.find(s);
      if (it == sectionIndex_.end()) continue;
      const std::size_t index = it->second;
      for (const auto& item : items_[index]) {
        itemSection_.erase(item);
        std::erase(reloadedItems_, item);
      }
      sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(index));
      items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
      std::erase(reloadedSections_, s);
      reindex();
    }
  }
  /// Removes everything.
  void deleteAllItems() { *this = DiffableDataSourceSnapshot(); }

  ///@{
  /// Marks sections or items for reloading when the snapshot is applied.
  void reloadSections(const std::vector<SectionID>& sections) {
    for (const auto& s : sections) {
      requireSection(s);
      if (std::find(reloadedSections_.begin(), reloadedSections_.end(), s) ==
          reloadedSections_.end()) {
        reloadedSections_.push_back(s);
      }
    }
  }
  void reloadItems(const std::vector<ItemID>& items) {
    for (const auto& item : items) {
      if (!itemSection_.contains(item)) {
        fatalError("Attempted to reload item identifier that does not exist in the snapshot.");
      }
      if (std::find(reloadedItems_.begin(), reloadedItems_.end(), item) == reloadedItems_.end()) {
        reloadedItems_.push_back(item);
      }
    }
  }
  ///@}
  /// The sections marked for reloading.
  [[nodiscard]] const std::vector<SectionID>& reloadedSectionIdentifiers() const {
    return reloadedSections_;
  }
  /// The items marked for reloading.
  [[nodiscard]] const std::vector<ItemID>& reloadedItemIdentifiers() const {
    return reloadedItems_;
  }
  /// Forgets the reload marks.
  void clearReloadMarks() {
    reloadedSections_.clear();
    reloadedItems_.clear();
  }

 private:
  std::size_t requireSection(const SectionID& section) const {
    auto it = sectionIndex_.find(section);
    if (it == sectionIndex_.end()) fatalError("Invalid section identifier for this snapshot.");
    return it->second;
  }
  void reindex() {
    sectionIndex_.clear();
    itemSection_.clear();
    for (std::size_t s = 0; s < sections_.size(); ++s) {
      sectionIndex_.emplace(sections_[s], s);
      for (const auto& item : items_[s]) itemSection_.emplace(item, s);
    }
  }

  std::vector<SectionID> sections_;
  std::vector<std::vector<ItemID>> items_;
  boost::unordered_flat_map<SectionID, std::size_t, std::hash<SectionID>> sectionIndex_;
  boost::unordered_flat_map<ItemID, std::size_t, std::hash<ItemID>> itemSection_;
  std::vector<SectionID> reloadedSections_;
  std::vector<ItemID> reloadedItems_;
};

namespace detail {
/// Positions (into `sequence`) of one longest strictly increasing subsequence.
std::vector<std::size_t> longestIncreasingSubsequence(const std::vector<std::size_t>& sequence);
}  // namespace detail

/// What applying one snapshot over another changed.
template <class SectionID, class ItemID>
struct SnapshotDifference {
  /// Whether the change was animated.
  bool animated = false;
  ///@{
  /// The sections inserted, deleted, moved and reloaded.
  std::vector<SectionID> insertedSections, deletedSections, movedSections, reloadedSections;
  ///@}
  ///@{
  /// The items inserted, deleted, moved and reloaded.
  std::vector<ItemID> insertedItems, deletedItems, movedItems, reloadedItems;
  ///@}

  /// The change in counts, as the collection view records it.
  [[nodiscard]] CollectionViewUpdate counts() const {
    return {animated,
            insertedSections.size(),
            deletedSections.size(),
            movedSections.size(),
            reloadedSections.size(),
            insertedItems.size(),
            deletedItems.size(),
            movedItems.size(),
            reloadedItems.size()};
  }

  /// The difference from `from` to `to`. An identifier kept in both is moved
  /// when its order among the kept ones changed (or, for an item, when its
  /// section did); reloads are those marked in `to`.
  static SnapshotDifference between(const DiffableDataSourceSnapshot<SectionID, ItemID>& from,
                                    const DiffableDataSourceSnapshot<SectionID, ItemID>& to) {
    SnapshotDifference d;
    // Sections.
    std::vector<std::size_t> oldOrder;
    std::vector<SectionID> kept;
    for (const auto& s : to.sectionIdentifiers()) {
      if (auto old = from.indexOfSection(s)) {
        oldOrder.push_back(static_cast<std::size_t>(*old));
        kept.push_back(s);
      } else {
        d.insertedSections.push_back(s);
      }
    }
    for (const auto& s : from.sectionIdentifiers()) {
      if (!to.containsSection(s)) d.deletedSections.push_back(s);
    }
    markMoved(kept, oldOrder, d.movedSections);
    // Items: old positions numbered across sections.
    if (from.numberOfItems() == 0) {
      d.insertedItems.reserve(static_cast<std::size_t>(to.numberOfItems()));
    }
    boost::unordered_flat_map<ItemID, std::size_t, std::hash<ItemID>> oldIndex;
    oldIndex.reserve(static_cast<std::size_t>(from.numberOfItems()));
    for (const auto& s : from.sectionIdentifiers()) {
      for (const auto& item : from.itemIdentifiers(s)) oldIndex.emplace(item, oldIndex.size());
    }
    std::vector<std::size_t> oldItemOrder;
    std::vector<ItemID> keptItems;
    for (const auto& s : to.sectionIdentifiers()) {
      for (const auto& item : to.itemIdentifiers(s)) {
        auto it = oldIndex.find(item);
        if (it == oldIndex.end()) {
          d.insertedItems.push_back(item);
        } else if (!(*from.sectionIdentifier(item) == s)) {
          d.movedItems.push_back(item);
        } else {
          oldItemOrder.push_back(it->second);
          keptItems.push_back(item);
        }
      }
    }
    for (const auto& s : from.sectionIdentifiers()) {
      for (const auto& item : from.itemIdentifiers(s)) {
        if (!to.containsItem(item)) d.deletedItems.push_back(item);
      }
    }
    markMoved(keptItems, oldItemOrder, d.movedItems);
    d.reloadedSections = to.reloadedSectionIdentifiers();
    d.reloadedItems = to.reloadedItemIdentifiers();
    return d;
  }

 private:
  template <class ID>
  static void markMoved(const std::vector<ID>& kept, const std::vector<std::size_t>& oldOrder,
                        std::vector<ID>& moved) {
    const auto stay = detail::longestIncreasingSubsequence(oldOrder);
    std::size_t next = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
      if (next < stay.size() && stay[next] == i) {
        ++next;
      } else {
        moved.push_back(kept[i]);
      }
    }
  }
};

/// The data source of one collection view, fed with snapshots. A unique
/// object: it installs itself as the view's data source and must outlive that
/// installation (it uninstalls itself when destroyed).
///
/// The cell provider may drop the data source or the view (the cell it
/// returns is still handed out), apply a snapshot (the cell is handed out but
/// not kept by the view) or throw (the exception leaves the view's request).
/// apply()'s completion runs last: it may drop the data source or apply again.
template <class SectionID, class ItemID>
class CollectionViewDiffableDataSource final : public CollectionViewDataSource {
 public:
  /// The content, as identities.
  using Snapshot = DiffableDataSourceSnapshot<SectionID, ItemID>;
  /// What an apply changed.
  using Difference = SnapshotDifference<SectionID, ItemID>;
  /// Makes the cell of an item.
  using CellProvider = std::function<std::shared_ptr<CollectionViewCell>(
      CollectionView&, const IndexPath&, const ItemID&)>;
  /// Makes the supplementary view of a kind at an index path.
  using SupplementaryViewProvider = std::function<std::shared_ptr<CollectionReusableView>(
      CollectionView&, const std::string&, const IndexPath&)>;

  /// A data source for `view` whose cells `cellProvider` makes; it installs itself as the view's
  /// data source.
  CollectionViewDiffableDataSource(const std::shared_ptr<CollectionView>& view,
                                   CellProvider cellProvider)
      : view_(view), cellProvider_(std::move(cellProvider)) {
    view->setDataSource(this);
  }
  ~CollectionViewDiffableDataSource() override {
    if (auto view = view_.lock(); view && view->dataSource() == this) view->setDataSource(nullptr);
  }
  CollectionViewDiffableDataSource(const CollectionViewDiffableDataSource&) = delete;
  CollectionViewDiffableDataSource& operator=(const CollectionViewDiffableDataSource&) = delete;

  /// Makes supplementary views; none without it.
  SupplementaryViewProvider supplementaryViewProvider;

  /// A copy of the current content.
  [[nodiscard]] Snapshot snapshot() const { return current_; }
  /// Makes `snapshot` the content, recording the difference; `completion`
  /// runs once the view has been updated.
  void apply(Snapshot snapshot, bool animatingDifferences = true,
             const std::function<void()>& completion = {}) {
    Difference difference = Difference::between(current_, snapshot);
    difference.animated = animatingDifferences;
    snapshot.clearReloadMarks();
    current_ = std::move(snapshot);
    lastDifference_ = std::move(difference);
    if (auto view = view_.lock()) view->didApplyUpdate(lastDifference_->counts());
    if (completion) completion();
  }
  /// The difference the last apply() recorded.
  [[nodiscard]] const std::optional<Difference>& lastDifference() const { return lastDifference_; }

  /// The item at `indexPath`, or nothing.
  [[nodiscard]] std::optional<ItemID> itemIdentifier(const IndexPath& indexPath) const {
    if (indexPath.section < 0 || indexPath.section >= current_.numberOfSections()) {
      return std::nullopt;
    }
    const auto& items = current_.itemIdentifiers(
        current_.sectionIdentifiers()[static_cast<std::size_t>(indexPath.section)]);
    if (indexPath.item < 0 || indexPath.item >= static_cast<std::int64_t>(items.size())) {
      return std::nullopt;
    }
    return items[static_cast<std::size_t>(indexPath.item)];
  }
  /// The position of `item`, or nothing.
  [[nodiscard]] std::optional<IndexPath> indexPath(const ItemID& item) const {
    auto p = current_.position(item);
    if (!p) return std::nullopt;
    return IndexPath{p->first, p->second};
  }
  /// The section at `index`, or nothing.
  [[nodiscard]] std::optional<SectionID> sectionIdentifier(std::int64_t index) const {
    if (index < 0 || index >= current_.numberOfSections()) return std::nullopt;
    return current_.sectionIdentifiers()[static_cast<std::size_t>(index)];
  }

  [[nodiscard]] std::int64_t numberOfSections(const CollectionView&) const override {
    return current_.numberOfSections();
  }
  [[nodiscard]] std::int64_t numberOfItems(const CollectionView&,
                                           std::int64_t section) const override {
    auto id = sectionIdentifier(section);
    return id ? current_.numberOfItems(*id) : 0;
  }
  std::shared_ptr<CollectionViewCell> cellForItem(CollectionView& view,
                                                  const IndexPath& indexPath) override {
    auto item = itemIdentifier(indexPath);
    if (!item || !cellProvider_) return nullptr;
    // Copied: the provider may drop this data source.
    const CellProvider provider = cellProvider_;
    return provider(view, indexPath, *item);
  }
  std::shared_ptr<CollectionReusableView> supplementaryView(CollectionView& view,
                                                            const std::string& kind,
                                                            const IndexPath& indexPath) override {
    if (!supplementaryViewProvider) return nullptr;
    const SupplementaryViewProvider provider = supplementaryViewProvider;
    return provider(view, kind, indexPath);
  }

 private:
  std::weak_ptr<CollectionView> view_;
  CellProvider cellProvider_;
  Snapshot current_;
  std::optional<Difference> lastDifference_;
};

}  // namespace quarn::platform
