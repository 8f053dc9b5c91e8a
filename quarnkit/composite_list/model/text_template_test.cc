// Text templates: the single-pass and scanner modes, field resolution with
// expressions, the "<recursion>" and "<error>" markers, the log lines, and the
// bounds that end expansion of values that refer to each other.
#include "quarnkit/composite_list/model/text_template.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "quarnkit/core/log.h"

namespace quarn {
namespace {

using testing::LogCapture;

ValueDictionary values() {
  return ValueDictionary{
      {"name", "Ann"},
      {"user", {{"first", "Ann"}, {"last", "Lee"}}},
      {"count", 3},
      {"ratio", 2.5},
      {"flag", true},
      {"nothing", nullptr},
      {"date", Date(1706695200)},
      {"app.version", "2.1"},
      {"items", Value::Array{"x", "y", "z"}},
      {"prices", Value::Array{Value{{"price", 2}}, Value{{"price", 3}}}},
      {"self", "x${self}"},
      {"greeting", "Hi ${name}"},
      {"labels", {{"a", "A"}, {"*", "other"}}},
      {"config", {{"$total", "2 * 3"}, {"$bad", "2 +"}, {"$text", "nothing"}}},
      {"$sum", "2 * 3"},
      {"$broken", "2 +"},
      {"key", "name"},
      {"b", "x"},
      {"a", {{"x", "AX"}}},
      {"price", 4},
  };
}

struct Case {
  const char* text;
  bool expressions;
  const char* expected;
};

TEST(TextTemplateTest, SinglePass) {
  const Case cases[] = {
      {"Hello ${name}", false, "Hello Ann"},
      {"Hello ${missing}", false, "Hello "},
      {"${user.first} ${user.last}", false, "Ann Lee"},
      {"${count} items, ${ratio}, ${flag}, [${nothing}]", false, "3 items, 2.5, true, []"},
      {"${date}", false, "2024-01-31 10:00:00 +0000"},
      {"v${app.version} (${items.@count})", false, "v2.1 (3)"},
      {"${greeting}!", false, "Hi Ann!"},
      {"${self}", false, "x<recursion>"},
      {"${1 + 2}", false, ""},
      {"${1 + 2}", true, ""},
      {"a${}b${", false, "a${}b${"},
      {"${a${b}}", false, "}"},  // one match, "${a${b}", whose field is not found
      {"no placeholders", true, "no placeholders"},
      // Expression variables: the replacement is evaluated over no values.
      {"${config.$total}", true, "6"},
      {"${config.$total}", false, "2 * 3"},
      {"${config.$bad}", true, "2 +"},       // a failure leaves the text
      {"${config.$text}", true, "nothing"},  // so does a null result
      {"${$sum} and ${count}", true, "6 and 3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(templateString(c.text, values(), c.expressions), c.expected)
        << c.text << (c.expressions ? " (expressions)" : "");
  }
}

// "<recursion>" marks only references back into the values being expanded:
// placeholders side by side read the values as given, in both modes.
TEST(TextTemplateTest, SiblingPlaceholdersReadTheValuesAsGiven) {
  const ValueDictionary given{
      {"name", "Ada"},
      {"greeting", "Hello ${name}"},
      {"twice", "${name}+${name}"},
      {"both", "${greeting}/${twice}"},
      {"a", "x${a}"},
      {"loop", "${name}${loop}${name}"},
      {"user", {{"first", "Ada"}, {"hi", "Hi ${user.first}"}, {"me", "x${user.me}"}}}};
  const Case cases[] = {
      {"Hi ${name}, bye ${name}", false, "Hi Ada, bye Ada"},
      {"${greeting}, ${name}", false, "Hello Ada, Ada"},
      {"${name}: ${greeting}", false, "Ada: Hello Ada"},
      {"${greeting} ${greeting}", false, "Hello Ada Hello Ada"},
      {"${twice} ${twice}", false, "Ada+Ada Ada+Ada"},
      {"${both}", false, "Hello Ada/Ada+Ada"},
      {"${user.hi} ${user.first} ${user.hi}", false, "Hi Ada Ada Hi Ada"},
      // A reference back into the chain still ends there.
      {"${a}", false, "x<recursion>"},
      {"${a} ${a}", false, "x<recursion> x<recursion>"},
      {"${loop}", false, "Ada<recursion>Ada"},
      {"${user.me} ${user.hi} ${user.me}", false, "x<recursion> Hi Ada x<recursion>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(templateString(c.text, given), c.expected) << c.text << " (single pass)";
    EXPECT_EQ(recursiveTemplateString(c.text, given), c.expected) << c.text << " (scanner)";
  }
}

TEST(TextTemplateTest, SinglePassLookUpFailuresPropagate) {
  for (const char* text : {"${items.@bogus}", "${count.value}", "${name.@sum}"}) {
    EXPECT_THROW((void)templateString(text, values()), ExpressionEvaluationError) << text;
  }
  try {
    (void)templateString("a ${items.@bogus}", values());
  } catch (const ExpressionEvaluationError& e) {
    EXPECT_EQ(e.description(), "Unsupported collection operator @bogus");
  }
}

TEST(TextTemplateTest, Scanner) {
  const Case cases[] = {
      {"Hello ${name}", false, "Hello Ann"},
      {"Hello ${missing}", false, "Hello "},
      {"${user.first} ${user.last}", false, "Ann Lee"},
      {"${self}", false, "x<recursion>"},
      {"${name} and ${name}", false, "Ann and Ann"},
      {"${1 + 2}", false, ""},
      {"${1 + 2}", true, "3"},
      {"${price * 2}", true, "8"},
      {"${$sum}", true, "6"},
      {"${$sum}", false, "2 * 3"},
      {"${$broken}", true, "<error>"},
      {"${items.0}/${items.[1]}/${items.2}/${items.@count}", false, "x/y/z/3"},
      {"[${items.9}][${items.[7]}]", false, "[][]"},
      {"${labels.a} ${labels.zzz}", false, "A other"},
      {"a}b${name}", false, "a}b${name}"},  // a "}" before any "${"
      {"${a.${b}}", false, "AX"},           // the innermost first
      {"${${key}}", false, "Ann"},          // a replacement forms a placeholder
      {"${greeting}", false, "Hi Ann"},
      {"${prices.price}", false, "[2, 3]"},
      {"${}", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(recursiveTemplateString(c.text, values(), c.expressions), c.expected)
        << c.text << (c.expressions ? " (expressions)" : "");
    EXPECT_EQ(templateString(c.text, values(), c.expressions, true), c.expected) << c.text;
  }
  const std::set<std::string> items{"x", "y", "z"};
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(items.contains(recursiveTemplateString("${items.@random}", values())));
  }
}

TEST(TextTemplateTest, LogLines) {
  LogCapture log;
  EXPECT_EQ(recursiveTemplateString("${$sum} ${$broken} ${items.@bogus}", values(), true),
            "6 <error> ");
  EXPECT_EQ(recursiveTemplateString("[${nothing}]", values(), true), "[]");
  EXPECT_EQ(templateString("${config.$bad}", values(), true), "2 +");
  EXPECT_EQ(log.texts(LogLevel::debug),
            std::vector<std::string>{"Evaluate expression: 2 * 3 = 6)"});
  const auto errors = log.texts(LogLevel::error);
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_TRUE(errors[0].starts_with("Expression error: Unable to parse the format string \"2 +\""))
      << errors[0];
  EXPECT_EQ(errors[1], "Expression error: Unsupported collection operator @bogus");
  EXPECT_EQ(errors[2], "Expression error: Invalid expression result");  // null is no result
  EXPECT_EQ(errors[3], errors[0]);
}

TEST(TextTemplateTest, HasKeyPathAndGuardedLookUp) {
  for (const char* yes : {"a", "a.b", "$x.@count_1", "items.0", ".", "@"}) {
    EXPECT_TRUE(hasKeyPath(yes)) << yes;
  }
  for (const char* no : {"", "a b", "a-b", "1 + 2", "items.[1]", "\u00e9"}) {
    EXPECT_FALSE(hasKeyPath(no)) << no;
  }
  EXPECT_EQ(getValue(values(), "user.last"), Value("Lee"));
  EXPECT_EQ(getValue(values(), "app.version"), Value("2.1"));
  EXPECT_FALSE(getValue(values(), "missing.key"));
  EXPECT_THROW((void)getValue(values(), "count.@max"), ExpressionEvaluationError);
}

// ----- Bounds ----------------------------------------------------------------

// Values that refer to each other where the "<recursion>" write cannot reach
// (dotted keys, list elements) still end, logged.
TEST(TextTemplateBoundsTest, CyclesEnd) {
  const ValueDictionary cycle{{"x.a", "1${x.b}"},
                              {"x.b", "2${x.a}"},
                              {"p", "${q}"},
                              {"q", "${p}"},
                              {"list", Value::Array{"${list.0}"}}};
  LogCapture log;
  EXPECT_EQ(templateString("${x.a}", cycle), "12<recursion>");
  EXPECT_EQ(recursiveTemplateString("${x.a}", cycle), "12<recursion>");
  EXPECT_EQ(log.count("Expression error: Text template value ${x.a} refers to itself"), 2u);
  // Plain keys end through the write alone, without a log line.
  log.clear();
  EXPECT_EQ(templateString("${p}", cycle), "<recursion>");
  EXPECT_EQ(recursiveTemplateString("${p}", cycle), "<recursion>");
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(recursiveTemplateString("${list.0}", cycle), "<recursion>");
  EXPECT_EQ(log.count("refers to itself"), 1u);
}

TEST(TextTemplateBoundsTest, NestingDepth) {
  ValueDictionary chain;
  for (int i = 0; i < 40; ++i)
    chain.set(fmt::format("v{}", i), fmt::format("{}${{v{}}}", i % 10, i + 1));
  LogCapture log;
  const std::string expected = "01234567890123456789012345678901<recursion>";
  EXPECT_EQ(templateString("${v0}", chain), expected);
  EXPECT_EQ(recursiveTemplateString("${v0}", chain), expected);
  EXPECT_EQ(log.count("Expression error: Text template values nested deeper than 32 levels at "
                      "${v32}"),
            2u);
}

TEST(TextTemplateBoundsTest, DoublingStopsAtTheReplacementBudget) {
  // Each level doubles; dotted keys keep the single pass from marking them.
  ValueDictionary doubling;
  for (int i = 0; i < 24; ++i) {
    doubling.set(fmt::format("d.v{}", i), fmt::format("${{d.v{0}}}${{d.v{0}}}", i + 1));
  }
  for (bool recursion : {false, true}) {
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    const std::string out = templateString("${d.v0}", doubling, false, recursion);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(out.find("${d.v"), std::string::npos) << "unexpanded placeholders stay";
    EXPECT_EQ(log.count("Expression error: Text template expansion stopped after 1024 "
                        "replacements"),
              1u);
  }
}

TEST(TextTemplateBoundsTest, SmallerLimits) {
  ValueDictionary values{{"a", "abcdefgh"}, {"none", ""}};
  for (int i = 0; i < 10; ++i)
    values.set(fmt::format("v{}", i), fmt::format("{}${{v{}}}", i, i + 1));
  const TextTemplateLimits limits{.maxDepth = 3, .maxReplacements = 5, .maxLength = 16};
  const std::string six = "${none}${none}${none}${none}${none}${none}";
  for (bool recursion : {false, true}) {
    LogCapture log;
    EXPECT_EQ(templateString("${v0}", values, false, recursion, limits), "012<recursion>");
    EXPECT_EQ(log.count("nested deeper than 3 levels at ${v3}"), 1u);
    // The single pass goes from the last placeholder, the scanner from the first.
    EXPECT_EQ(templateString("${a}|${a}", values, false, recursion, limits),
              recursion ? "abcdefgh|${a}" : "${a}|abcdefgh");
    EXPECT_EQ(log.count("text longer than 16 bytes"), 1u);
    EXPECT_EQ(templateString(six, values, false, recursion, limits), "${none}");
    EXPECT_EQ(log.count("stopped after 5 replacements"), 1u);
  }
}

TEST(TextTemplateBoundsTest, ScannerRescanCycleAndLength) {
  // "${x${a}" -> "${x}${a}" -> "${x${a}" -> ... : no value refers to itself,
  // the rescans go round.
  const ValueDictionary rescans{{"x", "${x"}, {"a", "}${a}"}};
  LogCapture log;
  const std::string round = recursiveTemplateString("${x${a}", rescans);
  EXPECT_TRUE(round == "${x${a}" || round == "${x}${a}") << round;
  EXPECT_EQ(log.count("stopped after 1024 replacements"), 1u);

  log.clear();
  const std::string b(40000, 'b');
  const ValueDictionary big{{"big", b}, {"big2", b}};
  // (EXPECT_TRUE: a failure would print 80 KB.)
  EXPECT_TRUE(templateString("${big}|${big2}", big) == "${big}|" + b)
      << "the first would pass 64 KiB";
  EXPECT_TRUE(recursiveTemplateString("${big}|${big2}", big) == b + "|${big2}");
  EXPECT_EQ(log.count("Expression error: Text template expansion stopped: text longer than 65536 "
                      "bytes"),
            2u);
  // A long text that does not grow is fine.
  const std::string longText = std::string(70000, '.') + "${count}";
  EXPECT_EQ(templateString(longText, values()), std::string(70000, '.') + "3");
}

}  // namespace
}  // namespace quarn
