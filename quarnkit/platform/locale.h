/// @file
/// Locale: the platform's locale service: the current locale, the user's preferred languages and
/// the device's time zone, by identifier (ICU names).

/// @class quarn::platform::Locale
/// The platform's locale service: the current locale, the user's
/// preferred languages and the device's time zone, by identifier (ICU names).
///
/// Kind: locale services are unique objects (not copyable), installed as
/// services.
///
/// The default reads ICU's defaults (which follow LANG and TZ). Calendar
/// arithmetic and formatting use these identifiers with ICU.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "quarnkit/platform/service.h"

namespace quarn::platform {

class Locale {
 public:
  Locale() = default;
  virtual ~Locale() = default;
  Locale(const Locale&) = delete;
  Locale& operator=(const Locale&) = delete;
  /// The current locale's identifier ("en_US").
  [[nodiscard]] virtual std::string localeIdentifier() const = 0;
  /// The user's preferred language codes, most preferred first ("en-US").
  [[nodiscard]] virtual std::vector<std::string> preferredLanguages() const = 0;
  /// The device's time zone identifier ("Europe/Berlin").
  [[nodiscard]] virtual std::string timeZoneIdentifier() const = 0;

  /// The locale service of this process.
  static std::shared_ptr<const Locale> current();
  /// Replaces the locale service of this process (null: the system's).
  static void setCurrent(std::shared_ptr<const Locale> locale);
};

/// A locale service with fixed answers: the test double.
class FixedLocale final : public Locale {
 public:
  /// A locale with these answers.
  FixedLocale(std::string localeIdentifier, std::vector<std::string> preferredLanguages,
              std::string timeZoneIdentifier)
      : locale_(std::move(localeIdentifier)),
        languages_(std::move(preferredLanguages)),
        timeZone_(std::move(timeZoneIdentifier)) {}
  [[nodiscard]] std::string localeIdentifier() const override { return locale_; }
  [[nodiscard]] std::vector<std::string> preferredLanguages() const override { return languages_; }
  [[nodiscard]] std::string timeZoneIdentifier() const override { return timeZone_; }

 private:
  std::string locale_;
  std::vector<std::string> languages_;
  std::string timeZone_;
};

}  // namespace quarn::platform
