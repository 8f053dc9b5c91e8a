#include "tools/quarnkit/form/form.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/feedback/feedback_form_answer.h"
#include "quarnkit/feedback/form_items_registry.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/form/form_view.h"

namespace quarn::tool {
namespace {

using TextChoice = FeedbackFormChoiceItem<FeedbackFormChoiceTextElement>;
using ImageChoice = FeedbackFormChoiceItem<FeedbackFormChoiceImageElement>;

std::vector<FormOptionView> textOptions(const TextChoice& item) {
  std::vector<FormOptionView> out;
  for (const auto& e : item.items) out.push_back({e.id, e.text, {}, {}, false});
  return out;
}

std::vector<FormOptionView> imageOptions(const ImageChoice& item) {
  std::vector<FormOptionView> out;
  for (const auto& e : item.items) {
    FormOptionView o{e.id, e.caption, {}, {}, false};
    if (e.imageUrl) o.imageUrl = e.imageUrl->absoluteString();
    if (e.link) o.link = e.link->absoluteString();
    out.push_back(std::move(o));
  }
  return out;
}

FormQuestionView questionView(const FeedbackFormItem& item) {
  FormQuestionView q;
  q.item = &item;
  q.answerKey = item.key.value_or(std::to_string(item.id));
  if (const auto* text = dynamic_cast<const FeedbackFormTextItem*>(&item)) {
    q.control = "text";
    q.hint = text->hint;
  } else if (const auto* choice = dynamic_cast<const TextChoice*>(&item)) {
    q.control = choice->multipleChoice()                                ? "checkbox"
                : item.type == FeedbackFormItemType::singleChoiceSelect ? "select"
                                                                        : "radio";
    q.hint = choice->hint;
    q.options = textOptions(*choice);
  } else if (const auto* images = dynamic_cast<const ImageChoice*>(&item)) {
    q.control = images->multipleChoice() ? "image checkbox" : "image radio";
    q.hint = images->hint;
    q.options = imageOptions(*images);
  } else {
    q.control = "other";
  }
  return q;
}

// The elements the form drops, from the document as written.
std::vector<std::string> droppedElements(const Value& document) {
  std::vector<std::string> out;
  const Value::Object* form = document.ifObject();
  const Value* items = form ? form->find("items") : nullptr;
  const Value::Array* list = items ? items->ifArray() : nullptr;
  if (list == nullptr) return out;
  const auto registry = FeedbackFormItemsRegistry::shared();
  for (std::size_t i = 0; i < list->size(); ++i) {
    const Value::Object* element = (*list)[i].ifObject();
    if (element == nullptr) continue;
    const Value* type = element->find("type");
    if (type == nullptr) {
      out.push_back(fmt::format("items[{}]: no \"type\"", i));
    } else if (const std::string* kind = type->ifString();
               kind != nullptr && registry->itemClass(FeedbackFormItemType(*kind)) == nullptr) {
      out.push_back(fmt::format("items[{}]: kind \"{}\" has no registered class", i, *kind));
    }
  }
  return out;
}

bool isWhole(const Value& v) { return wholeNumberOf(v).has_value(); }
std::int64_t wholeOf(const Value& v) { return *wholeNumberOf(v); }

bool isEmptyAnswer(const Value& v) {
  if (v.isNull()) return true;
  if (const auto* s = v.ifString()) return s->empty();
  if (const auto* a = v.ifArray()) return a->empty();
  return false;
}

std::string questionName(const FormQuestionView& q) {
  std::string name = fmt::format("question {}", q.item->id);
  if (q.item->text) name += " (\"" + *q.item->text + "\")";
  return name;
}

// Checks the answers against the questions, marks the options chosen and
// builds what a host would send.
void applyAnswers(FormView& view, const Value& document) {
  const std::string& file = *view.answersFile;
  const Value::Array* answers = document.ifArray();
  if (answers == nullptr) throw InputError(file, "", "expected an array of answers");
  auto problem = [&](const std::string& path, const std::string& reason) {
    view.problems.push_back(
        printableLine(file + ": " + (path.empty() ? "" : path + ": ") + reason));
  };
  std::map<std::string, std::size_t, std::less<>> byKey;  // answer key → question index
  for (std::size_t i = 0; i < view.questions.size(); ++i) {
    byKey.emplace(view.questions[i].answerKey, i);
  }
  std::vector<std::shared_ptr<const FeedbackFormAnswerItem>> submission;
  std::vector<bool> answered(view.questions.size(), false);
  for (std::size_t i = 0; i < answers->size(); ++i) {
    const std::string at = fmt::format("[{}]", i);
    const Value::Object* entry = (*answers)[i].ifObject();
    const Value* keyValue = entry ? entry->find("key") : nullptr;
    const std::string* key = keyValue ? keyValue->ifString() : nullptr;
    if (key == nullptr) {
      problem(at, entry ? "expected a \"key\" string"
                        : "expected an object with \"key\" and \"answer\"");
      continue;
    }
    const auto found = byKey.find(*key);
    if (found == byKey.end()) {
      problem(at + ".key", "no question has the answer key \"" + *key + "\"");
      continue;
    }
    FormQuestionView& q = view.questions[found->second];
    if (answered[found->second]) {
      problem(at, "a second answer for \"" + *key + "\"");
      continue;
    }
    answered[found->second] = true;
    const Value* answer = entry->find("answer");
    if (answer == nullptr || isEmptyAnswer(*answer)) {
      submission.push_back(FeedbackFormAnswer::item<std::string>(*key, std::nullopt));
      continue;
    }
    const std::string path = at + ".answer";
    if (q.control == "text") {
      const std::string* text = answer->ifString();
      if (text == nullptr) {
        problem(path, "expected a text for " + questionName(q));
        continue;
      }
      q.answer = *answer;
      submission.push_back(FeedbackFormAnswer::item<std::string>(*key, *text));
      continue;
    }
    if (q.options.empty() && q.control == "other") {
      q.answer = *answer;
      continue;
    }
    const bool multiple = q.control == "checkbox" || q.control == "image checkbox";
    std::vector<const Value*> ids;
    if (multiple) {
      const Value::Array* list = answer->ifArray();
      if (list == nullptr) {
        problem(path, "expected an array of option ids for " + questionName(q));
        continue;
      }
      for (const Value& id : *list) ids.push_back(&id);
    } else {
      ids.push_back(answer);
    }
    bool valid = true;
    std::vector<std::int64_t> chosen;
    for (std::size_t j = 0; j < ids.size(); ++j) {
      const std::string idPath = multiple ? fmt::format("{}[{}]", path, j) : path;
      if (!isWhole(*ids[j])) {
        problem(idPath, "expected an option id (a whole number) for " + questionName(q));
        valid = false;
        continue;
      }
      const std::int64_t id = wholeOf(*ids[j]);
      auto option = std::find_if(q.options.begin(), q.options.end(),
                                 [&](const FormOptionView& o) { return o.id == id; });
      if (option == q.options.end()) {
        problem(idPath, fmt::format("{} has no option {}", questionName(q), id));
        valid = false;
      } else if (std::find(chosen.begin(), chosen.end(), id) != chosen.end()) {
        problem(idPath, fmt::format("option {} is chosen twice", id));
        valid = false;
      } else {
        chosen.push_back(id);
      }
    }
    if (!valid) continue;
    for (auto& o : q.options) {
      o.chosen = std::find(chosen.begin(), chosen.end(), o.id) != chosen.end();
    }
    q.answer = *answer;
    if (multiple) {
      submission.push_back(FeedbackFormAnswer::item<std::vector<std::int64_t>>(*key, chosen));
    } else {
      submission.push_back(FeedbackFormAnswer::item<std::int64_t>(*key, chosen.front()));
    }
  }
  for (const FormQuestionView& q : view.questions) {
    if (q.item->isRequired && !q.answer) {
      problem("", "required " + questionName(q) + " is not answered (key \"" + q.answerKey + "\")");
    }
  }
  view.submission = parseJSON(JSONEncoder().encode(FeedbackFormAnswer(std::move(submission))));
}

FormView load(const FormOptions& options) {
  FormView view;
  view.formFile = options.formFile;
  const std::string text = readInputFile(options.formFile, options.maxFileSize);
  const Value document = parseInputJSON(options.formFile, text);
  try {
    JSONDecoder decoder;
    decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
    view.form = decoder.decode<FeedbackForm>(text);
  } catch (...) {
    rethrowAsInputError(options.formFile);
  }
  for (const auto& item : view.form.items) view.questions.push_back(questionView(*item));
  view.dropped = droppedElements(document);
  if (options.answersFile) {
    view.answersFile = options.answersFile;
    const std::string answers = readInputFile(*options.answersFile, options.maxFileSize);
    applyAnswers(view, parseInputJSON(*options.answersFile, answers));
  }
  return view;
}

}  // namespace

std::string formDocument(const FormOptions& options) {
  const FormView view = load(options);
  if (options.format == "json") return renderFormJSON(view);
  if (options.format == "html") return renderFormHTML(view);
  return renderFormText(view);
}

std::vector<std::string> answerProblems(const FormOptions& options) {
  return load(options).problems;
}

int runForm(const FormOptions& options) {
  const FormView view = load(options);
  const std::string document = options.format == "json"   ? renderFormJSON(view)
                               : options.format == "html" ? renderFormHTML(view)
                                                          : renderFormText(view);
  writeOutput(options.output, document);
  return view.problems.empty() ? 0 : 1;
}

std::optional<std::int64_t> wholeNumberOf(const Value& v) {
  if (const double* d = v.ifDouble(); d != nullptr && std::trunc(*d) != *d) return std::nullopt;
  return v.asInteger();
}

}  // namespace quarn::tool
