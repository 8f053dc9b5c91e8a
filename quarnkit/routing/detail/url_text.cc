#include "quarnkit/routing/detail/url_text.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <array>
#include <memory>

namespace quarn::detail {

namespace {

std::string_view withoutQueryAndFragment(std::string_view text) {
  text = text.substr(0, text.find('?'));
  return text.substr(0, text.find('#'));
}

// Where "$" matches before the text's end: the start of a line terminator
// (LF, VT, FF, CR, CR LF, NEL, LS or PS) that ends `text`; npos when none does.
std::size_t finalLineTerminator(std::string_view text) {
  const std::size_t n = text.size();
  if (n == 0) return std::string_view::npos;
  if (text.ends_with("\r\n")) return n - 2;
  const char last = text[n - 1];
  if (last == '\n' || last == '\v' || last == '\f' || last == '\r') return n - 1;
  if (text.ends_with("\xC2\x85")) return n - 2;
  if (text.ends_with("\xE2\x80\xA8") || text.ends_with("\xE2\x80\xA9")) return n - 3;
  return std::string_view::npos;
}

}  // namespace

std::string normalizeURLText(std::string_view text) {
  text = withoutQueryAndFragment(text);
  std::string out;
  out.reserve(text.size());
  // Each run of slashes becomes one, or at most two right after a colon.
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '/') {
      out += text[i++];
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && text[i] == '/') ++i;
    const bool afterColon = start > 0 && text[start - 1] == ':';
    out.append(afterColon ? std::min<std::size_t>(i - start, 2) : 1, '/');
  }
  // The run of slashes that ends the text, or ends it but for a line
  // terminator, goes unless it follows a colon.
  std::size_t end = out.size();
  if (end == 0 || out[end - 1] != '/') end = finalLineTerminator(out);
  if (end == std::string::npos || end == 0 || out[end - 1] != '/') return out;
  std::size_t start = end;
  while (start > 0 && out[start - 1] == '/') --start;
  if (start > 0 && out[start - 1] == ':') return out;
  out.erase(start, end - start);
  return out;
}

std::string normalizeURLTextByExpressions(std::string_view text) {
  static constexpr std::array<std::pair<const char16_t*, const char16_t*>, 3> kReplacements{{
      {u":/{3,}", u"://"},
      {u"(?<!:)/{2,}", u"/"},
      {u"(?<!:|:/)/+$", u""},
  }};
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(withoutQueryAndFragment(text));
  for (const auto& [pattern, replacement] : kReplacements) {
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexMatcher matcher(icu::UnicodeString(pattern), s, 0, status);
    if (U_FAILURE(status)) continue;  // a pattern that does not compile is skipped
    icu::UnicodeString replaced = matcher.replaceAll(icu::UnicodeString(replacement), status);
    if (U_SUCCESS(status)) s = replaced;
  }
  std::string out;
  s.toUTF8String(out);
  return out;
}

std::vector<std::string> pathComponentTexts(std::string_view text) {
  std::vector<std::string> out;
  bool first = true;
  while (true) {
    const std::size_t slash = text.find('/');
    const std::string_view piece = text.substr(0, slash);
    if (!piece.empty() && !(first && piece.back() == ':')) out.emplace_back(piece);
    if (slash == std::string_view::npos) break;
    first = false;
    text.remove_prefix(slash + 1);
  }
  return out;
}

}  // namespace quarn::detail
