// The registry, the template decoder and the descriptions.
#include "quarnkit/composite_list/model/registry.h"

#include <gtest/gtest.h>

#include "quarnkit/composite_list/model/entity_providing.h"
#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn {
namespace {

using testing::Article;
using testing::Product;

std::vector<std::string> ids(const std::vector<AnyCompositeListItem>& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.uniqueId());
  return out;
}

TEST(CompositeListItemsRegistryTest, BuiltInsAndLastRegistrationWins) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  std::vector<std::string> types;
  for (const auto& d : registry->descriptions) types.push_back(d.type().rawValue);
  EXPECT_EQ(types, (std::vector<std::string>{"divider", "rows", "tags", "include"}));
  EXPECT_TRUE(registry->description<RowsItemDescription>(CompositeListItemType::rows));
  EXPECT_FALSE(registry->description<TagsItemDescription>(CompositeListItemType::rows));
  EXPECT_FALSE(registry->description(CompositeListItemType::banner));

  class OtherRows : public CompositeListItemDescription<std::vector<CompositeListRow>> {
   public:
    CompositeListItemType type() const override { return CompositeListItemType::rows; }
    std::shared_ptr<Record> decode(Decoder& d) const override {
      auto r = Record::decode(d);
      r->setPredicate("decoded by OtherRows");
      return r;
    }
  };
  registry->register_<OtherRows>();
  EXPECT_TRUE(registry->description<OtherRows>(CompositeListItemType::rows));
  const auto items = decodeCompositeListTemplate(R"([{"type":"rows"}])", registry);
  EXPECT_EQ(items[0].predicate(), "decoded by OtherRows");

  using RowsList = ListItemDescriptionOf<RowsItemDescription>;
  EXPECT_EQ(descriptionInstance<RowsList>()->type().rawValue, "rows_list");
  EXPECT_TRUE(descriptionInstance<RowsList>()->isList());
  EXPECT_TRUE(descriptionInstance<ListItemDescription<Product>>()->isDefault());
  EXPECT_EQ(descriptionInstance<IncludeItemDescription>()->descriptionTypeName(),
            "IncludeItemDescription");
  EXPECT_EQ(AnyCompositeListItemDescription(descriptionInstance<RowsList>()).type().rawValue,
            "rows_list");
}

TEST(CompositeListItemDecoderTest, SkipsElementsWithoutTypeOrDescription) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  const auto items = decodeCompositeListTemplate(
      R"([{"uniqueId":"no type"},{"type":"unknown"},{"type":"divider"}])", registry);
  EXPECT_EQ(ids(items), std::vector<std::string>{"divider_2"});

  registry->ignoreItemTypes = {CompositeListItemType::divider};
  const auto nested = decodeCompositeListTemplate(
      R"([{"type":"divider"},{"type":"rows","uniqueId":"r","items":[{"type":"divider"},{"type":"tags"}]}])",
      registry);
  EXPECT_EQ(ids(nested), std::vector<std::string>{"r"});
  EXPECT_EQ(ids(*nested[0].items()), std::vector<std::string>{"tags_1"});
}

TEST(CompositeListItemDecoderTest, ReadsDeviceVariantsWithTilde) {
  platform::ScopedService<platform::Device> tablet(
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::tablet));
  const auto items = decodeCompositeListTemplate(
      R"([{"type":"rows","data":{"title":"phone","title~ipad":"tablet"}}])",
      std::make_shared<CompositeListItemsRegistry>());
  EXPECT_EQ(items[0].data()->title, "tablet");
}

TEST(CompositeListItemDecoderTest, NestingBeyondTheDepthLimitIsAnError) {
  std::string json;
  for (int i = 0; i < 200; ++i) json += R"([{"type":"rows","items":)";
  json += "[]";
  for (int i = 0; i < 200; ++i) json += "}]";
  try {
    decodeCompositeListTemplate(json, std::make_shared<CompositeListItemsRegistry>());
    FAIL();
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::dataCorrupted);
  }
}

TEST(CompositeListItemDecoderTest, TemplateItemsHaveNoDecodableEntity) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<TemplateProvidingItemDescription>();
  EXPECT_EQ(decodeCompositeListTemplate(R"([{"type":"template"}])", registry).size(), 1u);
  EXPECT_THROW(decodeCompositeListTemplate(R"([{"type":"template","entity":[]}])", registry),
               DecodingError);
}

TEST(CompositeListItemDecoderDeathTest, MissingRegistryStops) {
  EXPECT_DEATH(JSONDecoder().decode<CompositeListItemDecoder>("[]"),
               "\\[CompositeListItemDecoder\\] Need to provide "
               "userInfo\\[.compositeListItemsReqistry\\] for decoder");
}

TEST(CompositeListItemDescriptionTest, DefaultRequestFiltersAndItems) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  const auto items = decodeCompositeListTemplate(R"([
      {"type":"rows","uniqueId":"a","data":{"maxItems":5},"filters":{"limit":10,"sort":"x"}},
      {"type":"rows","uniqueId":"b","data":{"maxItems":5}},
      {"type":"rows","uniqueId":"c"}])",
                                                 registry);
  const auto& rows = *registry->description(CompositeListItemType::rows);
  auto request = [&](const AnyCompositeListItem& item) {
    return runUntilComplete(rows.makeRequestParametersItem(*item.base()));
  };
  EXPECT_EQ(request(items[0])->filters, Value({{"limit", 10}, {"sort", "x"}}));
  EXPECT_EQ(request(items[1])->filters, Value({{"limit", 5}}));
  const auto c = request(items[2]);
  EXPECT_EQ(c->key, "c");
  EXPECT_EQ(c->type, CompositeListItemType::rows);
  EXPECT_FALSE(c->filters);

  using RowsList = ListItemDescriptionOf<RowsItemDescription>;
  const auto listRequest = runUntilComplete(
      descriptionInstance<RowsList>()->makeRequestParametersItem(*items[2].base()));
  EXPECT_EQ(listRequest->type.rawValue, "rows_list") << "the description's type, not the item's";
}

TEST(CompositeListItemDescriptionTest, ListDescriptionDropsEntitiesOfOtherTypes) {
  testing::LogCapture log;
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<ListItemDescription<Product>>();
  const auto items = decodeCompositeListTemplate(R"([{"type":"list","uniqueId":"l"}])", registry);
  CompositeListContext context(std::make_shared<ArbitraryRandomNumberGenerator>(3));
  registry->description(CompositeListItemType::list)
      ->update(items[0], {"l", {AnyEntity(Product{1, "a"}), AnyEntity(Article{"t"})}}, context);
  const auto entities = items[0].getEntityArray<CompositeListEntity<Product>>();
  ASSERT_EQ(entities->size(), 1u);
  EXPECT_EQ(entities->front().base(), (Product{1, "a"}));
  EXPECT_EQ(log.count("[ListItemDescription<Product>] Not match entity type Article for section "
                      "update: 'CompositeListSectionItem<Array<CompositeListEntity<Product>>>"),
            1u);
}

TEST(CompositeListItemDescriptionDeathTest, UpdateThroughAnotherDescriptionStops) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  const auto items = decodeCompositeListTemplate(R"([{"type":"divider"}])", registry);
  CompositeListContext context(std::make_shared<ArbitraryRandomNumberGenerator>(3));
  EXPECT_DEATH(
      registry->description(CompositeListItemType::include)->update(items[0], {"x", {}}, context),
      "Composite list item type mismatch. Expected base type CompositeListInclude, but "
      "received AnyCompositeListItem. Description type: IncludeItemDescription.");
}

class ProductProvider : public CompositeListEntityProviding<Product> {
 public:
  Async<std::optional<Product>> provideEntity(
      const CompositeListRequestParameters::Item& r) override {
    if (r.key == "none") co_return std::nullopt;
    co_return Product{42, r.key};
  }
};

class SelfFetchingBanner
    : public EntityProvidingItemDescription<BannerItemDescription<Product>, ProductProvider> {
 public:
  std::shared_ptr<ProductProvider> makeProvider(
      const CompositeListRequestParameters::Item& r) const override {
    if (r.key == "no provider") return nullptr;
    return std::make_shared<ProductProvider>();
  }
};

TEST(EntityProvidingDescriptionTest, FetchesThroughTheBuiltProvider) {
  const auto& d = *descriptionInstance<SelfFetchingBanner>();
  auto fetch = [&](const char* key) {
    return runUntilComplete(d.fetchEntities(CompositeListRequestParameters::Item(
        key, "banner", std::nullopt, std::nullopt, std::nullopt)));
  };
  const auto item = fetch("k");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->key, "k");
  EXPECT_EQ(*item->results.at(0).get<Product>(), (Product{42, "k"}));
  EXPECT_FALSE(fetch("none"));
  EXPECT_FALSE(fetch("no provider"));
}

}  // namespace
}  // namespace quarn
