// Inputs that once stopped the template and result decoders, replayed: each
// must decode or fail with DecodingError.
#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>

#include "quarnkit/composite_list/testing/model_fixtures.h"
#include "quarnkit/testing/fuzz_replay.h"

namespace quarn {
namespace {

TEST(DecodingRegressionTest, TemplatesDecodeOrFailCleanly) {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<testing::ProductListDescription>();
  registry->register_<TemplateProvidingItemDescription>();
  testing::replayKeptInputs(
      std::filesystem::path(QUARNKIT_FUZZ_REGRESSIONS) / "composite_list_template",
      [&](const std::uint8_t* data, std::size_t size) {
        try {
          decodeCompositeListTemplate(std::string_view(reinterpret_cast<const char*>(data), size),
                                      registry);
        } catch (const DecodingError&) {
        }
        return 0;
      });
  // Without a class map anywhere, inline list entities are a decoding error.
  EXPECT_THROW(
      decodeCompositeListTemplate(
          R"([{"type":"list","entity":[{"class":"Product","id":1,"name":"a"}]}])", registry),
      DecodingError);
  registry->registerEntityClasses(testing::testClassMap());
  const auto items = decodeCompositeListTemplate(
      R"([{"type":"list","entity":[{"class":"Product","id":1,"name":"a"}]}])", registry);
  EXPECT_EQ(items[0].getEntityArray<CompositeListEntity<testing::Product>>()->size(), 1u)
      << "the registry's class map is used when the settings have none";
}

}  // namespace
}  // namespace quarn
