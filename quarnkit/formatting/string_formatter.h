/// @file
/// Price templates: texts with placeholders such as "%price%" and
/// "%price_per_week%" filled from a product's metadata, as plain text, as
/// attributed text parsed from inline markdown, or as attributed text whose
/// substituted runs say which placeholder they came from.
///
/// ```
///   StoreKitHelpers::StringFormatter f(meta);
///   f.string("%price% / %period%");                 // "$4.99 / 1 week"
///   f.validate("Save %discount%%");                  // false: no discount
///   f.attributedString("**%price%** a week");        // "$4.99" bold, marked %price%
/// ```
///
/// A placeholder without a value is replaced by nothing; validate() says
/// whether that would happen. placeholderIssues() finds placeholders that are
/// misspelt or not closed, which validate() cannot see.
///
/// A StringFormatter is a value.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/core/value.h"
#include "quarnkit/formatting/product_metadata.h"
#include "quarnkit/platform/attributed_string.h"

/// Price templates over store product metadata: the formatter, its
/// placeholders and the attribute that marks substituted runs.
namespace quarn::StoreKitHelpers {

/// Fills the placeholders of price templates from one product's metadata. A value.
class StringFormatter {
 public:
  /// The placeholders, in the order every operation visits them.
  enum class VariablePlaceholder {
    localizedPrice,
    localizedPricePerYear,
    localizedPricePerMonth,
    localizedPricePerWeek,
    localizedPricePerRelativePeriod,
    localizedRelativePrice,
    localizedPeriod,
    discountPercentage,
    localizedTrialPeriod,
  };
  /// The number of placeholders.
  static constexpr std::size_t kPlaceholderCount = 9;
  /// Every placeholder, in the order of the enumeration.
  static const std::array<VariablePlaceholder, kPlaceholderCount>& allCases();
  /// "%price%", "%price_per_year%", ...
  static std::string_view rawValue(VariablePlaceholder placeholder);
  /// The placeholder whose raw value is `raw`; nothing for any other text.
  static std::optional<VariablePlaceholder> placeholder(std::string_view raw);

  StringFormatter() = default;
  /// A formatter over `productMeta` (none: every placeholder has no value).
  explicit StringFormatter(std::optional<SKProductMeta> productMeta)
      : meta(std::move(productMeta)) {}

  /// The metadata the values come from.
  std::optional<SKProductMeta> meta;

  /// False when a placeholder that occurs in `template_` has no value.
  [[nodiscard]] bool validate(std::string_view template_) const;
  /// Every occurrence of every placeholder replaced by its value (or by
  /// nothing when it has none).
  [[nodiscard]] std::string string(std::string_view template_) const;
  /// The substituted template parsed as inline markdown (emphasis, strong
  /// emphasis, code, strikethrough, links; whitespace and line breaks kept),
  /// or as plain text when it does not parse; the first occurrence of each
  /// value is marked with its placeholder.
  [[nodiscard]] platform::AttributedString attributedString(std::string_view template_) const;
  /// The template as plain text, with the first occurrence of each
  /// placeholder replaced by its value marked with the placeholder.
  [[nodiscard]] platform::AttributedString mutableAttributedString(
      std::string_view template_) const;
  /// The values present, keyed by the raw value without "%" ("price_per_week").
  [[nodiscard]] Value::Object allValues() const;

 private:
  using Values =
      std::array<std::pair<VariablePlaceholder, std::optional<std::string>>, kPlaceholderCount>;
  [[nodiscard]] Values values() const;
};

/// The placeholders, by their short name.
using VariablePlaceholder = StringFormatter::VariablePlaceholder;

/// The attribute marking a substituted run; its value is the placeholder's
/// raw text. The name ("StringFormatter.VariablePlaceholder") can be changed.
struct VariablePlaceholderAttribute {
  /// The attribute's current name.
  static std::string name();
  /// Renames the attribute; set it at start-up, before texts are formatted.
  static void setName(std::string name);
};

/// The attributes of this namespace, read from a run's attributes.
struct StoreKitHelpersAttributes {
  /// The placeholder a run was substituted from, if any.
  static std::optional<VariablePlaceholder> variablePlaceholder(
      const platform::AttributeContainer& attributes);
};

/// A placeholder-like text that is no placeholder.
struct PlaceholderIssue {
  /// What is wrong with the text.
  enum class Kind {
    unknown,      ///< "%price_per_day%": between "%" signs, not one of the nine
    unterminated  ///< "%price ": a placeholder's name without its closing "%"
  };
  /// What is wrong with it.
  Kind kind;
  /// The text found.
  std::string text;
  /// Byte offset in the template.
  std::size_t offset = 0;

  /// Issues are equal when kind, text and offset are.
  friend bool operator==(const PlaceholderIssue&, const PlaceholderIssue&) = default;
};

/// The issues of `template_`, in order. Text such as "50% off" is none.
std::vector<PlaceholderIssue> placeholderIssues(std::string_view template_);

}  // namespace quarn::StoreKitHelpers

namespace quarn {

/// Decodes a placeholder from its raw value ("%price%").
template <>
struct Decodable<StoreKitHelpers::VariablePlaceholder> {
  /// The placeholder of the decoder's string; throws DecodingError for any other text.
  static StoreKitHelpers::VariablePlaceholder decode(Decoder& decoder);
};

/// Encodes a placeholder as its raw value.
template <>
struct Encodable<StoreKitHelpers::VariablePlaceholder> {
  /// Writes the raw value of `value`.
  static void encode(const StoreKitHelpers::VariablePlaceholder& value, Encoder& encoder);
};

}  // namespace quarn
