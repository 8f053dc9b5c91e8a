#include "quarnkit/platform/device.h"

#include <cstdlib>

namespace quarn::platform {

std::string_view toString(UserInterfaceIdiom idiom) {
  switch (idiom) {
    case UserInterfaceIdiom::phone:
      return "phone";
    case UserInterfaceIdiom::tablet:
      return "tablet";
    case UserInterfaceIdiom::desktop:
      return "desktop";
    case UserInterfaceIdiom::tv:
      return "tv";
  }
  return "desktop";
}

std::optional<UserInterfaceIdiom> userInterfaceIdiomFromString(std::string_view text) {
  for (auto i : {UserInterfaceIdiom::phone, UserInterfaceIdiom::tablet, UserInterfaceIdiom::desktop,
                 UserInterfaceIdiom::tv}) {
    if (toString(i) == text) return i;
  }
  return std::nullopt;
}

namespace {
ServiceSlot<const Device>& slot() {
  static ServiceSlot<const Device> s([] {
    const char* env = std::getenv("QUARNKIT_DEVICE_IDIOM");
    auto idiom = env ? userInterfaceIdiomFromString(env) : std::nullopt;
    return std::make_shared<const FixedDevice>(idiom.value_or(UserInterfaceIdiom::desktop));
  });
  return s;
}
}  // namespace

std::shared_ptr<const Device> Device::current() { return slot().get(); }
void Device::setCurrent(std::shared_ptr<const Device> device) { slot().set(std::move(device)); }

}  // namespace quarn::platform
