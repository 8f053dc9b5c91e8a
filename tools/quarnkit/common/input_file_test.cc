// Reading input files: what is refused before a byte is read (directories,
// devices, pipes, files over the limit), read errors with their reason, the
// exact size boundary, numbers no double holds, and printable lines.
#include "tools/quarnkit/common/input_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

std::string refusal(const std::string& file, std::uint64_t maxBytes) {
  try {
    (void)readInputFile(file, maxBytes);
  } catch (const InputError& e) {
    return e.reason();
  }
  return "read";
}

TEST(InputFileTest, RefusesWhatIsNotARegularFileWithinTheLimit) {
  ScratchDirectory dir;
  const std::string ten = dir.write("ten.json", "[1,2,3,40]");
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string file;
    std::uint64_t maxBytes;
    const char* reason;
  };
  const Case cases[] = {
      {ten, 10, "read"},  // exactly at the limit
      {ten, 9, "larger than the 9 bytes limit (--max-file-size)"},
      {(dir.path() / "none.json").string(), 10, "cannot open: No such file or directory"},
      {dir.path().string(), 10, "is a directory"},
      {fifo, 10, "not a regular file"},  // refused without waiting for a writer
      {"/dev/zero", 10, "not a regular file"},
      {"/proc/self/mem", 10, "read error: Input/output error"},
      // A /proc file says it is empty; the limit still holds while reading.
      {"/proc/self/maps", 16, "larger than the 16 bytes limit (--max-file-size)"},
  };
  for (const Case& c : cases) EXPECT_EQ(refusal(c.file, c.maxBytes), c.reason) << c.file;
  EXPECT_EQ(readInputFile(ten, 10), "[1,2,3,40]");
  EXPECT_EQ(describeSize(std::uint64_t{64} << 20), "64 MiB");
  EXPECT_EQ(describeSize(1), "1 byte");
}

TEST(InputFileTest, NumbersNoDoubleHoldsAreNamedByTheirPath) {
  const auto pathOf = [](const char* text) -> std::string {
    try {
      (void)parseInputJSON("r.json", text);
    } catch (const InputError& e) {
      EXPECT_EQ(e.reason(), kNumberOutOfRange);
      return e.path();
    }
    return "parsed";
  };
  EXPECT_EQ(pathOf(R"([{"key": "c", "result": [{"price": 1e400}]}])"), "[0].result[0].price");
  EXPECT_EQ(pathOf(R"({"a": [[1, -1e999]]})"), "a[0][1]");
  EXPECT_EQ(pathOf("1e400"), "");
  EXPECT_EQ(pathOf(R"({"a": 1.7976931348623157e308, "b": 1e-400})"), "parsed");
  EXPECT_EQ(outOfRangeNumber(parseJSON(R"({"x": 1e400})"), "[3]"), "[3].x");
}

TEST(InputFileTest, LinesArePrintable) {
  EXPECT_EQ(printableLine(std::string("key \"a\0b\"\x1b[2J", 13)), "key \"a\\u0000b\"\\u001b[2J");
  EXPECT_EQ(printableLine("two\nlines\tand\r"), "two lines and ");
  EXPECT_EQ(printableLine("é ✓"), "é ✓");
  const InputError e(std::string("t\0.json", 7), "", "reason");
  EXPECT_EQ(std::string(e.what()), "t\\u0000.json: reason");
}

}  // namespace
}  // namespace quarn::tool
