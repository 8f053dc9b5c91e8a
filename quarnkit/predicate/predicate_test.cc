#include "quarnkit/predicate/predicate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "quarnkit/predicate/detail/test_facts.h"

namespace quarn {
namespace {

using Kind = PredicateEvaluationError::Kind;

struct EvaluationCase {
  const char* text;
  bool expected;
  friend void PrintTo(const EvaluationCase& c, std::ostream* os) { *os << c.text; }
};

class PredicateEvaluationTest : public ::testing::TestWithParam<EvaluationCase> {};

TEST_P(PredicateEvaluationTest, EvaluatesAgainstFactsAndVariables) {
  const auto& c = GetParam();
  const auto facts = testing::predicateTestFacts();
  const auto vars = testing::predicateTestVariables();
  const auto p = Predicate::parse(c.text);
  EXPECT_EQ(p.evaluate(facts, vars, testing::predicateTestContext()), c.expected) << c.text;
  // The same through a Value object, and after a round trip through format().
  EXPECT_EQ(p.evaluate(Value(facts), vars, testing::predicateTestContext()), c.expected);
  EXPECT_EQ(Predicate::parse(p.format()).evaluate(facts, vars, testing::predicateTestContext()),
            c.expected)
      << p.format();
}

INSTANTIATE_TEST_SUITE_P(
    Language, PredicateEvaluationTest,
    ::testing::ValuesIn(std::vector<EvaluationCase>{
        // Equality and the string options.
        {"os == 'iOS'", true},
        {"os = \"ios\"", false},
        {"os ==[c] 'ios'", true},
        {"user.name == 'Zoe'", false},
        {"user.name ==[d] 'Zoe'", true},
        {"user.name ==[cd] 'ZOE'", true},
        {"user.name !=[c] 'ZO\u00cb'", false},
        {"os <> 'iOS'", false},
        // Booleans are numbers; integers and doubles compare exactly.
        {"is_pad == YES AND is_pad == 1 AND is_pad != NO", true},
        {"app.build == 42.0 AND app.build > 41.5 AND app.build =< 42 AND app.build => 42", true},
        {"9007199254740993 > 9007199254740992.0", true},
        {"score < 3 && score >= 2.5", true},
        // Keys with dots in a map of facts.
        {"app.version == '2.1'", true},
        {"date.year == 2024", true},
        {"#size == 3 AND SELF.os == 'iOS'", true},
        // Null and missing keys.
        {"nothing == nil AND missing == NULL AND missing != 1", true},
        {"nothing == 0", false},
        {"nothing BEGINSWITH 'a'", false},
        // Ordering with a missing value is false, except a null against a null.
        {"missing < 5 OR missing > 5 OR missing <= 5 OR 5 >= nothing OR nothing > 'a'", false},
        {"nothing <= nil AND nil >= missing AND NOT nothing < nil AND NOT missing > nil", true},
        {"missing BETWEEN {1, 5} OR 3 BETWEEN {nothing, 5} OR date > missing", false},
        {"ANY {1, nil, 30} > 20 AND NOT ALL {nil, 3} > 1 AND max:({nil, 2}) == 2", true},
        // Ordering of strings and dates.
        {"'b' > 'a' AND NOT 'B' <[c] 'a' AND 'B' < 'a'", true},
        {"date < $when AND $when > now()", true},
        // BETWEEN, IN, CONTAINS.
        {"user.profile.level BETWEEN {1, 3}", true},
        {"user.age BETWEEN {31, 65}", false},
        {"'en' IN languages AND languages CONTAINS 'de'", true},
        {"'EN' IN[c] languages", true},
        {"'EN' IN languages", false},
        {"'b' IN $names", true},
        {"'Zo' IN user.name AND user.name CONTAINS[cd] 'OE'", true},
        {"3 IN {1, 2, 3}", true},
        {"30 IN user", true},
        // BEGINSWITH, ENDSWITH, LIKE, MATCHES.
        {"user.name BEGINSWITH 'Zo' AND user.name ENDSWITH '\u00eb'", true},
        {"user.name ENDSWITH[d] 'e'", true},
        {"os LIKE 'i?S' AND os LIKE '*S' AND os LIKE '*' AND os LIKE 'i*O*S'", true},
        {"os LIKE 'i*x'", false},
        {"os LIKE[c] 'IOS'", true},
        {"'a*b' LIKE 'a\\\\*b' AND NOT 'axb' LIKE 'a\\\\*b'", true},
        {"os MATCHES 'i[A-Z]+'", true},
        {"os MATCHES 'i'", false},
        {"os MATCHES[c] 'IOS'", true},
        {"user.name MATCHES[d] 'Zoe'", true},
        // Aggregates.
        {"ANY items.price > 3", true},
        {"SOME items.price > 4", false},
        {"ALL items.price >= 1", true},
        {"ALL items.price > 1", false},
        {"NONE items.name == 'z'", true},
        {"ANY empty == 1", false},
        {"ALL empty == 1 AND NONE empty == 1", true},
        {"ANY languages ==[c] 'EN'", true},
        // Key paths, collection operators and subscripts.
        {"items.@count == 3 AND empty.@count == 0 AND user.@count == 4", true},
        {"items.@sum.price == 6.5 AND items.@max.price == 3.5 AND items.@min.price == 1", true},
        {"items.@avg.price > 2.16 AND items.@avg.price < 2.17", true},
        {"items.@distinctUnionOfObjects.name == {'x', 'y'}", true},
        {"items.name == {'x', 'y', 'x'}", true},
        {"user.tags[FIRST] == 'a' AND user.tags[LAST] == 'b' AND user.tags[SIZE] == 2", true},
        {"user.tags[1] == 'b' AND user['name'] == user.name AND items[0].name == 'x'", true},
        {"empty[FIRST] == nil", true},
        {"items.price.@sum.self == 6.5 AND items.@max.price.self == 3.5", true},
        {"user.age.self == 30 AND languages.self == languages AND SELF.self.os == 'iOS'", true},
        // SUBQUERY: $i is each element in turn, and hides a variable of that name.
        {"SUBQUERY(items, $i, $i.price > 2).@count == 1 AND "
         "SUBQUERY(items, $i, $i.name == 'x').@count == 2",
         true},
        {"SUBQUERY(items, $i, $i.price > 1).name == {'x', 'y'}", true},
        {"SUBQUERY(items, $min, $min.price >= 2).@count == 2 AND $min == 40", true},
        {"SUBQUERY(items, $i, $i.price * 20 > $min).@count == 1", true},
        {"SUBQUERY(items, $i, SUBQUERY(languages, $l, $l == 'en').@count == 1).@count == 3", true},
        {"SUBQUERY(missing, $x, $x > 1).@count == 0 AND SUBQUERY(empty, $x, $x > 1) == {}", true},
        // CAST: dates as seconds since 2001-01-01, numbers from text, texts.
        {"date == CAST(728388000, 'NSDate') AND CAST(date, 'NSNumber') == 728388000", true},
        {"CAST('42', 'NSNumber') == 42 AND CAST(' -2.5e1 ', 'NSNumber') == -25", true},
        {"CAST(app.build, 'NSString') == '42' AND CAST(score, 'NSString') == '2.5'", true},
        {"CAST(is_pad, 'NSString') == '1' AND CAST(os, 'NSString') == os", true},
        {"CAST(nothing, 'NSDate') == nil AND CAST(missing, 'NSNumber') == nil", true},
        // Numbers written with a leading point.
        {".5 < score AND -.5 == -0.5 AND {.25, 1}[0] == 0.25 AND score - .5 == 2", true},
        // Arithmetic and functions.
        {"date.year + 1 == 2025 AND 2 ** 10 == 1024 AND 7 / 2 == 3.5 AND -app.build == -42", true},
        {"1 + 2 * 3 == 7 AND (1 + 2) * 3 == 9 AND 2 ** 3 ** 2 == 512 AND -2 ** 2 == -4", true},
        {"0x1F == 31 AND 0o17 == 15 AND 0b101 == 5 AND 1.5e3 == 1500", true},
        {"count:(languages) == 2 AND sum:({1, 2, 3}) == 6 AND max({1, 5, 3}) == 5", true},
        {"min:(items.price) == 1 AND average:({1, 2}) == 1.5 AND median:({3, 1, 2, 4}) == 2.5",
         true},
        {"abs:(-3) == 3 AND floor:(2.7) == 2 AND ceiling:(2.1) == 3 AND trunc:(-2.7) == -2", true},
        {"sqrt:(16) == 4 AND log:(100) == 2 AND ln:(1) == 0 AND exp:(0) == 1", true},
        {"stddev:({2, 4, 4, 4, 5, 5, 7, 9}) == 2 AND mode:({1, 2, 2, 3}) == {2}", true},
        {"modulus:by:(10, 3) == 1 AND add:to:(1, 2) == 3 AND raise:toPower:(2, 3) == 8", true},
        {"lowercase:('\u00c9A') == '\u00e9a' AND uppercase:(os) == 'IOS'", true},
        {"now() == date AND random() == 0.55 AND random:(10) == 5", true},
        {"TERNARY(is_pad == YES, 'tablet', 'phone') == 'tablet'", true},
        // Logic.
        {"TRUEPREDICATE", true},
        {"FALSEPREDICATE OR NOT TRUEPREDICATE", false},
        {"!(os == 'x') && (is_pad == YES || os == 'x')", true},
        {"os == 'x' OR is_pad == YES AND score > 2", true},
        {"(os == 'x' OR is_pad == YES) AND score > 3", false},
        {"app.build >= $min", true},
    }));

struct ErrorCase {
  const char* text;
  Kind kind;
  friend void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.text; }
};

class PredicateEvaluationErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PredicateEvaluationErrorTest, ReportsTheKindOfFailure) {
  const auto& c = GetParam();
  const auto facts = testing::predicateTestFacts();
  const auto p = Predicate::parse(c.text);
  try {
    (void)p.evaluate(facts, testing::predicateTestVariables(), {});
    FAIL() << c.text << " evaluated";
  } catch (const PredicateEvaluationError& e) {
    EXPECT_EQ(e.kind(), c.kind) << c.text << ": " << e.description();
    EXPECT_FALSE(e.description().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Language, PredicateEvaluationErrorTest,
                         ::testing::ValuesIn(std::vector<ErrorCase>{
                             {"os > 1", Kind::typeMismatch},
                             {"os < date", Kind::typeMismatch},
                             {"date < '2024-01-01T00:00:00Z'", Kind::typeMismatch},
                             {"os + 1 == 1", Kind::typeMismatch},
                             {"-os == 1", Kind::typeMismatch},
                             {"ANY os == 1", Kind::typeMismatch},
                             {"os BEGINSWITH 1", Kind::typeMismatch},
                             {"1 CONTAINS 1", Kind::typeMismatch},
                             {"score BETWEEN 1", Kind::typeMismatch},
                             {"sum:(os) == 1", Kind::typeMismatch},
                             {"$nope == 1", Kind::unknownVariable},
                             {"os.length == 1", Kind::invalidKeyPath},
                             {"items.@foo == 1", Kind::invalidKeyPath},
                             {"os.@count == 1", Kind::invalidKeyPath},
                             {"user.tags[5] == 1", Kind::invalidArgument},
                             {"user.tags[-1] == 1", Kind::invalidArgument},
                             {"modulus:by:(1, 0) == 1", Kind::invalidArgument},
                             {"leftshift:by:(1, 64) == 1", Kind::invalidArgument},
                             {"os MATCHES '('", Kind::invalidRegularExpression},
                             {"os MATCHES user.name + 1", Kind::typeMismatch},
                             {"SUBQUERY(os, $x, $x == 1).@count == 0", Kind::typeMismatch},
                             {"SUBQUERY(items, $i, $j == 1).@count == 0", Kind::unknownVariable},
                             {"CAST('12abc', 'NSNumber') == 1", Kind::invalidArgument},
                             {"CAST('inf', 'NSNumber') == 1", Kind::invalidArgument},
                             {"CAST(os, 'NSDate') == 1", Kind::typeMismatch},
                             {"CAST(languages, 'NSString') == 1", Kind::typeMismatch},
                             {"now() == 1", Kind::missingContext},
                             {"random() == 1", Kind::missingContext},
                         }));

TEST(PredicateTest, RegexFromInputIsBoundedInTime) {
  const ValueDictionary facts{{"s", std::string(64, 'a') + "c"}};
  const auto start = std::chrono::steady_clock::now();
  for (const char* pattern : {"(a+)+b", "(a|aa)+b", "(a*)*b"}) {
    const auto p = Predicate::parse(std::string("s MATCHES '") + pattern + "'");
    try {
      EXPECT_FALSE(p.evaluate(facts));
    } catch (const PredicateEvaluationError& e) {
      EXPECT_EQ(e.kind(), Kind::limitExceeded);
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(PredicateTest, LinearPatternsMatchLongTextsWhileBacktrackingStopsAtANamedBound) {
  const ValueDictionary facts{{"long", std::string(300000, 'a')},
                              {"s", std::string(40, 'a') + "!"}};
  EXPECT_TRUE(Predicate::parse("long MATCHES 'a*'").evaluate(facts));
  EXPECT_TRUE(Predicate::parse("long MATCHES '(a|b)*'").evaluate(facts));
  EXPECT_FALSE(Predicate::parse("long MATCHES 'a*b'").evaluate(facts));
  try {
    (void)Predicate::parse("s MATCHES '(a+)+$'").evaluate(facts);
    FAIL() << "backtracked to the end";
  } catch (const PredicateEvaluationError& e) {
    EXPECT_EQ(e.kind(), Kind::limitExceeded);
    EXPECT_NE(e.message().find("time bound"), std::string::npos) << e.message();
  }
}

TEST(PredicateTest, ConstantPatternsArePreparedOnceAndSharedAcrossElements) {
  // A constant right side is folded or compiled at parse time; values on the
  // left vary per element.
  const auto p = Predicate::parse("name MATCHES[c] 'a.c' OR name ==[cd] '\u00c9t\u00e9'");
  EXPECT_TRUE(p.evaluate(Value{{"name", "ABC"}}));
  EXPECT_TRUE(p.evaluate(Value{{"name", "ete"}}));
  EXPECT_FALSE(p.evaluate(Value{{"name", "abd"}}));
}

TEST(PredicateTest, EvaluatesAgainstNonObjects) {
  EXPECT_TRUE(Predicate::parse("SELF > 2").evaluate(Value(3)));
  EXPECT_TRUE(Predicate::parse("SELF CONTAINS 'b'").evaluate(Value("abc")));
  EXPECT_TRUE(Predicate::parse("name == nil").evaluate(Value()));
  EXPECT_TRUE(Predicate::parse("SELF == $x").evaluate(Value(1), ValueDictionary{{"x", 1.0}}));
}

struct HostObject : OpaqueValue {
  std::optional<Value> valueForKey(std::string_view key) const override {
    if (key == "name") return Value("host");
    if (key == "boom") throw std::runtime_error("rejected key");
    return std::nullopt;
  }
};

TEST(PredicateTest, OpaqueObjectsAnswerKeysAndTheirErrorsPropagate) {
  const ValueDictionary facts{{"host", Value::Opaque(std::make_shared<HostObject>())}};
  EXPECT_TRUE(Predicate::parse("host.name == 'host' AND host.other == nil").evaluate(facts));
  EXPECT_TRUE(Predicate::parse("host['name'] == 'host'").evaluate(facts));
  EXPECT_THROW((void)Predicate::parse("host.boom == 1").evaluate(facts), std::runtime_error);
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

// A fact compared with a constant answers as the constant compared with the
// fact, the other way round, for every operator and kinds that meet
// (integers, doubles, booleans, null, strings, dates), errors included.
TEST(PredicateTest, FactAgainstConstantAnswersAsConstantAgainstFact) {
  const std::vector<std::pair<const char*, const char*>> operators = {
      {"==", "=="}, {"!=", "!="}, {"<", ">"}, {"<=", ">="}, {">", "<"}, {">=", "<="}};
  const std::vector<const char*> constants = {
      "40", "41", "-3", "40.5", "YES", "NO", "NULL", "'text'", "1.0", "0", "CAST(0, 'NSDate')"};
  const std::vector<Value> facts = {
      Value(40), Value(41),     Value(-3), Value(40.5), Value(true),           Value(false),
      Value(),   Value("text"), Value(1),  Value(0),    Value(Date(978307200))};
  for (const Value& fact : facts) {
    const ValueDictionary object{{"a.b", fact}, {"k", fact}};
    for (const auto& [op, mirrored] : operators) {
      for (const char* constant : constants) {
        for (const char* key : {"k", "a.b"}) {
          const std::string direct = std::string(key) + " " + op + " " + constant;
          const std::string reversed = std::string(constant) + " " + mirrored + " " + key;
          SCOPED_TRACE(direct + " with " + fact.description());
          std::optional<bool> expected;
          try {
            expected = Predicate::parse(reversed).evaluate(object);
          } catch (const PredicateEvaluationError&) {
          }
          if (expected) {
            EXPECT_EQ(Predicate::parse(direct).evaluate(object), *expected);
          } else {
            EXPECT_THROW((void)Predicate::parse(direct).evaluate(object), PredicateEvaluationError);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace quarn
