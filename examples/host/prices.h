// The app's own price texts: "EUR 9.99" (the currency code of the price
// locale, two decimals) and "<count> <unit>" periods ("1 month", "2 weeks").
#pragma once

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "quarnkit/formatting/price_formatters.h"

namespace host {

class CodePriceFormatter final : public quarn::PriceFormatter {
 public:
  [[nodiscard]] std::unique_ptr<quarn::PriceFormatter> clone() const override {
    return std::make_unique<CodePriceFormatter>(*this);
  }
  [[nodiscard]] std::string localeIdentifier() const override { return locale_; }
  // "de_DE@currency=EUR": the code after "currency="; without one, no text.
  void setLocaleIdentifier(std::string_view locale) override { locale_ = std::string(locale); }

  [[nodiscard]] std::optional<std::string> string(const quarn::Decimal& amount) const override {
    const auto at = locale_.find("currency=");
    const double value = amount.toDouble();
    if (at == std::string::npos || !std::isfinite(value)) return std::nullopt;
    char text[64];
    std::snprintf(text, sizeof text, "%s %.2f", locale_.substr(at + 9, 3).c_str(), value);
    return text;
  }

 private:
  std::string locale_;
};

class CountPeriodFormatter final : public quarn::PeriodFormatter {
 public:
  [[nodiscard]] std::optional<std::string> string(
      const quarn::platform::CalendarComponents& c) const override {
    std::string out;
    auto add = [&](const std::optional<std::int64_t>& count, const char* unit) {
      if (!count || *count == 0) return;
      out +=
          (out.empty() ? "" : " ") + std::to_string(*count) + " " + unit + (*count == 1 ? "" : "s");
    };
    add(c.year, "year");
    add(c.month, "month");
    add(c.weekOfMonth, "week");
    add(c.day, "day");
    if (out.empty()) return std::nullopt;
    return out;
  }
};

}  // namespace host
