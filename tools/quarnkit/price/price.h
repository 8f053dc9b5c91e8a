// price: shows what a paywall will show. For each product of a products file
// it prints every display text of the product's metadata and the templates
// filled with them, for one locale:
//
//   quarnkit price examples/prices/products.json --locale de_DE
//       --templates examples/prices/templates.json
//
// A monthly product measured against a weekly one is worth 4 weeks of it;
// --exact-lengths measures by exact lengths instead (365/84 weeks).
//
// --validate prints, instead, each template that holds a placeholder that
// does not exist or is not closed, and each one that would lose a
// placeholder for some product (that product has no value for it); the exit
// status is then 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quarnkit/core/date.h"
#include "tools/quarnkit/common/input_file.h"

namespace quarn::tool {

struct PriceOptions {
  /// A JSON array of store products.
  std::string productsFile;
  /// The identifier of the product to measure the others against (else the
  /// list's weekly one, else its monthly one).
  std::optional<std::string> relativeProductIdentifier;
  /// Shows every product with this locale's conventions (separators, symbol
  /// placement, words); each amount keeps its own currency, since nothing
  /// converts it.
  std::optional<std::string> locale;
  std::optional<Date> now;
  bool niceRounding = true;
  /// Counts a product's period in units of the relative product's by exact
  /// lengths (a month is 365/84 weeks) instead of whole calendar units (a
  /// month is 4 weeks).
  bool exactRelativeLengths = false;
  /// --template TEXT, in the order given.
  std::vector<std::string> templates;
  /// A JSON object of named templates, or an array of them.
  std::optional<std::string> templatesFile;
  bool json = false;
  bool validate = false;
  /// Largest products or templates file read.
  std::uint64_t maxFileSize = InputLimits{}.maxFileSize;
};

/// The report of `options` (text or JSON). InputError for unreadable or
/// invalid files and an unknown relative product.
std::string priceDocument(const PriceOptions& options);

/// The problems --validate reports, one line each.
std::vector<std::string> priceProblems(const PriceOptions& options);

/// Prints the report, or the problems with --validate (1 when there are any).
int runPrice(const PriceOptions& options);

}  // namespace quarn::tool
