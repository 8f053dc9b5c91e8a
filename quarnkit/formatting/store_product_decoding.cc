#include "quarnkit/formatting/store_product_decoding.h"

#include "quarnkit/coding/json_schema.h"
#include "quarnkit/core/decimal.h"
#include "quarnkit/core/value.h"
#include "quarnkit/formatting/text_helpers.h"
#include "quarnkit/platform/locale.h"

namespace quarn {
namespace {

using platform::SKProductDiscountPaymentMode;
using platform::SKProductPeriodUnit;

Decimal decodePrice(KeyedDecodingContainer& c, const char* key) {
  if (auto number = c.decodeIfPresent<Value>(key); number && number->ifString() == nullptr) {
    return c.decode<Decimal>(key);
  }
  const auto text = c.decode<std::string>(key);
  if (auto price = Decimal::parse(text)) return *price;
  throw DecodingError::dataCorrupted(
      {c.codingPath(),
       "Invalid price \"" + excerpt(text) + "\": expected decimal text like \"4.99\""});
}

template <class Enum, std::size_t N>
Enum decodeNamed(KeyedDecodingContainer& c, const char* key, const char* const (&names)[N],
                 Enum fallback) {
  if (!c.contains(key)) return fallback;
  if (auto raw = c.decodeIfPresent<Value>(key); raw && raw->ifString() == nullptr) {
    return static_cast<Enum>(c.decode<std::uint32_t>(key));
  }
  const auto name = c.decode<std::string>(key);
  for (std::size_t i = 0; i < N; ++i) {
    if (name == names[i]) return static_cast<Enum>(i);
  }
  std::string expected;
  for (const char* n : names) expected += (expected.empty() ? "" : ", ") + std::string(n);
  throw DecodingError::dataCorrupted(
      {c.codingPath(), "Unknown " + std::string(key) + " \"" + name + "\" (" + expected + ")"});
}

}  // namespace

platform::SKProductSubscriptionPeriod Decodable<platform::SKProductSubscriptionPeriod>::decode(
    Decoder& decoder) {
  auto c = decoder.container();
  static const char* const kUnits[] = {"day", "week", "month", "year"};
  if (!c->contains("unit")) c->decode<std::string>("unit");  // reports the missing key
  return {decodeNamed(*c, "unit", kUnits, SKProductPeriodUnit::day),
          c->decode<std::int64_t>("numberOfUnits")};
}

platform::SKProductDiscount Decodable<platform::SKProductDiscount>::decode(Decoder& decoder) {
  auto c = decoder.container();
  platform::SKProductDiscount d;
  d.identifier = c->decodeIfPresent<std::string>("identifier");
  d.price = decodePrice(*c, "price");
  d.priceLocale = c->decodeIfPresent<std::string>("priceLocale").value_or("");
  d.subscriptionPeriod = c->decode<platform::SKProductSubscriptionPeriod>("subscriptionPeriod");
  d.numberOfPeriods = c->decodeIfPresent<std::int64_t>("numberOfPeriods").value_or(1);
  static const char* const kModes[] = {"payAsYouGo", "payUpFront", "freeTrial"};
  d.paymentMode = decodeNamed(*c, "paymentMode", kModes, SKProductDiscountPaymentMode::payAsYouGo);
  static const char* const kTypes[] = {"introductory", "subscription"};
  d.type = decodeNamed(*c, "type", kTypes, platform::SKProductDiscountType::introductory);
  return d;
}

platform::SKProduct Decodable<platform::SKProduct>::decode(Decoder& decoder) {
  auto c = decoder.container();
  platform::SKProduct p;
  p.productIdentifier = c->decode<std::string>("productIdentifier");
  p.localizedTitle = c->decodeIfPresent<std::string>("localizedTitle").value_or("");
  p.localizedDescription = c->decodeIfPresent<std::string>("localizedDescription").value_or("");
  p.price = decodePrice(*c, "price");
  p.priceLocale = c->decodeIfPresent<std::string>("priceLocale")
                      .value_or(platform::Locale::current()->localeIdentifier());
  p.subscriptionPeriod =
      c->decodeIfPresent<platform::SKProductSubscriptionPeriod>("subscriptionPeriod");
  p.introductoryPrice = c->decodeIfPresent<platform::SKProductDiscount>("introductoryPrice");
  p.discounts = c->decodeIfPresent<std::vector<platform::SKProductDiscount>>("discounts")
                    .value_or(std::vector<platform::SKProductDiscount>{});
  if (p.introductoryPrice && p.introductoryPrice->priceLocale.empty()) {
    p.introductoryPrice->priceLocale = p.priceLocale;
  }
  for (auto& offer : p.discounts) {
    if (offer.priceLocale.empty()) offer.priceLocale = p.priceLocale;
  }
  return p;
}

namespace {

namespace s = json_schema;

// A name of `names`, or its position as a number.
Value namedSchema(std::vector<std::string> names, const std::string& description) {
  const auto count = static_cast<std::int64_t>(names.size());
  Value::Object byPosition{{"type", "integer"}, {"minimum", 0}, {"maximum", count - 1}};
  return Value::Object{
      {"description", description},
      {"anyOf", Value::Array{s::enumeration(std::move(names), ""), std::move(byPosition)}}};
}

Value priceSchema(const std::string& description) {
  Value text = s::string("");
  text.ifObject()->set("pattern", "^-?[0-9]+(\\.[0-9]+)?$");
  return Value::Object{{"description", description},
                       {"anyOf", Value::Array{s::number(""), std::move(text)}},
                       {"examples", Value::Array{Value("4.99")}}};
}

Value periodSchema() {
  return s::object(
      "Subscription period", "A billing period: a count of a unit.",
      {{"unit", namedSchema({"day", "week", "month", "year"}, "The unit: its name or 0 to 3."),
        true},
       {"numberOfUnits", s::integer64("How many units."), true}});
}

Value offerSchema() {
  return s::object(
      "Offer", "An introductory or promotional offer.",
      {{"identifier", s::string("The offer's identifier.")},
       {"price", priceSchema("The offer's price: a number or decimal text (\"0.99\")."), true},
       {"priceLocale", s::string("The locale of the price (default: the product's).")},
       {"subscriptionPeriod", s::ref("period", "How long one period of the offer lasts."), true},
       {"numberOfPeriods", s::integer64("How many periods the offer lasts (default 1).")},
       {"paymentMode",
        namedSchema({"payAsYouGo", "payUpFront", "freeTrial"}, "How the offer is paid."), false,
        true},
       {"type", namedSchema({"introductory", "subscription"}, "The kind of offer."), false, true}});
}

}  // namespace

Value storeProductsSchema(const std::string& id) {
  Value product = s::object(
      "Store product", "A product of the store catalogue, as the store describes it.",
      {{"productIdentifier", s::string("The product's identifier."), true},
       {"localizedTitle", s::string("The product's title.")},
       {"localizedDescription", s::string("The product's description.")},
       {"price", priceSchema("The price: a number or decimal text (\"4.99\")."), true},
       {"priceLocale",
        s::string("The locale of the price, with its currency (en_US@currency=USD); default: "
                  "the current locale.")},
       {"subscriptionPeriod",
        s::ref("period", "The billing period; a product without one has no price texts.")},
       {"introductoryPrice", s::ref("offer", "The introductory offer.")},
       {"discounts", s::array(s::ref("offer"), "Further offers.")}});
  return s::document(
      id, "Store products", "The store products a paywall shows, in order.",
      s::array(s::ref("product"), ""),
      ValueObject{
          {"product", std::move(product)}, {"period", periodSchema()}, {"offer", offerSchema()}});
}

}  // namespace quarn
