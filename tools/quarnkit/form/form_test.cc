// form: the preview of the example form with and without answers, the
// answers' problems, and lint's findings with their JSON paths.
#include "tools/quarnkit/form/form.h"

#include <gtest/gtest.h>

#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/tool_test_support.h"

namespace quarn::tool {
namespace {

using testing::ScratchDirectory;

const std::string kForms = std::string(QUARNKIT_EXAMPLES_DIR) + "/forms/";

FormOptions example(const char* answers = nullptr) {
  FormOptions o;
  o.formFile = kForms + "onboarding.json";
  if (answers != nullptr) o.answersFile = kForms + answers;
  return o;
}

TEST(FormCommandTest, PreviewShowsEveryKindAndWhatWasDropped) {
  const std::string text = formDocument(example());
  EXPECT_NE(text.find("1. How often do you open the app? *\n"
                      "   single choice, id 1, answer key \"usage_frequency\"\n"
                      "   ( ) Every day\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("   [ ] Sleep timer\n"), std::string::npos);
  EXPECT_NE(text.find("dropped: items[4]: kind \"star_rating\" has no registered class\n"
                      "dropped: items[5]: no \"type\"\n"),
            std::string::npos);

  FormOptions html = example("answers.json");
  html.format = "html";
  const std::string page = formDocument(html);
  EXPECT_NE(page.find(R"(<input type="checkbox" name="liked_features" value="12" checked>)"),
            std::string::npos);
  EXPECT_NE(page.find(R"(<option value="31">A friend</option>)"), std::string::npos);
  EXPECT_NE(page.find(R"(<img src="https://cdn.example.com/mixes/calm.jpg" alt="">)"),
            std::string::npos);
}

TEST(FormCommandTest, HtmlEscapesTextsAndDropsUnsafeLinks) {
  ScratchDirectory dir;
  FormOptions o;
  o.format = "html";
  o.formFile = dir.write("f.json", R"json({"id": 1, "title": "<script>x</script>", "items": [
    {"id": 2, "type": "image_single_choice", "isRequired": false, "text": "a\"b",
     "items": [{"id": 3, "imageUrl": "javascript:alert(1)", "link": "javascript:alert(2)"}]}]})json");
  const std::string page = formDocument(o);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.find("javascript:"), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.find("a&quot;b"), std::string::npos);
}

TEST(FormCommandTest, AnswersAreCheckedAgainstTheForm) {
  EXPECT_TRUE(answerProblems(example("answers.json")).empty());
  const std::string file = kForms + "answers-faulty.json";
  EXPECT_EQ(answerProblems(example("answers-faulty.json")),
            (std::vector<std::string>{
                file + ": [0].answer: question 1 (\"How often do you open the app?\") has no "
                       "option 7",
                file + ": [1].answer[1]: option 10 is chosen twice",
                file + ": [1].answer[2]: expected an option id (a whole number) for question 2 "
                       "(\"Which features do you use?\")",
                file + ": [2].answer: expected an option id (a whole number) for question 3 "
                       "(\"Which mix did you enjoy most?\")",
                file + ": [3]: a second answer for \"usage_frequency\"",
                file + ": [4].key: no question has the answer key \"newsletter\"",
                file + ": [5]: expected a \"key\" string",
                file + ": required question 1 (\"How often do you open the app?\") is not "
                       "answered (key \"usage_frequency\")",
                file + ": required question 6 (\"What should we improve first?\") is not "
                       "answered (key \"comment\")",
            }));
  EXPECT_EQ(runForm([] {
              FormOptions o = example("answers-faulty.json");
              o.output = "/dev/null";
              return o;
            }()),
            1);
}

TEST(FormCommandTest, FormsThatDoNotDecodeAreOneInputError) {
  ScratchDirectory dir;
  FormOptions o;
  o.formFile = dir.write("f.json", R"({"id": 1, "items": [{"id": 2, "type": "text"}]})");
  try {
    (void)formDocument(o);
    ADD_FAILURE();
  } catch (const InputError& e) {
    EXPECT_EQ(e.path(), "items[0]");
  }
  o.formFile = dir.write("g.json", R"({"id": 1, "items": []})");
  o.answersFile = dir.write("a.json", R"({"key": "x"})");
  EXPECT_THROW((void)formDocument(o), InputError);
}

TEST(FormLintTest, FindsEveryProblemWithItsPath) {
  std::vector<std::string> lines;
  for (const LintFinding& f : lintForm(kForms + "faulty-form.json", InputLimits{}.maxFileSize)) {
    lines.push_back(f.path + ": " + (f.severity == LintFinding::Severity::error ? "E " : "W ") +
                    f.message);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       ": E missing required member \"id\"",
                       "expiryDate: E expected an internet date-time such as 2027-01-31T00:00:00Z",
                       "items[0].items: E a choice question without options",
                       "items[1].id: E duplicate question id 1 (first at items[0])",
                       "items[1].isRequired: E expected true or false",
                       "items[1].items[1].id: E duplicate option id 5 (first at items[1].items[0])",
                       "items[1].items[2]: E missing required member \"id\"",
                       "items[2]: E missing required member \"isRequired\"",
                       "items[2].text: E expected a string",
                       "items[2].key: W duplicate answer key \"extras\" (first at items[1]); "
                       "answers cannot tell the questions apart",
                       "items[3]: E missing required member \"items\": a choice question needs "
                       "options",
                       "items[4].type: W unknown kind \"slider\": no registered class; the form "
                       "drops it",
                       "items[5]: W the element has no \"type\"; the form drops it",
                       "items[6]: E expected a question object",
                       "items[7].items[0].imageUrl: E expected a URL",
                       "items[7].items[0].entityId: E expected a whole number (64-bit)",
                       "items[7].items[1].id: E expected a whole number (64-bit)",
                   }));
  const auto clean = lintForm(kForms + "onboarding.json", InputLimits{}.maxFileSize);
  ASSERT_EQ(clean.size(), 2U);
  EXPECT_EQ(clean[0].severity, LintFinding::Severity::warning);
}

TEST(FormLintTest, WholeNumbersFollowTheLibrarysSixtyFourBitRule) {
  EXPECT_EQ(wholeNumberOf(Value(9.22e18)), std::int64_t{9220000000000000000});
  EXPECT_EQ(wholeNumberOf(Value(-9223372036854775808.0)), INT64_MIN);
  EXPECT_EQ(wholeNumberOf(Value(3.0)), 3);
  EXPECT_EQ(wholeNumberOf(Value(9223372036854775808.0)), std::nullopt);
  EXPECT_EQ(wholeNumberOf(Value(2.5)), std::nullopt);
  EXPECT_EQ(wholeNumberOf(Value("1")), std::nullopt);
}

}  // namespace
}  // namespace quarn::tool
