// TestBackgroundDownloadService: a background download service for tests.
// It downloads nothing by itself: the test says when a download progresses,
// finishes (with the bytes it delivers) or fails, and each callback then runs
// on a thread of its own, as the platform's service calls back on its
// threads. The exclusive-control section is real: one holder at a time,
// later callers wait in order.
//
//   auto service = std::make_shared<TestBackgroundDownloadService>(scratch);
//   downloader->setBackgroundDownloadService(service);
//   ... once service->started() has the download:
//   service->finish(identifier, "bytes");     // delegate called on another thread
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "quarnkit/platform/background_download_service.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/continuation.h"

namespace quarn::testing {

class TestBackgroundDownloadService final
    : public platform::BackgroundDownloadService,
      public std::enable_shared_from_this<TestBackgroundDownloadService> {
 public:
  /// Delivered files are written in `scratch` and taken back after the
  /// delegate returns.
  explicit TestBackgroundDownloadService(std::filesystem::path scratch)
      : scratch_(std::move(scratch)) {}

  [[nodiscard]] bool isAvailable() const override { return true; }
  void setDelegate(std::weak_ptr<platform::BackgroundDownloadDelegate> delegate) override {
    const std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
  }

  Async<std::shared_ptr<ExclusiveControl>> exclusiveControl() override {
    std::exception_ptr refusal;
    {
      const std::lock_guard lock(mutex_);
      refusal = refuseControl_;
    }
    if (refusal) std::rethrow_exception(refusal);
    auto self = shared_from_this();
    // (A named callable: GCC 12 destroys a capturing lambda temporary inside
    // a co_await expression twice.)
    std::function<void(CheckedContinuation<void>)> enter =
        [self](const CheckedContinuation<void>& c) {
          bool now = false;
          {
            const std::lock_guard lock(self->mutex_);
            if (self->held_) {
              self->waiting_.push_back(c);
            } else {
              self->held_ = true;
              ++self->sections_;
              now = true;
            }
          }
          // Granted from another thread, as the platform would.
          if (now) onOtherThread([c] { c.resume(); });
        };
    co_await withCheckedThrowingContinuation<void>("exclusiveControl", std::move(enter));
    co_return std::make_shared<Control>(self);
  }

  std::vector<platform::BackgroundDownload> currentDownloads() override {
    const std::lock_guard lock(mutex_);
    if (listingError_) std::rethrow_exception(listingError_);
    return downloads_;
  }
  void startForeground(const platform::BackgroundDownload& download) override {
    const std::lock_guard lock(mutex_);
    if (startError_) std::rethrow_exception(startError_);
    auto copy = download;
    copy.uniqueIdentifier = "unique-" + download.identifier;
    downloads_.push_back(copy);
    started_.push_back(copy);
  }
  void cancel(const platform::BackgroundDownload& download) override {
    std::optional<platform::BackgroundDownload> removed = take(download.identifier);
    {
      const std::lock_guard lock(mutex_);
      ++cancels_;
    }
    if (!removed) return;
    auto delegate = currentDelegate();
    onOtherThread([delegate, d = *removed] {
      if (delegate) {
        delegate->failedWithError(
            d, std::make_exception_ptr(std::system_error(
                   std::make_error_code(std::errc::operation_canceled), "download cancelled")));
      }
    });
  }
  [[nodiscard]] std::int64_t maxPriority() const override { return 10; }

  // --- What the test drives -------------------------------------------

  /// The downloads started so far, in order.
  std::vector<platform::BackgroundDownload> started() const {
    const std::lock_guard lock(mutex_);
    return started_;
  }
  /// How many times the exclusive section was entered, and cancel() called.
  int sections() const {
    const std::lock_guard lock(mutex_);
    return sections_;
  }
  /// How many callers wait to enter the exclusive section.
  std::size_t waitingForSection() const {
    const std::lock_guard lock(mutex_);
    return waiting_.size();
  }
  int cancels() const {
    const std::lock_guard lock(mutex_);
    return cancels_;
  }
  void failListingWith(std::exception_ptr error) {
    const std::lock_guard lock(mutex_);
    listingError_ = std::move(error);
  }
  void failStartWith(std::exception_ptr error) {
    const std::lock_guard lock(mutex_);
    startError_ = std::move(error);
  }
  void refuseControlWith(std::exception_ptr error) {
    const std::lock_guard lock(mutex_);
    refuseControl_ = std::move(error);
  }

  /// Reports bytes written, from another thread.
  void progress(const platform::BackgroundDownload& download, std::int64_t written,
                std::int64_t expected) {
    auto delegate = currentDelegate();
    onOtherThread([delegate, download, written, expected] {
      if (delegate) delegate->didWriteBytes(download, written, written, expected);
    });
  }
  /// Delivers `bytes` as the finished file, from another thread; the file is
  /// gone once the delegate has returned. The download leaves the list
  /// (unless `keepListed`, as a service reporting twice might).
  void finish(const platform::BackgroundDownload& download, const std::string& bytes,
              bool keepListed = false) {
    if (!keepListed) take(download.identifier);
    const std::filesystem::path file = scratch_ / ("delivered-" + download.identifier);
    std::ofstream(file, std::ios::binary) << bytes;
    auto delegate = currentDelegate();
    onOtherThread([delegate, download, file] {
      if (delegate) delegate->finishedWithFileURL(download, URL::fileURL(file));
    });
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
  /// Reports a failure, from another thread.
  void fail(const platform::BackgroundDownload& download, const std::exception_ptr& error) {
    take(download.identifier);
    auto delegate = currentDelegate();
    onOtherThread([delegate, download, error] {
      if (delegate) delegate->failedWithError(download, error);
    });
  }

 private:
  // Ends the section when dropped: the next waiter enters, from this thread.
  class Control final : public ExclusiveControl {
   public:
    explicit Control(std::shared_ptr<TestBackgroundDownloadService> service)
        : service_(std::move(service)) {}
    ~Control() override {
      std::optional<CheckedContinuation<void>> next;
      {
        const std::lock_guard lock(service_->mutex_);
        if (service_->waiting_.empty()) {
          service_->held_ = false;
        } else {
          next = service_->waiting_.front();
          service_->waiting_.pop_front();
          ++service_->sections_;
        }
      }
      if (next) next->resume();
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

   private:
    std::shared_ptr<TestBackgroundDownloadService> service_;
  };

  static void onOtherThread(const std::function<void()>& work) {
    std::thread thread(work);
    thread.join();
  }

  std::shared_ptr<platform::BackgroundDownloadDelegate> currentDelegate() const {
    const std::lock_guard lock(mutex_);
    return delegate_.lock();
  }

  std::optional<platform::BackgroundDownload> take(const std::string& identifier) {
    const std::lock_guard lock(mutex_);
    auto it = std::find_if(downloads_.begin(), downloads_.end(),
                           [&](const auto& d) { return d.identifier == identifier; });
    if (it == downloads_.end()) return std::nullopt;
    auto d = *it;
    downloads_.erase(it);
    return d;
  }

  std::filesystem::path scratch_;
  mutable std::mutex mutex_;
  std::weak_ptr<platform::BackgroundDownloadDelegate> delegate_;
  bool held_ = false;
  std::deque<CheckedContinuation<void>> waiting_;
  int sections_ = 0;
  int cancels_ = 0;
  std::vector<platform::BackgroundDownload> downloads_;
  std::vector<platform::BackgroundDownload> started_;
  std::exception_ptr listingError_;
  std::exception_ptr startError_;
  std::exception_ptr refuseControl_;
};

}  // namespace quarn::testing
