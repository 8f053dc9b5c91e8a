// Locale identifiers to ICU locales for the formatters, with one rule for
// identifiers ICU has no data for: they format as the root locale, and the
// first use of each such identifier is logged.
#pragma once

#include <unicode/locid.h>

#include <string_view>

namespace quarn::platform::detail {

/// The ICU locale of `identifier` ("de_DE", "en_US@currency=EUR"); the root
/// locale (keeping the identifier's keywords) when ICU does not know it.
icu::Locale formattingLocale(std::string_view identifier);

}  // namespace quarn::platform::detail
