#include "quarnkit/predicate/detail/text_match.h"

#include <gtest/gtest.h>

#include <string>

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
           // Literal runs anchored by "*" at either end, or at both.
           {"caf\u00e9 au lait", "*lait", true},
           {"caf\u00e9 au lait", "caf\u00e9*", true},
           {"caf\u00e9 au lait", "*au*", true},
           {"caf\u00e9 au lait", "*ai*u", false},
           {"lait", "*lait*", true},
           {"x*y", "*\\**", true},
           {"xy", "*\\**", false},
           // An ill-formed sequence is one character, U+FFFD.
           {"a\xff"
            "b",
            "a?b", true},
           {"\xff\xfe", "?", false},
           {"\xff", "\xfe", true},
       }) {
    EXPECT_EQ(LikePattern(c.pattern).matches(c.text), c.matches) << c.text << " LIKE " << c.pattern;
  }
}

TEST(TextMatchTest, LikeIsNotExponential) {
  const std::string text(5000, 'a');
  EXPECT_FALSE(LikePattern("*a*a*a*a*a*a*a*a*a*a*b").matches(text));
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

TEST(TextMatchTest, RegexBoundsGrowWithTheTextAndSayWhichWasHit) {
  // Linear patterns over long texts need memory in proportion to the text.
  EXPECT_TRUE(Regex("(a|b)*", false).matchesWhole(std::string(300000, 'a')));
  const auto failure = [](const char* pattern, const std::string& subject) {
    try {
      (void)Regex(pattern, false).matchesWhole(subject);
    } catch (const PredicateEvaluationError& e) {
      EXPECT_EQ(e.kind(), PredicateEvaluationError::Kind::limitExceeded);
      return e.message();
    }
    return std::string("matched");
  };
  EXPECT_NE(failure("(a+)+$", std::string(40, 'a') + "!").find("time bound: 100 ticks"),
            std::string::npos);
  // Eight groups saved at each step take more than the memory allowed per character.
  EXPECT_NE(failure("((a)|(b)|(c)|(d)|(e)|(f)|(g)|(h))*", std::string(100000, 'a'))
                .find("memory bound: 7448576 bytes of backtracking for a text of 100000"),
            std::string::npos);
}

}  // namespace
}  // namespace quarn::detail
