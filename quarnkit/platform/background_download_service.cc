#include "quarnkit/platform/background_download_service.h"

#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/service.h"

namespace quarn::platform {

namespace {

// No background download service on this platform.
class UnavailableService final : public BackgroundDownloadService {
 public:
  [[nodiscard]] bool isAvailable() const override { return false; }
  void setDelegate(std::weak_ptr<BackgroundDownloadDelegate> /*delegate*/) override {}
  Async<std::shared_ptr<ExclusiveControl>> exclusiveControl() override {
    throw BackgroundDownloadUnavailable();
    co_return nullptr;
  }
  std::vector<BackgroundDownload> currentDownloads() override {
    throw BackgroundDownloadUnavailable();
  }
  void startForeground(const BackgroundDownload& /*download*/) override {
    throw BackgroundDownloadUnavailable();
  }
  void cancel(const BackgroundDownload& /*download*/) override {
    throw BackgroundDownloadUnavailable();
  }
  [[nodiscard]] std::int64_t maxPriority() const override { return 0; }
};

ServiceSlot<BackgroundDownloadService>& slot() {
  static ServiceSlot<BackgroundDownloadService> s(
      [] { return std::make_shared<UnavailableService>(); });
  return s;
}

}  // namespace

std::shared_ptr<BackgroundDownloadService> BackgroundDownloadService::current() {
  return slot().get();
}

void BackgroundDownloadService::setCurrent(std::shared_ptr<BackgroundDownloadService> service) {
  slot().set(std::move(service));
}

}  // namespace quarn::platform
