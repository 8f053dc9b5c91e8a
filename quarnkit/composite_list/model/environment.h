/// @file
/// CompositeListEnvironment: the facts about the device, the app and the user that predicates test
/// and text templates print.

/// @class quarn::CompositeListEnvironment
/// The facts about the device, the app and the user
/// that predicates test and text templates print. The host implements
/// environmentValues() with its own facts; resolvedValues() puts them over the
/// built-in ones. An interface; fetchers hold implementations by
/// shared_ptr<const>.
///
/// ```
///   class Environment : public CompositeListEnvironment {
///     ValueDictionary environmentValues() const override { return {{"is_premium", true}}; }
///   };
///   Environment().resolvedValues();   // {"os": "iOS", "date": ..., "is_premium": true, ...}
/// ```
///
/// Built-in facts, read from the platform services at each call:
///   "os"                   "iOS"
///   "date"                 now (Clock)
///   "locale"               the current locale, an auto-updating LocaleValue object
///   "preferred_languages"  the preferred language codes (Locale), a list of strings
///   "is_pad"               whether the device is a tablet (Device)
///   "app.version"          the bundle's short version string, when it has one
///   "app.build"            the bundle's build number as an integer, when it is one
///                          (an optional sign, then decimal digits, no overflow)
///   "date.year", "date.month", "date.day", "date.weekday", "date.hour",
///   "date.minute", "date.second"   the components of the same now (Calendar)
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/core/value.h"

namespace quarn {

class CompositeListEnvironment {
 public:
  virtual ~CompositeListEnvironment() = default;

  /// The host's own facts; on a key clash they win over the built-in ones.
  [[nodiscard]] virtual ValueDictionary environmentValues() const = 0;
  /// Whether the user has a premium subscription; nothing when unknown. The
  /// default reads "is_premium" of environmentValues() when it is a boolean.
  [[nodiscard]] virtual std::optional<bool> hasPremiumSubscription() const;

  /// The built-in facts (see the file comment) with environmentValues()
  /// merged over them.
  [[nodiscard]] ValueDictionary resolvedValues() const;
};

/// The current locale as a value: an opaque object that reads the Locale
/// service whenever it is asked, so it follows changes of the locale. It
/// answers the keys "identifier" ("en_US"), "languageCode" ("en"),
/// "scriptCode" and "regionCode" ("US") when the identifier has them; its
/// text form is the identifier. All such objects are equal.
class LocaleValue final : public OpaqueValue {
 public:
  [[nodiscard]] std::optional<Value> valueForKey(std::string_view key) const override;
  [[nodiscard]] std::string description() const override;
  [[nodiscard]] bool equals(const OpaqueValue& other) const override;
  [[nodiscard]] std::size_t hash() const override;
};

namespace detail {
/// A build string as an integer: an optional "+" or "-", then one or more
/// decimal digits, within 64 bits; nothing otherwise.
std::optional<std::int64_t> parseBuildNumber(std::string_view text);
}  // namespace detail

}  // namespace quarn
