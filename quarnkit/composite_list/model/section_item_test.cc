// Item records: decoding, default identifiers, decode-time random
// selection, result application, equality and the type-erased wrapper.
#include "quarnkit/composite_list/model/section_item.h"

#include <gtest/gtest.h>

#include <set>

#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/core/log.h"

namespace quarn {
namespace {

using testing::Article;
using testing::Product;
using Rows = CompositeListSectionItem<std::vector<CompositeListRow>>;

std::vector<AnyCompositeListItem> decode(std::string_view json,
                                         std::shared_ptr<CompositeListContext> context = nullptr) {
  JSONDecoder decoder;
  if (context) decoder.userInfo.set(std::string(kCompositeListContextKey), context);
  return decodeCompositeListTemplate(json, std::make_shared<CompositeListItemsRegistry>(), decoder);
}

TEST(CompositeListSectionItemTest, DecodesFieldsWithDefaults) {
  const auto items = decode(R"([
    {"type":"rows","uniqueId":"r","entityIds":[1,2],"entityId":9,"visibility":"pro",
     "start":0,"predicate":"is_pad == YES","vars":{"x":1},"filters":{"sort":"new"},
     "data":{"title":"Rows"},"entity":[{"text":"a"}],"fetchMode":"compose","items":[]},
    {"type":"divider","entityId":5,"filters":[1,2]},
    {"type":"rows","uniqueId":7},
    {"type":"divider","uniqueId":null}
  ])");
  ASSERT_EQ(items.size(), 4u);
  const auto& r = items[0];
  EXPECT_EQ(r.uniqueId(), "r");
  EXPECT_EQ(r.entityIds(), (std::vector<std::int64_t>{1, 2})) << "entityIds wins over entityId";
  EXPECT_EQ(r.visibility()->rawValue, "pro");
  EXPECT_EQ(r.startDate(), Date::fromTimeIntervalSinceReferenceDate(0));
  EXPECT_EQ(r.predicate(), "is_pad == YES");
  EXPECT_EQ(r.filters(), (ValueObject{{"sort", "new"}}));
  EXPECT_EQ(r.fetchMode(), CompositeListFetchMode::compose);
  ASSERT_TRUE(r.items());
  EXPECT_TRUE(r.items()->empty()) << "an empty items array stays present";
  EXPECT_EQ(r.base<std::vector<CompositeListRow>>()->entity()->front().text, "a");

  EXPECT_EQ(items[1].uniqueId(), "divider_1");
  EXPECT_EQ(items[1].entityIds(), std::vector<std::int64_t>{5});
  EXPECT_FALSE(items[1].filters()) << "filters that are not an object are dropped";
  EXPECT_FALSE(items[1].items());
  EXPECT_EQ(items[1].fetchMode(), CompositeListFetchMode::automatic);
  EXPECT_EQ(items[2].uniqueId(), "rows_2") << "a uniqueId of another type counts as absent";
  EXPECT_EQ(items[3].uniqueId(), "divider_3");
}

TEST(CompositeListSectionItemTest, MalformedMembersFailWithTheirPath) {
  struct Case {
    const char* json;
    const char* path;
  };
  const Case cases[] = {
      {R"([{"type":"rows"},{"type":"rows","data":{"headerAction":1}}])", "[1].data.headerAction"},
      {R"([{"type":"rows","entity":[{"text":"a"},{"details":"x"}]}])", "[0].entity[1]"},
      {R"([{"type":"rows","items":null}])", "[0].items"},
      {R"([{"type":"rows","fetchMode":"One"}])", "[0].fetchMode"},
      {R"([{"type":5}])", "[0].type"},
      {R"([{"uniqueId":"u","type":null}])", "[0].type"},
      {R"([{"type":"rows","entity":[{"text":null}]}])", "[0].entity[0].text"},
      {R"([{"type":"rows","entityId":"x"}])", "[0].entityId"},
      {R"([{"type":"rows","data":{"title":"t","others":[1]}}])", "[0].data"},
  };
  // "entityId" is only read when there is no "entityIds".
  EXPECT_EQ(decode(R"([{"type":"rows","entityIds":[1],"entityId":"x"}])")[0].entityIds(),
            std::vector<std::int64_t>{1});
  for (const auto& c : cases) {
    try {
      decode(c.json);
      ADD_FAILURE() << c.json;
    } catch (const DecodingError& e) {
      EXPECT_EQ(codingPathDescription(e.codingPath()), c.path) << e.description();
    }
  }
}

constexpr std::string_view kRandomRows = R"([{"type":"rows","data":{"random":true,"maxItems":2},
  "entity":[{"text":"1"},{"text":"2"},{"text":"3"},{"text":"4"},{"text":"5"}]}])";

std::vector<std::string> rowTexts(const AnyCompositeListItem& item) {
  std::vector<std::string> out;
  const auto rows = item.getEntityArray<CompositeListRow>();
  for (const auto& row : rows.value()) out.push_back(row.text);
  return out;
}

TEST(CompositeListSectionItemTest, RandomSelectionIsReproducibleForASeedAndCut) {
  auto seeded = [](std::uint64_t seed) {
    return std::make_shared<CompositeListContext>(
        std::make_shared<ArbitraryRandomNumberGenerator>(seed));
  };
  const auto a = rowTexts(decode(kRandomRows, seeded(42))[0]);
  EXPECT_EQ(a.size(), 2u);
  EXPECT_EQ(rowTexts(decode(kRandomRows, seeded(42))[0]), a);
  std::set<std::vector<std::string>> orders;
  for (std::uint64_t seed = 0; seed < 20; ++seed)
    orders.insert(rowTexts(decode(kRandomRows, seeded(seed))[0]));
  EXPECT_GT(orders.size(), 5u) << "different seeds give different selections";

  std::string fixed(kRandomRows);
  fixed.replace(fixed.find("true"), 4, "false");
  EXPECT_EQ(rowTexts(decode(fixed)[0]), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST(CompositeListSectionItemTest, ShuffleFollowsThePlatformAlgorithm) {
  // Draws replayed from a fixed sequence: offsets 2, 0, 1 over 4 elements.
  struct Scripted : RandomNumberGenerator {
    std::vector<std::uint64_t> draws;
    std::size_t i = 0;
    std::uint64_t next() override { return draws[i++]; }
  } g;
  // next(bound) takes the high word of draw * bound: draw = k/bound * 2^64.
  __extension__ using Wide = unsigned __int128;
  const auto draw = [](std::uint64_t k, std::uint64_t bound) {
    return static_cast<std::uint64_t>(((static_cast<Wide>(k) << 64) + bound - 1) / bound) + 1;
  };
  g.draws = {draw(2, 4), draw(0, 3), draw(1, 2)};
  std::vector<int> v{0, 1, 2, 3};
  shuffle(v, g);
  EXPECT_EQ(v, (std::vector<int>{2, 1, 3, 0}));
}

TEST(CompositeListSectionItemTest, SingleEntityUpdate) {
  testing::LogCapture log;
  CompositeListContext context(std::make_shared<ArbitraryRandomNumberGenerator>(1));
  CompositeListSectionItem<Product> item("p", CompositeListItemType::banner, Product{1, "a"},
                                         std::nullopt, false);
  item.update({"p", {AnyEntity(Product{2, "b"}), AnyEntity(Product{3, "c"})}}, context);
  EXPECT_EQ(item.entity(), (Product{2, "b"}));
  item.update({"p", {}}, context);
  EXPECT_FALSE(item.entity());
  EXPECT_TRUE(log.lines().empty()) << "an empty result clears without a line";
  item.setEntity(Product{1, "a"});
  item.update({"p", {AnyEntity(Article{"x"})}}, context);
  EXPECT_FALSE(item.entity());
  EXPECT_EQ(log.texts(LogLevel::error),
            std::vector<std::string>{"[CompositeListSectionItem] Not match entity type Article for "
                                     "section update: 'CompositeListSectionItem<Product>(uniqueId: "
                                     "\"p\", type: \"banner\")'"});
}

TEST(CompositeListSectionItemTest, ListUpdateShufflesWithTheAdvancingGenerator) {
  testing::LogCapture log;
  CompositeListContext context(std::make_shared<ArbitraryRandomNumberGenerator>(7));
  Rows rows("r", CompositeListItemType::rows, std::optional<std::int64_t>(), std::nullopt);
  rows.update({"r", {}}, context);
  ASSERT_TRUE(rows.entity());
  EXPECT_TRUE(rows.entity()->empty());

  CompositeListResult::Item result{"r", {}};
  for (int i = 0; i < 8; ++i)
    result.results.emplace_back(CompositeListRow(std::nullopt, std::to_string(i)));
  rows.update(result, context);
  EXPECT_EQ(rows.entity()->size(), 8u);
  EXPECT_EQ(rows.entity()->front().text, "0") << "no shuffle without data.random";

  CompositeListItemData random;
  random.random = true;
  rows.setData(random);
  rows.update(result, context);
  const auto first = *rows.entity();
  rows.update(result, context);
  EXPECT_NE(*rows.entity(), first) << "the generator advanced between the updates";

  result.results.emplace_back(Product{1, "p"});
  rows.update(result, context);
  EXPECT_FALSE(rows.entity());
  EXPECT_EQ(log.count("Not match entity type Array<Any>"), 1u);
}

TEST(AnyCompositeListItemTest, SnapshotIdentityAndEntityAccess) {
  auto record = std::make_shared<CompositeListSectionItem<Product>>(
      "p", CompositeListItemType::banner, Product{1, "a"}, std::nullopt, false);
  AnyCompositeListItem a(record);
  AnyCompositeListItem b = a;
  b.setSkipFetching(true);
  EXPECT_FALSE(a.skipFetching()) << "copies do not share their mutable fields";
  EXPECT_EQ(a, b);
  auto twin = std::make_shared<CompositeListSectionItem<Product>>(
      "p", CompositeListItemType::banner, Product{9, "other"}, std::nullopt, false);
  EXPECT_EQ(a, AnyCompositeListItem(twin)) << "records are equal by uniqueId and type";
  EXPECT_EQ(a.hash(), AnyCompositeListItem(twin).hash());
  EXPECT_NE(a, AnyCompositeListItem(std::make_shared<CompositeListSectionItem<Product>>(
                   "q", CompositeListItemType::banner, Product{1, "a"}, std::nullopt, false)));

  EXPECT_EQ(a.getEntityArray<Product>(), std::vector<Product>{(Product{1, "a"})});
  EXPECT_FALSE(a.getEntityArray<Article>());
  EXPECT_EQ(a.base<Product>(), record);
  EXPECT_FALSE(a.base<Article>());

  CompositeListContext context(std::make_shared<ArbitraryRandomNumberGenerator>(1));
  a.updateEntity({"p", {AnyEntity(Product{2, "b"})}}, context);
  EXPECT_EQ(record->entity(), (Product{2, "b"})) << "updates reach the shared record";
}

TEST(AnyCompositeListItemTest, SnapshotsKeepTheirFieldsWhateverTheRecordBecomes) {
  auto record = std::make_shared<CompositeListSectionItem<Product>>(
      "p", CompositeListItemType::banner, Product{1, "a"}, std::nullopt, false);
  record->setPredicate("before");  // no snapshot yet: written in place
  std::optional<AnyCompositeListItem> first(AnyCompositeListItem{record});
  record->setPredicate("after");
  record->setVars(Value(ValueObject{{"k", 1}}));
  EXPECT_EQ(first->predicate(), "before") << "a change after a snapshot leaves it as it was";
  EXPECT_FALSE(first->vars());
  const AnyCompositeListItem second(record);
  EXPECT_EQ(second.predicate(), "after");
  record->setPredicate("third");
  EXPECT_EQ(second.predicate(), "after");
  EXPECT_EQ(record->predicate(), "third");

  first.reset();

  // A snapshot of a record's first fields keeps them alive when every other
  // handle is gone.
  auto fresh = std::make_shared<CompositeListSectionItem<Product>>(
      "q", CompositeListItemType::banner, std::nullopt);
  const std::weak_ptr<CompositeListSectionItem<Product>> watch = fresh;
  const std::shared_ptr<const CompositeListItemFields> fields = fresh->snapshotFields();
  fresh.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(fields->uniqueId, "q");

  // A record no shared_ptr owns hands out a copy.
  CompositeListSectionItem<Product> local("l", CompositeListItemType::banner, std::nullopt);
  const auto copy = local.snapshotFields();
  local.setPredicate("later");
  EXPECT_FALSE(copy->predicate);
  EXPECT_EQ(local.predicate(), "later");
}

TEST(AnyCompositeListItemTest, TemplatingAgainFillsFromTheTemplateTexts) {
  auto items = decode(R"([{"type":"rows","uniqueId":"r","data":{"title":"Hi ${name}"}}])");
  const AnyCompositeListItem before = items[0];
  const auto once = templateText(items, ValueDictionary{{"name", "Ann"}});
  const auto twice = templateText(once, ValueDictionary{{"name", "Bob"}});
  EXPECT_EQ(before.data()->title, "Hi ${name}");
  EXPECT_EQ(once[0].data()->title, "Hi Ann");
  EXPECT_EQ(twice[0].data()->title, "Hi Bob");
  EXPECT_EQ(twice[0].base()->data()->title, "Hi Bob");
}

}  // namespace
}  // namespace quarn
