/// @file
/// FileManager: the file-system operations of the library's download cache — the user caches
/// directory, directories with intermediates, moves that also work across file systems, scratch
/// directories beside a destination, recursive enumeration with file sizes, and removal.

/// @class quarn::platform::FileManager
/// The file-system operations of the library's download cache —
/// the user caches directory, directories with intermediates, moves that also
/// work across file systems, scratch directories beside a destination,
/// recursive enumeration with file sizes, and removal.
///
/// Kinds: managers are unique objects (not copyable), installed as services;
/// Item is a value.
///
/// ```
///   auto files = platform::FileManager::defaultManager();
///   std::filesystem::path caches = files->userCachesDirectory();  // ~/.cache, made if missing
///   files->createDirectory(caches / "a/b", true);
///   files->moveItem(downloaded, caches / "a/b/file.bin");
/// ```
///
/// Failures throw std::filesystem::filesystem_error (a std::system_error)
/// naming the paths; the queries (fileExists, contentsOfDirectory) report
/// through their result instead. The default manager is stateless and may be
/// used from any thread; hosts and tests may install another.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace quarn::platform {

class FileManager {
 public:
  FileManager() = default;
  virtual ~FileManager() = default;
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  /// The process-wide manager; setDefaultManager(nullptr) restores the default.
  static std::shared_ptr<FileManager> defaultManager();
  /// Replaces the process-wide manager (null: the default).
  static void setDefaultManager(std::shared_ptr<FileManager> manager);

  /// The user's caches directory: $XDG_CACHE_HOME when it is an absolute
  /// path, else $HOME/.cache (else the system's temporary directory);
  /// created with its intermediates when missing.
  virtual std::filesystem::path userCachesDirectory();

  /// Whether something (a file, a directory, a dangling symbolic link) is
  /// at `path`.
  virtual bool fileExists(const std::filesystem::path& path);

  /// Creates the directory `path`; an existing directory is not an error.
  /// Without `withIntermediateDirectories`, its parent must exist.
  virtual void createDirectory(const std::filesystem::path& path, bool withIntermediateDirectories);

  /// Moves the item at `from` to `to`, which must not exist. Across file
  /// systems the item is copied beside `to` under a hidden name, renamed into
  /// place and only then removed at `from`: nothing partial is ever at `to`.
  virtual void moveItem(const std::filesystem::path& from, const std::filesystem::path& to);

  /// Removes the file or the directory with everything in it at `path`; a
  /// missing item is an error (no_such_file_or_directory).
  virtual void removeItem(const std::filesystem::path& path);

  /// A new, empty directory on the same file system as `appropriateFor` (an
  /// existing path or one whose nearest existing ancestor decides), so that a
  /// file staged there moves to `appropriateFor` by a rename. The caller
  /// removes it when done.
  virtual std::filesystem::path itemReplacementDirectory(
      const std::filesystem::path& appropriateFor);

  /// One item of an enumeration: its path, and its size in bytes when it is
  /// a regular file.
  struct Item {
    /// The item's path.
    std::filesystem::path path;
    /// Its size in bytes, for a regular file.
    std::optional<std::int64_t> totalFileSize;
  };
  /// Everything below `directory`, recursively (symbolic links are listed,
  /// not followed); nothing when the directory cannot be enumerated.
  virtual std::optional<std::vector<Item>> contentsOfDirectory(
      const std::filesystem::path& directory);
};

}  // namespace quarn::platform
