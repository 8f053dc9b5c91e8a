#include "quarnkit/formatting/price_formatters.h"

#include <cstdint>
#include <string>

namespace quarn {

Decimal toDecimal(platform::FixedPointDecimal amount) {
  // Through text, so that no binary fraction creeps in.
  const bool negative = amount.units < 0;
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(amount.units)
                                     : static_cast<std::uint64_t>(amount.units);
  std::string digits = std::to_string(magnitude);
  if (amount.scale > 0) {
    const auto scale = static_cast<std::size_t>(amount.scale);
    if (digits.size() <= scale) digits.insert(0, scale - digits.size() + 1, '0');
    digits.insert(digits.size() - scale, 1, '.');
  } else if (amount.scale < 0) {
    digits.append(static_cast<std::size_t>(-amount.scale), '0');
  }
  if (negative) digits.insert(0, 1, '-');
  return Decimal::parse(digits).value_or(Decimal());
}

std::optional<std::string> PriceFormatter::exactString(platform::FixedPointDecimal amount) const {
  return string(toDecimal(amount));
}

std::unique_ptr<PriceFormatter> CurrencyPriceFormatter::clone() const {
  return std::make_unique<CurrencyPriceFormatter>(*this);
}

std::string CurrencyPriceFormatter::localeIdentifier() const {
  return formatter_.localeIdentifier();
}

void CurrencyPriceFormatter::setLocaleIdentifier(std::string_view localeIdentifier) {
  formatter_.setLocaleIdentifier(localeIdentifier);
}

int CurrencyPriceFormatter::maximumFractionDigits() const {
  return formatter_.maximumFractionDigits();
}

std::optional<std::string> CurrencyPriceFormatter::string(const Decimal& amount) const {
  return formatter_.string(amount);
}

std::optional<std::string> CurrencyPriceFormatter::exactString(
    platform::FixedPointDecimal amount) const {
  return formatter_.string(amount);
}

std::optional<std::string> DateComponentsPeriodFormatter::string(
    const platform::CalendarComponents& components) const {
  return formatter_.string(components);
}

}  // namespace quarn
