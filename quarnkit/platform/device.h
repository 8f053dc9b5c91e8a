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
std::optional<UserInterfaceIdiom> userInterfaceIdiomFromString(std::string_view text);

class Device {
 public:
  Device() = default;
  virtual ~Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  [[nodiscard]] virtual UserInterfaceIdiom userInterfaceIdiom() const = 0;

  static std::shared_ptr<const Device> current();
  static void setCurrent(std::shared_ptr<const Device> device);
};

/// A device with a fixed idiom: the default implementation and the test double.
class FixedDevice final : public Device {
 public:
  explicit FixedDevice(UserInterfaceIdiom idiom) : idiom_(idiom) {}
  [[nodiscard]] UserInterfaceIdiom userInterfaceIdiom() const override { return idiom_; }

 private:
  UserInterfaceIdiom idiom_;
};

}  // namespace quarn::platform
