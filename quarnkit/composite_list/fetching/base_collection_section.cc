#include "quarnkit/composite_list/fetching/base_collection_section.h"

#include <atomic>
#include <charconv>
#include <cstdint>

#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"
#include "quarnkit/core/error.h"

namespace quarn {

namespace {

// The text of a row identifier: the hash in decimal. Every row of a section
// holds this text, so it is kept to 49 bits (at most 15 digits), which a
// string holds without allocating; that still tells apart far more sections
// than a screen shows.
std::string identifierText(std::size_t hash) {
  constexpr std::uint64_t kMask = (std::uint64_t{1} << 49) - 1;
  char digits[24];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(hash) & kMask);
  return std::string(digits, end.ptr);
}

bool isWhiteSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

}  // namespace

void BaseCollectionSection::hashOptionalText(std::size_t& h,
                                             const std::optional<std::string>& text) {
  hashCombine(h, text ? 1 : 0);
  if (text) hashValue(h, *text);
}

bool hasVisibleCharacters(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (i + length > text.size()) return true;  // a broken sequence is not white space
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) {
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    if (!isWhiteSpace(c)) return true;
    i += length;
  }
  return false;
}

BaseCollectionSection::BaseCollectionSection(std::optional<std::string> title_,
                                             std::optional<std::string> subtitle_)
    : title(std::move(title_)), subtitle(std::move(subtitle_)) {
  showSeparator =
      (title && hasVisibleCharacters(*title)) || (subtitle && hasVisibleCharacters(*subtitle));
}

BaseCollectionSection::BaseCollectionSection(std::optional<std::string> title_,
                                             std::optional<std::string> subtitle_,
                                             std::vector<platform::AnyHashable> items)
    : BaseCollectionSection(std::move(title_), std::move(subtitle_)) {
  // What setItems() does, where makeUniqueItems() can only be this class's
  // own: the rows are made straight into their allocation, each taking its
  // item over, and the list of items becomes the list of rows.
  std::string identifier = rowIdentifier(items);
  const std::size_t identifierHash = std::hash<std::string>()(identifier);
  platform::AnyHashable::makeEach<UniqueWrapper>(
      items, items.size(),
      [&](std::size_t i) {
        return UniqueWrapper{identifier, std::move(items[i])};
      },
      [identifierHash](const UniqueWrapper& row) {
        return std::hash<UniqueWrapper>::combine(identifierHash, row.entity);
      });
  setRows(std::move(items));
}

std::uint64_t BaseCollectionSection::nextRowsVersion() {
  static std::atomic<std::uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void BaseCollectionSection::setRows(std::vector<platform::AnyHashable> rows) {
  std::size_t h = 0;
  for (const auto& row : rows) hashCombine(h, row.hash());
  rowsHash_ = h;
  rows_ = std::move(rows);
  rowsVersion_ = nextRowsVersion();
}

void BaseCollectionSection::setItems(const std::vector<platform::AnyHashable>& items) {
  // The rows are made and dropped together: one allocation holds them all.
  // Their identifiers are usually one text repeated: it is hashed once.
  std::optional<std::string_view> identifier;
  std::size_t identifierHash = 0;
  const auto hashRow = [&](const UniqueWrapper& row) {
    if (identifier != row.identifier) {
      identifier = row.identifier;
      identifierHash = std::hash<std::string>()(row.identifier);
    }
    return std::hash<UniqueWrapper>::combine(identifierHash, row.entity);
  };
  setRows(platform::AnyHashable::wrapEach(makeUniqueItems(items), hashRow));
}

std::optional<std::vector<UniqueWrapper>> BaseCollectionSection::uniqueItems() const {
  if (!rows_) return std::nullopt;
  std::vector<UniqueWrapper> wrappers;
  wrappers.reserve(rows_->size());
  for (const auto& row : *rows_) wrappers.push_back(*row.get<UniqueWrapper>());
  return wrappers;
}

std::string BaseCollectionSection::rowIdentifier(
    const std::vector<platform::AnyHashable>& items) const {
  std::size_t h = 0;
  for (const auto& item : items) hashCombine(h, item.hash());
  hashOptionalText(h, title);
  hashOptionalText(h, subtitle);
  return identifierText(h);
}

std::vector<UniqueWrapper> BaseCollectionSection::makeUniqueItems(
    const std::vector<platform::AnyHashable>& items) const {
  const std::string identifier = rowIdentifier(items);
  std::vector<UniqueWrapper> wrapped;
  wrapped.reserve(items.size());
  for (const auto& item : items) wrapped.push_back({identifier, item});
  return wrapped;
}

const std::vector<platform::AnyHashable>& BaseCollectionSection::snapshotItems() const {
  if (!rows_) fatalError("Fatal error");
  return *rows_;
}

platform::AnyHashable BaseCollectionSection::snapshotSection() const {
  std::size_t h = 0;
  hashOptionalText(h, title);
  hashOptionalText(h, subtitle);
  // The rows' identities are folded once, when they are set; a subclass that
  // shows other rows has them folded here.
  const auto& items = snapshotItems();
  std::size_t rows = rowsHash_;
  if (!rows_ || &items != &*rows_) {
    rows = 0;
    for (const auto& item : items) hashCombine(rows, item.hash());
  }
  hashCombine(h, rows);
  return platform::AnyHashable(static_cast<std::int64_t>(h));
}

bool BaseCollectionSection::showHeaderView() const {
  return (title && hasVisibleCharacters(*title)) || (subtitle && hasVisibleCharacters(*subtitle)) ||
         showSeparator;
}

std::optional<platform::AnyHashable> BaseCollectionSection::anyItem(
    const platform::IndexPath& indexPath) const {
  if (!rows_ || indexPath.item < 0 || indexPath.item >= static_cast<std::int64_t>(rows_->size())) {
    return std::nullopt;
  }
  return (*rows_)[static_cast<std::size_t>(indexPath.item)].get<UniqueWrapper>()->entity;
}

std::optional<platform::AnyHashable> BaseCollectionSection::snapshotItem(
    const platform::AnyHashable& entity) const {
  if (!rows_) return std::nullopt;
  for (const auto& row : *rows_) {
    if (row.get<UniqueWrapper>()->entity == entity) return row;
  }
  return std::nullopt;
}

void BaseCollectionSection::reloadSection(bool animated) {
  auto view = collectionView();
  if (!view) return;
  auto screen = platform::enclosingViewController<BaseCompositeListViewController>(*view);
  if (!screen || !screen->collectionViewDataSource()) return;
  auto snapshot = screen->collectionViewDataSource()->snapshot();
  const auto identity = snapshotSection();
  if (snapshot.containsSection(identity)) snapshot.reloadSections({identity});
  screen->collectionViewDataSource()->apply(std::move(snapshot), animated);
}

void BaseCollectionSection::reloadItem(const platform::AnyHashable& entity, bool animated) {
  auto view = collectionView();
  if (!view) return;
  auto screen = platform::enclosingViewController<BaseCompositeListViewController>(*view);
  if (!screen || !screen->collectionViewDataSource()) return;
  auto snapshot = screen->collectionViewDataSource()->snapshot();
  if (auto identity = snapshotItem(entity); identity && snapshot.containsItem(*identity)) {
    snapshot.reloadItems({*identity});
  }
  screen->collectionViewDataSource()->apply(std::move(snapshot), animated);
}

void BaseCollectionSection::register_(
    const std::shared_ptr<platform::CollectionView>& collectionView) {
  collectionView_ = collectionView;
  collectionView->registerCell<CompositeListSectionItemCell>(kDefaultCellReuseIdentifier);
  // Every section registers again: the kind is made into a string once.
  static const std::string kHeaderKind = platform::kElementKindSectionHeader;
  collectionView->registerSupplementaryView<CompositeListSectionHeaderView>(kHeaderKind,
                                                                            headerReuseIdentifier_);
}

std::optional<platform::CollectionLayoutSection> BaseCollectionSection::layoutSection(
    const platform::LayoutEnvironment&) const {
  platform::CollectionLayoutSection layout;
  layout.contentInsets = {0, 16, 0, 16};
  if (showHeaderView())
    layout.boundarySupplementaryKinds.emplace_back(platform::kElementKindSectionHeader);
  if (isSingleItem() && useAlternativeLayoutForSingleItem) layout.estimatedItemHeight = 88;
  return layout;
}

std::shared_ptr<platform::CollectionViewCell> BaseCollectionSection::cell(
    const CollectionViewSectionContext& context, const platform::IndexPath& indexPath) {
  auto cell = std::static_pointer_cast<CompositeListSectionItemCell>(
      context.collectionView->dequeueReusableCell(kDefaultCellReuseIdentifier, indexPath));
  cell->item = anyItem(indexPath);
  cell->showDisclosure = showDisclosure();
  return cell;
}

std::shared_ptr<platform::CollectionReusableView> BaseCollectionSection::supplementaryView(
    const CollectionViewSectionContext& context, const std::string& kind,
    const platform::IndexPath& indexPath) {
  if (kind != platform::kElementKindSectionHeader || !showHeaderView()) return nullptr;
  auto view = context.collectionView->dequeueReusableSupplementaryView(kind, headerReuseIdentifier_,
                                                                       indexPath);
  configureSupplementaryView(*view, indexPath);
  return view;
}

void BaseCollectionSection::configureSupplementaryView(platform::CollectionReusableView& view,
                                                       const platform::IndexPath&) {
  auto* header = dynamic_cast<CompositeListSectionHeaderView*>(&view);
  if (header == nullptr) return;
  header->title = title;
  header->subtitle = subtitle;
  header->showSeparator = showSeparator;
  header->showDisclosure = headerClickHandler != nullptr;
  header->onTap = headerClickHandler;
}

}  // namespace quarn
