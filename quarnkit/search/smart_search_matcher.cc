#include "quarnkit/search/smart_search_matcher.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <boost/container/small_vector.hpp>
#include <climits>
#include <memory>

#include "quarnkit/platform/text_folding.h"

namespace quarn {
namespace {

constexpr unsigned kFolding = platform::kFoldCase | platform::kFoldDiacritics;

bool isAsciiWhitespace(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Whether `c` continues the character before it (a combining mark, a
// zero-width joiner).
bool extendsCharacter(UChar32 c) {
  const auto property = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
  return property == U_GCB_EXTEND || property == U_GCB_SPACING_MARK || property == U_GCB_ZWJ;
}

// User-perceived characters of a query word.
std::size_t characterCount(std::string_view word) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> characters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(word.data(), static_cast<std::int32_t>(word.size())));
  if (U_FAILURE(status) || !characters) return static_cast<std::size_t>(text.countChar32());
  characters->setText(text);
  std::size_t n = 0;
  while (characters->next() != icu::BreakIterator::DONE) ++n;
  return n;
}

}  // namespace

namespace detail {

std::size_t whitespaceLength(std::string_view text, std::size_t i) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
  auto at = static_cast<std::int32_t>(i);
  if (s[at] < 0x80) {
    if (!isAsciiWhitespace(s[at])) return 0;
    ++at;
  } else {
    UChar32 c = 0;
    U8_NEXT_OR_FFFD(s, at, length, c);
    if (!u_isUWhiteSpace(c)) return 0;
  }
  if (at < length && s[at] >= 0x80) {
    std::int32_t next = at;
    UChar32 c = 0;
    U8_NEXT_OR_FFFD(s, next, length, c);
    if (extendsCharacter(c)) return 0;
  }
  return static_cast<std::size_t>(at) - i;
}

}  // namespace detail

SmartSearchMatcher::SmartSearchMatcher(std::string_view searchString) {
  std::vector<std::pair<std::size_t, std::string>> words;
  detail::forEachWord(searchString, [&](std::string_view word) {
    words.emplace_back(characterCount(word), std::string(word));
  });
  std::stable_sort(words.begin(), words.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (auto& [count, word] : words) {
    foldedTokens_.push_back(platform::foldedForComparison(word, kFolding));
    searchTokens_.push_back(std::move(word));
  }
}

bool SmartSearchMatcher::matches(std::string_view text) const {
  if (foldedTokens_.empty()) return true;
  boost::container::small_vector<std::string_view, 16> available;
  detail::forEachWord(text, [&](std::string_view word) { available.push_back(word); });
  for (const std::string& token : foldedTokens_) {
    const auto word = std::find_if(available.begin(), available.end(), [&](std::string_view w) {
      return platform::foldedTextStartsWith(w, token, kFolding);
    });
    if (word == available.end()) return false;
    available.erase(word);
  }
  return true;
}

}  // namespace quarn
