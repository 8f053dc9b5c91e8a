/// @file
/// ResourceDownloaderError: the failures of ResourceDownloader that are its own (the platform's and
/// the HTTP client's errors pass through unchanged).

/// @class quarn::ResourceDownloaderError
/// The failures of ResourceDownloader that are its own
/// (the platform's and the HTTP client's errors pass through unchanged).
///
/// Kind: a value.
///
/// ```
///   try { co_await downloader->downloadFile(url); }
///   catch (const ResourceDownloaderError& e) { if (e.kind() == Kind::invalidFileName) ...; }
/// ```
#pragma once

#include <string>

#include "quarnkit/core/error.h"

namespace quarn {

class ResourceDownloaderError : public Error {
 public:
  /// Which failure it is.
  enum class Kind {
    /// The destination is not a local directory (not a file URL).
    missingDestinationUrl,
    /// Background downloads are in use but no application group is set.
    missingApplicationGroupIdentifier,
    /// The size probe succeeded without an HTTP response to read.
    failedParseResponse,
    /// The local file name (`fileName`) would not name a file inside the
    /// destination directory: empty, ".", "..", or holding "/" or NUL.
    invalidFileName,
  };

  /// An error of `kind`; `fileName` is the refused name, for invalidFileName.
  explicit ResourceDownloaderError(Kind kind, std::string fileName = {})
      : kind_(kind), fileName_(std::move(fileName)) {}

  /// Which failure it is.
  [[nodiscard]] Kind kind() const { return kind_; }
  /// The refused name, for invalidFileName.
  [[nodiscard]] const std::string& fileName() const { return fileName_; }
  /// The case's name; for invalidFileName also the refused name.
  [[nodiscard]] std::string description() const override;

 private:
  Kind kind_;
  std::string fileName_;
};

}  // namespace quarn
