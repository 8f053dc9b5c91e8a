// Base and looping collection sections: derived flags, row identities and
// the looping arithmetic.
#include <gtest/gtest.h>

#include "quarnkit/composite_list/fetching/base_collection_section.h"
#include "quarnkit/composite_list/fetching/loop_collection_section.h"

namespace quarn {
namespace {

using platform::AnyHashable;
using platform::IndexPath;

std::shared_ptr<BaseCollectionSection> section(std::optional<std::string> title,
                                               std::vector<std::string> rows) {
  return std::make_shared<BaseCollectionSection>(std::move(title), std::nullopt, std::move(rows));
}

TEST(BaseCollectionSectionTest, SeparatorAndHeaderFromTitles) {
  struct Case {
    std::optional<std::string> title, subtitle;
    bool visible;  // starts with a separator and shows a header
  };
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt, false},
      {"   ", std::nullopt, false},
      {" \n\t\u00a0\u2028", std::nullopt, false},
      {"", "", false},
      {" Top ", std::nullopt, true},
      {std::nullopt, "sub", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title.value_or("<none>"));
    BaseCollectionSection s(c.title, c.subtitle, std::vector<int>{1});
    EXPECT_EQ(s.showSeparator, c.visible);
    EXPECT_EQ(s.showHeaderView(), c.visible);
    s.showSeparator = true;  // a separator alone shows the header
    EXPECT_TRUE(s.showHeaderView());
  }
}

TEST(BaseCollectionSectionTest, DisclosureAndRows) {
  auto one = section(std::nullopt, {"a"});
  auto two = section(std::nullopt, {"a", "b"});
  EXPECT_TRUE(one->isSingleItem());
  EXPECT_FALSE(one->showDisclosure());
  EXPECT_TRUE(two->showDisclosure());
  two->allowDisclosureIndicator = false;
  EXPECT_FALSE(two->showDisclosure());

  EXPECT_EQ(two->item<std::string>({0, 1}), "b");
  EXPECT_EQ(two->item<int>({0, 1}), std::nullopt);  // not an int
  EXPECT_EQ(two->anyItem({0, 2}), std::nullopt);
  const auto identity = two->snapshotItem(AnyHashable(std::string("b")));
  ASSERT_TRUE(identity);
  EXPECT_EQ(*identity, two->snapshotItems()[1]);
  EXPECT_EQ(two->snapshotItem(AnyHashable(std::string("z"))), std::nullopt);
}

TEST(BaseCollectionSectionTest, RowIdentitiesDependOnTheListAndTitles) {
  auto top = section("Top", {"a", "b"});
  auto more = section("More", {"a", "b"});
  auto other = section("Top", {"a", "c"});
  // The same entity in two sections is two rows.
  EXPECT_NE(top->snapshotItems()[0], more->snapshotItems()[0]);
  EXPECT_NE(top->snapshotItems()[0], other->snapshotItems()[0]);
  EXPECT_EQ(top->snapshotItems()[0], section("Top", {"a", "b"})->snapshotItems()[0]);
  EXPECT_EQ(top->snapshotSection(), section("Top", {"a", "b"})->snapshotSection());
  EXPECT_NE(top->snapshotSection(), more->snapshotSection());
  EXPECT_NE(top->snapshotSection(), other->snapshotSection());
  // Items given as a list, a view or taken over make the same rows.
  const std::vector<std::string> ab{"a", "b"};
  const BaseCollectionSection fromList("Top", std::nullopt, ab);
  const BaseCollectionSection fromView("Top", std::nullopt, std::span<const std::string>(ab));
  EXPECT_EQ(fromList.snapshotItems(), top->snapshotItems());
  EXPECT_EQ(fromView.snapshotItems(), top->snapshotItems());
  EXPECT_EQ(fromView.snapshotSection(), top->snapshotSection());
  // Rows set again change the identity with them.
  auto changed = section("Top", {"a", "b"});
  changed->setItems(std::vector<std::string>{"a", "c"});
  EXPECT_EQ(changed->snapshotSection(), other->snapshotSection());
  // Presence counts: no subtitle differs from an empty one.
  BaseCollectionSection none(std::nullopt, std::nullopt, std::vector<int>{1});
  BaseCollectionSection empty(std::nullopt, "", std::vector<int>{1});
  EXPECT_NE(none.snapshotSection(), empty.snapshotSection());
  EXPECT_EQ(top->uniqueItems()->at(1).entity, AnyHashable(std::string("b")));
  // Every row of a section carries the section's hash as decimal text, short
  // enough to be held without an allocation of its own.
  const auto rows = top->uniqueItems().value();
  const std::string& id = rows.at(0).identifier;
  EXPECT_EQ(id, rows.at(1).identifier);
  EXPECT_NE(id, more->uniqueItems().value().at(0).identifier);
  std::size_t parsed = 0;
  EXPECT_EQ(std::to_string(std::stoull(id, &parsed)), id);
  EXPECT_EQ(parsed, id.size());
  EXPECT_LE(id.size(), 15u);
  // A row's identity is its wrapper, hashed as any wrapper is.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(top->snapshotItems()[i], AnyHashable(rows[i]));
  }
}

TEST(BaseCollectionSectionTest, SectionsShowingRowsOfTheirOwnAreIdentifiedByThem) {
  // A section that shows other rows than the ones it was given.
  class Shown : public BaseCollectionSection {
   public:
    explicit Shown(const std::vector<int>& shown)
        : BaseCollectionSection("Same", std::nullopt, std::vector<int>{0}) {
      for (int row : shown) shown_.emplace_back(row);
    }
    const std::vector<AnyHashable>& snapshotItems() const override { return shown_; }

   private:
    std::vector<AnyHashable> shown_;
  };
  EXPECT_EQ(Shown({1, 2}).snapshotSection(), Shown({1, 2}).snapshotSection());
  EXPECT_NE(Shown({1, 2}).snapshotSection(), Shown({1, 3}).snapshotSection());
}

TEST(BaseCollectionSectionTest, RowsWithIdentifiersOfTheirOwnAreIdentifiedByThem) {
  // A section that names each row itself, some alike.
  class Named : public BaseCollectionSection {
   public:
    Named() : BaseCollectionSection("Named", std::nullopt) {
      setItems(std::vector<std::string>{"a", "b", "c", "d"});
    }
    std::vector<UniqueWrapper> makeUniqueItems(
        const std::vector<AnyHashable>& items) const override {
      const char* names[] = {"x", "x", "y", "x"};
      std::vector<UniqueWrapper> rows;
      for (std::size_t i = 0; i < items.size(); ++i) rows.push_back({names[i % 4], items[i]});
      return rows;
    }
  };
  const Named named;
  const auto rows = named.uniqueItems().value();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[2].identifier, "y");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(named.snapshotItems()[i], AnyHashable(rows[i])) << i;
  }
}

TEST(BaseCollectionSectionDeathTest, RowsMustBeSetBeforeTheyAreRead) {
  BaseCollectionSection s("Title", std::nullopt);
  EXPECT_EQ(s.snapshotItem(AnyHashable(1)), std::nullopt);
  EXPECT_DEATH((void)s.snapshotItems(), "Fatal error");
}

TEST(LoopCollectionSectionTest, Arithmetic) {
  auto real = section("Carousel", {"a", "b", "c"});
  real->allowDisclosureIndicator = false;
  real->compositeListItemType = CompositeListItemType::bannerList;
  LoopCollectionSection loop(real, 100);
  EXPECT_EQ(loop.title, "Carousel");
  EXPECT_FALSE(loop.allowDisclosureIndicator);
  EXPECT_EQ(loop.compositeListItemType, CompositeListItemType::bannerList);

  EXPECT_EQ(loop.realItemCount(), 3);
  EXPECT_EQ(loop.virtualItemCount(), 300);
  EXPECT_EQ(loop.middleVirtualIndex(), 150);
  EXPECT_EQ(loop.realIndex(151), 1);
  EXPECT_EQ(loop.realIndex(-4), -1);  // the remainder keeps the sign
  EXPECT_EQ(loop.realIndexPath({2, 299}), (IndexPath{2, 2}));
  EXPECT_EQ(loop.virtualIndexPath(2, 5), (IndexPath{5, 152}));
  EXPECT_EQ(loop.recenteredVirtualIndex(299), 152);
  EXPECT_EQ(loop.recenteredIndexPath({1, 4}), (IndexPath{1, 151}));
  for (auto [v, recenter] : std::vector<std::pair<std::int64_t, bool>>{
           {0, true}, {29, true}, {30, false}, {150, false}, {270, false}, {271, true}}) {
    EXPECT_EQ(loop.needsRecentering(v), recenter) << v;
  }

  const auto items = loop.snapshotItems();
  ASSERT_EQ(items.size(), 300u);
  EXPECT_EQ(items[151], AnyHashable(LoopCollectionSectionItem{151, real->snapshotItems()[1]}));
  EXPECT_EQ(loop.item<std::string>({0, 151}), "b");

  LoopCollectionSection odd(real, 7);  // 21 rows: middle is 9, the multiple of 3 below 10.5
  EXPECT_EQ(odd.middleVirtualIndex(), 9);

  const auto identity = loop.snapshotSection();
  loop.multiplier = 50;
  EXPECT_NE(loop.snapshotSection(), identity);
  EXPECT_EQ(loop.snapshotItems().size(), 150u);
}

TEST(LoopCollectionSectionTest, MakesItsRowsOncePerContent) {
  auto real = section("Carousel", {"a", "b", "c"});
  LoopCollectionSection loop(real, 1000);
  // A row held from the first asking is the very one later askings give:
  // the flags read the rows without making them again.
  const AnyHashable first = loop.snapshotItems()[1];
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(loop.showDisclosure());
    EXPECT_FALSE(loop.isSingleItem());
  }
  EXPECT_EQ(loop.snapshotItems()[1].get<LoopCollectionSectionItem>(),
            first.get<LoopCollectionSectionItem>());
  const auto version = loop.rowsVersion();
  EXPECT_EQ(loop.rowsVersion(), version);

  // New rows in the wrapped section, or a new multiplier, make them anew.
  real->setItems(std::vector<std::string>{"x"});
  EXPECT_NE(loop.rowsVersion(), version);
  ASSERT_EQ(loop.snapshotItems().size(), 1000u);
  EXPECT_EQ(loop.snapshotItems()[7],
            AnyHashable(LoopCollectionSectionItem{7, real->snapshotItems()[0]}));
  loop.multiplier = 1;
  EXPECT_TRUE(loop.isSingleItem());
  EXPECT_FALSE(loop.showDisclosure());

  // A loop over a loop follows the rows at the bottom.
  LoopCollectionSection outer(std::make_shared<LoopCollectionSection>(real, 2), 3);
  EXPECT_EQ(outer.snapshotItems().size(), 6u);
  real->setItems(std::vector<std::string>{"y", "z"});
  EXPECT_EQ(outer.snapshotItems().size(), 12u);
}

TEST(LoopCollectionSectionTest, WithoutRows) {
  LoopCollectionSection loop(section(std::nullopt, {}), 100);
  EXPECT_EQ(loop.virtualItemCount(), 0);
  EXPECT_EQ(loop.middleVirtualIndex(), 0);
  EXPECT_EQ(loop.realIndex(7), 0);
  EXPECT_FALSE(loop.needsRecentering(0));
  EXPECT_TRUE(loop.snapshotItems().empty());
}

}  // namespace
}  // namespace quarn
