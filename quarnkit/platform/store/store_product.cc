#include "quarnkit/platform/store/store_product.h"

#include <array>

namespace quarn::platform {
namespace {
constexpr std::array<std::string_view, 4> kUnitNames = {"day", "week", "month", "year"};
}  // namespace

std::optional<std::string_view> toString(SKProductPeriodUnit unit) {
  const auto raw = static_cast<std::size_t>(unit);
  if (raw >= kUnitNames.size()) return std::nullopt;
  return kUnitNames[raw];
}

std::optional<SKProductPeriodUnit> periodUnitFromString(std::string_view name) {
  for (std::size_t i = 0; i < kUnitNames.size(); ++i) {
    if (kUnitNames[i] == name) return static_cast<SKProductPeriodUnit>(i);
  }
  return std::nullopt;
}

}  // namespace quarn::platform
