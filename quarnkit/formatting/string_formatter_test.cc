#include "quarnkit/formatting/string_formatter.h"

#include <gtest/gtest.h>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/formatting/text_helpers.h"

namespace quarn::StoreKitHelpers {
namespace {

using platform::AttributedString;
using platform::kInlinePresentationIntentAttribute;

SKProductMeta meta(std::optional<float> discount = std::nullopt,
                   std::optional<std::string> perWeek = "$0.99") {
  SKProductMeta::Fields f;
  f.localizedPrice = "$4.99";
  f.localizedPricePerYear = "$259.99";
  f.localizedPricePerMonth = "$21.49";
  f.localizedPricePerWeek = std::move(perWeek);
  f.localizedPeriod = "1 week";
  f.discountPercentage = discount;
  f.localizedIntroductoryPeriod = "3 days";
  return SKProductMeta("w", std::move(f));
}

// The text of each run and the placeholder it carries ("" for none).
std::vector<std::pair<std::string, std::string>> marked(const AttributedString& s) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& run : s.runs()) {
    const auto p = StoreKitHelpersAttributes::variablePlaceholder(run.attributes);
    out.emplace_back(s.string().substr(run.range.begin, run.range.end - run.range.begin),
                     p ? std::string(StringFormatter::rawValue(*p)) : "");
  }
  return out;
}

std::int64_t intentAt(const AttributedString& s, std::size_t offset) {
  const Value* v = s.attributes(offset).find(kInlinePresentationIntentAttribute);
  return v != nullptr ? *v->ifInteger() : 0;
}

TEST(StringFormatterTest, PlaceholdersAndRawValues) {
  EXPECT_EQ(StringFormatter::allCases().size(), 9u);
  for (const auto p : StringFormatter::allCases()) {
    EXPECT_EQ(StringFormatter::placeholder(StringFormatter::rawValue(p)), p);
  }
  EXPECT_EQ(StringFormatter::placeholder("%price"), std::nullopt);
  EXPECT_EQ(StringFormatter::rawValue(VariablePlaceholder::localizedTrialPeriod), "%trial_period%");
  const JSONDecoder decoder;
  EXPECT_EQ(decoder.decode<VariablePlaceholder>("\"%discount%\""),
            VariablePlaceholder::discountPercentage);
  EXPECT_THROW(decoder.decode<VariablePlaceholder>("\"%nope%\""), DecodingError);
}

TEST(StringFormatterTest, PlainTextValidationAndValues) {
  struct Case {
    const char* template_;
    const char* text;
    bool valid;
  };
  const StringFormatter f(meta());
  for (const Case& c : {
           Case{"%price% / %period% %discount%", "$4.99 / 1 week ", false},
           Case{"%price% and %price%", "$4.99 and $4.99", true},
           Case{"No placeholder", "No placeholder", true},
           Case{"%trial_period% free, then %price_per_week%", "3 days free, then $0.99", true},
           Case{"%relative_price%%price_per_relative_period%", "", false},
           Case{"50% off: %price%%", "50% off: $4.99%", true},
       }) {
    EXPECT_EQ(f.string(c.template_), c.text) << c.template_;
    EXPECT_EQ(f.validate(c.template_), c.valid) << c.template_;
  }
  const StringFormatter empty;
  EXPECT_TRUE(empty.validate("No placeholder"));
  EXPECT_FALSE(empty.validate("%price%"));
  EXPECT_EQ(empty.string("%price%!"), "!");
  EXPECT_TRUE(empty.allValues().begin() == empty.allValues().end());

  const Value all(f.allValues());
  EXPECT_EQ(*all.find("price_per_week"), Value("$0.99"));
  EXPECT_EQ(*all.find("trial_period"), Value("3 days"));
  EXPECT_EQ(all.find("discount"), nullptr);
}

TEST(StringFormatterTest, DiscountIsTruncatedToAWholeNumber) {
  const std::pair<float, const char*> cases[] = {
      {33.7f, "33"}, {-12.9f, "-12"}, {0.4f, "0"}, {99.99f, "99"}};
  for (const auto& [discount, text] : cases) {
    EXPECT_EQ(StringFormatter(meta(discount)).string("%discount%"), text);
  }
  // Not finite or beyond any integer: absent, never undefined.
  for (const float bad : {std::numeric_limits<float>::infinity(), std::nanf(""), 1e30f}) {
    EXPECT_FALSE(StringFormatter(meta(bad)).validate("%discount%"));
  }
}

TEST(StringFormatterTest, MutableFormReplacesOnlyTheFirstOccurrence) {
  const StringFormatter f(meta());
  const AttributedString s = f.mutableAttributedString("**%price%** then %price% %discount%.");
  EXPECT_EQ(s.string(), "**$4.99** then %price% .");
  EXPECT_EQ(marked(s), (std::vector<std::pair<std::string, std::string>>{
                           {"**", ""}, {"$4.99", "%price%"}, {"** then %price% .", ""}}));
}

TEST(StringFormatterTest, AttributedFormParsesMarkdownAndMarksFirstValues) {
  const StringFormatter f(meta(std::nullopt, "$4.99"));  // per week equals the price
  const AttributedString s = f.attributedString("**%price%** a week, %price_per_week% a week");
  EXPECT_EQ(s.string(), "$4.99 a week, $4.99 a week");
  // Both values find the first "$4.99"; the later placeholder wins there.
  EXPECT_EQ(marked(s), (std::vector<std::pair<std::string, std::string>>{
                           {"$4.99", "%price_per_week%"}, {" a week, $4.99 a week", ""}}));
  EXPECT_EQ(intentAt(s, 0), platform::stronglyEmphasized);
  EXPECT_EQ(intentAt(s, 6), 0);
}

TEST(StringFormatterTest, OnlyInlineMarkdownAndWhitespaceKept) {
  const StringFormatter f(meta());
  struct Case {
    const char* template_;
    const char* text;
  };
  for (const Case& c : {
           Case{"# %price%", "# $4.99"},
           Case{"- one\n- two", "- one\n- two"},
           Case{"> quote\n\n1. first", "> quote\n\n1. first"},
           Case{"    indented  \ntrailing  ", "    indented  \ntrailing  "},
           Case{"a\\\nb", "a\\\nb"},
           Case{"~~$9.99~~ %price%", "$9.99 $4.99"},
           Case{"_em_ and *em* and `code`", "em and em and code"},
           Case{"%price%&nbsp;/&nbsp;%period% &amp; &#x20AC;", "$4.99\u00a0/\u00a01 week & €"},
           Case{"[Terms](https://example.com/terms)", "Terms"},
           Case{"<b>raw</b>", "<b>raw</b>"},
           Case{"", ""},
       }) {
    EXPECT_EQ(f.attributedString(c.template_).string(), c.text) << c.template_;
  }
  const AttributedString s = f.attributedString("~~$9.99~~ _now_ [Terms](https://x.test/t)");
  EXPECT_EQ(intentAt(s, 0), platform::strikethrough);
  EXPECT_EQ(intentAt(s, 6), platform::emphasized);
  EXPECT_EQ(*s.attributes(10).find(platform::kLinkAttribute), Value("https://x.test/t"));
}

TEST(StringFormatterTest, UnparsableMarkdownIsPlainText) {
  const StringFormatter f(meta());
  const AttributedString s = f.attributedString("**%price%** \xff");
  EXPECT_EQ(s.string(), "**$4.99** \xff");
  EXPECT_EQ(marked(s), (std::vector<std::pair<std::string, std::string>>{
                           {"**", ""}, {"$4.99", "%price%"}, {"** \xff", ""}}));
}

TEST(StringFormatterTest, AttributeNameIsASharedSetting) {
  const StringFormatter f(meta());
  VariablePlaceholderAttribute::setName("Custom");
  const AttributedString s = f.attributedString("%price%");
  EXPECT_NE(s.attributes(0).find("Custom"), nullptr);
  EXPECT_EQ(StoreKitHelpersAttributes::variablePlaceholder(s.attributes(0)),
            VariablePlaceholder::localizedPrice);
  VariablePlaceholderAttribute::setName("StringFormatter.VariablePlaceholder");
}

TEST(PlaceholderIssuesTest, FindsUnknownAndUnterminatedPlaceholders) {
  using K = PlaceholderIssue::Kind;
  struct Case {
    const char* template_;
    std::vector<PlaceholderIssue> issues;
  };
  for (const Case& c : std::vector<Case>{
           {"%price% / %period%", {}},
           {"Save 50% off, 20% later", {}},
           {"50%off", {}},
           {"%price_per_day%", {{K::unknown, "%price_per_day%", 0}}},
           {"Only %price a week", {{K::unterminated, "%price", 5}}},
           {"%discount%% %prcie%", {{K::unknown, "%prcie%", 12}}},
           {"%period", {{K::unterminated, "%period", 0}}},
       }) {
    EXPECT_EQ(placeholderIssues(c.template_), c.issues) << c.template_;
  }
}

TEST(TextHelpersTest, Base64AndLocalizedStrings) {
  EXPECT_EQ(base64Encoded("Grüße"), "R3LDvMOfZQ==");
  EXPECT_EQ(base64Decoded("R3LD vMOf\nZQ=="), "Grüße");
  EXPECT_EQ(base64Decoded("R3L"), std::nullopt);
  EXPECT_EQ(base64Decoded("/w=="), std::nullopt);  // 0xFF is not UTF-8
  EXPECT_EQ(localizedString("paywall.title"), "paywall.title");
  setLocalizedStrings({{"paywall.title", "Go premium"}});
  EXPECT_EQ(localizedString("paywall.title"), "Go premium");
  setLocalizedStrings({});
}

TEST(TextHelpersTest, ExcerptsCutOnACharacterBoundary) {
  EXPECT_EQ(excerpt("short"), "short");
  EXPECT_EQ(excerpt(std::string(80, 'x')), std::string(80, 'x'));
  EXPECT_EQ(excerpt(std::string(81, 'x')), std::string(80, 'x') + "\u2026");
  // "ü" is two bytes: a cut through it drops it whole.
  EXPECT_EQ(excerpt("abcü", 4), "abc\u2026");
  EXPECT_EQ(excerpt("abcüd", 5), "abcü\u2026");
  EXPECT_EQ(excerpt(std::string(1 << 20, '7'), 4), "7777\u2026");
}

}  // namespace
}  // namespace quarn::StoreKitHelpers
