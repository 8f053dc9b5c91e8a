#include "quarnkit/predicate/parse_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace quarn {
namespace {

TEST(ParseCacheTest, ParsesEachTextOnceAndRemembersFailures) {
  PredicateCache cache(8);
  const ValueDictionary facts{{"a", 1}};
  EXPECT_TRUE(cache.get("a == 1").evaluate(facts));
  EXPECT_TRUE(cache.get("a == 1").evaluate(facts));
  EXPECT_EQ(cache.size(), 1u);
  for (int i = 0; i < 2; ++i) {
    try {
      (void)cache.get("a ==");
      FAIL();
    } catch (const PredicateParseError& e) {
      EXPECT_EQ(e.position(), 4u);
    }
  }
  EXPECT_EQ(cache.size(), 2u);
  cache.clear();
  EXPECT_EQ(cache.size(), 0u);
}

TEST(ParseCacheTest, StaysWithinItsCapacity) {
  ExpressionCache cache(4);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(cache.get(std::to_string(i) + " + 1").evaluate(Value()), Value(i + 1));
    EXPECT_LE(cache.size(), 4u);
  }
}

TEST(ParseCacheTest, ServesManyThreadsAtOnce) {
  PredicateCache cache(16);
  std::atomic<int> passed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        const int n = (i * 7 + t) % 24;  // more texts than the capacity
        const ValueDictionary facts{{"n", n}};
        if (cache.get("n == " + std::to_string(n)).evaluate(facts)) ++passed;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(passed.load(), 2000);
  EXPECT_LE(cache.size(), 16u);
}

}  // namespace
}  // namespace quarn
