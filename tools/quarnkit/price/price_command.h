// The command line of `quarnkit price` (included by main.cc only).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "quarnkit/core/date.h"
#include "tools/quarnkit/price/price.h"

namespace quarn::tool {

struct PriceArguments {
  PriceOptions options;
  std::string relative, locale, now, templatesFile, format = "text";
  bool noNiceRounding = false;

  /// The options, with the texts given turned into their values.
  [[nodiscard]] PriceOptions parsed() const {
    PriceOptions o = options;
    if (!relative.empty()) o.relativeProductIdentifier = relative;
    if (!locale.empty()) o.locale = locale;
    if (!now.empty()) o.now = Date::parseISO8601(now);
    if (!templatesFile.empty()) o.templatesFile = templatesFile;
    o.niceRounding = !noNiceRounding;
    o.json = format == "json";
    return o;
  }
};

inline CLI::App* addPriceCommand(CLI::App& app, PriceArguments& a) {
  CLI::App* price = app.add_subcommand(
      "price", "Show every price text of store products and the price templates filled with them");
  price->add_option("PRODUCTS", a.options.productsFile, "The products (a JSON array)")->required();
  price->add_option("--relative", a.relative,
                    "Measure against the product with this identifier (default: the weekly "
                    "product, else the monthly one)");
  price->add_option("--locale", a.locale,
                    "Show the products with this locale's conventions (de_DE): separators, symbol "
                    "placement and words; the amounts keep their own currency");
  price->add_option("--now", a.now, "Fix the clock at an internet date-time (2024-05-01T10:00:00Z)")
      ->check([](const std::string& text) -> std::string {
        return Date::parseISO8601(text) ? "" : "expected a date-time like 2024-05-01T10:00:00Z";
      });
  price->add_flag("--no-nice-rounding", a.noNiceRounding,
                  "Show per-period prices as computed, not ending in .19/.49/.79/.99");
  price->add_flag("--exact-lengths", a.options.exactRelativeLengths,
                  "Measure products against the relative one by exact period lengths (a month "
                  "is 365/84 weeks) instead of whole calendar units (a month is 4 weeks)");
  CLI::Option* one = price->add_option("--template", a.options.templates,
                                       "A template such as \"%price% / %period%\" (repeatable)");
  price
      ->add_option("--templates", a.templatesFile,
                   "Templates: a JSON object of named templates, or an array")
      ->excludes(one);
  price->add_option("--format", a.format, "text or json")
      ->check(CLI::IsMember({"text", "json"}))
      ->capture_default_str();
  price->add_flag("--validate", a.options.validate,
                  "Report unknown or unclosed placeholders and placeholders some product has no "
                  "value for; exit 1 when there are any");
  return price;
}

}  // namespace quarn::tool
