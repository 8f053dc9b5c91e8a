// Include resolution and template decoding: where each kind of source
// points, which sources are refused and why, and how a broken template file
// is reported (file, JSON path, reason).
#include "tools/quarnkit/host/template_files.h"

#include <gtest/gtest.h>

#include "quarnkit/composite_list/model/section_item.h"
#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/tool_test_support.h"
#include "tools/quarnkit/host/generic_entity.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

struct Fixture {
  ScratchDirectory dir;
  std::shared_ptr<HostRegistry> host = std::make_shared<HostRegistry>(nullptr);
  std::shared_ptr<TemplateLoader> loader = std::make_shared<TemplateLoader>(
      host,
      std::make_shared<CompositeListContext>(std::make_shared<ArbitraryRandomNumberGenerator>(1)),
      InputLimits{}.maxFileSize);
  std::shared_ptr<IncludeChain> chain = std::make_shared<IncludeChain>(
      IncludedFile{(dir.path() / "t.json").string(), dir.path() / "t.json"}, InputLimits{});
  FileTemplateProvider provider{dir.path() / "includes", (dir.path() / "t.json").string(), loader,
                                chain};
};

TEST(FileTemplateProviderTest, ResolvesEachKindOfSource) {
  Fixture f;
  f.dir.write("includes/index.json", R"({"weekly": "deals_18", "broken": 3})");
  const auto includes = (f.dir.path() / "includes").string();
  using Source = CompositeListTemplateSource;
  EXPECT_EQ(f.provider.fileFor(Source::key("promo")).shown, includes + "/promo.json");
  EXPECT_EQ(f.provider.fileFor(Source::keyReference("weekly")).shown, includes + "/deals_18.json");
  EXPECT_EQ(f.provider.fileFor(Source::url(*URL::parse("extra/x.json"))).shown,
            includes + "/extra/x.json");
  EXPECT_EQ(f.provider.fileFor(Source::url(*URL::parse("extra/./y/../x%20y.json"))).shown,
            includes + "/extra/x y.json");
  // An absolute URL may name a file under the includes directory.
  EXPECT_EQ(f.provider.fileFor(Source::url(URL::fileURL(includes + "/x.json"))).shown,
            includes + "/x.json");
}

TEST(FileTemplateProviderTest, RefusesSourcesItCannotResolveSafely) {
  Fixture f;
  f.dir.write("includes/index.json", R"({"weekly": "../../etc/passwd", "number": 3})");
  using Source = CompositeListTemplateSource;
  struct Case {
    Source source;
    const char* reason;
  };
  const Case cases[] = {
      {Source::key("../secret"), "not a plain file name"},
      {Source::key("a/b"), "not a plain file name"},
      {Source::key(""), "not a plain file name"},
      {Source::keyReference("weekly"), "not a plain file name"},
      {Source::keyReference("number"), "no key for the reference \"number\""},
      {Source::keyReference("unknown"), "no key for the reference \"unknown\""},
      {Source::url(*URL::parse("https://example.com/t.json")), "remote templates are not fetched"},
      {Source::url(*URL::parse("file:///etc/passwd")), "outside the includes directory"},
      {Source::url(*URL::parse("/etc/passwd")), "outside the includes directory"},
      {Source::url(*URL::parse("../t.json")), "outside the includes directory"},
      {Source::url(*URL::parse("%2e%2e/%2e%2e/etc/passwd")), "outside the includes directory"},
      {Source::url(*URL::parse("a/%2E%2E/%2e%2E/t.json")), "outside the includes directory"},
      {Source::url(*URL::parse("a/..")), "outside the includes directory"},
  };
  for (const Case& c : cases) {
    try {
      (void)f.provider.fileFor(c.source);
      ADD_FAILURE() << c.source.rawValue() << " resolved";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos)
          << c.source.rawValue() << ": " << e.what();
    }
  }
  FileTemplateProvider bare(std::nullopt, (f.dir.path() / "t.json").string(), f.loader, f.chain);
  EXPECT_THROW((void)bare.fileFor(Source::key("promo")), InputError);
}

TEST(FileTemplateProviderTest, ProvidesDecodedItemsOrTheError) {
  Fixture f;
  f.dir.write("includes/promo.json", R"([{"uniqueId": "p", "type": "promo", "entity": {"a": 1}}])");
  const auto items =
      runUntilComplete(f.provider.provideTemplate(CompositeListTemplateSource::key("promo")));
  ASSERT_EQ(items.size(), 1u);
  ASSERT_TRUE(items[0].base<GenericEntity>());
  EXPECT_EQ(items[0].base<GenericEntity>()->entity()->value(), (Value{{"a", 1}}));
  EXPECT_THROW(
      runUntilComplete(f.provider.provideTemplate(CompositeListTemplateSource::key("missing"))),
      InputError);
}

TEST(TemplateLoaderTest, ReportsTheFileThePathAndTheReason) {
  Fixture f;
  struct Case {
    const char* text;
    const char* path;
    const char* reasonFragment;
  };
  const Case cases[] = {
      {R"([{"type": "rows"}, {"type": "rows", "data": {"maxItems": "ten"}}])", "[1].data.maxItems",
       ""},
      {R"([{"type": 3}])", "[0].type", ""},
      {R"({"type": "rows"})", "", "expected a JSON array"},
      {R"([{"type": "rows",)", "", ""},
      {R"([{"type": "include", "entity": {}}])", "[0].entity", "key"},
      {R"([{"type": "rows", "fetchMode": "Skip"}])", "[0].fetchMode", ""},
  };
  for (const Case& c : cases) {
    const std::string file = f.dir.write("t.json", c.text);
    try {
      (void)f.loader->load(file);
      ADD_FAILURE() << c.text << " decoded";
    } catch (const InputError& e) {
      EXPECT_EQ(e.file(), file) << c.text;
      EXPECT_EQ(e.path(), c.path) << c.text << ": " << e.what();
      EXPECT_FALSE(e.reason().empty());
      EXPECT_NE(e.reason().find(c.reasonFragment), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
    }
  }
  try {
    (void)f.loader->load((f.dir.path() / "none.json").string());
    ADD_FAILURE();
  } catch (const InputError& e) {
    EXPECT_NE(e.reason().find("cannot open"), std::string::npos);
  }
}

TEST(HostRegistryTest, DescribesEveryTypeOfATemplate) {
  Fixture f;
  const std::string file = f.dir.write("t.json", R"([
    {"type": "banner", "uniqueId": "b", "entity": {"title": "x"}},
    {"type": "product_list", "uniqueId": "p", "entity": [{"id": 1}, {"id": 2}],
     "items": [{"type": "nested_card"}]},
    {"type": "list", "uniqueId": "l", "entity": [{"class": "Product", "id": 3}]},
    {"type": "rows", "uniqueId": "r", "entity": [{"text": "a"}]}
  ])");
  const auto items = f.loader->load(file).items;
  ASSERT_EQ(items.size(), 4u);
  EXPECT_TRUE(items[0].base<GenericEntity>());
  EXPECT_EQ(items[1].getEntityArray<GenericEntity>()->size(), 2u);
  ASSERT_TRUE(items[1].items());
  EXPECT_EQ(items[1].items()->front().type().rawValue, "nested_card");
  EXPECT_EQ(
      items[2].getEntityArray<CompositeListEntity<GenericEntity>>()->front().base().className(),
      "Product");
  EXPECT_TRUE(items[3].getEntityArray<CompositeListRow>());
  EXPECT_EQ(f.host->genericTypes(),
            (std::vector<std::string>{"banner", "product_list", "nested_card", "list"}));
  // Result classes: "Row" decodes as a text row, any other as a generic entity.
  f.host->registerClasses(Value(Value::Array{Value{{"result", Value{{"class", "Promo"}}}}}));
  const auto map = f.host->registry()->entityClassMap();
  EXPECT_EQ(map->at("Row").typeName, typeName<CompositeListRow>());
  EXPECT_EQ(map->at("Promo").typeName, typeName<GenericEntity>());
}

}  // namespace
}  // namespace quarn::tool
