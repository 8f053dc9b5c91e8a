// Inputs that once stopped the template and result decoders, replayed: each
// must decode or fail with DecodingError.
#include <gtest/gtest.h>

#include <filesystem>

#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

std::vector<std::string> inputs(const std::string& folder) {
  std::vector<std::string> out;
  for (auto& input :
       testing::keptInputs(std::filesystem::path(QUARNKIT_FUZZ_REGRESSIONS) / folder)) {
    out.push_back(std::move(input.bytes));
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
