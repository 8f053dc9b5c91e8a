// What the form previews show, worked out once for the three renderings: the
// decoded form, each question as a person meets it (its control, its
// options, the answer given), the elements the form dropped, and the
// answers' problems and submission.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/value.h"
#include "quarnkit/feedback/feedback_form.h"

namespace quarn::tool {

struct FormOptionView {
  std::int64_t id = 0;
  /// The option's text or caption.
  std::optional<std::string> label;
  std::optional<std::string> imageUrl;
  std::optional<std::string> link;
  bool chosen = false;
};

struct FormQuestionView {
  const FeedbackFormItem* item = nullptr;
  /// "text", "radio", "select", "checkbox", "image radio", "image checkbox",
  /// or "other" for a class the tool does not know.
  std::string control;
  /// The key its answer is looked up under.
  std::string answerKey;
  std::optional<std::string> hint;
  std::vector<FormOptionView> options;
  /// The answer given (as written in the answers file).
  std::optional<Value> answer;
};

struct FormView {
  std::string formFile;
  FeedbackForm form;
  std::vector<FormQuestionView> questions;
  /// "items[3]: ..." for each element the form dropped.
  std::vector<std::string> dropped;
  std::optional<std::string> answersFile;
  std::vector<std::string> problems;
  /// The valid answers as a host sends them (FeedbackFormAnswer's JSON).
  std::optional<Value> submission;
};

std::string renderFormText(const FormView& view);
std::string renderFormJSON(const FormView& view);
std::string renderFormHTML(const FormView& view);

}  // namespace quarn::tool
