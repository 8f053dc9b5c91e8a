#include "quarnkit/core/value.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace quarn {
namespace {

TEST(ValueTest, KindsAndAccessors) {
  EXPECT_TRUE(Value().isNull());
  EXPECT_EQ(Value(true).asBool(), true);
  EXPECT_EQ(Value(42).asInteger(), 42);
  EXPECT_EQ(Value(42).asDouble(), 42.0);
  EXPECT_EQ(Value(2.5).asInteger(), 2);
  EXPECT_EQ(Value("x").asString(), "x");
  EXPECT_FALSE(Value("x").asBool());
  EXPECT_FALSE(Value(1).asBool()) << "booleans are not numbers";
  EXPECT_FALSE(Value(1e300).asInteger()) << "out of range";
  EXPECT_TRUE(Value(Date(5)).isDate());
}

TEST(ValueTest, NumbersCompareAcrossIntegerAndDouble) {
  EXPECT_EQ(Value(1), Value(1.0));
  EXPECT_EQ(Value(1).hash(), Value(1.0).hash());
  EXPECT_NE(Value(1), Value(1.5));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_NE(Value("1"), Value(1));
  EXPECT_EQ(Value(), Value(nullptr));
}

TEST(ValueTest, ObjectsKeepInsertionOrderAndCompareIgnoringIt) {
  Value a = {{"b", 1}, {"a", 2}};
  a["c"] = "x";
  a["b"] = 3;  // keeps its position
  std::vector<std::string> keys;
  for (const auto& [k, v] : *a.ifObject()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"b", "a", "c"}));
  Value b = {{"c", "x"}, {"a", 2}, {"b", 3}};
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_EQ(*a.find("c"), Value("x"));
  EXPECT_EQ(a.find("zz"), nullptr);
  EXPECT_EQ(Value(1).find("a"), nullptr);

  ValueObject m{{"a", 1}};
  m.merge(ValueObject{{"a", 2}, {"b", 3}});
  EXPECT_EQ(Value(m), Value({{"a", 2}, {"b", 3}}));
  EXPECT_TRUE(m.erase("a"));
  EXPECT_FALSE(m.erase("a"));
}

TEST(ValueTest, Description) {
  EXPECT_EQ(Value(42).description(), "42");
  EXPECT_EQ(Value(2.0).description(), "2");
  EXPECT_EQ(Value(0.1).description(), "0.1");
  EXPECT_EQ(Value(true).description(), "true");
  EXPECT_EQ(Value("text").description(), "text");
  EXPECT_EQ(Value().description(), "<null>");
  EXPECT_EQ(Value(Value::Array{1, "a"}).description(), "[1, \"a\"]");
  EXPECT_EQ(Value(Date(0)).description(), "1970-01-01 00:00:00 +0000");
}

struct Host : OpaqueValue {
  std::optional<Value> valueForKey(std::string_view key) const override {
    if (key == "name") return Value("host");
    return std::nullopt;
  }
};

TEST(ValueTest, OpaqueObjectsCompareByIdentityAndAnswerKeys) {
  auto h = std::make_shared<Host>();
  Value a{Value::Opaque(h)}, b{Value::Opaque(h)}, c{Value::Opaque(std::make_shared<Host>())};
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ((*a.ifOpaque())->valueForKey("name"), Value("host"));
  std::unordered_set<Value> set{a, b, Value(1), Value(1.0)};
  EXPECT_EQ(set.size(), 2u);
}

}  // namespace
}  // namespace quarn
