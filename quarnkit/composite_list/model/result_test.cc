// Results, entities by class name, rows and request parameters.
#include "quarnkit/composite_list/model/result.h"

#include <gtest/gtest.h>

#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/composite_list/model/request_parameters.h"
#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/core/log.h"

namespace quarn {
namespace {

using testing::Article;
using testing::Product;

CompositeListResult decode(std::string_view json) {
  return decodeCompositeListResult(json, testing::testClassMap());
}

TEST(CompositeListResultTest, DecodesEntitiesByClassName) {
  EXPECT_TRUE(decode("[]").items.empty());
  testing::LogCapture log;
  const auto result = decode(R"([
    {"key":"a","result":[{"class":"Product","id":1,"name":"x"},{"class":"Nope"},
                         {"class":"Article","title":"t"}]},
    {"key":"b","result":{"class":"Product","id":2,"name":"y"}},
    {"key":"c","result":{"class":"Nope"}},
    {"key":"d","result":{"class":"Product","id":"bad"}},
    {"key":"e"},
    {"key":"f","result":null}
  ])");
  ASSERT_EQ(result.items.size(), 6u);
  const auto& a = result.items[0].results;
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(*a[0].get<Product>(), (Product{1, "x"}));
  EXPECT_EQ(a[1].get<Article>()->title, "t");
  EXPECT_EQ(a[1].typeName(), "Article");
  EXPECT_EQ(result.items[1].results.size(), 1u);
  for (std::size_t i = 2; i < 6; ++i) EXPECT_TRUE(result.items[i].results.empty()) << i;
  EXPECT_EQ(log.texts(LogLevel::error),
            (std::vector<std::string>(
                2,
                "[CompositeListResultItem] Could not find a matching type to decode the model "
                "with class 'Nope'")));
}

TEST(CompositeListResultTest, MalformedEntitiesInAnArrayFailTheResult) {
  struct Case {
    const char* json;
    const char* path;
  };
  const Case cases[] = {
      {R"([{"key":"a","result":[{"class":"Row","text":"a"},{"class":"Row","text":5}]}])",
       "[0].result[1].text"},
      {R"([{"key":"a","result":[{"text":"no class"}]}])", "[0].result[0]"},
      {R"([{"result":[]}])", "[0]"},
  };
  for (const auto& c : cases) {
    try {
      decode(c.json);
      ADD_FAILURE() << c.json;
    } catch (const DecodingError& e) {
      EXPECT_EQ(codingPathDescription(e.codingPath()), c.path) << e.description();
    }
  }
}

TEST(CompositeListResultDeathTest, MissingClassMapStops) {
  EXPECT_DEATH(JSONDecoder().decode<CompositeListResult>(R"([{"key":"a"}])"),
               "\\[CompositeListResultItem\\] Need to provide "
               "userInfo\\[.compositeListEntityClassMap\\] for decoder");
}

TEST(CompositeListEntityTest, WrapsByValueAndDecodesByClass) {
  EXPECT_EQ(CompositeListEntity<Product>(Product{1, "a"}),
            CompositeListEntity<Product>(Product{1, "a"}));
  EXPECT_NE(CompositeListEntity<Product>(Product{1, "a"}),
            CompositeListEntity<Product>(Product{2, "a"}));
  JSONDecoder d;
  d.userInfo.set(std::string(kCompositeListEntityClassMapKey),
                 std::make_shared<const CompositeListEntityClassMap>(testing::testClassMap()));
  EXPECT_EQ(
      d.decode<CompositeListEntity<Product>>(R"({"class":"Product","id":1,"name":"a"})").base(),
      (Product{1, "a"}));
  for (const char* wrong : {R"({"class":"Article","title":"t"})", R"({"class":"Nope"})"}) {
    try {
      d.decode<CompositeListEntity<Product>>(wrong);
      ADD_FAILURE() << wrong;
    } catch (const DecodingError& e) {
      EXPECT_EQ(e.kind(), DecodingError::Kind::typeMismatch);
      EXPECT_EQ(e.type(), "Product");
    }
  }
  try {
    JSONDecoder().decode<CompositeListEntity<Product>>(R"({"class":"Product"})");
    ADD_FAILURE() << "decoded without a class map";
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::dataCorrupted);
  }
  EXPECT_EQ(JSONEncoder().encode(CompositeListEntity<Product>(Product{1, "a"})),
            R"({"id":1,"name":"a"})");
  EXPECT_EQ(JSONEncoder().encode(CompositeListEntity<Article>(Article{"t"})), "{}");
}

TEST(CompositeListRowTest, DecodesEncodesAndCompares) {
  const auto row = JSONDecoder().decode<CompositeListRow>(R"({"text":"only"})");
  EXPECT_EQ(row, CompositeListRow(std::nullopt, "only"));
  const std::string full =
      R"({"id":"1","text":"t","details":"d","imageUrl":"https://i/1.png","actionLink":"app://x",)"
      R"("visibility":"pro","start":1,"expiry":2,"predicate":"TRUEPREDICATE","vars":{"a":1}})";
  const auto r = JSONDecoder().decode<CompositeListRow>(full);
  EXPECT_EQ(JSONEncoder().encode(r), full);
  auto other = r;
  other.vars = Value({{"a", 2}});
  EXPECT_NE(r, other);
  EXPECT_EQ(r.hash(), JSONDecoder().decode<CompositeListRow>(full).hash());
  EXPECT_THROW(JSONDecoder().decode<CompositeListRow>(R"({"details":"x"})"), DecodingError);
}

TEST(CompositeListRequestParametersTest, EncodesTheBareArrayWithAbsentMembersOmitted) {
  using Item = CompositeListRequestParameters::Item;
  CompositeListRequestParameters params{"home", {}};
  EXPECT_EQ(JSONEncoder().encode(params), "[]");
  params.items.push_back(Item::withFilterDictionary("a", CompositeListItemType::rows, std::nullopt,
                                                    ValueDictionary{}, std::nullopt));
  params.items.push_back(
      Item::withFilterDictionary("b", "banner", 7, ValueDictionary{{"limit", 5}}, std::nullopt));
  params.items.push_back(
      Item::group("g", {Item("c", "tags", std::nullopt, Value("x"), std::nullopt)}));
  EXPECT_EQ(
      JSONEncoder().encode(params),
      R"([{"key":"a","type":"rows"},{"key":"b","type":"banner","id":7,"filters":{"limit":5}},)"
      R"({"key":"g","type":"list","items":[{"key":"c","type":"tags","filters":"x"}]}])");
}

}  // namespace
}  // namespace quarn
