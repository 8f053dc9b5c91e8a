/// @file
/// BaseCollectionSection: the base of the composite list's display sections, a unique object held
/// by shared_ptr (see CollectionViewSection).

/// @class quarn::BaseCollectionSection
/// The base of the composite list's display sections,
/// a unique object held by shared_ptr (see CollectionViewSection). It holds a title, a subtitle,
/// presentation flags and the section's rows, and derives from them the identities the list
/// screen's diffable data source needs.
///
/// ```
///   auto section = std::make_shared<BaseCollectionSection>("Top picks", std::nullopt,
///                                                          std::vector<Product>{a, b});
///   section->snapshotItems();    // two rows, identified within this section
///   section->showHeaderView();   // true: it has a title
/// ```
///
/// Rows are wrapped as UniqueWrapper: the row's entity plus an identifier made
/// from a hash of the whole row list, the title and the subtitle, so the same
/// entity shown in two sections is two different rows. A section must set its
/// rows when it is created; asking for the rows of one that never did is a
/// programming error. Identities use the process's hash, so they are stable
/// within one run only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "quarnkit/composite_list/fetching/collection_view_section.h"
#include "quarnkit/composite_list/model/item_data.h"
#include "quarnkit/composite_list/model/item_type.h"
#include "quarnkit/core/hash.h"

namespace quarn {

/// A row of a section: its entity and an identifier unique to the section.
struct UniqueWrapper {
  /// Unique to the section's rows (see BaseCollectionSection::makeUniqueItems()).
  std::string identifier;
  /// The row's entity.
  platform::AnyHashable entity;
  /// Equal when identifier and entity are.
  friend bool operator==(const UniqueWrapper&, const UniqueWrapper&) = default;
};

}  // namespace quarn

/// Hashes a row wrapper by its identifier and entity.
template <>
struct std::hash<quarn::UniqueWrapper> {
  /// A wrapper's hash from its identifier's hash (rows of one section share
  /// it) and its entity.
  static std::size_t combine(std::size_t identifierHash,
                             const quarn::platform::AnyHashable& entity) {
    quarn::hashCombine(identifierHash, entity.hash());
    return identifierHash;
  }
  /// combine() of the identifier's hash and the entity.
  std::size_t operator()(const quarn::UniqueWrapper& w) const noexcept {
    return combine(std::hash<std::string>()(w.identifier), w.entity);
  }
};

namespace quarn {

/// The header the base section shows: title, subtitle, separator and a tap.
class CompositeListSectionHeaderView : public platform::CollectionReusableView {
 public:
  /// The section's title.
  std::optional<std::string> title;
  /// The text under the title.
  std::optional<std::string> subtitle;
  /// Whether the separator line shows.
  bool showSeparator = false;
  /// Whether the disclosure indicator shows.
  bool showDisclosure = false;
  /// Called by tap().
  std::function<void()> onTap;
  /// What the user's tap on the header does. A copy is called: the handler
  /// may reload the screen, which sets the header up anew.
  void tap() const {
    if (const std::function<void()> handler = onTap) handler();
  }
};

/// The cell the base section shows for a row: the row's entity.
class CompositeListSectionItemCell : public platform::CollectionViewCell {
 public:
  /// The row's entity.
  std::optional<platform::AnyHashable> item;
  /// Whether the disclosure indicator shows.
  bool showDisclosure = false;
};

/// A section of a composite list screen: a header (title, subtitle, separator), rows of entities
/// and a footer, laid out in one list. A shared object, held by the screen's sections.
class BaseCollectionSection : public CollectionViewSection {
 public:
  /// The section's footer: how it behaves and its text.
  struct Footer {
    /// How the footer behaves.
    CompositeListItemData::FooterMode mode = CompositeListItemData::FooterMode::default_;
    /// The footer's text.
    std::optional<std::string> text;
    /// Equal when mode and text are.
    friend bool operator==(const Footer&, const Footer&) = default;
  };

  /// The reuse identifier of the base cell.
  static constexpr const char* kDefaultCellReuseIdentifier = "default_cell";

  /// A section without rows yet; the separator shows when the title or the
  /// subtitle has something other than white space.
  BaseCollectionSection(std::optional<std::string> title, std::optional<std::string> subtitle);
  /// A section of `items`.
  BaseCollectionSection(std::optional<std::string> title, std::optional<std::string> subtitle,
                        std::vector<platform::AnyHashable> items);
  /// A section of `items`, each wrapped.
  template <platform::Hashable T>
  BaseCollectionSection(std::optional<std::string> title_, std::optional<std::string> subtitle_,
                        const std::vector<T>& items)
      : BaseCollectionSection(std::move(title_), std::move(subtitle_), wrap(std::span(items))) {}
  /// The same from a view of the items (an item's entities, say), each copied
  /// once, straight into the rows.
  template <platform::Hashable T>
  BaseCollectionSection(std::optional<std::string> title_, std::optional<std::string> subtitle_,
                        std::span<const T> items)
      : BaseCollectionSection(std::move(title_), std::move(subtitle_), wrap(items)) {}
  /// The same, taking the items over.
  template <platform::Hashable T>
  requires(!std::is_same_v<T, platform::AnyHashable>)
      BaseCollectionSection(std::optional<std::string> title_, std::optional<std::string> subtitle_,
                            std::vector<T>&& items)
      : BaseCollectionSection(std::move(title_), std::move(subtitle_),
                              platform::AnyHashable::wrapEach(std::move(items))) {}

  /// The reuse identifier of the header view.
  [[nodiscard]] const std::string& headerReuseIdentifier() const { return headerReuseIdentifier_; }
  /// The header's title.
  std::optional<std::string> title;
  /// The text under the title.
  std::optional<std::string> subtitle;
  /// Whether the header's separator shows.
  bool showSeparator = false;
  /// Whether rows may show the disclosure indicator (a single row never does).
  bool allowDisclosureIndicator = true;
  /// Whether a single row gets the host's alternative layout.
  bool useAlternativeLayoutForSingleItem = true;
  /// The footer.
  Footer footer;
  /// The item type the section was made for.
  std::optional<CompositeListItemType> compositeListItemType;
  /// What tapping the section header does.
  std::function<void()> headerClickHandler;
  /// The collection view the section registered with.
  [[nodiscard]] std::shared_ptr<platform::CollectionView> collectionView() const {
    return collectionView_.lock();
  }

  /// The rows; nothing until they are set.
  [[nodiscard]] std::optional<std::vector<UniqueWrapper>> uniqueItems() const;
  /// Sets the rows: makeUniqueItems() of the items.
  void setItems(const std::vector<platform::AnyHashable>& items);
  /// Sets the rows from typed items.
  template <platform::Hashable T>
  void setItems(const std::vector<T>& items) {
    setItems(wrap(std::span(items)));
  }
  /// Wraps every item with the identifier made from the hash of the whole
  /// list, the title and the subtitle (presence, then text, of each).
  [[nodiscard]] virtual std::vector<UniqueWrapper> makeUniqueItems(
      const std::vector<platform::AnyHashable>& items) const;

  /// The rows' identities. Stops the program when the rows were never set.
  [[nodiscard]] const std::vector<platform::AnyHashable>& snapshotItems() const override;
  /// A number that changes whenever snapshotItems() may give other rows; no
  /// two row lists of any sections share one. A section that shows rows of
  /// its own making rather than those set here overrides it.
  [[nodiscard]] virtual std::uint64_t rowsVersion() const { return rowsVersion_; }
  /// A hash of the title, the subtitle and every row identity.
  [[nodiscard]] platform::AnyHashable snapshotSection() const override;
  /// Whether the title or the subtitle has something other than white
  /// space, or the separator shows.
  [[nodiscard]] bool showHeaderView() const;
  /// Whether the section has exactly one row.
  [[nodiscard]] bool isSingleItem() const { return snapshotItems().size() == 1; }
  /// Whether rows show the disclosure indicator.
  [[nodiscard]] bool showDisclosure() const {
    return isSingleItem() ? false : allowDisclosureIndicator;
  }

  /// The entity of the row at a position, or nothing past the rows.
  [[nodiscard]] virtual std::optional<platform::AnyHashable> anyItem(
      const platform::IndexPath& indexPath) const;
  /// The same when it is a T.
  template <class T>
  [[nodiscard]] std::optional<T> item(const platform::IndexPath& indexPath) const {
    auto any = anyItem(indexPath);
    if (!any) return std::nullopt;
    if (const T* value = any->get<T>()) return *value;
    return std::nullopt;
  }
  /// The identity of the first row showing `entity`, or nothing.
  [[nodiscard]] std::optional<platform::AnyHashable> snapshotItem(
      const platform::AnyHashable& entity) const;

  /// Reloads this section, or the row showing `entity`, in the list screen
  /// that shows it (nothing happens without one, or when the screen's
  /// content does not hold it).
  void reloadSection(bool animated);
  /// Reloads the row showing `entity`, in the list screen that shows it.
  void reloadItem(const platform::AnyHashable& entity, bool animated);

  void register_(const std::shared_ptr<platform::CollectionView>& collectionView) override;
  [[nodiscard]] std::optional<platform::CollectionLayoutSection> layoutSection(
      const platform::LayoutEnvironment& environment) const override;
  std::shared_ptr<platform::CollectionViewCell> cell(const CollectionViewSectionContext& context,
                                                     const platform::IndexPath& indexPath) override;
  std::shared_ptr<platform::CollectionReusableView> supplementaryView(
      const CollectionViewSectionContext& context, const std::string& kind,
      const platform::IndexPath& indexPath) override;
  /// Sets up the header view with the title, subtitle, separator and tap.
  void configureSupplementaryView(platform::CollectionReusableView& view,
                                  const platform::IndexPath& indexPath) override;

 protected:
  /// Folds an optional text into a hash: its presence, then its text.
  static void hashOptionalText(std::size_t& hash, const std::optional<std::string>& text);
  /// Stores the rows and the fold of their identities.
  void setRows(std::vector<platform::AnyHashable> rows);
  /// A rows version no section has had yet.
  static std::uint64_t nextRowsVersion();
  /// The identifier makeUniqueItems() gives every row of `items`.
  [[nodiscard]] std::string rowIdentifier(const std::vector<platform::AnyHashable>& items) const;

  /// The items, each wrapped as a hashable value.
  template <platform::Hashable T>
  static std::vector<platform::AnyHashable> wrap(std::span<const T> items) {
    if constexpr (std::is_same_v<T, platform::AnyHashable>) {
      return {items.begin(), items.end()};
    } else {
      // Each item copied straight into the shared block, without a copy of
      // the list first.
      return platform::AnyHashable::makeEach<T>(
          items.size(), [items](std::size_t i) -> const T& { return items[i]; }, std::hash<T>());
    }
  }

 private:
  std::string headerReuseIdentifier_ = "default_header";
  // The rows, each a UniqueWrapper held as its identity.
  std::optional<std::vector<platform::AnyHashable>> rows_;
  // The rows' identities folded in order, for snapshotSection().
  std::size_t rowsHash_ = 0;
  std::uint64_t rowsVersion_ = 0;
  std::weak_ptr<platform::CollectionView> collectionView_;
};

/// Whether `text` has a character other than white space and line breaks.
bool hasVisibleCharacters(std::string_view text);

}  // namespace quarn
