#include "quarnkit/platform/detail/icu_locale.h"

#include <unicode/ures.h>

#include <mutex>
#include <set>
#include <string>

#include "quarnkit/core/log.h"

namespace quarn::platform::detail {
namespace {

// Whether ICU has data for the locale's language (a region it does not know
// still formats with the language's data).
bool isKnown(const icu::Locale& locale) {
  if (locale.isBogus() || *locale.getLanguage() == '\0') return false;
  UErrorCode status = U_ZERO_ERROR;
  UResourceBundle* bundle = ures_open(nullptr, locale.getBaseName(), &status);
  ures_close(bundle);
  return U_SUCCESS(status) && status != U_USING_DEFAULT_WARNING;
}

void logUnknownOnce(std::string_view identifier) {
  static std::mutex mutex;
  static std::set<std::string, std::less<>> logged;
  {
    std::lock_guard lock(mutex);
    if (!logged.emplace(identifier).second) return;
  }
  defaultLogger().log(LogLevel::warning,
                      "Unknown locale identifier \"{}\", formatting with the root locale",
                      identifier);
}

}  // namespace

icu::Locale formattingLocale(std::string_view identifier) {
  const std::string id(identifier);
  icu::Locale locale(id.c_str());
  if (isKnown(locale)) return locale;
  logUnknownOnce(identifier);
  icu::Locale root = icu::Locale::getRoot();
  if (!locale.isBogus()) {
    // Keep "@currency=..." so that the price keeps its currency.
    UErrorCode status = U_ZERO_ERROR;
    char currency[16] = {};
    const std::int32_t n = locale.getKeywordValue("currency", currency, sizeof currency, status);
    if (U_SUCCESS(status) && n > 0 && n < static_cast<std::int32_t>(sizeof currency)) {
      root.setKeywordValue("currency", currency, status);
    }
  }
  return root;
}

}  // namespace quarn::platform::detail
