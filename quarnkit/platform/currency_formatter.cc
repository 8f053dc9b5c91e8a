#include "quarnkit/platform/currency_formatter.h"

#include <unicode/numberformatter.h>
#include <unicode/uchar.h>
#include <unicode/ucurr.h>
#include <unicode/unistr.h>

#include <array>
#include <boost/multiprecision/cpp_dec_float.hpp>
#include <map>
#include <mutex>
#include <vector>

#include "quarnkit/platform/detail/icu_locale.h"
#include "quarnkit/platform/locale.h"

namespace quarn::platform {
namespace detail {

// ICU's output for amounts with one number of integer digits, with the
// digits taken out: the texts around them and the numbering system's zero.
// Amounts with as many integer digits differ from it only in their digits
// (same signs, symbols, grouping and spacing), so later ones are filled in
// without formatting them again.
struct DigitLayout {
  std::vector<std::string> pieces;  // one more than the digits
  std::array<std::string, 10> digits;
  std::size_t length = 0;  // of the pieces together
};

struct CurrencyStyle {
  std::optional<icu::number::LocalizedNumberFormatter> formatter;
  std::string currencyCode;
  int fractionDigits = 2;
  bool fillsLayouts = true;  // false for currencies rounded to an increment (cash)

  mutable std::mutex mutex;
  mutable std::array<std::optional<DigitLayout>, 20> layouts;  // by integer digit count
  mutable std::array<bool, 20> unfillable{};
};

}  // namespace detail

namespace {

using detail::CurrencyStyle;
using detail::DigitLayout;

constexpr int kMaxDigits = 18;  // an int64 holds every 18-digit number

std::int64_t powerOfTen(int n) {
  std::int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

bool isCurrencyCode(const char* text, std::int32_t length) {
  if (length != 3) return false;
  for (std::int32_t i = 0; i < 3; ++i) {
    const char c = static_cast<char>(text[i] & ~0x20);  // upper case
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

std::shared_ptr<const CurrencyStyle> makeStyle(std::string_view identifier) {
  auto style = std::make_shared<CurrencyStyle>();
  const icu::Locale locale = detail::formattingLocale(identifier);
  UErrorCode status = U_ZERO_ERROR;
  // ICU passes over a malformed "@currency=" and takes the region's: a price
  // would then show in a currency it is not in.
  char named[8] = {};
  const std::int32_t namedLength = locale.getKeywordValue("currency", named, sizeof named, status);
  if (U_FAILURE(status) || (namedLength != 0 && !isCurrencyCode(named, namedLength))) {
    return style;
  }
  UChar code[4] = {};
  ucurr_forLocale(locale.getName(), code, 4, &status);
  if (U_FAILURE(status) || code[0] == 0) {
    status = U_ZERO_ERROR;
    code[0] = u'X', code[1] = u'X', code[2] = u'X';  // "no currency"
  }
  const icu::CurrencyUnit unit(code, status);
  if (U_FAILURE(status)) return style;
  icu::UnicodeString(code, 3).toUTF8String(style->currencyCode);
  style->fractionDigits =
      ucurr_getDefaultFractionDigitsForUsage(code, UCURR_USAGE_STANDARD, &status);
  style->fillsLayouts =
      ucurr_getRoundingIncrementForUsage(code, UCURR_USAGE_STANDARD, &status) == 0.0;
  if (U_FAILURE(status) || style->fractionDigits < 0 || style->fractionDigits > 6) {
    style->currencyCode.clear();
    return style;
  }
  style->formatter = icu::number::NumberFormatter::withLocale(locale).unit(unit);
  return style;
}

// One style per identifier, shared by every formatter in the process.
std::shared_ptr<const CurrencyStyle> styleFor(std::string_view identifier) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const CurrencyStyle>, std::less<>> styles;
  {
    std::lock_guard lock(mutex);
    if (auto it = styles.find(identifier); it != styles.end()) return it->second;
  }
  auto style = makeStyle(identifier);
  std::lock_guard lock(mutex);
  if (styles.size() < 512) styles.emplace(std::string(identifier), style);
  return style;
}

std::optional<std::string> formatWithICU(const CurrencyStyle& style, std::string_view decimalText) {
  if (!style.formatter) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const icu::number::FormattedNumber formatted = style.formatter->formatDecimal(
      icu::StringPiece(decimalText.data(), static_cast<std::int32_t>(decimalText.size())), status);
  const icu::UnicodeString text = formatted.toString(status);
  if (U_FAILURE(status)) return std::nullopt;
  std::string out;
  text.toUTF8String(out);
  return out;
}

// The layout of `formatted`, the text ICU made for `digits` (the amount's
// digits, fraction digits included); nothing when its digits cannot be
// matched one to one.
std::optional<DigitLayout> layoutOf(std::string_view formatted, std::string_view digits) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(formatted.data(), static_cast<std::int32_t>(formatted.size())));
  DigitLayout layout;
  icu::UnicodeString piece;
  std::size_t slot = 0;
  UChar32 zero = -1;
  for (std::int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    const std::int32_t value = u_charDigitValue(c);
    if (value < 0) {
      piece.append(c);
      continue;
    }
    if (slot >= digits.size() || digits[slot] - '0' != value) return std::nullopt;
    if (zero >= 0 && c - value != zero) return std::nullopt;
    zero = c - value;
    layout.pieces.emplace_back();
    piece.toUTF8String(layout.pieces.back());
    piece.remove();
    ++slot;
  }
  if (slot != digits.size() || zero < 0) return std::nullopt;
  layout.pieces.emplace_back();
  piece.toUTF8String(layout.pieces.back());
  for (int d = 0; d < 10; ++d) icu::UnicodeString(zero + d).toUTF8String(layout.digits[d]);
  for (const std::string& p : layout.pieces) layout.length += p.size();
  return layout;
}

// The amount rounded half-even to `fractionDigits`, as its digit string
// (at least one integer digit); nothing when it does not fit.
std::optional<std::string> roundedDigits(FixedPointDecimal value, int fractionDigits) {
  std::int64_t units = value.units;
  int scale = value.scale;
  if (scale > fractionDigits) {
    const int drop = scale - fractionDigits;
    if (drop > kMaxDigits) {
      units = 0;
    } else {
      const std::int64_t divisor = powerOfTen(drop);
      const std::int64_t q = units / divisor, r = units % divisor;
      const std::int64_t twice = 2 * r;  // r < divisor ≤ 10^18: no overflow
      units = q + ((twice > divisor || (twice == divisor && q % 2 != 0)) ? 1 : 0);
    }
  } else if (scale < fractionDigits) {
    const std::int64_t factor = powerOfTen(fractionDigits - scale);
    if (units > std::numeric_limits<std::int64_t>::max() / factor) return std::nullopt;
    units *= factor;
  }
  scale = fractionDigits;
  std::string digits = std::to_string(units);
  if (digits.size() < static_cast<std::size_t>(scale) + 1) {
    digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
  }
  return digits;
}

std::string decimalText(std::string_view digits, int fractionDigits) {
  std::string text(digits.substr(0, digits.size() - static_cast<std::size_t>(fractionDigits)));
  if (fractionDigits > 0) {
    text += '.';
    text += digits.substr(digits.size() - static_cast<std::size_t>(fractionDigits));
  }
  return text;
}

std::optional<FixedPointDecimal> fixedPoint(std::string_view text) {
  FixedPointDecimal out;
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') negative = true, ++i;
  int digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !point) {
      point = true;
      continue;
    }
    if (text[i] < '0' || text[i] > '9' || ++digits > kMaxDigits) return std::nullopt;
    out.units = out.units * 10 + (text[i] - '0');
    if (point) ++out.scale;
  }
  if (negative) out.units = -out.units;
  return out;
}

}  // namespace

CurrencyFormatter::CurrencyFormatter() : CurrencyFormatter(Locale::current()->localeIdentifier()) {}

CurrencyFormatter::CurrencyFormatter(std::string_view localeIdentifier)
    : localeIdentifier_(localeIdentifier), style_(styleFor(localeIdentifier)) {}

void CurrencyFormatter::setLocaleIdentifier(std::string_view localeIdentifier) {
  if (localeIdentifier == localeIdentifier_) return;
  localeIdentifier_ = localeIdentifier;
  style_ = styleFor(localeIdentifier);
}

const std::string& CurrencyFormatter::currencyCode() const { return style_->currencyCode; }

int CurrencyFormatter::maximumFractionDigits() const { return style_->fractionDigits; }

namespace {

// The value with the fewest fraction digits that hold it exactly, found by
// scaling instead of printing (printing a 50-digit decimal goes through a
// stream and costs several times more than a paywall's formatting). The
// digits counted are those of its text, as fixedPoint() counts them: a value
// under 1 has its "0" before the point. Nothing when no scale of at most
// kMaxDigits holds it in kMaxDigits digits; the text decides then.
std::optional<FixedPointDecimal> scaledFixedPoint(const Decimal::Backend& value) {
  static const Decimal::Backend kLargest("999999999999999999");  // kMaxDigits nines
  Decimal::Backend scaled = value;
  for (int scale = 0; scale <= kMaxDigits; ++scale) {
    if (scale > 0) scaled *= 10;
    if (boost::multiprecision::abs(scaled) > kLargest) return std::nullopt;
    if (boost::multiprecision::trunc(scaled) != scaled) continue;
    const auto units = scaled.convert_to<std::int64_t>();
    int digits = 1;
    for (std::uint64_t u = units < 0 ? 0 - static_cast<std::uint64_t>(units)
                                     : static_cast<std::uint64_t>(units);
         u >= 10; u /= 10) {
      ++digits;
    }
    if (std::max(digits, scale + 1) > kMaxDigits) return std::nullopt;
    return FixedPointDecimal{units, scale};
  }
  return std::nullopt;
}

}  // namespace

std::optional<FixedPointDecimal> FixedPointDecimal::of(const Decimal& value) {
  if (!boost::multiprecision::isfinite(value.backend())) return std::nullopt;
  if (auto fixed = scaledFixedPoint(value.backend())) return fixed;
  return fixedPoint(value.toString());
}

std::optional<std::string> CurrencyFormatter::string(const Decimal& value) const {
  if (!boost::multiprecision::isfinite(value.backend())) return std::nullopt;
  const std::string text = value.toString();
  if (auto fixed = fixedPoint(text)) return string(*fixed);
  return formatWithICU(*style_, text);
}

std::optional<std::string> CurrencyFormatter::string(FixedPointDecimal value) const {
  const CurrencyStyle& style = *style_;
  if (!style.formatter || value.scale < 0) return std::nullopt;
  const bool negative = value.units < 0;
  if (negative) {
    if (value.units == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
    value.units = -value.units;
  }
  const std::optional<std::string> digits = roundedDigits(value, style.fractionDigits);
  if (!digits) return std::nullopt;
  const std::string text = (negative ? "-" : "") + decimalText(*digits, style.fractionDigits);
  const std::size_t integerDigits = digits->size() - static_cast<std::size_t>(style.fractionDigits);
  if (negative || !style.fillsLayouts || integerDigits >= style.layouts.size()) {
    return formatWithICU(style, text);
  }
  {
    std::lock_guard lock(style.mutex);
    if (const auto& layout = style.layouts[integerDigits]) {
      std::string out;
      out.reserve(layout->length + digits->size() * layout->digits[0].size());
      out += layout->pieces[0];
      for (std::size_t i = 0; i < digits->size(); ++i) {
        out += layout->digits[static_cast<std::size_t>((*digits)[i] - '0')];
        out += layout->pieces[i + 1];
      }
      return out;
    }
    if (style.unfillable[integerDigits]) return formatWithICU(style, text);
  }
  std::optional<std::string> formatted = formatWithICU(style, text);
  if (!formatted) return formatted;
  std::optional<DigitLayout> layout = layoutOf(*formatted, *digits);
  std::lock_guard lock(style.mutex);
  if (layout) {
    style.layouts[integerDigits] = std::move(layout);
  } else {
    style.unfillable[integerDigits] = true;
  }
  return formatted;
}

}  // namespace quarn::platform
