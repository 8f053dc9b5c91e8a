// form lint: checks a form file as written, finding every problem at once
// (decoding stops at the first), then decodes it with the library to catch
// anything the checks do not know.
#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <map>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/url.h"
#include "quarnkit/feedback/feedback_form.h"
#include "quarnkit/feedback/form_items_registry.h"
#include "tools/quarnkit/common/input_error.h"
#include "tools/quarnkit/common/output.h"
#include "tools/quarnkit/form/form.h"

namespace quarn::tool {
namespace {

using Severity = LintFinding::Severity;

enum class Kind { string, whole, boolean, date, url };

class FormLinter {
 public:
  explicit FormLinter(std::string file) : file_(std::move(file)) {}

  void lint(const Value& document) {
    const Value::Object* form = document.ifObject();
    if (form == nullptr) {
      error("", "expected a form object");
      return;
    }
    required(*form, "", "id", Kind::whole);
    for (const char* name : {"title", "description", "alias", "buttonTitle", "footerText"}) {
      optional(*form, "", name, Kind::string);
    }
    optional(*form, "", "expiryDate", Kind::date);
    optional(*form, "", "refill", Kind::boolean);
    const Value* items = form->find("items");
    if (items == nullptr) {
      error("", "missing required member \"items\"");
    } else if (const Value::Array* list = items->ifArray()) {
      for (std::size_t i = 0; i < list->size(); ++i)
        question((*list)[i], fmt::format("items[{}]", i));
    } else {
      error("items", "expected an array of questions");
    }
  }

  void add(LintFinding finding) { findings_.push_back(std::move(finding)); }
  [[nodiscard]] bool hasErrors() const {
    for (const auto& f : findings_) {
      if (f.severity == Severity::error) return true;
    }
    return false;
  }
  std::vector<LintFinding> findings() && { return std::move(findings_); }

 private:
  void error(const std::string& path, std::string message) {
    findings_.push_back({file_, path, Severity::error, std::move(message)});
  }
  void warning(const std::string& path, std::string message) {
    findings_.push_back({file_, path, Severity::warning, std::move(message)});
  }

  static std::string member(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "." + name;
  }

  // Whether `v` is of `kind`; reports it at `path` when not.
  bool check(const Value& v, const std::string& path, Kind kind) {
    switch (kind) {
      case Kind::string:
        if (v.isString()) return true;
        error(path, "expected a string");
        return false;
      case Kind::whole:
        // 3.0 decodes as 3; a number beyond 64 bits does not decode.
        if (wholeNumberOf(v)) return true;
        error(path, "expected a whole number (64-bit)");
        return false;
      case Kind::boolean:
        if (v.isBool()) return true;
        error(path, "expected true or false");
        return false;
      case Kind::date:
        if (const std::string* s = v.ifString(); s != nullptr && Date::parseISO8601(*s)) {
          return true;
        }
        error(path, "expected an internet date-time such as 2027-01-31T00:00:00Z");
        return false;
      case Kind::url:
        if (const std::string* s = v.ifString(); s != nullptr && URL::parse(*s)) return true;
        error(path, "expected a URL");
        return false;
    }
    return false;
  }

  const Value* required(const Value::Object& o, const std::string& path, const char* name,
                        Kind kind) {
    const Value* v = o.find(name);
    if (v == nullptr) {
      error(path, fmt::format("missing required member \"{}\"", name));
      return nullptr;
    }
    return check(*v, member(path, name), kind) ? v : nullptr;
  }

  void optional(const Value::Object& o, const std::string& path, const char* name, Kind kind) {
    const Value* v = o.find(name);
    if (v != nullptr && !v->isNull()) check(*v, member(path, name), kind);
  }

  // Checks the "id" of `o` and reports it when `seen` (the ids of its kind
  // met so far, with where) holds it already.
  void uniqueId(const Value::Object& o, const std::string& path,
                std::map<std::int64_t, std::string>& seen, const char* what) {
    const Value* id = required(o, path, "id", Kind::whole);
    if (id == nullptr) return;
    const std::int64_t number = *wholeNumberOf(*id);
    const auto [first, fresh] = seen.emplace(number, path);
    if (!fresh) {
      error(member(path, "id"),
            fmt::format("duplicate {} id {} (first at {})", what, number, first->second));
    }
  }

  void question(const Value& element, const std::string& path) {
    const Value::Object* q = element.ifObject();
    if (q == nullptr) {
      error(path, "expected a question object");
      return;
    }
    const Value* type = q->find("type");
    if (type == nullptr) {
      warning(path, "the element has no \"type\"; the form drops it");
      return;
    }
    if (!check(*type, member(path, "type"), Kind::string)) return;
    const FeedbackFormItemType kind(*type->ifString());
    if (FeedbackFormItemsRegistry::shared()->itemClass(kind) == nullptr) {
      warning(member(path, "type"),
              "unknown kind \"" + kind.rawValue + "\": no registered class; the form drops it");
      return;
    }
    uniqueId(*q, path, questionIds_, "question");
    required(*q, path, "isRequired", Kind::boolean);
    optional(*q, path, "text", Kind::string);
    optional(*q, path, "hint", Kind::string);
    // A question without a key is answered under its id written out, which
    // can clash with another question's explicit key.
    std::optional<std::string> answerKey;
    std::string keyPath = member(path, "key");
    if (const Value* key = q->find("key"); key != nullptr && !key->isNull()) {
      if (check(*key, keyPath, Kind::string)) answerKey = *key->ifString();
    } else if (const Value* id = q->find("id"); id != nullptr) {
      if (const auto number = wholeNumberOf(*id)) {
        answerKey = std::to_string(*number);
        keyPath = member(path, "id");
      }
    }
    if (answerKey) {
      const auto [first, fresh] = answerKeys_.emplace(*answerKey, path);
      if (!fresh) {
        warning(keyPath, "duplicate answer key \"" + *answerKey + "\" (first at " + first->second +
                             "); answers cannot tell the questions apart");
      }
    }
    if (kind != FeedbackFormItemType::text) choices(*q, path, kind);
  }

  void choices(const Value::Object& q, const std::string& path, const FeedbackFormItemType& kind) {
    const bool images = kind == FeedbackFormItemType::imageSingleChoice ||
                        kind == FeedbackFormItemType::imageMultiChoice;
    const bool builtIn = images || kind == FeedbackFormItemType::singleChoice ||
                         kind == FeedbackFormItemType::singleChoiceSelect ||
                         kind == FeedbackFormItemType::multiChoice;
    if (!builtIn) return;  // a host's own kind: its members are the host's
    const Value* items = q.find("items");
    if (items == nullptr) {
      error(path, "missing required member \"items\": a choice question needs options");
      return;
    }
    const Value::Array* options = items->ifArray();
    if (options == nullptr) {
      error(member(path, "items"), "expected an array of options");
      return;
    }
    if (options->empty()) error(member(path, "items"), "a choice question without options");
    std::map<std::int64_t, std::string> ids;
    for (std::size_t j = 0; j < options->size(); ++j) {
      const std::string at = fmt::format("{}.items[{}]", path, j);
      const Value::Object* option = (*options)[j].ifObject();
      if (option == nullptr) {
        error(at, "expected an option object");
        continue;
      }
      uniqueId(*option, at, ids, "option");
      if (!images) {
        optional(*option, at, "text", Kind::string);
        continue;
      }
      optional(*option, at, "caption", Kind::string);
      optional(*option, at, "imageUrl", Kind::url);
      optional(*option, at, "link", Kind::url);
      optional(*option, at, "entityId", Kind::whole);
      optional(*option, at, "entityType", Kind::string);
    }
  }

  std::string file_;
  std::vector<LintFinding> findings_;
  std::map<std::int64_t, std::string> questionIds_;
  std::map<std::string, std::string> answerKeys_;
};

}  // namespace

std::vector<LintFinding> lintForm(const std::string& formFile, std::uint64_t maxFileSize) {
  const std::string text = readInputFile(formFile, maxFileSize);
  const Value document = parseInputJSON(formFile, text);
  FormLinter linter(formFile);
  linter.lint(document);
  if (!linter.hasErrors()) {
    // Anything the checks above do not know still fails the decoding.
    try {
      JSONDecoder decoder;
      decoder.dateDecodingStrategy = DateDecodingStrategy::iso8601();
      (void)decoder.decode<FeedbackForm>(text);
    } catch (...) {
      try {
        rethrowAsInputError(formFile);
      } catch (const InputError& e) {
        linter.add({formFile, e.path(), LintFinding::Severity::error, e.reason()});
      }
    }
  }
  return std::move(linter).findings();
}

int runFormLint(const std::string& formFile, std::uint64_t maxFileSize) {
  const std::vector<LintFinding> findings = lintForm(formFile, maxFileSize);
  std::size_t errors = 0;
  std::string out;
  for (const LintFinding& f : findings) {
    out += f.line() + "\n";
    if (f.severity == LintFinding::Severity::error) ++errors;
  }
  out += printableLine(fmt::format("{}: {} error{}, {} warning{}", formFile, errors,
                                   errors == 1 ? "" : "s", findings.size() - errors,
                                   findings.size() - errors == 1 ? "" : "s")) +
         "\n";
  writeOutput(std::nullopt, out);
  return errors == 0 ? 0 : 1;
}

}  // namespace quarn::tool
