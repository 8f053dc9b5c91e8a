#include "quarnkit/search/smart_search_matcher.h"

#include <gtest/gtest.h>

#include <thread>

#include "quarnkit/search/selection_state.h"

namespace quarn {
namespace {

TEST(SmartSearchMatcherTest, Examples) {
  struct Case {
    const char* query;
    const char* text;
    bool matches;
  };
  for (const Case& c : {
           Case{"", "", true},
           Case{"  \t\n", "anything", true},
           Case{"a", "", false},
           Case{"a", " \u3000\n", false},
           Case{"cafe", "Café Central", true},
           Case{"CAF", "café", true},
           Case{"ana", "Banana", false},
           Case{"new new", "New Newton", true},
           Case{"new new", "New York", false},
           Case{"york new", "New York", true},
           Case{"an anna", "Anna Andersen", true},
           Case{"an anna", "Anna", false},
           Case{"anna an", "Andersen Anna", true},
           Case{"ÉCOLE", "ecole normale", true},
           Case{"strasse", "Straße", true},
           Case{"stras", "Straße", false},  // ends inside "ß"
           Case{"istanbul", "İstanbul", true},
           Case{"ωμε", "Ωμέγα", true},
           Case{"東京", "東京タワー", true},
           Case{"タワー", "東京タワー", false},  // no spaces: one word
           Case{"タワー", "東京 タワー", true},
           Case{"tower", "Tokyo\u00a0Tower", true},  // no-break space separates
           Case{"tower", "Tokyo\u2028Tower", true},
           Case{"e", "\u0301e", true},     // a stray mark is a diacritic too
           Case{"x", "a \u0301x", false},  // space + mark is one character
           Case{"cafe", "cafe\u0301", true},
           Case{"b", "a\xff b", true},  // invalid UTF-8 is U+FFFD
           Case{"\xff", "\xfe", true},  // both read as U+FFFD
       }) {
    EXPECT_EQ(SmartSearchMatcher(c.query).matches(c.text), c.matches)
        << '"' << c.query << "\" in \"" << c.text << '"';
  }
}

TEST(SmartSearchMatcherTest, TokensLongestFirstInCharacters) {
  // "é" decomposed is two code points but one character: "éx" ties with "ab".
  const SmartSearchMatcher m("ab e\u0301x  abc xy");
  EXPECT_EQ(m.searchTokens(), (std::vector<std::string>{"abc", "ab", "e\u0301x", "xy"}));
  EXPECT_TRUE(SmartSearchMatcher(" \n ").searchTokens().empty());
}

TEST(SmartSearchMatcherTest, OneMatcherServesTwoThreads) {
  // The letters' folds are learnt on first use, by whichever thread sees
  // them first.
  std::vector<std::string> titles;
  for (char32_t c = 0x100; c < 0x600; ++c) {
    std::string title = "x ";
    title += static_cast<char>(0xC0 | (c >> 6));
    title += static_cast<char>(0x80 | (c & 0x3F));
    titles.push_back(title + "ab");
  }
  const SmartSearchMatcher matcher("x ab");
  std::vector<int> a(titles.size()), b(titles.size());
  std::thread t1([&] {
    for (std::size_t i = 0; i < titles.size(); ++i) a[i] = matcher.matches(titles[i]);
  });
  std::thread t2([&] {
    for (std::size_t i = titles.size(); i-- > 0;) b[i] = matcher.matches(titles[i]);
  });
  t1.join();
  t2.join();
  EXPECT_EQ(a, b);
  EXPECT_EQ(a[1], 0);  // "x āab": "ab" is not the start of a word
}

TEST(SelectionStateTest, SubscribersReceiveTheCurrentAndEveryNewValue) {
  SelectionState<int> state(1);
  std::vector<int> seen;
  const AnyCancellable c = state.projectedValue().sink([&](const int& v) { seen.push_back(v); });
  state.setWrappedValue(2);
  state.modify([](int& v) { v += 5; });
  EXPECT_EQ(state.wrappedValue(), 7);
  EXPECT_EQ(state.subject().value(), 7);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 7}));
  c.cancel();
  state.setWrappedValue(8);
  EXPECT_EQ(seen.size(), 3u);
}

}  // namespace
}  // namespace quarn
