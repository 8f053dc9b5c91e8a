/// @file
/// Store product records decoded from JSON, for the tool and for tests:
///
/// ```
///   {"productIdentifier": "com.example.yearly", "localizedTitle": "Yearly",
///    "price": 49.99, "priceLocale": "en_US",
///    "subscriptionPeriod": {"unit": "year", "numberOfUnits": 1},
///    "introductoryPrice": {"price": 0, "paymentMode": "freeTrial",
///                          "subscriptionPeriod": {"unit": "day", "numberOfUnits": 3}}}
/// ```
///
/// A price is a JSON number or decimal text ("49.99"); a unit is its name or
/// its raw value; an offer's price locale defaults to its product's, and a
/// product's to the current locale.
#pragma once

#include <string>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/core/value.h"
#include "quarnkit/platform/store/store_product.h"

namespace quarn {

/// Decodes a subscription period: {"unit": "month", "numberOfUnits": 1}.
template <>
struct Decodable<platform::SKProductSubscriptionPeriod> {
  /// The period the decoder's object describes; throws DecodingError.
  static platform::SKProductSubscriptionPeriod decode(Decoder& decoder);
};

/// Decodes an introductory or promotional offer.
template <>
struct Decodable<platform::SKProductDiscount> {
  /// The offer the decoder's object describes; throws DecodingError.
  static platform::SKProductDiscount decode(Decoder& decoder);
};

/// Decodes a store product record (the file's description shows one).
template <>
struct Decodable<platform::SKProduct> {
  /// The product the decoder's object describes; throws DecodingError.
  static platform::SKProduct decode(Decoder& decoder);
};

/// The JSON Schema document (json_schema.h) of a list of store products as
/// the decoders above read it.
Value storeProductsSchema(const std::string& id);

}  // namespace quarn
