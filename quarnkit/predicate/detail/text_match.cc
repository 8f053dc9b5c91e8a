#include "quarnkit/predicate/detail/text_match.h"

#include <fmt/format.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <climits>
#include <vector>

#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/limits.h"

namespace quarn::detail {
namespace {

using Kind = PredicateEvaluationError::Kind;

icu::UnicodeString toUnicode(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) {
    throw PredicateEvaluationError(Kind::limitExceeded, "String too long");
  }
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

bool isAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

const icu::Normalizer2& normalizer(bool decomposed) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = decomposed ? icu::Normalizer2::getNFDInstance(status)
                                         : icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status) || n == nullptr) {
    throw PredicateEvaluationError(Kind::invalidArgument, "Unicode normalization unavailable");
  }
  return *n;
}

std::u32string codePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int64_t>(text.size());
  std::int64_t i = 0;
  while (i < length) {
    UChar32 c = 0;
    U8_NEXT_OR_FFFD(s, i, length, c);
    out += static_cast<char32_t>(c);
  }
  return out;
}

}  // namespace

std::string foldString(std::string_view text, unsigned options) {
  const bool caseless = (options & kCaseInsensitive) != 0;
  const bool markless = (options & kDiacriticInsensitive) != 0;
  if (isAscii(text)) {
    std::string out(text);
    if (caseless) {
      for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
    }
    return out;
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString u = toUnicode(text);
  if (markless) {
    const icu::UnicodeString decomposed = normalizer(true).normalize(u, status);
    icu::UnicodeString stripped;
    for (std::int32_t i = 0; i < decomposed.length();) {
      const UChar32 c = decomposed.char32At(i);
      if (u_charType(c) != U_NON_SPACING_MARK) stripped.append(c);
      i += U16_LENGTH(c);
    }
    u = stripped;
  }
  if (caseless) u.foldCase();
  u = normalizer(false).normalize(u, status);
  std::string out;
  u.toUTF8String(out);
  return out;
}

bool likeMatches(std::string_view text, std::string_view pattern) {
  enum class Part : std::uint8_t { literal, one, many };
  struct Element {
    Part part;
    char32_t c;
  };
  std::vector<Element> pat;
  const std::u32string p = codePoints(pattern);
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] == U'\\' && i + 1 < p.size()) {
      pat.push_back({Part::literal, p[++i]});
    } else if (p[i] == U'*') {
      if (pat.empty() || pat.back().part != Part::many) pat.push_back({Part::many, 0});
    } else if (p[i] == U'?') {
      pat.push_back({Part::one, 0});
    } else {
      pat.push_back({Part::literal, p[i]});
    }
  }
  const std::u32string t = codePoints(text);
  // Greedy match that backs up to the last "*" on a mismatch: O(|t| * |pat|).
  std::size_t ti = 0, pi = 0;
  std::size_t star = std::u32string::npos, starText = 0;
  while (ti < t.size()) {
    if (pi < pat.size() &&
        (pat[pi].part == Part::one || (pat[pi].part == Part::literal && pat[pi].c == t[ti]))) {
      ++ti;
      ++pi;
    } else if (pi < pat.size() && pat[pi].part == Part::many) {
      star = pi++;
      starText = ti;
    } else if (star != std::u32string::npos) {
      pi = star + 1;
      ti = ++starText;
    } else {
      return false;
    }
  }
  while (pi < pat.size() && pat[pi].part == Part::many) ++pi;
  return pi == pat.size();
}

struct Regex::Impl {
  std::unique_ptr<icu::RegexPattern> pattern;
};

Regex::Regex(std::string_view pattern, bool caseInsensitive) : impl_(std::make_unique<Impl>()) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError where{};
  const std::uint32_t flags = caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
  impl_->pattern.reset(icu::RegexPattern::compile(toUnicode(pattern), flags, where, status));
  if (U_FAILURE(status) || !impl_->pattern) {
    throw PredicateEvaluationError(Kind::invalidRegularExpression,
                                   fmt::format("Invalid regular expression \"{}\": {} at offset {}",
                                               pattern, u_errorName(status), where.offset));
  }
}

Regex::~Regex() = default;

bool Regex::matchesWhole(std::string_view subject) const {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString input = toUnicode(subject);
  std::unique_ptr<icu::RegexMatcher> matcher(impl_->pattern->matcher(input, status));
  if (U_SUCCESS(status)) matcher->setTimeLimit(kRegexTimeLimit, status);
  if (U_SUCCESS(status)) matcher->setStackLimit(kRegexStackLimit, status);
  const bool matched = U_SUCCESS(status) && matcher->matches(status);
  if (status == U_REGEX_TIME_OUT || status == U_REGEX_STACK_OVERFLOW) {
    throw PredicateEvaluationError(Kind::limitExceeded,
                                   "Regular expression match exceeded its limits");
  }
  if (U_FAILURE(status)) {
    throw PredicateEvaluationError(
        Kind::invalidRegularExpression,
        fmt::format("Regular expression failed: {}", u_errorName(status)));
  }
  return matched;
}

}  // namespace quarn::detail
