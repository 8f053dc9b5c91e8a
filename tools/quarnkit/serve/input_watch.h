// InputWatch: tells the live preview that one of its input files changed:
// the template, the results and facts files, and every file under the
// includes folder. Appends are reported at once through the library's file
// watcher; a poll of each file's identity, size and modification time
// catches what the watcher does not report (an editor replacing the file by
// a rename, a file shrinking, appearing or going away).
//
// Kind: a unique object (neither copyable nor movable). Create, use and
// destroy it on the main context, which delivers the callback; the callback
// may not destroy the watch.
//
//   InputWatch watch({"t.json", "results.json"}, {"includes"}, 250ms, [&] { server.changed(); });
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "quarnkit/platform/file_watcher.h"

namespace quarn::tool {

class InputWatch {
 public:
  /// Watches `files` and the regular files under `folders` (among the
  /// first kMaxFolderEntries entries found there), checking every `poll`: the changes one poll
  /// finds are reported once; an append is reported as it happens.
  InputWatch(std::vector<std::filesystem::path> files, std::vector<std::filesystem::path> folders,
             std::chrono::milliseconds poll, std::function<void()> onChange);
  ~InputWatch();
  InputWatch(const InputWatch&) = delete;
  InputWatch& operator=(const InputWatch&) = delete;

  /// The entries (files and folders) under the folders looked at most.
  static constexpr std::size_t kMaxFolderEntries = 2000;
  /// Files watched for appends at most; the others are polled only.
  static constexpr std::size_t kMaxWatchers = 32;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace quarn::tool
