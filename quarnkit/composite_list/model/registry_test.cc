// The registry, the template decoder and the descriptions.
#include "quarnkit/composite_list/model/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

TEST(CompositeListItemsRegistryTest, BuiltInsAndTheirReplacement) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  std::vector<std::string> types;
  for (const auto& d : registry->descriptions()) types.push_back(d.type().rawValue);
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

/// Banners whose type is given when made, so that a test can register many.
class NamedBanner : public BannerItemDescription<Product> {
 public:
  explicit NamedBanner(std::string type) : type_(std::move(type)) {}
  [[nodiscard]] CompositeListItemType type() const override { return type_; }

 private:
  CompositeListItemType type_;
};

std::vector<std::string> typesOf(const CompositeListItemsRegistry& registry) {
  std::vector<std::string> types;
  for (const auto& d : registry.descriptions()) types.push_back(d.type().rawValue);
  return types;
}

TEST(CompositeListItemsRegistryTest, ATypeIsNeverSilentlyRePointed) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  const auto promo = std::make_shared<const NamedBanner>("promo");
  registry->register_(promo);
  registry->register_(promo);  // the same again: nothing changes
  registry->register_<RowsItemDescription>();
  EXPECT_EQ(typesOf(*registry),
            (std::vector<std::string>{"divider", "rows", "tags", "include", "promo"}));

  const auto other = std::make_shared<const NamedBanner>("promo");
  try {
    registry->register_(other);
    FAIL() << "a second description took the type";
  } catch (const CompositeListRegistryConflict& e) {
    EXPECT_EQ(e.kind, CompositeListRegistryConflict::Kind::itemType);
    EXPECT_EQ(e.name, "promo");
    EXPECT_EQ(e.description(), "The item type \"promo\" is held by " + e.held + "; " + e.offered +
                                   " cannot take it over");
  }
  EXPECT_EQ(registry->description(CompositeListItemType("promo"))->base, promo);

  // A built-in gives way once; its replacement then holds the type like any other.
  class OtherTags : public TagsItemDescription {};
  registry->register_<OtherTags>();
  EXPECT_TRUE(registry->description<OtherTags>(CompositeListItemType::tags));
  EXPECT_THROW(registry->register_<TagsItemDescription>(), CompositeListRegistryConflict);
  EXPECT_TRUE(registry->description<OtherTags>(CompositeListItemType::tags));
  EXPECT_EQ(typesOf(*registry),
            (std::vector<std::string>{"divider", "rows", "include", "promo", "tags"}));
}

TEST(CompositeListItemsRegistryTest, EntityClassNamesKeepTheirType) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->registerEntityClass("Product", CompositeListEntityClass::of<Product>());
  const auto before = registry->entityClassMap();
  registry->registerEntityClass("Product", CompositeListEntityClass::of<Product>());
  EXPECT_THROW(registry->registerEntityClass("Product", CompositeListEntityClass::of<Article>()),
               CompositeListRegistryConflict);
  // All or nothing: the new name of a batch with a conflict is not added.
  CompositeListEntityClassMap batch;
  batch.emplace("Article", CompositeListEntityClass::of<Article>());
  batch.emplace("Product", CompositeListEntityClass::of<Article>());
  EXPECT_THROW(registry->registerEntityClasses(batch), CompositeListRegistryConflict);
  EXPECT_FALSE(registry->entityClassMap()->contains("Article"));
  EXPECT_EQ(registry->entityClassMap()->at("Product").typeName, typeName<Product>());

  registry->registerEntityClass("Article", CompositeListEntityClass::of<Article>());
  EXPECT_EQ(registry->entityClassMap()->size(), 2u);
  EXPECT_EQ(before->size(), 1u) << "a map handed out is a snapshot";
}

TEST(CompositeListItemsRegistryTest, EntriesOutliveLaterRegistrations) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  const AnyCompositeListItemDescription* rows = registry->description(CompositeListItemType::rows);
  for (int i = 0; i < 100; ++i) {
    registry->register_(std::make_shared<const NamedBanner>("type" + std::to_string(i)));
  }
  EXPECT_EQ(rows->type(), CompositeListItemType::rows);
  EXPECT_EQ(rows, registry->description(CompositeListItemType::rows));

  // Registering on one thread while another decodes: each element decodes
  // with the description it finds, or is skipped while it has none.
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 100; i < 400; ++i) {
      registry->register_(std::make_shared<const NamedBanner>("type" + std::to_string(i)));
    }
    done = true;
  });
  // How many decodes overlap the writer depends on the scheduler; what each
  // finds must be whole either way.
  do {
    const auto items =
        decodeCompositeListTemplate(R"([{"type":"type399"},{"type":"rows"}])", registry);
    ASSERT_LE(items.size(), 2u);
    for (const auto& item : items) EXPECT_FALSE(item.uniqueId().empty());
  } while (!done);
  writer.join();
  EXPECT_EQ(decodeCompositeListTemplate(R"([{"type":"type399"}])", registry).size(), 1u);
}

TEST(CompositeListItemDecoderTest, SkipsElementsWithoutTypeOrDescription) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  const auto items = decodeCompositeListTemplate(
      R"([{"uniqueId":"no type"},{"type":"unknown"},{"type":"divider"}])", registry);
  EXPECT_EQ(ids(items), std::vector<std::string>{"divider_2"});

  registry->setIgnoreItemTypes({CompositeListItemType::divider});
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
  const CompositeListResult::Item result{"l",
                                         {AnyEntity(Product{1, "a"}), AnyEntity(Article{"t"})}};
  registry->description(CompositeListItemType::list)->update(items[0], result, context);
  const auto entities = items[0].getEntityArray<CompositeListEntity<Product>>();
  ASSERT_EQ(entities->size(), 1u);
  EXPECT_EQ(entities->front().base(), (Product{1, "a"}));
  // The record holds the result's entity itself, and so does a copy of it.
  EXPECT_EQ(&entities->front().base(), result.results[0].get<Product>());
  const CompositeListEntity<Product> copy = entities->front();
  EXPECT_EQ(&copy.base(), result.results[0].get<Product>());
  EXPECT_EQ(log.count("[ListItemDescription<Product>] Not match entity type Article for section "
                      "update: 'CompositeListSectionItem<Array<CompositeListEntity<Product>>>"),
            1u);
}

// A list record of the host's own that sees every result applied to it.
class CountingListRecord
    : public CompositeListSectionItem<std::vector<CompositeListEntity<Product>>> {
 public:
  int updates = 0;
  void update(const CompositeListResult::Item& result, CompositeListContext& context) override {
    ++updates;
    CompositeListSectionItem::update(result, context);
  }
  static std::shared_ptr<CountingListRecord> decode(Decoder& d) {
    auto record = std::make_shared<CountingListRecord>();
    record->decodeFrom(d);
    return record;
  }
};

class CountingListDescription : public ListItemDescription<Product> {
 public:
  std::shared_ptr<Record> decode(Decoder& d) const override {
    return CountingListRecord::decode(d);
  }
};

TEST(CompositeListItemDescriptionTest, ListDescriptionAppliesResultsAsTheRecordWould) {
  std::vector<AnyEntity> products;
  for (int i = 0; i < 8; ++i) products.emplace_back(Product{i, std::to_string(i)});
  constexpr std::string_view kList = R"([{"type":"list","uniqueId":"l","data":{"random":true}}])";
  auto update = [&](const auto& registry) {
    const auto items = decodeCompositeListTemplate(kList, registry);
    CompositeListContext context(std::make_shared<ArbitraryRandomNumberGenerator>(3));
    registry->description(CompositeListItemType::list)->update(items[0], {"l", products}, context);
    return items[0];
  };
  auto plain = std::make_shared<CompositeListItemsRegistry>();
  plain->register_<ListItemDescription<Product>>();
  auto counting = std::make_shared<CompositeListItemsRegistry>();
  counting->register_<CountingListDescription>();
  const auto viaDescription = update(plain);
  const auto viaRecord = update(counting);

  // The record's own update() (reached through the subclass) shuffles the
  // same entities with the same generator into the same order.
  const auto* record = dynamic_cast<const CountingListRecord*>(viaRecord.base().get());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->updates, 1);
  const auto shuffled = viaDescription.getEntityArray<CompositeListEntity<Product>>();
  ASSERT_EQ(shuffled->size(), 8u);
  EXPECT_EQ(shuffled, viaRecord.getEntityArray<CompositeListEntity<Product>>());
  std::vector<std::int64_t> order;
  for (const auto& e : *shuffled) order.push_back(e.base().id);
  EXPECT_NE(order, (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5, 6, 7})) << "data.random shuffles";
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

// A list description that fetches its own entities: its provider gives the
// description's entity, a list of wrapped products.
class WrappedProductsProvider
    : public CompositeListEntityProviding<std::vector<CompositeListEntity<Product>>> {
 public:
  Async<std::optional<std::vector<CompositeListEntity<Product>>>> provideEntity(
      const CompositeListRequestParameters::Item&) override {
    co_return std::vector<CompositeListEntity<Product>>{CompositeListEntity(Product{1, "a"}),
                                                        CompositeListEntity(Product{2, "b"})};
  }
};

class SelfFetchingList
    : public EntityProvidingItemDescription<ListItemDescription<Product>, WrappedProductsProvider> {
 public:
  std::shared_ptr<WrappedProductsProvider> makeProvider(
      const CompositeListRequestParameters::Item&) const override {
    return std::make_shared<WrappedProductsProvider>();
  }
};

TEST(EntityProvidingDescriptionTest, ListDescriptionAppliesWhatItsProviderFetched) {
  testing::LogCapture log;
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<SelfFetchingList>();
  // Results decoded by class name hold bare products; those of the provider
  // hold them wrapped. Both reach the record, in order.
  const auto items = decodeCompositeListTemplate(
      R"([{"type":"list","uniqueId":"fetched"},{"type":"list","uniqueId":"mixed"}])", registry);
  CompositeListContext context(std::make_shared<ArbitraryRandomNumberGenerator>(3));
  const auto fetched = runUntilComplete(
      descriptionInstance<SelfFetchingList>()->fetchEntities(CompositeListRequestParameters::Item(
          "fetched", "list", std::nullopt, std::nullopt, std::nullopt)));
  ASSERT_TRUE(fetched);
  const auto* entry = registry->description(CompositeListItemType::list);
  entry->update(items[0], *fetched, context);
  entry->update(items[1], {"mixed", {AnyEntity(Product{3, "c"}), fetched->results[1]}}, context);

  auto ids = [](const AnyCompositeListItem& item) {
    std::vector<std::int64_t> out;
    for (const auto& e : item.getEntityArray<CompositeListEntity<Product>>().value_or(
             std::vector<CompositeListEntity<Product>>{})) {
      out.push_back(e.base().id);
    }
    return out;
  };
  EXPECT_EQ(ids(items[0]), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(ids(items[1]), (std::vector<std::int64_t>{3, 2}));
  EXPECT_EQ(log.count("Not match entity type"), 0u);
}

}  // namespace
}  // namespace quarn
