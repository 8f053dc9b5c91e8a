/// @file
/// ResourceDownloaderTask: one running download of a ResourceDownloader, as its task map holds it:
/// an identifier, the awaited local file URL and the progress of the transfer.

/// @class quarn::ResourceDownloaderTask
/// One running download of a ResourceDownloader, as
/// its task map holds it: an identifier, the awaited local file URL and the
/// progress of the transfer.
///
/// Kind: tasks are shared objects, made by their make().
///
/// ```
///   if (auto task = downloader->downloadTask(remoteURL)) {
///     show(task->progress());
///     URL local = co_await task->value();
///   }
/// ```
#pragma once

#include <memory>
#include <string>

#include "quarnkit/core/url.h"
#include "quarnkit/platform/progress.h"
#include "quarnkit/platform/runtime/async_fwd.h"

namespace quarn {

class ResourceDownloaderTask {
 public:
  ResourceDownloaderTask() = default;
  virtual ~ResourceDownloaderTask() = default;
  ResourceDownloaderTask(const ResourceDownloaderTask&) = delete;
  ResourceDownloaderTask& operator=(const ResourceDownloaderTask&) = delete;

  /// Tells this download apart from every other one.
  [[nodiscard]] virtual std::string identifier() const = 0;
  /// The local file URL once the download is done; throws its failure. Any
  /// number of callers may await it. A cancelled caller stops waiting at
  /// once; the download itself is cancelled when no other caller waits.
  /// Await it from the main context.
  virtual Async<URL> value() = 0;
  /// The transfer's progress (total and completed units are bytes).
  [[nodiscard]] virtual std::shared_ptr<platform::Progress> progress() const = 0;
};

}  // namespace quarn
