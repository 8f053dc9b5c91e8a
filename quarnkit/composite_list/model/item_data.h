/// @file
/// CompositeListItemData: an item's presentation data (the item's "data" object): texts, layout
/// size, request limit, header action, footer, and free-form extras.

/// @struct quarn::CompositeListItemData
/// An item's presentation data (the item's "data"
/// object): texts, layout size, request limit, header action, footer, and
/// free-form extras. Every field is optional; unknown keys are ignored and a
/// present key of the wrong JSON type fails the item.
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
    /// What the header does.
    enum class Kind { link, default_, disabled };
    /// Opens `url`.
    static Action link(URL url) { return Action(Kind::link, std::move(url)); }
    /// The screen's default header action.
    static Action default_() { return Action(Kind::default_, std::nullopt); }
    /// The header does nothing.
    static Action disabled() { return Action(Kind::disabled, std::nullopt); }

    /// What the header does.
    [[nodiscard]] Kind kind() const { return kind_; }
    /// The URL of a link.
    [[nodiscard]] const std::optional<URL>& url() const { return url_; }

    /// Decodes an action from its JSON text (see above).
    static Action decode(Decoder& d);
    /// Equal when kind and URL are.
    friend bool operator==(const Action&, const Action&) = default;

   private:
    Action(Kind kind, std::optional<URL> url) : kind_(kind), url_(std::move(url)) {}
    Kind kind_;
    std::optional<URL> url_;
  };

  /// How a section's footer behaves. JSON: "none" (disabled), "expand", any
  /// other text is default. It has no encoded form.
  enum class FooterMode { default_, disabled, expand };

  /// The section's title.
  std::optional<std::string> title;
  /// The text under the title.
  std::optional<std::string> description;
  /// The layout size name for the host's layout.
  std::optional<CompositeListItemLayoutSize> layoutSize;
  /// The most entities the item's request asks for ("limit").
  std::optional<std::int64_t> maxItems;
  /// Whether list entities are shuffled.
  std::optional<bool> random;
  /// What tapping the header does.
  std::optional<Action> headerAction;
  /// How the footer behaves.
  std::optional<FooterMode> footerMode;
  /// The footer's text.
  std::optional<std::string> footerText;
  /// Whether the section scrolls vertically.
  std::optional<bool> isVertical;
  /// The host's style name.
  std::optional<std::string> style;
  /// Whether the section offers "view more".
  std::optional<bool> viewMore;
  /// The members of "data" the library does not read, for the host.
  std::optional<ValueObject> others;

  /// The data with `title`, `description` and `footerText`, where present,
  /// templated from `values` (single-pass; text_template_element.h).
  [[nodiscard]] CompositeListItemData templateText(const ValueDictionary& values) const;
  /// Whether `title`, `description` or `footerText` has a placeholder (else
  /// templating keeps the data).
  [[nodiscard]] bool hasTextPlaceholders() const;

  /// Decodes the "data" object (see the struct's description); throws DecodingError.
  static CompositeListItemData decode(Decoder& d);
  /// The JSON Schema of "data" as decode() reads it (json_schema.h).
  static Value jsonSchema();
  /// Writes the present fields under their keys. The header action and footer
  /// mode have no encoded form: present, they fail with EncodingError.
  void encode(Encoder& e) const;

  /// Equal when every field is.
  friend bool operator==(const CompositeListItemData&, const CompositeListItemData&) = default;
};

/// Decodes a footer mode from its JSON text (see FooterMode).
template <>
struct Decodable<CompositeListItemData::FooterMode> {
  /// The mode of the decoder's string.
  static CompositeListItemData::FooterMode decode(Decoder& d);
};

}  // namespace quarn
