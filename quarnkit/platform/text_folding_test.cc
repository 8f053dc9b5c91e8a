#include "quarnkit/platform/text_folding.h"

#include <gtest/gtest.h>

namespace quarn::platform {
namespace {

constexpr unsigned kBoth = kFoldCase | kFoldDiacritics;

TEST(TextFoldingTest, FoldsCaseAndDiacriticsIntoComposedForm) {
  struct Case {
    const char* text;
    unsigned options;
    const char* expected;
  };
  for (const Case& c : {
           Case{"Café", kBoth, "cafe"}, Case{"Cafe\u0301", kBoth, "cafe"},  // decomposed input
           Case{"Cafe\u0301", kFoldCase, "caf\u00e9"},                      // marks kept, composed
           Case{"Straße", kFoldCase, "strasse"},
           Case{"İstanbul", kBoth, "istanbul"},  // the dot folding brings back goes too
           Case{"ÅNGSTRÖM", kBoth, "angstrom"}, Case{"Ωμέγα", kBoth, "ωμεγα"},
           Case{"東京", kBoth, "東京"},
           Case{"a\xff"
                "b",
                kBoth,
                "a\xef\xbf\xbd"
                "b"},  // invalid UTF-8 reads as U+FFFD
       }) {
    EXPECT_EQ(foldedForComparison(c.text, c.options), c.expected) << c.text;
  }
}

TEST(TextFoldingTest, PrefixesEndAtCharacterBoundaries) {
  EXPECT_TRUE(foldedTextStartsWith("Café Central", "cafe", kBoth));
  EXPECT_TRUE(foldedTextStartsWith("café", "caf", kBoth));
  EXPECT_TRUE(foldedTextStartsWith("Straße", "strass", kFoldCase));
  EXPECT_FALSE(foldedTextStartsWith("Straße", "stras", kFoldCase));  // inside "ß" → "ss"
  EXPECT_FALSE(foldedTextStartsWith("한국", "하", kBoth));           // inside a syllable
  EXPECT_TRUE(foldedTextStartsWith("한국", "한", kBoth));
  EXPECT_FALSE(foldedTextStartsWith("ab", "abc", kBoth));
  EXPECT_TRUE(foldedTextStartsWith("anything", "", kBoth));
  EXPECT_TRUE(foldedTextStartsWith("\xe0\x80zz", "\xef\xbf\xbd", kBoth));
}

TEST(TextFoldingTest, FoldingLetterByLetterAgreesWithFoldingTheWhole) {
  // foldedTextStartsWith folds one character at a time (with a table for
  // single code points); the whole text folded must be a prefix it accepts.
  for (const char* text : {"Ça va? Ünïcödé façade", "ΆΈΉ Ίόύ ώ ΐ", "ǅungla ǈ ǋ ﬁne ﬀ",
                           "Ꭰ ꭰ ᏸ", "e\u0301\u0323 o\u0308\u0304", "ｶﾞ ガ か\u3099",
                           "Ǆ İı ẞß ſt", "ᄒ\u1161\u11ab", "\xf0\x9d\x90\x80 𝐀"}) {
    for (const unsigned options : {unsigned{kFoldCase}, unsigned{kFoldDiacritics}, kBoth}) {
      const std::string whole = foldedForComparison(text, options);
      EXPECT_TRUE(foldedTextStartsWith(text, whole, options)) << text << " " << options;
    }
  }
}

}  // namespace
}  // namespace quarn::platform
