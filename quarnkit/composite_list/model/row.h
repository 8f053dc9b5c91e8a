// CompositeListRow: the entity of "rows" and "tags" items: one line of text
// with optional details, image and link, and its own visibility rules (rows
// are filtered like items).
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
  std::optional<std::string> id;
  std::string text;
  std::optional<std::string> details;
  std::optional<URL> imageUrl;
  std::optional<URL> actionLink;
  std::optional<CompositeListItemVisibility> visibility;
  std::optional<Date> startDate;   // "start"
  std::optional<Date> expiryDate;  // "expiry"
  std::optional<std::string> predicate;
  std::optional<Value> vars;

  CompositeListRow() = default;
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

  static CompositeListRow decode(Decoder& d);
  /// The JSON Schema of a row as decode() reads it (json_schema.h).
  static Value jsonSchema();
  void encode(Encoder& e) const;

  friend bool operator==(const CompositeListRow&, const CompositeListRow&) = default;
  [[nodiscard]] std::size_t hash() const;
};

}  // namespace quarn

template <>
struct std::hash<quarn::CompositeListRow> {
  std::size_t operator()(const quarn::CompositeListRow& r) const noexcept { return r.hash(); }
};
