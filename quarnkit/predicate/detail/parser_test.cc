#include <gtest/gtest.h>

#include <string>

#include "quarnkit/predicate/predicate.h"

namespace quarn {
namespace {

struct FormatCase {
  std::string text;
  std::string canonical;
  friend void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.text; }
};

class PredicateFormatTest : public ::testing::TestWithParam<FormatCase> {};

// Each construct parses to the tree its canonical text shows (precedence,
// associativity, literal forms), and the canonical text parses back to itself.
TEST_P(PredicateFormatTest, ParsesToTheCanonicalTree) {
  const auto& c = GetParam();
  const std::string formatted = Predicate::parse(c.text).format();
  EXPECT_EQ(formatted, c.canonical);
  EXPECT_EQ(Predicate::parse(formatted).format(), formatted);
}

INSTANTIATE_TEST_SUITE_P(
    Language, PredicateFormatTest,
    ::testing::ValuesIn(std::vector<FormatCase>{
        {"a = 1", "a == 1"},
        {"a <> 1 OR a =< 1 OR a => 1", "(a != 1 OR a <= 1 OR a >= 1)"},
        {"a = 'x\\n\\t\\\"'", "a == \"x\\x0a\\x09\\\"\""},
        {"a == \"\\u00e9\\x41\\101\"", "a == \"\u00e9AA\""},
        {"a == '\\ud83d\\ude00'", "a == \"\U0001F600\""},
        {"a == 0x1F + 0o17 + 0b101", "a == ((31 + 15) + 5)"},
        {"a == 1.5e3 AND b == 2.0 AND c == 99999999999999999999",
         "(a == 1500.0 AND b == 2.0 AND c == 1e+20)"},
        {"a == TRUE OR a == yes OR a == False OR a == NO OR a == nil OR a == Null",
         "(a == TRUE OR a == TRUE OR a == FALSE OR a == FALSE OR a == NULL OR a == NULL)"},
        {"#size == 1 AND a.#in.b == 2", "(#size == 1 AND a.#in.b == 2)"},
        {"SELF.a == SELF", "a == SELF"},
        {"a.b.@count > 2 AND @count > 0", "(a.b.@count > 2 AND @count > 0)"},
        {"$x.y[FIRST] == $x[LAST] AND $x[size] == a[1 + 1] AND a['k'] == 1",
         "($x.y[FIRST] == $x[LAST] AND $x[SIZE] == a[(1 + 1)] AND a[\"k\"] == 1)"},
        {"a ==[cd] 'x' AND a like[c] 'y' AND a MATCHES[dn] 'z'",
         "(a ==[cd] \"x\" AND a LIKE[c] \"y\" AND a MATCHES[dn] \"z\")"},
        {"any a = 1 OR SOME a = 1 OR ALL a = 1 OR NONE a = 1",
         "(ANY a == 1 OR ANY a == 1 OR ALL a == 1 OR NONE a == 1)"},
        {"a = 1 AND b = 2 OR c = 3", "((a == 1 AND b == 2) OR c == 3)"},
        {"a = 1 OR b = 2 AND c = 3", "(a == 1 OR (b == 2 AND c == 3))"},
        {"a = 1 && b = 2 || c = 3", "((a == 1 AND b == 2) OR c == 3)"},
        {"NOT a = 1 AND !(b = 2 OR c = 3)", "(NOT a == 1 AND NOT (b == 2 OR c == 3))"},
        {"((a = 1))", "a == 1"},
        {"1 + 2 * 3 - 4 / 5 == -x", "((1 + (2 * 3)) - (4 / 5)) == -x"},
        {"-2 ** 2 == 2 ** 3 ** 2", "-(2 ** 2) == (2 ** (3 ** 2))"},
        {"(1 + 2) * 3 == 9", "((1 + 2) * 3) == 9"},
        {"sum({1,2}) == sum:({}) + now() + random() + random(5) + modulus:by:(7, 2)",
         "sum:({1, 2}) == ((((sum:({}) + now()) + random()) + random:(5)) + modulus:by:(7, 2))"},
        {"TERNARY(a > 1, 'x', b) == 'x'", "TERNARY(a > 1, \"x\", b) == \"x\""},
        {"a BETWEEN {1, 2} AND a IN $list AND a CONTAINS 'x'",
         "(a BETWEEN {1, 2} AND a IN $list AND a CONTAINS \"x\")"},
        {"a BEGINSWITH 'x' OR a ENDSWITH 'y'", "(a BEGINSWITH \"x\" OR a ENDSWITH \"y\")"},
        {"TRUEPREDICATE AND NOT FALSEPREDICATE", "(TRUEPREDICATE AND NOT FALSEPREDICATE)"},
        {"caf\u00e9 == 1", "caf\u00e9 == 1"},
        {"subquery(items, $i, $i.price > 20).@count > 0",
         "SUBQUERY(items, $i, $i.price > 20).@count > 0"},
        {"cast(x, 'NSDate') > CAST('1', \"NSNumber\") + 1",
         "CAST(x, \"NSDate\") > (CAST(\"1\", \"NSNumber\") + 1)"},
        {"nums.@sum.self == .5 + -.25 AND {.5}[0] == a.SELF",
         "(nums.@sum.#self == (0.5 + -0.25) AND {0.5}[0] == a.#self)"},
        {" \t a\n==\r1 ", "a == 1"},
    }));

struct ParseErrorCase {
  std::string text;
  std::size_t position;
  std::string reason;  // a fragment of the reason
  friend void PrintTo(const ParseErrorCase& c, std::ostream* os) { *os << c.text; }
};

class PredicateParseErrorTest : public ::testing::TestWithParam<ParseErrorCase> {};

TEST_P(PredicateParseErrorTest, ReportsPositionAndReason) {
  const auto& c = GetParam();
  try {
    (void)Predicate::parse(c.text);
    FAIL() << c.text << " parsed";
  } catch (const PredicateParseError& e) {
    EXPECT_EQ(e.position(), c.position) << e.description();
    EXPECT_NE(e.reason().find(c.reason), std::string::npos) << e.description();
    EXPECT_EQ(e.text(), c.text);
  }
}

std::string repeated(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Language, PredicateParseErrorTest,
    ::testing::ValuesIn(std::vector<ParseErrorCase>{
        {"", 0, "empty text"},
        {"  ", 0, "empty text"},
        {"a ==", 4, "expected an expression, found the end"},
        {"a == 'x", 5, "unterminated string"},
        {"a == 'x\\q'", 7, "unknown escape"},
        {"a == '\\ud800'", 6, "surrogate"},
        {"a == '\\xZ1'", 8, "malformed escape"},
        {"a == %@", 5, "format arguments"},
        {"a == %K", 5, "format arguments"},
        {"$x := 1", 3, "assignments"},
        {"a == %d", 5, "format arguments"},
        {"a == %1$@", 5, "format arguments"},
        {"7 % 2 == 1", 2, "'%' is not an operator; write modulus:by:"},
        {"7 % == 1", 2, "'%' is not an operator"},
        {"SUBQUERY items", 9, "expected '(' after SUBQUERY"},
        {"SUBQUERY(items, i, i > 1).@count > 0", 16, "expected a $variable to name each element"},
        {"SUBQUERY(items, $i) == 1", 18, "expected ','"},
        {"SUBQUERY(items, $i, $i.price).@count > 0", 20, "expected a predicate"},
        {"SUBQUERY(items, $i, $i > 1 == 1", 27, "expected ')'"},
        {"FUNCTION(a, 'f') == 1", 0, "FUNCTION is not supported"},
        {"CAST('1') == 1", 8, "expected ','"},
        {"CAST('1', x) == 1", 10, "expected the name of a class in quotes"},
        {"CAST('1', 'NSData') == 1", 10, "CAST to 'NSData' is not supported"},
        {"CAST('1', 'NSDate' == 1", 19, "expected ')'"},
        {"a.5 == 1", 2, "expected a key, found a number"},
        {".5.5 == 1", 3, "expected a key, found a number"},
        {"a == .", 5, "expected an expression, found '.'"},
        {"a == 1 b", 7, "unexpected 'b' after the end"},
        {"a", 0, "expected a predicate"},
        {"a AND b == 1", 0, "expected a predicate"},
        {"(a == 1) + 1 == 2", 1, "found a predicate"},
        {"NOT 1", 4, "expected a predicate"},
        {"size == 1", 0, "reserved word"},
        {"a.size == 1", 2, "reserved word"},
        {"a ==[x] 1", 5, "comparison options"},
        {"a ==[c 1", 7, "expected ']'"},
        {"foo(1) == 1", 0, "unknown function foo"},
        {"sqrt:(1, 2) == 1", 0, "wrong number of arguments"},
        {"now(1) == 1", 0, "wrong number of arguments"},
        {"sum: == 1", 5, "expected '(' after a function name"},
        {"0x == 1", 0, "malformed number"},
        {"12abc == 1", 0, "malformed number"},
        {"1e == 1", 0, "malformed number"},
        {"0xFFFFFFFFFFFFFFFFF == 1", 0, "out of range"},
        {"1e999 == 1", 0, "out of range"},
        {"ANY a", 5, "expected a comparison operator"},
        {"a == 1 AND", 10, "expected an expression"},
        {"a & b", 2, "'&&'"},
        {"a | b", 2, "'||'"},
        {"@ == 1", 0, "expected a name after '@'"},
        {"$ == 1", 0, "expected a name after '$'"},
        {"a == {1, 2", 10, "expected '}'"},
        {"a[1", 3, "expected ']'"},
        {"a[1 == 1] == 1", 2, "found a predicate"},
        {"a. == 1", 3, "expected a key"},
        {"TERNARY(1, 2, 3) == 1", 8, "expected a predicate"},
        {"a == ;", 5, "unexpected ';'"},
        {"a == \x01", 5, "byte 0x01"},
        {repeated("(", 101) + "a == 1" + repeated(")", 101), 100, "nested deeper than 100"},
        {repeated("NOT ", 101) + "a == 1", 400, "nested deeper than 100"},
        {repeated("-", 101) + "1 == 1", 100, "nested deeper than 100"},
        {"a == 1" + repeated(" + 1", 100), 5, "nested deeper than 100"},
        {"a" + repeated(".a", 100) + " == 1", 199, "key path longer than 100"},
    }));

TEST(PredicateParseTest, WideButShallowTextsParse) {
  // Long conjunctions and lists are flat, so they stay within the depth bound.
  std::string text = "a == 1";
  for (int i = 0; i < 1000; ++i) text += " OR a == " + std::to_string(i);
  EXPECT_NO_THROW((void)Predicate::parse(text));
  std::string list = "a IN {0";
  for (int i = 1; i < 1000; ++i) list += ", " + std::to_string(i);
  EXPECT_TRUE(Predicate::parse(list + "}").evaluate(Value{{"a", 999}}));
}

}  // namespace
}  // namespace quarn
