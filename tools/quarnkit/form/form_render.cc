// The text and json renderings of a form preview.
#include <fmt/format.h>

#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/form/form_view.h"

namespace quarn::tool {

namespace {

std::string kindLabel(const FormQuestionView& q) {
  if (q.control == "text") return "free text";
  if (q.control == "radio") return "single choice";
  if (q.control == "select") return "single choice (menu)";
  if (q.control == "checkbox") return "multiple choice";
  if (q.control == "image radio") return "single choice of images";
  if (q.control == "image checkbox") return "multiple choice of images";
  return "kind \"" + q.item->type.rawValue + "\"";
}

std::string optionLabel(const FormOptionView& o) {
  std::string label = o.label.value_or(fmt::format("option {}", o.id));
  if (o.imageUrl) label += " [image " + *o.imageUrl + "]";
  if (o.link) label += " [link " + *o.link + "]";
  return label;
}

Value optional(const std::optional<std::string>& text) {
  return text ? Value(*text) : Value(nullptr);
}

}  // namespace

std::string renderFormText(const FormView& view) {
  const FeedbackForm& f = view.form;
  std::string out = f.title.value_or(fmt::format("Form {}", f.id)) + "\n";
  if (f.description) out += *f.description + "\n";
  std::string meta = fmt::format("form {}", f.id);
  if (f.alias) meta += " · alias " + *f.alias;
  if (f.expiryDate) meta += " · expires " + f.expiryDate->iso8601String();
  meta += f.refill ? " · can be filled again" : " · filled once";
  out += meta + "\n";

  for (std::size_t i = 0; i < view.questions.size(); ++i) {
    const FormQuestionView& q = view.questions[i];
    out += fmt::format("\n{}. {}{}\n", i + 1, q.item->text.value_or("(no question text)"),
                       q.item->isRequired ? " *" : "");
    out += fmt::format("   {}, id {}, answer key \"{}\"\n", kindLabel(q), q.item->id, q.answerKey);
    if (q.hint) out += "   hint: " + *q.hint + "\n";
    const bool multiple = q.control == "checkbox" || q.control == "image checkbox";
    for (const FormOptionView& o : q.options) {
      const char* mark = multiple ? (o.chosen ? "[x]" : "[ ]") : (o.chosen ? "(x)" : "( )");
      out += fmt::format("   {} {}\n", mark, optionLabel(o));
    }
    if (q.control == "text") {
      const std::string* answer = q.answer ? q.answer->ifString() : nullptr;
      out += answer ? "   > " + *answer + "\n" : std::string("   > ____\n");
    }
    if (q.control == "other" && q.answer) out += "   > " + serializeJSON(*q.answer) + "\n";
  }
  out += "\n[ " + f.buttonTitle.value_or("Send") + " ]\n";
  if (f.footerText) out += *f.footerText + "\n";
  for (const std::string& d : view.dropped) out += "dropped: " + d + "\n";
  if (view.answersFile) {
    out += "\nanswers: " + *view.answersFile + "\n";
    for (const std::string& p : view.problems) out += p + "\n";
    out += view.problems.empty() ? std::string("answers valid\n")
                                 : fmt::format("{} problem{}\n", view.problems.size(),
                                               view.problems.size() == 1 ? "" : "s");
    if (view.submission) out += "sends: " + serializeJSON(*view.submission) + "\n";
  }
  return out;
}

std::string renderFormJSON(const FormView& view) {
  const FeedbackForm& f = view.form;
  Value::Object form;
  form.set("id", Value(f.id));
  form.set("title", optional(f.title));
  form.set("description", optional(f.description));
  form.set("alias", optional(f.alias));
  form.set("buttonTitle", optional(f.buttonTitle));
  form.set("footerText", optional(f.footerText));
  form.set("expiryDate", f.expiryDate ? Value(f.expiryDate->iso8601String()) : Value(nullptr));
  form.set("refill", Value(f.refill));

  Value::Array questions;
  for (const FormQuestionView& q : view.questions) {
    Value::Object question;
    question.set("id", Value(q.item->id));
    question.set("type", Value(q.item->type.rawValue));
    question.set("control", Value(q.control));
    question.set("answerKey", Value(q.answerKey));
    question.set("isRequired", Value(q.item->isRequired));
    question.set("text", optional(q.item->text));
    question.set("hint", optional(q.hint));
    Value::Array options;
    for (const FormOptionView& o : q.options) {
      Value::Object option;
      option.set("id", Value(o.id));
      option.set("label", optional(o.label));
      if (o.imageUrl) option.set("imageUrl", Value(*o.imageUrl));
      if (o.link) option.set("link", Value(*o.link));
      if (view.answersFile) option.set("chosen", Value(o.chosen));
      options.push_back(Value(std::move(option)));
    }
    question.set("options", Value(std::move(options)));
    if (view.answersFile) question.set("answer", q.answer.value_or(Value(nullptr)));
    questions.push_back(Value(std::move(question)));
  }
  Value::Array dropped;
  for (const std::string& d : view.dropped) dropped.push_back(Value(d));

  Value::Object document;
  document.set("form", Value(std::move(form)));
  document.set("questions", Value(std::move(questions)));
  document.set("dropped", Value(std::move(dropped)));
  if (view.answersFile) {
    Value::Object answers;
    answers.set("file", Value(*view.answersFile));
    Value::Array problems;
    for (const std::string& p : view.problems) problems.push_back(Value(p));
    answers.set("problems", Value(std::move(problems)));
    answers.set("submission", view.submission.value_or(Value(nullptr)));
    document.set("answers", Value(std::move(answers)));
  }
  return serializeJSON(Value(std::move(document)), {.prettyPrinted = true}) + "\n";
}

}  // namespace quarn::tool
