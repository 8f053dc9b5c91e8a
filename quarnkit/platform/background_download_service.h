/// @file
/// BackgroundDownloadService: the platform's service that downloads files for an application group
/// outside the application's own transfers, and tells a delegate about them on threads of its own.

/// @class quarn::platform::BackgroundDownloadService
/// The platform's service that downloads files for
/// an application group outside the application's own transfers, and tells a
/// delegate about them on threads of its own.
///
/// Kinds: BackgroundDownload, AuthenticationChallenge, URLCredential and the
/// error are values; services and their exclusive-control sections are unique
/// objects (not copyable); a delegate is a shared object (held weakly).
///
/// ```
///   auto service = platform::BackgroundDownloadService::current();
///   if (service->isAvailable()) {
///     service->setDelegate(myDelegate);                 // held weakly
///     auto control = co_await service->exclusiveControl();
///     for (const auto& d : service->currentDownloads()) ...;
///     service->startForeground(download);
///   }                                                   // control released here
/// ```
///
/// The default service is unavailable: every operation throws
/// BackgroundDownloadUnavailable, so hosts without one use plain HTTP
/// downloads. Operations may be called from any thread; delegate callbacks
/// arrive on the service's threads, never on the main context.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/core/url.h"
#include "quarnkit/platform/runtime/async_fwd.h"

namespace quarn::platform {

/// One download of the service.
struct BackgroundDownload {
  /// What is downloaded.
  enum class Kind {
    url,    ///< A file at a URL.
    other,  ///< A kind this library does not start (the service may report it).
  };
  /// What is downloaded.
  Kind kind = Kind::url;
  /// The identifier the starter gave it.
  std::string identifier;
  /// The service's own identifier for it, unique across launches.
  std::string uniqueIdentifier;
  /// What to GET (no headers are sent).
  URL url;
  /// Whether the application cannot start without it.
  bool essential = false;
  /// The expected size in bytes (0: unknown).
  std::int64_t fileSize = 0;
  /// The application group the download belongs to.
  std::string applicationGroupIdentifier;
  /// The download's priority among the service's.
  std::int64_t priority = 0;
};

/// The error of the default service.
class BackgroundDownloadUnavailable : public std::runtime_error {
 public:
  BackgroundDownloadUnavailable()
      : std::runtime_error("the background download service is not available") {}
};

/// An authentication challenge of a download, and how it is answered.
struct AuthenticationChallenge {
  std::string host;                  ///< The host asking.
  std::string authenticationMethod;  ///< How it asks (basic, a server trust, ...).
};
/// How a challenge is answered.
enum class AuthChallengeDisposition { useCredential, performDefaultHandling, cancel, reject };
/// A user name and password answering a challenge.
struct URLCredential {
  std::string user;      ///< The user name.
  std::string password;  ///< The password.
};

/// What the service tells about its downloads; called on its own threads.
class BackgroundDownloadDelegate {
 public:
  BackgroundDownloadDelegate() = default;
  virtual ~BackgroundDownloadDelegate() = default;
  BackgroundDownloadDelegate(const BackgroundDownloadDelegate&) = delete;
  BackgroundDownloadDelegate& operator=(const BackgroundDownloadDelegate&) = delete;
  /// `bytesWritten` more bytes of `download` arrived: `totalBytesWritten` of
  /// `totalExpectedBytesToWrite` in all.
  virtual void didWriteBytes(const BackgroundDownload& download, std::int64_t bytesWritten,
                             std::int64_t totalBytesWritten,
                             std::int64_t totalExpectedBytesToWrite) = 0;
  /// The file is the delegate's only until this returns: move it away first.
  virtual void finishedWithFileURL(const BackgroundDownload& download, const URL& fileURL) = 0;
  /// `download` failed with `error`.
  virtual void failedWithError(const BackgroundDownload& download, std::exception_ptr error) = 0;
  /// `download` meets an authentication challenge; `completion` answers it.
  virtual void didReceive(
      const BackgroundDownload& download, const AuthenticationChallenge& challenge,
      std::function<void(AuthChallengeDisposition, std::optional<URLCredential>)> completion) = 0;
};

/// Runs downloads outside the application's own process, so that they go on
/// while it is suspended (an interface; the default one is unavailable on
/// Linux). A unique object, current through current().
class BackgroundDownloadService {
 public:
  BackgroundDownloadService() = default;
  virtual ~BackgroundDownloadService() = default;
  BackgroundDownloadService(const BackgroundDownloadService&) = delete;
  BackgroundDownloadService& operator=(const BackgroundDownloadService&) = delete;

  /// The service of this process; setCurrent(nullptr) restores the default.
  static std::shared_ptr<BackgroundDownloadService> current();
  /// Replaces the service of this process (null: the default).
  static void setCurrent(std::shared_ptr<BackgroundDownloadService> service);

  /// Held while some caller is inside the exclusive-control section; the
  /// section ends when the last copy is dropped.
  class ExclusiveControl {
   public:
    ExclusiveControl() = default;
    virtual ~ExclusiveControl() = default;
    ExclusiveControl(const ExclusiveControl&) = delete;
    ExclusiveControl& operator=(const ExclusiveControl&) = delete;
  };

  /// Whether the service exists on this platform.
  [[nodiscard]] virtual bool isAvailable() const = 0;
  /// The delegate, held weakly.
  virtual void setDelegate(std::weak_ptr<BackgroundDownloadDelegate> delegate) = 0;
  /// Enters the section that serialises check-then-start and cancellation
  /// against other users of the service; throws when it cannot be entered.
  virtual Async<std::shared_ptr<ExclusiveControl>> exclusiveControl() = 0;
  /// The downloads that are scheduled or running.
  virtual std::vector<BackgroundDownload> currentDownloads() = 0;
  /// Starts `download` now, in the foreground.
  virtual void startForeground(const BackgroundDownload& download) = 0;
  /// Cancels `download`; the delegate then hears that it failed.
  virtual void cancel(const BackgroundDownload& download) = 0;
  /// The highest priority a download may have.
  [[nodiscard]] virtual std::int64_t maxPriority() const = 0;
};

}  // namespace quarn::platform
