#include "quarnkit/predicate/detail/text_match.h"

#include <gtest/gtest.h>

#include "quarnkit/predicate/errors.h"

namespace quarn::detail {
namespace {

struct LikeCase {
  const char* text;
  const char* pattern;
  bool matches;
};

TEST(TextMatchTest, LikeWildcards) {
  for (const auto& c : std::vector<LikeCase>{
           {"", "", true},
           {"", "*", true},
           {"", "?", false},
           {"abc", "abc", true},
           {"abc", "ab", false},
           {"abc", "a*", true},
           {"abc", "*c", true},
           {"abc", "a**c", true},
           {"abc", "?b?", true},
           {"abc", "????", false},
           {"aaab", "*a*b", true},
           {"abcabd", "*abd", true},
           {"abcabd", "a*c", false},
           {"\u00e9t\u00e9", "?t?", true},  // one character, not one byte
           {"\U0001F600x", "?x", true},
           {"a*b", "a\\*b", true},
           {"axb", "a\\*b", false},
           {"a?", "a\\?", true},
           {"a\\", "a\\", true},
       }) {
    EXPECT_EQ(likeMatches(c.text, c.pattern), c.matches) << c.text << " LIKE " << c.pattern;
  }
}

TEST(TextMatchTest, LikeIsNotExponential) {
  const std::string text(5000, 'a');
  EXPECT_FALSE(likeMatches(text, "*a*a*a*a*a*a*a*a*a*a*b"));
}

struct FoldCase {
  const char* text;
  unsigned options;
  const char* folded;
};

TEST(TextMatchTest, FoldingOfCaseAndDiacritics) {
  for (const auto& c : std::vector<FoldCase>{
           {"MiXeD", kCaseInsensitive, "mixed"},
           {"MiXeD", kDiacriticInsensitive, "MiXeD"},
           {"\u00c9t\u00e9", kCaseInsensitive, "\u00e9t\u00e9"},
           {"\u00c9t\u00e9", kDiacriticInsensitive, "Ete"},
           {"\u00c9t\u00e9", kCaseInsensitive | kDiacriticInsensitive, "ete"},
           {"E\u0301", kCaseInsensitive, "\u00e9"},  // composed after folding
           {"Stra\u00dfe", kCaseInsensitive, "strasse"},
           {"\u03a3\u03c3\u03c2", kCaseInsensitive, "\u03c3\u03c3\u03c3"},
           {"\u00c5ngstr\u00f6m", kCaseInsensitive | kDiacriticInsensitive, "angstrom"},
       }) {
    EXPECT_EQ(foldString(c.text, c.options), c.folded) << c.text;
  }
  // Invalid UTF-8 outside the ASCII path becomes U+FFFD rather than failing.
  EXPECT_EQ(foldString("\xc3\u00c9", kCaseInsensitive), "\ufffd\u00e9");
}

TEST(TextMatchTest, RegularExpressionsMatchWholeStrings) {
  const Regex r("a[0-9]+", false);
  EXPECT_TRUE(r.matchesWhole("a12"));
  EXPECT_FALSE(r.matchesWhole("a12b"));
  EXPECT_FALSE(r.matchesWhole("xa12"));
  EXPECT_TRUE(Regex("\u00e9+", true).matchesWhole("\u00c9\u00e9"));
  EXPECT_TRUE(Regex("(?<=a)b|ab", false).matchesWhole("ab"));
  EXPECT_THROW(Regex("a(", false), PredicateEvaluationError);
  EXPECT_THROW(Regex("[z-a]", false), PredicateEvaluationError);
}

}  // namespace
}  // namespace quarn::detail
