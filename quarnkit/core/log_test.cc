#include "quarnkit/core/log.h"

#include <gtest/gtest.h>

#include "quarnkit/core/error.h"
#include "quarnkit/core/type_name.h"

namespace quarn {
namespace {

TEST(LogTest, CaptureRecordsLinesOfEveryLevelWithTheirLogger) {
  testing::LogCapture capture;
  const Logger paging("Velmora", "Pagination");
  EXPECT_TRUE(Logger::enabled(LogLevel::debug));
  paging.debug("page {}", 2);
  defaultLogger().error("[X] failed '{}'", "k");
  auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (testing::LogLine{"Velmora/Pagination", LogLevel::debug, "page 2"}));
  EXPECT_EQ(lines[1], (testing::LogLine{"default", LogLevel::error, "[X] failed 'k'"}));
  EXPECT_EQ(capture.count("failed"), 1u);
}

TEST(LogTest, StdoutLinesCanBeRedirected) {
  testing::StdoutCapture capture;
  debugPrint("‼️ hello");
  EXPECT_EQ(capture.lines(), std::vector<std::string>{"‼️ hello"});
}

namespace ns {
struct Inner {};
template <class T>
struct Box {};
}  // namespace ns

TEST(TypeNameTest, UnqualifiedAndCompilerIndependent) {
  EXPECT_EQ(typeName<ns::Inner>(), "Inner");
  EXPECT_EQ(typeName<ns::Box<ns::Inner>>(), "Box<Inner>");
  EXPECT_EQ(typeName<std::vector<std::string>>(), "Array<String>");
  EXPECT_EQ(typeName<std::optional<std::int64_t>>(), "Optional<Int>");
  EXPECT_TRUE(qualifiedTypeName<ns::Inner>().starts_with("quarn::"));
  EXPECT_TRUE(qualifiedTypeName<ns::Inner>().ends_with("ns::Inner"));
}

TEST(FatalErrorDeathTest, WritesTheMessageAndAborts) {
  EXPECT_DEATH(fatalError("Fatal error"), "Fatal error");
}

}  // namespace
}  // namespace quarn
