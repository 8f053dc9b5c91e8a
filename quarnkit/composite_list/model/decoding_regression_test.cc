// Inputs that once stopped the template and result decoders, replayed: each
// must decode or fail with DecodingError.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "quarnkit/composite_list/testing/model_fixtures.h"

namespace quarn {
namespace {

std::vector<std::string> inputs(const std::string& folder) {
  std::vector<std::string> out;
  const std::filesystem::path dir = std::filesystem::path(QUARNKIT_FUZZ_REGRESSIONS) / folder;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    out.push_back(text.str());
  }
  return out;
}

TEST(DecodingRegressionTest, TemplatesDecodeOrFailCleanly) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<testing::ProductListDescription>();
  registry->register_<TemplateProvidingItemDescription>();
  const auto cases = inputs("composite_list_template");
  ASSERT_FALSE(cases.empty());
  for (const auto& text : cases) {
    try {
      decodeCompositeListTemplate(text, registry);
    } catch (const DecodingError&) {
    }
    // Without a class map anywhere, inline list entities are a decoding error.
    registry->entityClassMap.clear();
  }
  EXPECT_THROW(
      decodeCompositeListTemplate(
          R"([{"type":"list","entity":[{"class":"Product","id":1,"name":"a"}]}])", registry),
      DecodingError);
  registry->entityClassMap = testing::testClassMap();
  const auto items = decodeCompositeListTemplate(
      R"([{"type":"list","entity":[{"class":"Product","id":1,"name":"a"}]}])", registry);
  EXPECT_EQ(items[0].getEntityArray<CompositeListEntity<testing::Product>>()->size(), 1u)
      << "the registry's class map is used when the settings have none";
}

}  // namespace
}  // namespace quarn
