#include "quarnkit/coding/any_castable.h"

#include <fmt/format.h>
#include <locale.h>  // newlocale, strtod_l
#include <unicode/locid.h>
#include <unicode/parsepos.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>

#include "quarnkit/core/decimal.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/platform/locale.h"

namespace quarn {
namespace {

// Signed decimal integer: optional single sign, then only digits, in range.
std::optional<std::int64_t> parseInteger(std::string_view s) {
  std::size_t i = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return std::nullopt;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(s[i] - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) return magnitude == limit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
  return static_cast<std::int64_t>(magnitude);
}

locale_t cLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

bool startsWithBlank(std::string_view s) {
  if (s.empty()) return false;
  switch (s[0]) {
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case '\0':
      return true;
    default:
      return false;
  }
}

// A floating number in the C locale; the whole text must be consumed.
template <class F>
std::optional<F> parseFloating(std::string_view s) {
  if (s.empty() || startsWithBlank(s)) return std::nullopt;
  const std::string text(s);  // strtod needs a terminator
  char* end = nullptr;
  F value;
  if constexpr (std::is_same_v<F, float>) {
    value = strtof_l(text.c_str(), &end, cLocale());
  } else {
    value = strtod_l(text.c_str(), &end, cLocale());
  }
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::string> text(const Value& v) {
  if (const auto* s = v.ifString()) return *s;
  if (v.isNull()) return std::nullopt;
  return v.description();
}

// The five date formats with their ICU formatters, made once per thread and
// time zone (formatters are costly to build and not safe to share).
class DateFormats {
 public:
  std::optional<Date> parse(const std::string& s) {
    const std::string zone = platform::Locale::current()->timeZoneIdentifier();
    if (zone != zone_ || formats_.empty()) rebuild(zone);
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(s);
    for (const auto& f : formats_) {
      icu::ParsePosition pos(0);
      const UDate d = f->parse(u, pos);
      if (pos.getErrorIndex() < 0 && pos.getIndex() == u.length()) return Date(d / 1000.0);
    }
    return std::nullopt;
  }

 private:
  void rebuild(const std::string& zone) {
    formats_.clear();
    zone_ = zone;
    const icu::Locale posix("en_US_POSIX");
    for (const char* pattern : {"yyyy-MM-dd", "yyyy-MM-dd'T'HH:mm:ssZ",
                                "yyyy-MM-dd'T'HH:mm:ss.SSSZ", "MM/dd/yyyy", "dd.MM.yyyy"}) {
      UErrorCode status = U_ZERO_ERROR;
      auto f = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(pattern), posix, status);
      if (U_FAILURE(status)) continue;
      f->setLenient(false);
      f->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)));
      formats_.push_back(std::move(f));
    }
  }
  std::string zone_;
  std::vector<std::unique_ptr<icu::SimpleDateFormat>> formats_;
};

}  // namespace

std::optional<std::int64_t> AnyCastable<std::int64_t>::cast(const Value& v) {
  if (const auto* i = v.ifInteger()) return *i;
  if (const auto* d = v.ifDouble()) {
    // Truncated toward zero; nothing outside the 64-bit range or non-finite.
    if (!std::isfinite(*d) || *d < -9223372036854775808.0 || *d >= 9223372036854775808.0) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(*d);
  }
  if (const auto* s = v.ifString()) return parseInteger(*s);
  if (const auto* b = v.ifBool()) return *b ? 1 : 0;
  return std::nullopt;
}

std::optional<double> AnyCastable<double>::cast(const Value& v) {
  if (const auto* d = v.ifDouble()) return *d;
  if (const auto* i = v.ifInteger()) return static_cast<double>(*i);
  if (const auto* s = v.ifString()) return parseFloating<double>(*s);
  if (const auto* b = v.ifBool()) return *b ? 1.0 : 0.0;
  return std::nullopt;
}

std::optional<float> AnyCastable<float>::cast(const Value& v) {
  if (const auto* d = v.ifDouble()) {
    // Beyond float's range the conversion is undefined; give the infinity
    // that the text "1e300" also casts to.
    if (std::isfinite(*d) && std::fabs(*d) > std::numeric_limits<float>::max()) {
      constexpr float infinity = std::numeric_limits<float>::infinity();
      return *d > 0 ? infinity : -infinity;
    }
    return static_cast<float>(*d);
  }
  if (const auto* i = v.ifInteger()) return static_cast<float>(*i);
  if (const auto* s = v.ifString()) return parseFloating<float>(*s);
  if (const auto* b = v.ifBool()) return *b ? 1.0F : 0.0F;
  return std::nullopt;
}

std::optional<bool> AnyCastable<bool>::cast(const Value& v) {
  if (const auto* b = v.ifBool()) return *b;
  if (const auto* s = v.ifString()) {
    std::string lower(*s);
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "true" || lower == "yes" || lower == "1") return true;
    if (lower == "false" || lower == "no" || lower == "0") return false;
    return std::nullopt;
  }
  if (const auto* i = v.ifInteger()) return *i != 0;
  return std::nullopt;
}

std::optional<std::string> AnyCastable<std::string>::cast(const Value& v) { return text(v); }

std::optional<Date> AnyCastable<Date>::cast(const Value& v) {
  if (const auto* d = v.ifDate()) return *d;
  auto s = text(v);
  if (!s) return std::nullopt;
  thread_local DateFormats formats;
  return formats.parse(*s);
}

std::optional<URL> AnyCastable<URL>::cast(const Value& v) {
  auto s = text(v);
  return s ? URL::parse(*s) : std::nullopt;
}

std::optional<UUID> AnyCastable<UUID>::cast(const Value& v) {
  auto s = text(v);
  return s ? UUID::parse(*s) : std::nullopt;
}

std::optional<Decimal> AnyCastable<Decimal>::cast(const Value& v) {
  if (const auto* d = v.ifDouble()) {
    return std::isfinite(*d) ? Decimal::parse(fmt::format("{}", *d)) : std::nullopt;
  }
  if (const auto* i = v.ifInteger()) return Decimal(*i);
  if (const auto* s = v.ifString()) return Decimal::parse(*s);
  return std::nullopt;
}

}  // namespace quarn
