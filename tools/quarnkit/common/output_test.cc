// Writing outputs: a file is replaced whole or not at all (its mode kept, no
// temporary file left behind), links are written through, and texts leave
// with the control characters a terminal would obey escaped.
#include "tools/quarnkit/common/output.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using testing::contentsOf;
using testing::ScratchDirectory;

std::size_t entries(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(OutputTest, ReplacesAFileWholeKeepingItsModeAndFollowingALink) {
  ScratchDirectory dir;
  const std::string file = dir.write("out.txt", "a much longer previous document\n");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  writeOutput(file, "new\n");
  EXPECT_EQ(contentsOf(file), "new\n");
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const auto link = dir.path() / "link.txt";
  std::filesystem::create_symlink("out.txt", link);
  writeOutput(link.string(), "through the link\n");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(contentsOf(file), "through the link\n");

  writeOutput((dir.path() / "fresh.txt").string(), "x");
  EXPECT_EQ(contentsOf((dir.path() / "fresh.txt").string()), "x");
  EXPECT_EQ(entries(dir.path()), 3u);
}

TEST(OutputTest, AFailedWriteLeavesThePreviousFileAndNoTemporary) {
  ScratchDirectory dir;
  const std::string file = dir.write("out.txt", "previous\n");
  // Over the file-size limit, a write fails with EFBIG (the signal ignored).
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
  std::string error;
  try {
    writeOutput(file, std::string(10000, 'x'));
  } catch (const OutputError& e) {
    error = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(error, file + ": cannot write: File too large");
  EXPECT_EQ(contentsOf(file), "previous\n");
  EXPECT_EQ(entries(dir.path()), 1u);

  // A directory that cannot take the temporary file names the target.
  EXPECT_THROW(writeOutput((dir.path() / "none" / "out.txt").string(), "x"), OutputError);
}

TEST(OutputTest, DevicesAreWrittenInPlace) {
  writeOutput(std::string("/dev/null"), "discarded");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_THROW(writeOutput(std::string("/dev/full"), "x"), OutputError);
}

TEST(OutputTest, EscapesWhatATerminalWouldObey) {
  EXPECT_EQ(printableText("T\x1b]0;pwned\a\x1b[2J"), "T\\u001b]0;pwned\\u0007\\u001b[2J");
  EXPECT_EQ(printableText(std::string("a\0b\r\x7f", 5)), "a\\u0000b\\u000d\\u007f");
  EXPECT_EQ(printableText("csi \xc2\x9b"
                          "31m, nel \xc2\x85"),
            "csi \\u009b31m, nel \\u0085");
  // Line breaks, tabs and other characters stay.
  EXPECT_EQ(printableText("two\nlines\tand é · ✓ \xc2"), "two\nlines\tand é · ✓ \xc2");
}

}  // namespace
}  // namespace quarn::tool
