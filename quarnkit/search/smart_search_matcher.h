/// @file
/// SmartSearchMatcher: whether a text (a title, a name) matches what the user typed in a search
/// field.

/// @class quarn::SmartSearchMatcher
/// Whether a text (a title, a name) matches what the user
/// typed in a search field. Every typed word must be the beginning of a
/// different word of the text, ignoring letter case and diacritics, in any
/// order; longer typed words choose their word first.
///
/// ```
///   SmartSearchMatcher matcher("an anna");
///   matcher.matches("Anna Andersen");   // true: "anna" takes Anna, "an" Andersen
///   matcher.matches("Anna");            // false: one word cannot serve both
///   SmartSearchMatcher("cafe").matches("Café Central");   // true
/// ```
///
/// Words are separated by Unicode whitespace (line breaks included); a text
/// in a script written without spaces is one word. A list makes one matcher
/// per query and asks it about each row: the query is folded once, and a
/// text's words are folded only as far as the comparison needs. Invalid UTF-8
/// reads as U+FFFD. A matcher is a value; matches() may be called from several
/// threads at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn {

class SmartSearchMatcher {
 public:
  /// Splits and folds the query `searchString` once, for every later matches().
  explicit SmartSearchMatcher(std::string_view searchString);

  /// The words of the query, longest first (in user-perceived characters);
  /// words of equal length in the order typed.
  [[nodiscard]] const std::vector<std::string>& searchTokens() const { return searchTokens_; }

  /// True for any text when the query has no words.
  [[nodiscard]] bool matches(std::string_view text) const;

 private:
  std::vector<std::string> searchTokens_;
  std::vector<std::string> foldedTokens_;
};

namespace detail {

/// Calls `word` with each whitespace-separated word of `text`, in order. A
/// whitespace character followed by a combining mark belongs to a word (the
/// two are one character).
template <class F>
void forEachWord(std::string_view text, F&& word);

/// The length of the whitespace character at `text[i]`, or 0 when there is
/// none there.
std::size_t whitespaceLength(std::string_view text, std::size_t i);

template <class F>
void forEachWord(std::string_view text, F&& word) {
  std::size_t start = 0, i = 0;
  while (i < text.size()) {
    if (const std::size_t n = whitespaceLength(text, i); n > 0) {
      if (i > start) word(text.substr(start, i - start));
      i += n;
      start = i;
    } else {
      ++i;
    }
  }
  if (i > start) word(text.substr(start, i - start));
}

}  // namespace detail
}  // namespace quarn
