#include "quarnkit/platform/file_manager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "quarnkit/platform/detail/file_calls.h"
#include "quarnkit/platform/service.h"
#include "quarnkit/platform/services.h"

namespace quarn::platform {

namespace fs = std::filesystem;

namespace {

ServiceSlot<FileManager>& slot() {
  static ServiceSlot<FileManager> s([] { return std::make_shared<FileManager>(); });
  return s;
}

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
  throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

[[noreturn]] void fail(const std::string& what, const fs::path& from, const fs::path& to,
                       int error) {
  throw fs::filesystem_error(what, from, to, std::error_code(error, std::generic_category()));
}

// The nearest existing directory at or above `path` (made absolute).
fs::path nearestExistingDirectory(const fs::path& path) {
  std::error_code ignored;
  fs::path p = fs::absolute(path, ignored);
  while (!p.empty()) {
    const fs::file_status status = fs::status(p, ignored);
    if (fs::is_directory(status)) return p;
    if (!p.has_relative_path()) break;
    p = p.parent_path();
  }
  return "/";
}

bool sameFileSystem(const fs::path& a, const fs::path& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

fs::path makeUniqueDirectory(const fs::path& parent, const std::string& prefix) {
  std::string pattern = (parent / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    fail("cannot create an item-replacement directory", parent, errno);
  }
  return pattern;
}

}  // namespace

std::shared_ptr<FileManager> FileManager::defaultManager() { return slot().get(); }

void FileManager::setDefaultManager(std::shared_ptr<FileManager> manager) {
  slot().set(std::move(manager));
}

fs::path FileManager::userCachesDirectory() {
  fs::path directory;
  const char* xdg = std::getenv("XDG_CACHE_HOME");  // NOLINT(concurrency-mt-unsafe)
  const char* home = std::getenv("HOME");           // NOLINT(concurrency-mt-unsafe)
  if (xdg != nullptr && fs::path(xdg).is_absolute()) {
    directory = xdg;
  } else if (home != nullptr && *home != '\0') {
    directory = fs::path(home) / ".cache";
  } else {
    directory = fs::temp_directory_path();
  }
  createDirectory(directory, true);
  return directory;
}

bool FileManager::fileExists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

void FileManager::createDirectory(const fs::path& path, bool withIntermediateDirectories) {
  std::error_code error;
  if (withIntermediateDirectories) {
    fs::create_directories(path, error);
  } else {
    fs::create_directory(path, error);
  }
  if (error) throw fs::filesystem_error("cannot create the directory", path, error);
  // create_directories() succeeds on an existing file that is not a directory
  // only in some library versions: check what is there.
  if (!fs::is_directory(path)) fail("cannot create the directory", path, ENOTDIR);
}

void FileManager::moveItem(const fs::path& from, const fs::path& to) {
  if (fileExists(to)) fail("cannot move: an item is already at the destination", from, to, EEXIST);
  if (detail::renameFile(from.c_str(), to.c_str()) == 0) return;
  const int error = errno;
  if (error != EXDEV) fail("cannot move", from, to, error);
  // Another file system: copy beside `to`, then rename into place. The copy's
  // name is short (it fits wherever `to`'s name fits) and its own (two moves
  // into one directory never share it).
  const fs::path partial = to.parent_path() / (".partial-" + randomUUID().uuidString());
  std::error_code ignored;
  try {
    fs::remove_all(partial, ignored);
    fs::copy(from, partial, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    if (detail::renameFile(partial.c_str(), to.c_str()) != 0) {
      fail("cannot move", partial, to, errno);
    }
  } catch (...) {
    fs::remove_all(partial, ignored);
    throw;
  }
  fs::remove_all(from, ignored);
}

void FileManager::removeItem(const fs::path& path) {
  std::error_code error;
  const std::uintmax_t removed = fs::remove_all(path, error);
  if (error) throw fs::filesystem_error("cannot remove", path, error);
  if (removed == 0) fail("cannot remove", path, ENOENT);
}

fs::path FileManager::itemReplacementDirectory(const fs::path& appropriateFor) {
  const fs::path anchor = nearestExistingDirectory(appropriateFor);
  std::error_code ignored;
  const fs::path temporary = fs::temp_directory_path(ignored);
  if (!temporary.empty() && sameFileSystem(temporary, anchor)) {
    return makeUniqueDirectory(temporary, "quarnkit-replacement-");
  }
  return makeUniqueDirectory(anchor, ".quarnkit-replacement-");
}

std::optional<std::vector<FileManager::Item>> FileManager::contentsOfDirectory(
    const fs::path& directory) {
  std::error_code error;
  fs::recursive_directory_iterator it(directory, error);
  if (error) return std::nullopt;
  std::vector<Item> items;
  for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
    if (error) break;
    Item item{it->path(), std::nullopt};
    std::error_code sizeError;
    if (it->is_regular_file(sizeError) && !it->is_symlink(sizeError)) {
      const std::uintmax_t size = it->file_size(sizeError);
      if (!sizeError) item.totalFileSize = static_cast<std::int64_t>(size);
    }
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace quarn::platform
