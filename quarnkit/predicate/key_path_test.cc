#include "quarnkit/predicate/key_path.h"

#include <gtest/gtest.h>

#include <chrono>

#include "quarnkit/predicate/detail/test_facts.h"
#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/predicate.h"

namespace quarn {
namespace {

struct LookupCase {
  const char* path;
  std::optional<Value> expected;
  friend void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.path; }
};

class KeyPathLookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(KeyPathLookupTest, FindsTheValue) {
  const auto& c = GetParam();
  const auto facts = testing::predicateTestFacts();
  EXPECT_EQ(valueForKeyPath(facts, c.path), c.expected);
  EXPECT_EQ(valueForKeyPath(Value(facts), c.path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Lookups, KeyPathLookupTest,
                         ::testing::ValuesIn(std::vector<LookupCase>{
                             {"os", Value("iOS")},
                             {"user.profile.level", Value(3)},
                             {"app.version", Value("2.1")},
                             {"date.year", Value(2024)},
                             {"missing", std::nullopt},
                             {"missing.deeper", std::nullopt},
                             {"nothing", Value()},
                             {"nothing.deeper", std::nullopt},
                             {"user.missing", std::nullopt},
                             {"items.name", Value(Value::Array{"x", "y", "x"})},
                             {"items.missing", Value(Value::Array{nullptr, nullptr, nullptr})},
                             {"items.@count", Value(3)},
                             {"user.@count", Value(4)},
                             {"items.@sum.price", Value(6.5)},
                             {"items.@avg.price", Value(6.5 / 3)},
                             {"items.@min.price", Value(1)},
                             {"items.@max.name", Value("y")},
                             {"empty.@sum", Value(0)},
                             {"empty.@avg", Value(0)},
                             {"empty.@max", Value()},
                             {"languages.@max", Value("en")},
                             {"items.@unionOfObjects.name", Value(Value::Array{"x", "y", "x"})},
                             {"items.@distinctUnionOfObjects.name", Value(Value::Array{"x", "y"})},
                             {"user.tags.@count", Value(2)},
                             {"items.price.@sum.self", Value(6.5)},
                             {"user.self.age", Value(30)},
                             {"self.os", Value("iOS")},
                             {"os.self", Value("iOS")},
                             {"nothing.self", std::nullopt},
                         }));

TEST(KeyPathTest, DottedKeysAreAFallbackThatNeverOverridesTheStandardResult) {
  const Value both = Value{{"a", {{"b", {{"c", 1}}}}}, {"a.b", {{"c", 2}}}, {"a.b.c", 3}};
  EXPECT_EQ(valueForKeyPath(both, "a.b.c"), Value(1));
  // Standard look-up finds nothing (or fails on a scalar): longer keys are tried.
  EXPECT_EQ(valueForKeyPath(Value{{"a", {{"b", 1}}}, {"a.b", {{"c", 2}}}}, "a.b.c"), Value(2));
  EXPECT_EQ(valueForKeyPath(Value{{"a", {{"x", 1}}}, {"a.b.c", 3}}, "a.b.c"), Value(3));
  EXPECT_EQ(valueForKeyPath(Value{{"a", {{"b.c", 4}}}}, "a.b.c"), Value(4));
  EXPECT_EQ(valueForKeyPath(Value{{"a.b", {{"c.d", 5}}}}, "a.b.c.d"), Value(5));
  // Without any literal key, a scalar in the way is still an error.
  EXPECT_THROW((void)valueForKeyPath(Value{{"a", {{"b", 1}}}}, "a.b.c"), PredicateEvaluationError);
}

TEST(KeyPathTest, DottedKeysAreFoundWhereverTheyStandAndHoweverLong) {
  for (const bool asDictionary : {false, true}) {
    SCOPED_TRACE(asDictionary ? "dictionary" : "value");
    const auto at = [&](const Value& root, std::string_view path) {
      return asDictionary ? valueForKeyPath(*root.ifObject(), path) : valueForKeyPath(root, path);
    };
    // The literal key before the component's own: the standard result still wins.
    EXPECT_EQ(at(Value{{"a.b", 2}, {"a", {{"b", 1}}}}, "a.b"), Value(1));
    EXPECT_EQ(at(Value{{"a.b", 2}, {"a", {{"x", 1}}}}, "a.b"), Value(2));
    EXPECT_EQ(at(Value{{"a", {{"x", 1}}}, {"a.b", 2}}, "a.b"), Value(2));
    // Prefixes that do not end at a dot are not keys of the path.
    EXPECT_EQ(at(Value{{"ap", 1}, {"app.buil", 2}, {"app.builds", 3}}, "app.build"), std::nullopt);
    EXPECT_EQ(at(Value{{"app.buil", 2}, {"app.build", 4}}, "app.build"), Value(4));
    // Runs of many components, and keys of 64 bytes and more.
    std::string many = "c0";
    for (int i = 1; i < 12; ++i) many += ".c" + std::to_string(i);
    EXPECT_EQ(at(Value{{"c0", {{"x", 0}}}, {many, 12}}, many), Value(12));
    EXPECT_EQ(at(Value{{many.substr(0, many.rfind('.')), {{"c11", 11}}}}, many), Value(11));
    const std::string wide = std::string(40, 'w') + "." + std::string(40, 'v');
    EXPECT_EQ(at(Value{{std::string(40, 'w'), 1}, {wide, 80}}, wide + ".self"), Value(80));
    EXPECT_EQ(at(Value{{wide, {{"z", 3}}}}, wide + ".z"), Value(3));
    EXPECT_EQ(at(Value{{wide + "x", 1}}, wide), std::nullopt);
  }
}

TEST(KeyPathTest, AComponentHoldingADotIsPartOfTheLiteralKeysOfAnyLength) {
  for (const std::size_t width : {1, 40}) {
    KeyPath path;
    path.append(std::string(width, 'w'));
    path.append("v.u" + std::string(width, 'x'));
    const std::string literal = path.text();  // both components as one key
    EXPECT_EQ(path.valueIn(Value{{literal, 7}}), Value(7)) << literal.size();
    EXPECT_EQ(path.valueIn(ValueDictionary{{"w", 1}, {literal, 7}}), Value(7)) << literal.size();
  }
}

TEST(KeyPathTest, KeysOfEveryLengthMatchByteForByte) {
  // Keys and dotted keys of 1 to 24 bytes beside keys that differ from them
  // in one byte, wherever it is.
  for (std::size_t n = 1; n <= 24; ++n) {
    const std::string name(n, 'x');
    const std::string dotted = "k." + name;
    for (const std::string& key : {name, dotted}) {
      for (std::size_t at = 0; at < key.size(); ++at) {
        std::string near = key;
        near[at] = key[at] == 'x' ? 'y' : 'z';
        SCOPED_TRACE(near);
        EXPECT_EQ(valueForKeyPath(ValueDictionary{{near, 1}, {key, 2}}, key), Value(2));
        EXPECT_EQ(valueForKeyPath(ValueDictionary{{near, 1}}, key), std::nullopt);
        const Predicate twice = Predicate::parse(key + " == 2");
        EXPECT_TRUE(twice.evaluate(ValueDictionary{{near, 1}, {key, 2}}));
        EXPECT_FALSE(twice.evaluate(ValueDictionary{{near, 2}}));
      }
    }
  }
}

// A host object whose key "a" answers {"a": itself, "a.a": itself}: values
// that share structure, so that the ways of splitting a long path into keys
// grow exponentially.
struct Fractal : OpaqueValue, std::enable_shared_from_this<Fractal> {
  std::optional<Value> valueForKey(std::string_view key) const override {
    if (key != "a") return std::nullopt;
    const Value self{Value::Opaque(shared_from_this())};
    return Value{{"a", self}, {"a.a", self}};
  }
};

TEST(KeyPathTest, FallbackSearchIsBounded) {
  const Value root{Value::Opaque(std::make_shared<Fractal>())};
  std::string path = "a";
  for (int i = 0; i < 90; ++i) path += ".a";
  path += ".missing";
  const auto start = std::chrono::steady_clock::now();
  try {
    (void)valueForKeyPath(root, path);
    FAIL() << "searched every split";
  } catch (const PredicateEvaluationError& e) {
    EXPECT_EQ(e.kind(), PredicateEvaluationError::Kind::limitExceeded);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // Short paths over the same objects still resolve.
  EXPECT_EQ(valueForKeyPath(root, "a.a.a.missing"), std::nullopt);
}

TEST(KeyPathTest, ElementWiseLookupThenOperatorsApplyToTheWholeResult) {
  const Value groups = Value{{"groups", Value::Array{Value{{"items", Value::Array{1, 2}}},
                                                     Value{{"items", Value::Array{3}}}}}};
  EXPECT_EQ(valueForKeyPath(groups, "groups.items"),
            Value(Value::Array{Value::Array{1, 2}, Value::Array{3}}));
  EXPECT_EQ(valueForKeyPath(groups, "groups.items.@count"), Value(2));
  EXPECT_EQ(valueForKeyPath(groups, "groups.@unionOfArrays.items"), Value(Value::Array{1, 2, 3}));
  EXPECT_EQ(valueForKeyPath(Value{{"l", Value::Array{Value::Array{1, 1}, Value::Array{1, 2}}}},
                            "l.@distinctUnionOfArrays"),
            Value(Value::Array{1, 2}));
}

TEST(KeyPathTest, Errors) {
  const auto facts = testing::predicateTestFacts();
  for (const char* path : {"os.length", "items.@median.price", "os.@count", "items.name.first",
                           "items.@sum.name", "languages.@max.x.@sum"}) {
    EXPECT_THROW((void)valueForKeyPath(facts, path), PredicateEvaluationError) << path;
  }
  std::string tooLong = "a";
  for (int i = 0; i < 100; ++i) tooLong += ".a";
  EXPECT_THROW((void)valueForKeyPath(facts, tooLong), PredicateEvaluationError);
}

struct Proxy : OpaqueValue {
  std::optional<Value> valueForKey(std::string_view key) const override {
    if (key == "@count") return Value(7);
    if (key == "inner") return Value{{"x", 1}};
    return std::nullopt;
  }
};

TEST(KeyPathTest, OpaqueObjectsAnswerEveryComponentThemselves) {
  const Value v = Value{{"p", Value::Opaque(std::make_shared<Proxy>())}};
  EXPECT_EQ(valueForKeyPath(v, "p.@count"), Value(7));
  EXPECT_EQ(valueForKeyPath(v, "p.inner.x"), Value(1));
  EXPECT_EQ(valueForKeyPath(v, "p.other"), std::nullopt);
  EXPECT_EQ(
      valueForKeyPath(Value{{"l", Value::Array{v.find("p") ? *v.find("p") : Value()}}}, "l.inner"),
      Value(Value::Array{Value{{"x", 1}}}));
}

TEST(KeyPathTest, ComponentsAndJoinedRuns) {
  const auto path = KeyPath::parse("a.bc.d");
  ASSERT_EQ(path.size(), 3u);
  EXPECT_EQ(path[1], "bc");
  EXPECT_EQ(path.joined(0, 2), "a.bc");
  EXPECT_EQ(path.joined(1, 3), "bc.d");
  EXPECT_EQ(KeyPath::parse("").size(), 1u);
  EXPECT_EQ(KeyPath::parse("a..b")[1], "");
  KeyPath built;
  built.append("x");
  built.append("y.z");
  EXPECT_EQ(built.text(), "x.y.z");
  EXPECT_EQ(built.size(), 2u);
  EXPECT_EQ(built[1], "y.z");
}

}  // namespace
}  // namespace quarn
