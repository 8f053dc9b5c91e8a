// The html rendering of a form preview: one page, its style inline, nothing
// fetched but the options' images; each question kind as the control a
// screen shows, filled with the answers given.
#include <fmt/format.h>

#include <string_view>

#include "tools/quarnkit/common/html_text.h"
#include "tools/quarnkit/form/form_view.h"

namespace quarn::tool {

namespace {

constexpr std::string_view kStyle = R"css(
* { box-sizing: border-box; }
body { margin: 0; padding: 32px 0; background: #dfe3ea; font: 15px/1.35 system-ui, sans-serif; color: #1c1f24; }
.phone { width: 390px; min-height: 844px; margin: 0 auto; border: 12px solid #111; border-radius: 48px; background: #f6f7f9; overflow: hidden; box-shadow: 0 24px 60px rgba(0,0,0,.25); }
form { padding: 28px 16px 24px; }
h1 { font-size: 22px; margin: 0 0 6px; }
.description { color: #4b5563; margin: 0 0 6px; }
.meta { font-size: 12px; color: #6b7280; margin: 0 0 16px; }
fieldset { border: 0; margin: 0 0 14px; padding: 12px; background: #fff; border-radius: 12px; }
legend { float: left; width: 100%; padding: 0 0 8px; font-weight: 600; }
legend .required { color: #dc2626; margin-left: 4px; }
.hint { clear: both; color: #6b7280; font-size: 13px; margin: 0 0 6px; }
label.option { display: flex; align-items: center; gap: 8px; padding: 6px 0; clear: both; }
textarea, select { width: 100%; font: inherit; padding: 8px; border: 1px solid #d5d9e0; border-radius: 8px; clear: both; }
.images { display: grid; grid-template-columns: 1fr 1fr; gap: 8px; clear: both; }
.images label { display: block; border: 2px solid #e5e7eb; border-radius: 10px; overflow: hidden; background: #fafafa; }
.images label:has(input:checked) { border-color: #2563eb; }
.images img { display: block; width: 100%; height: 90px; object-fit: cover; background: #e5e7eb; }
.images span { display: flex; gap: 6px; align-items: center; padding: 6px 8px; font-size: 13px; }
.images a { font-size: 12px; color: #2563eb; padding: 0 8px 6px; display: block; }
button { width: 100%; padding: 12px; border: 0; border-radius: 12px; background: #2563eb; color: #fff; font: 600 16px system-ui, sans-serif; }
.footer { color: #6b7280; font-size: 13px; text-align: center; margin-top: 12px; }
.notes { margin: 16px; font-size: 12px; color: #92400e; background: #fef3c7; border-radius: 8px; padding: 8px 12px; }
.notes.problems { color: #991b1b; background: #fee2e2; }
.notes.ok { color: #166534; background: #dcfce7; }
.notes ul { margin: 4px 0 0; padding-left: 18px; }
)css";

std::string checked(bool on, const char* word = " checked") { return on ? word : ""; }

void choiceOptions(std::string& out, const FormQuestionView& q, const std::string& name) {
  const bool multiple = q.control == "checkbox" || q.control == "image checkbox";
  const char* input = multiple ? "checkbox" : "radio";
  if (q.control == "select") {
    out += "<select name=\"" + name + "\"><option value=\"\">" +
           escapeHTML(q.hint.value_or("Choose…")) + "</option>";
    for (const FormOptionView& o : q.options) {
      out += fmt::format("<option value=\"{}\"{}>{}</option>", o.id, checked(o.chosen, " selected"),
                         escapeHTML(o.label.value_or(fmt::format("Option {}", o.id))));
    }
    out += "</select>";
    return;
  }
  const bool images = q.control == "image radio" || q.control == "image checkbox";
  if (images) out += "<div class=\"images\">";
  for (const FormOptionView& o : q.options) {
    const std::string control = fmt::format("<input type=\"{}\" name=\"{}\" value=\"{}\"{}>", input,
                                            name, o.id, checked(o.chosen));
    const std::string label =
        escapeHTML(o.label.value_or(images ? "" : fmt::format("Option {}", o.id)));
    if (!images) {
      out += fmt::format("<label class=\"option\">{}{}</label>", control, label);
      continue;
    }
    out += "<div><label>";
    if (auto image = safeImage(o.imageUrl)) out += "<img src=\"" + *image + "\" alt=\"\">";
    out += fmt::format("<span>{}{}</span></label>", control, label);
    if (auto link = safeLink(o.link)) out += "<a href=\"" + *link + "\">More ›</a>";
    out += "</div>";
  }
  if (images) out += "</div>";
}

void notes(std::string& out, const char* cls, const std::string& title,
           const std::vector<std::string>& lines) {
  out += std::string("<div class=\"notes ") + cls + "\">" + escapeHTML(title);
  if (!lines.empty()) {
    out += "<ul>";
    for (const std::string& line : lines) out += "<li>" + escapeHTML(line) + "</li>";
    out += "</ul>";
  }
  out += "</div>\n";
}

}  // namespace

std::string renderFormHTML(const FormView& view) {
  const FeedbackForm& f = view.form;
  std::string out;
  out.reserve(8192);
  out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
  out += "<title>" + escapeHTML(view.formFile) + " — quarnkit form</title><style>";
  out += kStyle;
  out += "</style></head><body>\n<div class=\"phone\"><form onsubmit=\"return false\">\n";
  out += "<h1>" + escapeHTML(f.title.value_or(fmt::format("Form {}", f.id))) + "</h1>\n";
  if (f.description) out += "<p class=\"description\">" + escapeHTML(*f.description) + "</p>\n";
  std::string meta = fmt::format("form {}", f.id);
  if (f.alias) meta += " · alias " + *f.alias;
  if (f.expiryDate) meta += " · expires " + f.expiryDate->iso8601String();
  out += "<p class=\"meta\">" + escapeHTML(meta) + "</p>\n";

  for (const FormQuestionView& q : view.questions) {
    const std::string name = escapeHTML(q.answerKey);
    out +=
        fmt::format("<fieldset data-id=\"{}\" data-type=\"{}\"><legend>{}{}</legend>", q.item->id,
                    escapeHTML(q.item->type.rawValue), escapeHTML(q.item->text.value_or("")),
                    q.item->isRequired ? "<span class=\"required\">*</span>" : "");
    if (q.hint && q.control != "select") {
      out += "<p class=\"hint\">" + escapeHTML(*q.hint) + "</p>";
    }
    if (q.control == "text") {
      const std::string* answer = q.answer ? q.answer->ifString() : nullptr;
      out += "<textarea name=\"" + name + "\" rows=\"3\"" +
             (q.item->isRequired ? " required" : "") + ">" + escapeHTML(answer ? *answer : "") +
             "</textarea>";
    } else if (q.control == "other") {
      out += "<p class=\"hint\">" +
             escapeHTML("kind \"" + q.item->type.rawValue + "\": shown by the host's own screen") +
             "</p>";
    } else {
      choiceOptions(out, q, name);
    }
    out += "</fieldset>\n";
  }
  out += "<button type=\"submit\">" + escapeHTML(f.buttonTitle.value_or("Send")) + "</button>\n";
  if (f.footerText) out += "<p class=\"footer\">" + escapeHTML(*f.footerText) + "</p>\n";
  out += "</form>\n";
  if (!view.dropped.empty()) notes(out, "", "Dropped by the form:", view.dropped);
  if (view.answersFile) {
    if (view.problems.empty()) {
      notes(out, "ok", "Answers valid: " + *view.answersFile, {});
    } else {
      notes(out, "problems", "Answers: " + *view.answersFile, view.problems);
    }
  }
  out += "</div>\n</body></html>\n";
  return out;
}

}  // namespace quarn::tool
