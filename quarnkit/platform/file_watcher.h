/// @file
/// FileWatcher: reports that a file grew (data was appended), on the main context, until the
/// watcher is destroyed.

/// @class quarn::platform::FileWatcher
/// Reports that a file grew (data was appended), on the main
/// context, until the watcher is destroyed.
///
/// Kind: a unique object (neither copyable nor movable).
///
/// ```
///   FileWatcher watcher(path);                 // throws std::system_error if it cannot be opened
///   watcher.setOnFileGrew([] { reload(); });
/// ```
///
/// Only growth is reported: replacing the file by a rename, deleting it or
/// truncating it is not. Create, use and destroy a watcher on the main context.
///
/// The callback may destroy the watcher (its call completes; nothing more is reported) or
/// replace itself (the new one gets the next growth). An exception it throws
/// propagates out of the main context's run; the watcher goes on reporting.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

namespace quarn::platform {

class FileWatcher {
 public:
  /// Opens and watches the file at `path`; throws std::system_error when it cannot be opened.
  explicit FileWatcher(const std::filesystem::path& path);
  ~FileWatcher();
  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;

  /// Called on the main context each time the file is seen to have grown;
  /// nothing silences the watcher without stopping it.
  void setOnFileGrew(std::function<void()> callback);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace quarn::platform
