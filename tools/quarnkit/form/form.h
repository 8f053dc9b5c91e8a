// form: previews a feedback form as a person would see it, checks a filled
// answers file against it, and lints a form file.
//
//   quarnkit form examples/forms/onboarding.json --format html -o form.html
//   quarnkit form examples/forms/onboarding.json --answers examples/forms/answers.json
//   quarnkit form lint examples/forms/onboarding.json
//
// An answers file is what a host sends: a JSON array of {"key", "answer"}
// objects. A question is answered under its "key", or under its id written
// as text when it has none. A text answer is a string, a single-choice answer
// an option id, a multiple-choice answer an array of option ids. With
// --answers the preview shows the answers chosen, lists the problems (one
// line each, naming the answers file and the JSON path) and what a host
// would send, and the exit status is 1 when there are problems: a required
// question unanswered, an option that does not exist, an answer of the wrong
// kind, an answer to no question, two answers to one question.
//
// lint reports, one line per finding with the JSON path, the errors that
// make a form fail to decode or mislead (missing required members, members
// of the wrong kind, duplicate question ids, duplicate option ids, choice
// questions without options) and as warnings what the form silently drops
// (elements without "type", kinds with no registered class) and duplicate
// answer keys; the exit status is 1 when there are errors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/quarnkit/common/finding.h"
#include "tools/quarnkit/common/input_file.h"

namespace quarn::tool {

struct FormOptions {
  std::string formFile;
  std::optional<std::string> answersFile;
  /// "text", "json" or "html".
  std::string format = "text";
  std::optional<std::string> output;
  std::uint64_t maxFileSize = InputLimits{}.maxFileSize;
};

/// The preview of the form (with its answers). InputError for unreadable
/// files and a form that does not decode.
std::string formDocument(const FormOptions& options);

/// The problems of the answers file, one line each ("FILE: [2].answer:
/// reason"); empty without an answers file.
std::vector<std::string> answerProblems(const FormOptions& options);

/// Writes the preview (the answers' problems included); 1 when there are
/// problems.
int runForm(const FormOptions& options);

/// The findings of `quarnkit form lint`. InputError when the file cannot be
/// read or is not JSON.
std::vector<LintFinding> lintForm(const std::string& formFile, std::uint64_t maxFileSize);

/// Prints the findings and a summary line; 1 when there are errors.
int runFormLint(const std::string& formFile, std::uint64_t maxFileSize);

/// `v` as the library decodes a 64-bit whole number (an id, an option
/// chosen): an integer, or a number without a fraction from -2^63 up to
/// (not including) 2^63. Nothing for anything else.
std::optional<std::int64_t> wholeNumberOf(const Value& v);

}  // namespace quarn::tool
