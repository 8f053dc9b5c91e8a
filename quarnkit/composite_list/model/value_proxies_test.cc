// The list and dictionary proxies of resolved template values, and the
// DictKeyPath write.
#include "quarnkit/composite_list/model/value_proxies.h"

#include <gtest/gtest.h>

#include "quarnkit/composite_list/model/dict_key_path.h"
#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/key_path.h"

namespace quarn {
namespace {

ValueDictionary resolved() {
  return resolveValuesForPredicateOrTemplate(ValueDictionary{
      {"items", Value::Array{"x", "y", "z"}},
      {"empty", Value::Array{}},
      {"people", Value::Array{Value{{"name", "Ann"}, {"age", 30}}, Value{{"name", "Bo"}}}},
      {"labels", {{"a", "A"}, {"*", "other"}, {"nested", {{"n", Value::Array{1, 2}}}}}},
      {"plain", {{"a", "A"}}},
      {"text", "t"},
  });
}

TEST(ValueProxiesTest, ResolutionWrapsListsAndDictionariesAtEveryDepth) {
  const ValueDictionary v = resolved();
  ASSERT_TRUE(asListProxy(*v.find("items")));
  ASSERT_TRUE(asDictionaryProxy(*v.find("labels")));
  EXPECT_EQ(*v.find("text"), Value("t"));
  const auto* labels = asDictionaryProxy(*v.find("labels"));
  const auto* nested = asDictionaryProxy(*labels->entries().find("nested"));
  ASSERT_TRUE(nested);
  EXPECT_TRUE(asListProxy(*nested->entries().find("n")));
  EXPECT_TRUE(asDictionaryProxy(asListProxy(*v.find("people"))->elements()[0]));
  EXPECT_EQ(v.find("items")->description(), "[\"x\", \"y\", \"z\"]");
  EXPECT_EQ(*v.find("items"), *resolved().find("items")) << "proxies compare by content";
}

TEST(ValueProxiesTest, ListProxyKeys) {
  const ValueDictionary v = resolved();
  struct Case {
    const char* path;
    std::optional<Value> expected;
  };
  const Case cases[] = {
      {"items.0", Value("x")},
      {"items.+1", Value("y")},
      {"items.-1", std::nullopt},
      {"items.3", std::nullopt},
      {"items.99999999999999999999", std::nullopt},
      {"items.[2]", Value("z")},
      {"items.[[1]]", Value("y")},
      {"items.[-1]", std::nullopt},
      {"items.<error>", std::nullopt},
      {"items.<recursion>", std::nullopt},
      {"items.@count", Value(3)},
      {"empty.@count", Value(0)},
      {"people.name", Value(Value::Array{"Ann", "Bo"})},
      {"people.age", Value(Value::Array{30, nullptr})},
      {"people.0.name", Value("Ann")},
      {"labels.a", Value("A")},
      {"labels.b", Value("other")},
      {"labels.nested.n.1", Value(2)},
      {"plain.b", std::nullopt},
      {"plain.@count", std::nullopt},  // a dictionary proxy answers keys only
  };
  for (const auto& c : cases) {
    EXPECT_EQ(valueForKeyPath(v, c.path), c.expected) << c.path;
  }
  for (int i = 0; i < 30; ++i) {
    const auto pick = valueForKeyPath(v, "items.@random");
    ASSERT_TRUE(pick);
    EXPECT_TRUE(*pick == Value("x") || *pick == Value("y") || *pick == Value("z"));
  }
  // An empty list has no random element: "@random" goes on to the key look-up,
  // which has no such operator.
  EXPECT_THROW((void)valueForKeyPath(v, "empty.@random"), PredicateEvaluationError);
  EXPECT_THROW((void)valueForKeyPath(v, "items.name"), PredicateEvaluationError);
}

TEST(DictKeyPathTest, SegmentsAndWrites) {
  EXPECT_EQ(DictKeyPath("a.b.c").segments, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(DictKeyPath("").segments, std::vector<std::string>{""});
  EXPECT_EQ(DictKeyPath("a..").segments, (std::vector<std::string>{"a", "", ""}));

  ValueDictionary d{{"user", {{"name", "Ann"}, {"address", {{"city", "Oslo"}}}}},
                    {"list", Value::Array{Value{{"a", 1}}}},
                    {"text", "t"}};
  setValue(d, "new", 1);
  setValue(d, "text", "u");
  setValue(d, "user.address.city", "Rome");
  setValue(d, "user.age", 30);
  setValue(d, "missing.key", 1);      // no such entry: nothing
  setValue(d, "text.key", 1);         // not a dictionary: nothing
  setValue(d, "list.0.a", 2);         // a list is not a dictionary: nothing
  setValue(d, "user.name.first", 1);  // nor is a string deeper down
  EXPECT_EQ(
      d, (ValueDictionary{{"user", {{"name", "Ann"}, {"address", {{"city", "Rome"}}}, {"age", 30}}},
                          {"list", Value::Array{Value{{"a", 1}}}},
                          {"text", "u"},
                          {"new", 1}}));
}

TEST(DictKeyPathTest, DottedWriteMatchesTheSegmentedOne) {
  const ValueDictionary start = resolved();
  for (const char* path : {"new", "items", "items.0", "labels.a", "labels.nested.n", "labels.x.y",
                           "plain.b", "text.a", "", ".", "a..b", "labels..n"}) {
    ValueDictionary a = start, b = start;
    setValue(a, path, "<recursion>");
    detail::setValueAtKeyPath(b, path, "<recursion>");
    EXPECT_EQ(a, b) << path;
  }
}

TEST(DictKeyPathTest, WritesIntoACopyOfADictionaryProxy) {
  ValueDictionary v = resolved();
  const Value before = *v.find("labels");
  setValue(v, "labels.a", "<recursion>");
  setValue(v, "labels.nested.n", "<recursion>");
  EXPECT_EQ(valueForKeyPath(v, "labels.a"), Value("<recursion>"));
  EXPECT_EQ(valueForKeyPath(v, "labels.nested.n"), Value("<recursion>"));
  EXPECT_EQ(valueForKeyPath(v, "labels.zzz"), Value("other")) << "still a proxy";
  EXPECT_EQ(asDictionaryProxy(before)->entries().find("a")->description(), "A")
      << "the shared proxy is not changed";
}

}  // namespace
}  // namespace quarn
