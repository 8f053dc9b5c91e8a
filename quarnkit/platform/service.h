/// @file
/// ServiceSlot: the process-wide, replaceable instance of one platform service.

/// @class quarn::platform::ServiceSlot
/// The process-wide, replaceable instance of one platform service.
///
/// Kinds: both are unique objects (not copyable).
///
/// Every platform stand-in is an interface with a default implementation made
/// on first use; the host (or a test) replaces it with set(). Readers get a
/// shared_ptr, so a replacement never pulls an instance from under a caller.
///
/// ```
///   std::shared_ptr<const Device> d = Device::current();
///   Device::setCurrent(std::make_shared<FixedDevice>(UserInterfaceIdiom::tablet));
/// ```
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

/// The platform services the library runs on: the runtime (main context,
/// tasks, timers, publishers), device, locale and calendar, files and stores,
/// and the headless UI and media stand-ins. Each service has a default
/// implementation for Linux and can be replaced by the host or a test.
namespace quarn::platform {

template <class Interface>
class ServiceSlot {
 public:
  /// A slot that makes its instance with `makeDefault` on first use.
  explicit ServiceSlot(std::function<std::shared_ptr<Interface>()> makeDefault)
      : makeDefault_(std::move(makeDefault)) {}

  /// The instance, made on first use.
  std::shared_ptr<Interface> get() {
    std::lock_guard lock(mutex_);
    if (!current_) current_ = makeDefault_();
    return current_;
  }
  /// Replaces the instance; nullptr restores the default.
  void set(std::shared_ptr<Interface> service) {
    std::lock_guard lock(mutex_);
    current_ = std::move(service);
  }

 private:
  std::mutex mutex_;
  std::function<std::shared_ptr<Interface>()> makeDefault_;
  std::shared_ptr<Interface> current_;
};

/// Installs a service for a scope and restores the previous one afterwards
/// (tests use it to inject doubles).
template <class Service>
class ScopedService {
 public:
  /// Installs `service` until this object is destroyed.
  explicit ScopedService(std::shared_ptr<const Service> service) : previous_(Service::current()) {
    Service::setCurrent(std::move(service));
  }
  ~ScopedService() { Service::setCurrent(previous_); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  std::shared_ptr<const Service> previous_;
};

}  // namespace quarn::platform
