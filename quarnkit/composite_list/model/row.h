/// @file
/// CompositeListRow: the entity of "rows" and "tags" items: one line of text with optional details,
/// image and link, and its own visibility rules (rows are filtered like items).

/// @struct quarn::CompositeListRow
/// The entity of "rows" and "tags" items: one line of text
/// with optional details, image and link, and its own visibility rules (rows
/// are filtered like items).
#pragma once

#include <optional>
#include <string>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/composite_list/model/item_type.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/value.h"

namespace quarn {

struct CompositeListRow {
  std::optional<std::string> id;                          ///< The row's identifier.
  std::string text;                                       ///< The row's text.
  std::optional<std::string> details;                     ///< The text under it.
  std::optional<URL> imageUrl;                            ///< Its image.
  std::optional<URL> actionLink;                          ///< Where tapping it leads.
  std::optional<CompositeListItemVisibility> visibility;  ///< Its visibility class.
  std::optional<Date> startDate;                          ///< "start": hidden until then.
  std::optional<Date> expiryDate;                         ///< "expiry": hidden from then on.
  std::optional<std::string> predicate;                   ///< Its visibility predicate.
  std::optional<Value> vars;  ///< Values its predicate and templates read as variables.

  CompositeListRow() = default;
  /// A row of these texts and links, shown to everyone at any time.
  CompositeListRow(std::optional<std::string> id_, std::string text_,
                   std::optional<std::string> details_ = std::nullopt,
                   std::optional<URL> imageUrl_ = std::nullopt,
                   std::optional<URL> actionLink_ = std::nullopt)
      : id(std::move(id_)),
        text(std::move(text_)),
        details(std::move(details_)),
        imageUrl(std::move(imageUrl_)),
        actionLink(std::move(actionLink_)) {}

  /// The row with `text`, and `details` when present, templated from `values`
  /// (single-pass; text_template_element.h).
  [[nodiscard]] CompositeListRow templateText(const ValueDictionary& values) const;
  /// Whether `text` or `details` has a placeholder (else templating keeps the row).
  [[nodiscard]] bool hasTextPlaceholders() const;

  /// Decodes a row object; throws DecodingError.
  static CompositeListRow decode(Decoder& d);
  /// The JSON Schema of a row as decode() reads it (json_schema.h).
  static Value jsonSchema();
  /// Writes the row object, leaving out what is absent.
  void encode(Encoder& e) const;

  /// Equal when every field is.
  friend bool operator==(const CompositeListRow&, const CompositeListRow&) = default;
  /// A hash that agrees with ==.
  [[nodiscard]] std::size_t hash() const;
};

}  // namespace quarn

/// Hashes a row as CompositeListRow::hash() does.
template <>
struct std::hash<quarn::CompositeListRow> {
  /// CompositeListRow::hash().
  std::size_t operator()(const quarn::CompositeListRow& r) const noexcept { return r.hash(); }
};
