// The preview end to end on small templates: the seed decides the random
// selection, results answer only the keys asked, text rows are filtered like
// items, the request body keeps template order, and the files next to a
// template are used unless others are named.
#include "tools/quarnkit/preview/preview.h"

#include <gtest/gtest.h>

#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/async.h"
#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

Preview previewOf(HostOptions options) {
  options.now = testing::kNow;
  HostPlatform platform(options.device, options.now);
  HostSession session(options);
  return runUntilComplete(makePreview(session));
}

std::vector<Value> rowsOf(const Preview& preview, const std::string& uniqueId) {
  for (const auto& s : preview.sections) {
    if (s.uniqueId == uniqueId) return s.rows;
  }
  return {};
}

TEST(PreviewTest, TheSeedDecidesTheRandomSelection) {
  ScratchDirectory dir;
  std::string entities;
  for (int i = 0; i < 12; ++i)
    entities += (i ? "," : "") + std::string(R"({"n": )") + std::to_string(i) + "}";
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([{"uniqueId": "l", "type": "card_list",
      "data": {"random": true, "maxItems": 5}, "entity": [)" +
                                                 entities + "]}]");
  options.seed = 7;
  const auto first = rowsOf(previewOf(options), "l");
  EXPECT_EQ(first.size(), 5u);
  EXPECT_EQ(rowsOf(previewOf(options), "l"), first);
  options.seed = 8;
  EXPECT_NE(rowsOf(previewOf(options), "l"), first);
}

TEST(PreviewTest, ResultsAnswerTheKeysAskedAndRowsAreFiltered) {
  ScratchDirectory dir;
  HostOptions options;
  options.templateFile = dir.write("t.json", R"([
    {"uniqueId": "shown", "type": "card"},
    {"uniqueId": "gone", "type": "card", "visibility": "hidden"},
    {"uniqueId": "rows", "type": "rows", "entity": [
      {"text": "everywhere"}, {"text": "tablet only", "predicate": "is_pad == YES"}]}
  ])");
  options.resultsFile = dir.write("r.json", R"([
    {"key": "gone", "result": {"class": "Promo", "id": 2}},
    {"key": "shown", "result": {"class": "Promo", "id": 1}}
  ])");
  quarn::testing::LogCapture log;
  const Preview phone = previewOf(options);
  EXPECT_EQ(log.count("Could not process"), 0u);
  EXPECT_EQ(rowsOf(phone, "shown"), (std::vector<Value>{Value{{"class", "Promo"}, {"id", 1}}}));
  EXPECT_EQ(rowsOf(phone, "rows").size(), 1u);
  ASSERT_TRUE(phone.request);
  std::vector<Value> keys;
  for (const Value& item : *phone.request->ifArray()) keys.push_back(*item.find("key"));
  EXPECT_EQ(keys, (std::vector<Value>{"shown", "rows"}));
  EXPECT_EQ(phone.templateItemCount, 3u);
  EXPECT_EQ(phone.processedItemCount, 2u);

  options.device = platform::UserInterfaceIdiom::tablet;
  EXPECT_EQ(rowsOf(previewOf(options), "rows").size(), 2u);
}

TEST(PreviewTest, FilesNextToTheTemplateAreUsedUnlessOthersAreNamed) {
  ScratchDirectory dir;
  HostOptions options;
  options.templateFile = dir.write("t.json", "[]");
  EXPECT_EQ(describeInputs(withSiblingFiles(options)), "no results, facts or includes");
  dir.write("results.json", "[]");
  dir.write("includes/a.json", "[]");
  options.environmentFile = "mine.json";
  const HostOptions filled = withSiblingFiles(options);
  EXPECT_EQ(filled.resultsFile, (dir.path() / "results.json").string());
  EXPECT_EQ(filled.environmentFile, "mine.json");
  EXPECT_EQ(filled.includesDirectory, (dir.path() / "includes").string());
}

}  // namespace
}  // namespace quarn::tool
