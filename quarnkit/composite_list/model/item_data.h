// CompositeListItemData: an item's presentation data (the item's "data"
// object): texts, layout size, request limit, header action, footer, and
// free-form extras. Every field is optional; unknown keys are ignored and a
// present key of the wrong JSON type fails the item.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/composite_list/model/item_type.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/value.h"

namespace quarn {

struct CompositeListItemData {
  /// What tapping a section header does. JSON: "default", "none"
  /// (disabled), or any other text read as a link URL (an unparsable URL
  /// gives default). It has no encoded form.
  class Action {
   public:
    enum class Kind { link, default_, disabled };
    static Action link(URL url) { return Action(Kind::link, std::move(url)); }
    static Action default_() { return Action(Kind::default_, std::nullopt); }
    static Action disabled() { return Action(Kind::disabled, std::nullopt); }

    [[nodiscard]] Kind kind() const { return kind_; }
    /// The URL of a link.
    [[nodiscard]] const std::optional<URL>& url() const { return url_; }

    static Action decode(Decoder& d);
    friend bool operator==(const Action&, const Action&) = default;

   private:
    Action(Kind kind, std::optional<URL> url) : kind_(kind), url_(std::move(url)) {}
    Kind kind_;
    std::optional<URL> url_;
  };

  /// How a section's footer behaves. JSON: "none" (disabled), "expand", any
  /// other text is default. It has no encoded form.
  enum class FooterMode { default_, disabled, expand };

  std::optional<std::string> title;
  std::optional<std::string> description;
  std::optional<CompositeListItemLayoutSize> layoutSize;
  std::optional<std::int64_t> maxItems;
  std::optional<bool> random;
  std::optional<Action> headerAction;
  std::optional<FooterMode> footerMode;
  std::optional<std::string> footerText;
  std::optional<bool> isVertical;
  std::optional<std::string> style;
  std::optional<bool> viewMore;
  std::optional<ValueObject> others;

  /// The data with `title`, `description` and `footerText`, where present,
  /// templated from `values` (single-pass; text_template_element.h).
  [[nodiscard]] CompositeListItemData templateText(const ValueDictionary& values) const;
  /// Whether `title`, `description` or `footerText` has a placeholder (else
  /// templating keeps the data).
  [[nodiscard]] bool hasTextPlaceholders() const;

  static CompositeListItemData decode(Decoder& d);
  /// The JSON Schema of "data" as decode() reads it (json_schema.h).
  static Value jsonSchema();
  /// Writes the present fields under their keys. The header action and footer
  /// mode have no encoded form: present, they fail with EncodingError.
  void encode(Encoder& e) const;

  friend bool operator==(const CompositeListItemData&, const CompositeListItemData&) = default;
};

template <>
struct Decodable<CompositeListItemData::FooterMode> {
  static CompositeListItemData::FooterMode decode(Decoder& d);
};

}  // namespace quarn
