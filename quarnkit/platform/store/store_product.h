/// @file
/// Store product records: what the host hands the library about the products
/// of the store catalogue it loaded (identifier, price, price locale,
/// subscription period, introductory offer, discounts). The library only reads
/// them; formatting turns them into display texts.
///
/// Kinds: values.
///
/// ```
///   platform::SKProduct weekly;
///   weekly.productIdentifier = "com.example.weekly";
///   weekly.price = *Decimal::parse("4.99");
///   weekly.priceLocale = "en_US@currency=USD";
///   weekly.subscriptionPeriod = {platform::SKProductPeriodUnit::week, 1};
/// ```
///
/// A price locale is an ICU locale identifier; its currency is the one the
/// identifier names ("@currency=EUR") or else the one of its region.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/decimal.h"

namespace quarn::platform {

/// The unit of a subscription period. The raw value is what the store sends;
/// values outside the four named ones are kept as they come.
enum class SKProductPeriodUnit : std::uint32_t { day = 0, week = 1, month = 2, year = 3 };

/// "day", "week", "month", "year"; nothing for another raw value.
std::optional<std::string_view> toString(SKProductPeriodUnit unit);
/// The unit named by `name` ("week"); nothing for another text.
std::optional<SKProductPeriodUnit> periodUnitFromString(std::string_view name);

/// A billing period: `numberOfUnits` units.
struct SKProductSubscriptionPeriod {
  SKProductPeriodUnit unit = SKProductPeriodUnit::day;  ///< The unit.
  std::int64_t numberOfUnits = 0;                       ///< How many units.

  /// Equal when unit and count are.
  friend bool operator==(const SKProductSubscriptionPeriod&,
                         const SKProductSubscriptionPeriod&) = default;
};

/// How an offer is paid.
enum class SKProductDiscountPaymentMode : std::uint32_t {
  payAsYouGo = 0,
  payUpFront = 1,
  freeTrial = 2
};

/// Whether an offer is the introductory one or a promotional one.
enum class SKProductDiscountType : std::uint32_t { introductory = 0, subscription = 1 };

/// An introductory or promotional offer: `numberOfPeriods` periods of
/// `subscriptionPeriod` at `price`.
struct SKProductDiscount {
  /// The offer's identifier (promotional offers have one).
  std::optional<std::string> identifier{};
  /// The price of each period (of all of them, paid up front).
  Decimal price;
  /// The locale the price is in ("en_US"), which names its currency.
  std::string priceLocale;
  /// The offer's period.
  SKProductSubscriptionPeriod subscriptionPeriod;
  /// How many periods the offer lasts.
  std::int64_t numberOfPeriods = 1;
  /// How the offer is paid.
  SKProductDiscountPaymentMode paymentMode = SKProductDiscountPaymentMode::payAsYouGo;
  /// Introductory or promotional.
  SKProductDiscountType type = SKProductDiscountType::introductory;
};

/// A product of the store catalogue. A product without a subscription period
/// is a one-off purchase (a lifetime unlock).
struct SKProduct {
  std::string productIdentifier;     ///< The store's identifier.
  std::string localizedTitle;        ///< The title, in the user's language.
  std::string localizedDescription;  ///< The description, in the user's language.
  Decimal price;                     ///< The price of one period (or of the purchase).
  std::string priceLocale;           ///< The locale the price is in, which names its currency.
  /// The billing period; none for a one-off purchase.
  std::optional<SKProductSubscriptionPeriod> subscriptionPeriod;
  /// The introductory offer, if any.
  std::optional<SKProductDiscount> introductoryPrice;
  /// The promotional offers.
  std::vector<SKProductDiscount> discounts;
};

}  // namespace quarn::platform
