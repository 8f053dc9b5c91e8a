#include "quarnkit/platform/file_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "quarnkit/platform/detail/file_calls.h"

namespace quarn::platform {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets an environment variable for the test's duration (unset when null).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;  // NOLINT(concurrency-mt-unsafe)
    set(value);
  }
  ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void set(const char* value) {
    if (value != nullptr) {
      ::setenv(name_, value, 1);  // NOLINT(concurrency-mt-unsafe)
    } else {
      ::unsetenv(name_);  // NOLINT(concurrency-mt-unsafe)
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("quarnkit-files-test-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }

  void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  FileManager files;
  fs::path root;
};

TEST_F(FileManagerTest, TheCachesDirectoryFollowsXdgThenHomeAndIsCreated) {
  {
    ScopedEnv xdg("XDG_CACHE_HOME", (root / "xdg/cache").c_str());
    EXPECT_EQ(files.userCachesDirectory(), root / "xdg/cache");
    EXPECT_TRUE(fs::is_directory(root / "xdg/cache"));
  }
  // A relative XDG_CACHE_HOME is ignored, as the convention says.
  ScopedEnv xdg("XDG_CACHE_HOME", "relative/cache");
  ScopedEnv home("HOME", (root / "home").c_str());
  EXPECT_EQ(files.userCachesDirectory(), root / "home/.cache");
  EXPECT_TRUE(fs::is_directory(root / "home/.cache"));
}

TEST_F(FileManagerTest, CreatingADirectoryOverAFileOrWithoutParentFails) {
  files.createDirectory(root / "a/b/c", true);
  files.createDirectory(root / "a/b/c", true);  // existing: fine
  EXPECT_TRUE(fs::is_directory(root / "a/b/c"));
  EXPECT_THROW(files.createDirectory(root / "x/y", false), fs::filesystem_error);
  write(root / "file", "f");
  EXPECT_THROW(files.createDirectory(root / "file", true), fs::filesystem_error);
  EXPECT_THROW(files.createDirectory(root / "file/sub", true), fs::filesystem_error);
}

TEST_F(FileManagerTest, MovingAcrossFileSystemsCopiesThenRemoves) {
  write(root / "from.bin", "payload");
  fs::create_directories(root / "to");
  {
    // The first rename reports another file system, as it would across mounts.
    platform::detail::FileCallFailure crossDevice(platform::detail::FileCall::rename, 1, EXDEV);
    files.moveItem(root / "from.bin", root / "to/file.bin");
    EXPECT_TRUE(crossDevice.fired());
  }
  EXPECT_EQ(contents(root / "to/file.bin"), "payload");
  EXPECT_FALSE(fs::exists(root / "from.bin"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root / "to"), fs::directory_iterator()), 1);

  // When the copy fails (here: no directory to copy into), nothing is left
  // and the source stays.
  write(root / "again.bin", "again");
  {
    platform::detail::FileCallFailure crossDevice(platform::detail::FileCall::rename, 1, EXDEV);
    EXPECT_THROW(files.moveItem(root / "again.bin", root / "none/again.bin"), fs::filesystem_error);
  }
  EXPECT_FALSE(fs::exists(root / "none"));
  EXPECT_EQ(contents(root / "again.bin"), "again");
}

TEST_F(FileManagerTest, MovingAFileWithTheLongestNameAcrossFileSystems) {
  // The copy's temporary name must fit wherever the final name fits.
  const std::string name(NAME_MAX, 'n');
  write(root / "long.bin", "long");
  fs::create_directories(root / "to");
  {
    platform::detail::FileCallFailure crossDevice(platform::detail::FileCall::rename, 1, EXDEV);
    files.moveItem(root / "long.bin", root / "to" / name);
  }
  EXPECT_EQ(contents(root / "to" / name), "long");
  EXPECT_EQ(std::distance(fs::directory_iterator(root / "to"), fs::directory_iterator()), 1);
}

TEST_F(FileManagerTest, MovingOntoAnExistingItemOrFromNowhereFails) {
  write(root / "a", "a");
  write(root / "b", "b");
  EXPECT_THROW(files.moveItem(root / "a", root / "b"), fs::filesystem_error);
  EXPECT_EQ(contents(root / "b"), "b");
  EXPECT_THROW(files.moveItem(root / "missing", root / "c"), fs::filesystem_error);
}

TEST_F(FileManagerTest, AReplacementDirectoryIsFreshAndOnTheDestinationsFileSystem) {
  const fs::path destination = root / "not/yet/made/file.bin";
  const fs::path a = files.itemReplacementDirectory(destination);
  const fs::path b = files.itemReplacementDirectory(destination);
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::is_empty(a));
  struct stat sa {};
  struct stat sr {};
  ASSERT_EQ(::stat(a.c_str(), &sa), 0);
  ASSERT_EQ(::stat(root.c_str(), &sr), 0);
  EXPECT_EQ(sa.st_dev, sr.st_dev);
  fs::remove_all(a);
  fs::remove_all(b);
}

TEST_F(FileManagerTest, EnumerationListsEverythingWithFileSizes) {
  write(root / "one", std::string(10, 'x'));
  write(root / "sub/two", std::string(32, 'y'));
  fs::create_symlink(root / "one", root / "link");
  auto items = files.contentsOfDirectory(root);
  ASSERT_TRUE(items);
  std::int64_t total = 0;
  std::size_t sized = 0;
  for (const auto& item : *items) {
    if (item.totalFileSize) {
      total += *item.totalFileSize;
      ++sized;
    }
  }
  EXPECT_EQ(items->size(), 4u);  // one, sub, sub/two, link
  EXPECT_EQ(sized, 2u);          // the directory and the link have no size
  EXPECT_EQ(total, 42);
  EXPECT_FALSE(files.contentsOfDirectory(root / "missing"));
}

TEST_F(FileManagerTest, RemovingTakesEverythingAndReportsAMissingItem) {
  write(root / "tree/a/b", "b");
  files.removeItem(root / "tree");
  EXPECT_FALSE(files.fileExists(root / "tree"));
  EXPECT_THROW(files.removeItem(root / "tree"), fs::filesystem_error);
}

}  // namespace
}  // namespace quarn::platform
