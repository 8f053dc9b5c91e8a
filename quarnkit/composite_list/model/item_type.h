/// @file
/// The open string values of a template: item types, visibility classes and
/// layout sizes. Any string is a valid value; the named constants are the ones
/// the library and hosts agree on. In JSON each is a bare string.
///
/// ```
///   CompositeListItemType t("banner_small");
///   t.isSubtypeOf(CompositeListItemType::banner);                          // true
///   CompositeListItemType::listOf(CompositeListItemType::banner) ==
///   CompositeListItemType::bannerList;
/// ```
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/coding/raw_string_value.h"

namespace quarn {

/// An item type: chooses the description that decodes an item and the
/// section it makes ("banner", "rows", a host's own). A value.
struct CompositeListItemType : RawStringValue<CompositeListItemType> {
  /// Made from its raw text, as any raw string value is.
  using RawStringValue::RawStringValue;

  static const CompositeListItemType list;         ///< "list"
  static const CompositeListItemType template_;    ///< "template"
  static const CompositeListItemType banner;       ///< "banner"
  static const CompositeListItemType bannerSmall;  ///< "banner_small"
  static const CompositeListItemType bannerList;   ///< "banner_list"
  static const CompositeListItemType rows;         ///< "rows"
  static const CompositeListItemType tags;         ///< "tags"
  static const CompositeListItemType ad;           ///< "ad"
  static const CompositeListItemType include;      ///< "include"
  static const CompositeListItemType divider;      ///< "divider"

  /// The type whose raw value is `type`'s followed by "_list".
  static CompositeListItemType listOf(const CompositeListItemType& type) {
    return CompositeListItemType(type.rawValue + "_list");
  }
  /// True when the raw value ends with "list" ("list", "banner_list", "playlist").
  [[nodiscard]] bool isAnyListOf() const { return rawValue.ends_with("list"); }
  /// True when this raw value contains the other's.
  [[nodiscard]] bool isSubtypeOf(const CompositeListItemType& other) const {
    return rawValue.find(other.rawValue) != std::string::npos;
  }
};

inline const CompositeListItemType CompositeListItemType::list{"list"};
inline const CompositeListItemType CompositeListItemType::template_{"template"};
inline const CompositeListItemType CompositeListItemType::banner{"banner"};
inline const CompositeListItemType CompositeListItemType::bannerSmall{"banner_small"};
inline const CompositeListItemType CompositeListItemType::bannerList{"banner_list"};
inline const CompositeListItemType CompositeListItemType::rows{"rows"};
inline const CompositeListItemType CompositeListItemType::tags{"tags"};
inline const CompositeListItemType CompositeListItemType::ad{"ad"};
inline const CompositeListItemType CompositeListItemType::include{"include"};
inline const CompositeListItemType CompositeListItemType::divider{"divider"};

/// Who sees an item: "hidden" never shows, "free" only without a premium
/// subscription, "pro" only with one; other values hide nothing.
struct CompositeListItemVisibility : RawStringValue<CompositeListItemVisibility> {
  /// Made from its raw text, as any raw string value is.
  using RawStringValue::RawStringValue;
  static const CompositeListItemVisibility hidden;  ///< "hidden"
  static const CompositeListItemVisibility free;    ///< "free"
  static const CompositeListItemVisibility pro;     ///< "pro"
};

inline const CompositeListItemVisibility CompositeListItemVisibility::hidden{"hidden"};
inline const CompositeListItemVisibility CompositeListItemVisibility::free{"free"};
inline const CompositeListItemVisibility CompositeListItemVisibility::pro{"pro"};

/// A layout size name for the host's layouts; the library attaches no meaning.
struct CompositeListItemLayoutSize : RawStringValue<CompositeListItemLayoutSize> {
  /// Made from its raw text, as any raw string value is.
  using RawStringValue::RawStringValue;
  static const CompositeListItemLayoutSize default_;  ///< "default"
  static const CompositeListItemLayoutSize compact;   ///< "compact"
  static const CompositeListItemLayoutSize normal;    ///< "normal"
  static const CompositeListItemLayoutSize large;     ///< "large"
  static const CompositeListItemLayoutSize dynamic;   ///< "dynamic"
  static const CompositeListItemLayoutSize auto_;     ///< "auto"
};

inline const CompositeListItemLayoutSize CompositeListItemLayoutSize::default_{"default"};
inline const CompositeListItemLayoutSize CompositeListItemLayoutSize::compact{"compact"};
inline const CompositeListItemLayoutSize CompositeListItemLayoutSize::normal{"normal"};
inline const CompositeListItemLayoutSize CompositeListItemLayoutSize::large{"large"};
inline const CompositeListItemLayoutSize CompositeListItemLayoutSize::dynamic{"dynamic"};
inline const CompositeListItemLayoutSize CompositeListItemLayoutSize::auto_{"auto"};

}  // namespace quarn
