#include "quarnkit/platform/attributed_string.h"

#include <gtest/gtest.h>

namespace quarn::platform {
namespace {

AttributeContainer attrs(std::string_view name, Value v) {
  AttributeContainer c;
  c.set(name, std::move(v));
  return c;
}

std::vector<std::string> runTexts(const AttributedString& s) {
  std::vector<std::string> out;
  for (const auto& run : s.runs()) {
    out.push_back(s.string().substr(run.range.begin, run.range.end - run.range.begin));
  }
  return out;
}

TEST(AttributedStringTest, SettingAnAttributeSplitsAndMergesRuns) {
  AttributedString s("Only $4.99 a week");
  s.setAttribute(*s.range("$4.99"), "k", Value(1));
  EXPECT_EQ(runTexts(s), (std::vector<std::string>{"Only ", "$4.99", " a week"}));
  s.setAttribute({0, s.string().size()}, "k", Value(1));
  EXPECT_EQ(runTexts(s), (std::vector<std::string>{"Only $4.99 a week"}));
  s.setAttribute({5, 1000}, "k", Value(2));  // clamped
  EXPECT_EQ(runTexts(s), (std::vector<std::string>{"Only ", "$4.99 a week"}));
  EXPECT_EQ(s.range(""), std::nullopt);
  EXPECT_EQ(s.range("month"), std::nullopt);
}

TEST(AttributedStringTest, ReplacingASubrangeKeepsTheAttributesAround) {
  AttributedString s("a %price% b", attrs("x", Value(1)));
  s.replaceSubrange(*s.range("%price%"), AttributedString("$1", attrs("p", Value("%price%"))));
  EXPECT_EQ(s.string(), "a $1 b");
  EXPECT_EQ(runTexts(s), (std::vector<std::string>{"a ", "$1", " b"}));
  EXPECT_EQ(s.attributes(2).find("x"), nullptr);
  EXPECT_EQ(*s.attributes(0).find("x"), Value(1));
}

TEST(AttributedStringTest, StrongEmphasisIsReplacedByTheGivenAttributes) {
  AttributedString s;
  s.append("Save ");
  s.append("50%", attrs(kInlinePresentationIntentAttribute,
                        Value(std::int64_t{stronglyEmphasized | emphasized})));
  s.append(" now", attrs(kInlinePresentationIntentAttribute, Value(std::int64_t{code})));
  const AttributedString restyled =
      s.replacingStronglyEmphasizedAttributes(attrs("color", Value("red")));
  const AttributeContainer bold = restyled.attributes(5);
  EXPECT_EQ(*bold.find(kInlinePresentationIntentAttribute), Value(std::int64_t{emphasized}));
  EXPECT_EQ(*bold.find("color"), Value("red"));
  EXPECT_EQ(restyled.attributes(9).find("color"), nullptr);
  EXPECT_FALSE(restyled.isEmpty());
  EXPECT_TRUE(AttributedString().isEmpty());
}

}  // namespace
}  // namespace quarn::platform
