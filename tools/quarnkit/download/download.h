// quarnkit download: fetches remote files into the library's download cache
// (or a directory of the caller's) through ResourceDownloader, several at a
// time, and prints each local path as its download ends. Files already in
// the cache are not fetched again. On a terminal one bar shows all downloads
// together; elsewhere a plain line follows each file.
//
//   quarnkit download https://cdn.example.com/a.mp4 https://cdn.example.com/b.mp4 --jobs 2
//   quarnkit download --usage          # the cache's size on disk
//   quarnkit download --clear          # empties it
//
// A failed download is one line naming its URL and the reason; the others go
// on, and the run exits with 1. SIGINT or SIGTERM, or standard output
// failing, ends the run at once, cancelling the downloads under way; their
// bytes stay beside the destination and the next run for the same URLs
// continues them (its bar counts them as done). Paths are printed as one
// printable line each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/quarnkit/download/download_progress.h"

namespace quarn::tool {

struct DownloadOptions {
  /// http or https URLs.
  std::vector<std::string> urls;
  /// The destination directory; none: the downloader's cache.
  std::optional<std::string> to;
  /// The local file name (one URL only); none: from the URL.
  std::optional<std::string> name;
  /// Downloads running at once.
  std::size_t jobs = 4;
  /// No progress on standard error.
  bool quiet = false;
};

/// The most downloads --jobs runs at once.
inline constexpr std::size_t kMaxDownloadJobs = 64;

/// How the download of one URL ended.
struct DownloadOutcome {
  std::string url;
  /// The local file, when it is there.
  std::optional<std::filesystem::path> path;
  /// Otherwise: "URL: reason".
  std::string error;
  /// The file was already on disk: no request was made.
  bool alreadyThere = false;
};

/// Told, on the main context, what a run does.
struct DownloadListener {
  /// Each URL once it has ended, in the order they end.
  std::function<void(const DownloadOutcome&)> finished;
  /// All downloads together, every `interval` seconds while they run.
  std::function<void(const TransferFigures&)> progress;
  double interval = 0.1;
};

/// Downloads every URL, at most `options.jobs` at once; the outcomes in the
/// order they ended. Runs the main context until all have ended.
std::vector<DownloadOutcome> downloadAll(const DownloadOptions& options,
                                         const DownloadListener& listener = {});
/// downloadAll() printing paths, failures and progress; 1 when a download
/// failed.
int runDownload(const DownloadOptions& options);

/// "12.0 MiB (12582912 bytes) in DIR": what the cache (or `to`) holds.
std::string downloadCacheUsage(const std::optional<std::string>& to);
/// Removes the cache (or `to`) with everything in it; says what it removed.
/// A directory that does not exist is an InputError.
std::string clearDownloadCache(const std::optional<std::string>& to);

}  // namespace quarn::tool
