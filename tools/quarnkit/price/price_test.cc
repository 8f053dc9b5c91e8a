// price: the report for a small catalogue, --validate's findings, and each
// input error reported as one line naming the file.
#include "tools/quarnkit/price/price.h"

#include <gtest/gtest.h>

#include "quarnkit/core/log.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

constexpr const char* kProducts = R"([
  {"productIdentifier": "w", "price": 2.99, "priceLocale": "en_US",
   "subscriptionPeriod": {"unit": "week", "numberOfUnits": 1}},
  {"productIdentifier": "y", "price": "49.99", "priceLocale": "en_US",
   "subscriptionPeriod": {"unit": "year", "numberOfUnits": 1}},
  {"productIdentifier": "l", "price": 99, "priceLocale": "en_US"}])";

PriceOptions options(const ScratchDirectory& dir, const char* products = kProducts) {
  PriceOptions o;
  o.productsFile = dir.write("products.json", products);
  o.now = Date::parseISO8601("2024-05-01T10:00:00Z");
  return o;
}

std::string reason(const std::function<void()>& f) {
  try {
    f();
  } catch (const InputError& e) {
    return e.what();
  }
  return "no error";
}

TEST(PriceCommandTest, ReportsEveryTextAndFilledTemplates) {
  ScratchDirectory dir;
  PriceOptions o = options(dir);
  o.templates = {"%price_per_week% a week", "Save %discount%%"};
  o.locale = "de_DE";
  const std::string text = priceDocument(o);
  EXPECT_NE(text.find("relative product: w"), std::string::npos);
  EXPECT_NE(text.find("  price per week             0,99\u00a0$\n"), std::string::npos);
  EXPECT_NE(text.find("  template 1:                0,99\u00a0$ a week\n"), std::string::npos);
  EXPECT_NE(text.find("  template 2:                Save 67%\n"), std::string::npos);
  EXPECT_NE(text.find("l\n  no subscription period"), std::string::npos);

  o.json = true;
  o.relativeProductIdentifier = "y";
  const std::string json = priceDocument(o);
  EXPECT_NE(json.find("\"relativeProduct\" : \"y\""), std::string::npos);
  EXPECT_NE(json.find("\"placeholder\" : \"%price_per_week%\""), std::string::npos);
}

TEST(PriceCommandTest, ValidationNamesTemplatesAndProducts) {
  ScratchDirectory dir;
  PriceOptions o = options(dir);
  o.templatesFile = dir.write("t.json", R"(["%price%", "%trial_period% free", "%prcie% %period"])");
  o.validate = true;
  EXPECT_EQ(priceProblems(o),
            (std::vector<std::string>{
                o.templatesFile.value() + ": [1]: no value for %trial_period% with w",
                o.templatesFile.value() + ": [1]: no value for %trial_period% with y",
                o.templatesFile.value() + ": [2]: unknown placeholder \"%prcie%\"",
                o.templatesFile.value() + ": [2]: placeholder not closed: \"%period\""}));
  EXPECT_EQ(runPrice(o), 1);
  o.templatesFile.reset();
  o.templates = {"%price% / %period%"};
  EXPECT_TRUE(priceProblems(o).empty());
}

TEST(PriceCommandTest, InputErrorsNameTheirFile) {
  ScratchDirectory dir;
  PriceOptions o = options(dir);
  o.relativeProductIdentifier = "nope";
  EXPECT_EQ(reason([&] { priceDocument(o); }),
            o.productsFile + ": no product \"nope\" to measure against (--relative)");

  const PriceOptions bad = options(dir, R"([{"productIdentifier": "x", "price": "4,99"}])");
  EXPECT_NE(reason([&] { priceDocument(bad); }).find("products.json: [0]"), std::string::npos);

  PriceOptions templates = options(dir);
  templates.templatesFile = dir.write("t.json", R"({"a": 1})");
  EXPECT_EQ(reason([&] { priceDocument(templates); }),
            *templates.templatesFile + ": a: expected a string");
  templates.templatesFile = (dir.path() / "missing.json").string();
  EXPECT_NE(reason([&] { priceDocument(templates); }).find("missing.json"), std::string::npos);
}

TEST(PriceCommandTest, UnknownLocaleFormatsAsRootOnceLogged) {
  ScratchDirectory dir;
  PriceOptions o = options(dir);
  o.locale = "xx_YY";
  quarn::testing::LogCapture log;
  const std::string text = priceDocument(o);
  EXPECT_NE(text.find("price                      US$\u00a02.99"), std::string::npos) << text;
  EXPECT_EQ(log.count("Unknown locale identifier \"xx_YY@currency=USD\""), 1u);
}

TEST(PriceCommandTest, ALocaleChangesConventionsNotTheCurrency) {
  ScratchDirectory dir;
  PriceOptions o = options(dir, R"([
    {"productIdentifier": "w", "price": "2.99", "priceLocale": "en_US@currency=USD",
     "subscriptionPeriod": {"unit": "week", "numberOfUnits": 1}},
    {"productIdentifier": "e", "price": "4.99", "priceLocale": "fr_FR",
     "subscriptionPeriod": {"unit": "week", "numberOfUnits": 1}}])");
  o.locale = "ja_JP";
  const std::string japan = priceDocument(o);
  EXPECT_NE(japan.find("  price                      $2.99\n"), std::string::npos) << japan;
  EXPECT_NE(japan.find("  price                      €4.99\n"), std::string::npos) << japan;
  o.locale = "de_DE@currency=JPY";  // the conventions only
  const std::string germany = priceDocument(o);
  EXPECT_NE(germany.find("  price                      2,99\u00a0$\n"), std::string::npos)
      << germany;
}

TEST(PriceCommandTest, ASecondProductOfAnIdentifierIsRefusedNamingBoth) {
  ScratchDirectory dir;
  const PriceOptions o = options(dir, R"([{"productIdentifier": "a", "price": 1},
    {"productIdentifier": "b", "price": 2}, {"productIdentifier": "a", "price": 3}])");
  EXPECT_EQ(reason([&] { priceDocument(o); }),
            o.productsFile + ": [2].productIdentifier: the identifier \"a\" is also that of [0]");
  const std::string longId(300, 'x');
  const PriceOptions longOnes =
      options(dir, ("[{\"productIdentifier\": \"" + longId +
                    "\", \"price\": 1}, {\"productIdentifier\": \"" + longId + "\", \"price\": 1}]")
                       .c_str());
  EXPECT_EQ(reason([&] { priceDocument(longOnes); }),
            longOnes.productsFile + ": [1].productIdentifier: the identifier \"" +
                longId.substr(0, 80) + "\u2026\" (300 bytes) is also that of [0]");
}

}  // namespace
}  // namespace quarn::tool
