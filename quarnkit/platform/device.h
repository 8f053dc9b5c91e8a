/// @file
/// Device: the platform's device service (the user-interface idiom).

/// @class quarn::platform::Device
/// The platform's device service (the user-interface idiom).
///
/// Kind: devices are unique objects (not copyable), installed as services.
///
/// The default reports the idiom named by the QUARNKIT_DEVICE_IDIOM environment
/// variable ("phone", "tablet", "desktop", "tv"), else desktop: a Linux build
/// runs on a desktop. Hosts and tests install another with setCurrent() or
/// ScopedService<Device>.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "quarnkit/platform/service.h"

namespace quarn::platform {

/// What kind of device the application runs on.
enum class UserInterfaceIdiom { phone, tablet, desktop, tv };

/// The device's physical orientation, numbered as the platform numbers it.
enum class DeviceOrientation {
  unknown = 0,
  portrait = 1,
  portraitUpsideDown = 2,
  landscapeLeft = 3,
  landscapeRight = 4,
  faceUp = 5,
  faceDown = 6,
};

/// "phone", "tablet", "desktop", "tv".
std::string_view toString(UserInterfaceIdiom idiom);
/// The idiom named `text`, or nothing.
std::optional<UserInterfaceIdiom> userInterfaceIdiomFromString(std::string_view text);

class Device {
 public:
  Device() = default;
  virtual ~Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  /// What kind of device it is.
  [[nodiscard]] virtual UserInterfaceIdiom userInterfaceIdiom() const = 0;

  /// The device of this process.
  static std::shared_ptr<const Device> current();
  /// Replaces the device of this process (null: the default, a desktop unless
  /// QUARNKIT_DEVICE_IDIOM names another idiom).
  static void setCurrent(std::shared_ptr<const Device> device);
};

/// A device with a fixed idiom: the default implementation and the test double.
class FixedDevice final : public Device {
 public:
  /// A device of `idiom`.
  explicit FixedDevice(UserInterfaceIdiom idiom) : idiom_(idiom) {}
  [[nodiscard]] UserInterfaceIdiom userInterfaceIdiom() const override { return idiom_; }

 private:
  UserInterfaceIdiom idiom_;
};

}  // namespace quarn::platform
