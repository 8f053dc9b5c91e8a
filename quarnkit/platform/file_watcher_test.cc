#include "quarnkit/platform/file_watcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/services.h"

using namespace quarn;
using namespace quarn::platform;
using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;

// A new file in the temporary directory, removed at the end of the test.
class TempFile {
 public:
  explicit TempFile(std::string_view content)
      : path_(fs::temp_directory_path() / ("quarnkit-watch-" + randomUUID().uuidString())) {
    std::ofstream(path_) << content;
  }
  ~TempFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void append(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::app) << text;
}

// Lets the main context deliver whatever the watchers have seen so far.
void settle() {
  runMainContextUntil([] { return false; }, 50ms);
}

// How many of this process's descriptors are open on something whose name
// starts with `prefix` (a path, or "anon_inode:inotify").
int descriptorsOpenOn(std::string_view prefix) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (!error && std::string_view(target.native()).starts_with(prefix)) ++count;
  }
  return count;
}

}  // namespace

TEST(FileWatcherTest, AMissingFileFailsConstructionWithTheOpenError) {
  try {
    FileWatcher watcher("/nonexistent/quarnkit/file");
    FAIL() << "constructed a watcher of a missing file";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
  }
}

TEST(FileWatcherTest, ReportsAppendsOnTheMainContext) {
  TempFile file("a");
  int grew = 0;
  bool onMain = false;
  FileWatcher watcher(file.path());
  watcher.setOnFileGrew([&] {
    ++grew;
    onMain = isOnMainContext();
  });
  append(file.path(), "more");
  EXPECT_TRUE(runMainContextUntil([&] { return grew > 0; }, 5s));
  EXPECT_TRUE(onMain);
  append(file.path(), "and more");
  EXPECT_TRUE(runMainContextUntil([&] { return grew > 1; }, 5s));
}

TEST(FileWatcherTest, RenameOverTruncationAndDeletionAreNotGrowth) {
  TempFile file("start");
  // A writer on the watched file itself: its appends still reach that file
  // after it has been replaced or deleted, so each one is a marker that the
  // events of the change before it have been delivered.
  const int writer = ::open(file.path().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(writer, 0) << errno;
  auto appendThroughWriter = [&](std::string_view text) {
    ASSERT_EQ(::write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  };
  int grew = 0;
  FileWatcher watcher(file.path());
  watcher.setOnFileGrew([&] { ++grew; });

  // Replaced by a larger file renamed over it.
  const fs::path replacement = file.path().string() + ".new";
  std::ofstream(replacement) << "a replacement much longer than the original";
  fs::rename(replacement, file.path());
  settle();
  EXPECT_EQ(grew, 0);
  appendThroughWriter("1");
  EXPECT_TRUE(runMainContextUntil([&] { return grew > 0; }, 5s));
  EXPECT_EQ(grew, 1);

  // Truncated: not growth; growing again afterwards is.
  ASSERT_EQ(::ftruncate(writer, 0), 0);
  settle();
  EXPECT_EQ(grew, 1);
  appendThroughWriter("2");
  EXPECT_TRUE(runMainContextUntil([&] { return grew > 1; }, 5s));
  EXPECT_EQ(grew, 2);

  // Deleted.
  fs::remove(file.path());
  settle();
  EXPECT_EQ(grew, 2);
  appendThroughWriter("3");
  EXPECT_TRUE(runMainContextUntil([&] { return grew > 2; }, 5s));
  EXPECT_EQ(grew, 3);
  ::close(writer);
}

TEST(FileWatcherTest, DestroyingTheWatcherStopsDeliveryAndClosesItsDescriptors) {
  TempFile file("start");
  const int inotifyBefore = descriptorsOpenOn("anon_inode:inotify");
  int grew = 0;
  {
    FileWatcher watcher(file.path());
    watcher.setOnFileGrew([&] { ++grew; });
    EXPECT_EQ(descriptorsOpenOn(file.path().native()), 1);
    EXPECT_EQ(descriptorsOpenOn("anon_inode:inotify"), inotifyBefore + 1);
    append(file.path(), "seen by the watcher, never delivered");
  }
  EXPECT_EQ(descriptorsOpenOn(file.path().native()), 0);
  EXPECT_EQ(descriptorsOpenOn("anon_inode:inotify"), inotifyBefore);
  append(file.path(), "after the watcher");
  settle();
  EXPECT_EQ(grew, 0);
}

TEST(FileWatcherTest, AWatcherDestroyedWhileItsNextReadIsQueuedIsNotCalled) {
  // The file grows again while the first report is being delivered, so the
  // watcher's next read completes at once and waits in the main context's
  // queue behind the watcher's destruction. The destruction also reopens the
  // file, taking the descriptor numbers the watcher freed: a late read that
  // still used them would find the file grown.
  TempFile file("start");
  std::optional<FileWatcher> watcher(std::in_place, file.path());
  std::vector<int> reopened;
  int calls = 0;
  watcher->setOnFileGrew([&] {
    if (++calls > 1) return;
    append(file.path(), "more");
    postToMain([&] {
      watcher.reset();
      for (int i = 0; i < 2; ++i) reopened.push_back(::open(file.path().c_str(), O_RDONLY));
    });
  });
  append(file.path(), "x");
  EXPECT_TRUE(runMainContextUntil([&] { return !watcher; }, 5s));
  settle();
  EXPECT_EQ(calls, 1);
  for (int fd : reopened) ::close(fd);
}
