// The command line of `quarnkit form` and `quarnkit form lint` (included by
// main.cc only).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "tools/quarnkit/form/form.h"

namespace quarn::tool {

struct FormArguments {
  FormOptions options;
  std::string answersFile, output, lintFile;
  CLI::App* form = nullptr;
  CLI::App* lint = nullptr;

  /// The options, with the texts given turned into their values.
  [[nodiscard]] FormOptions parsed() const {
    FormOptions o = options;
    if (!answersFile.empty()) o.answersFile = answersFile;
    if (!output.empty()) o.output = output;
    return o;
  }
  /// Runs what was asked; 2 when the preview was asked without a form file.
  [[nodiscard]] int run() const {
    if (lint->parsed()) return runFormLint(lintFile, options.maxFileSize);
    if (options.formFile.empty()) {
      std::fprintf(stderr,
                   "quarnkit form: FILE is required\nRun with --help for more information.\n");
      return 2;
    }
    return runForm(parsed());
  }
};

inline CLI::App* addFormCommand(CLI::App& app, FormArguments& a) {
  a.form = app.add_subcommand(
      "form", "Preview a feedback form as a person sees it, and check a filled answers file");
  a.form->add_option("FILE", a.options.formFile, "The form (a JSON object)");
  a.form->add_option("--format", a.options.format, "text, json or html")
      ->check(CLI::IsMember({"text", "json", "html"}))
      ->capture_default_str();
  a.form->add_option("--answers", a.answersFile,
                     "Answers to check and show (a JSON array of {\"key\", \"answer\"})");
  a.form->add_option("--output,-o", a.output, "Write to FILE instead of standard output");
  a.lint = a.form->add_subcommand(
      "lint", "Check a form file; exit 1 when an error is found (dropped questions are warnings)");
  a.lint->add_option("FILE", a.lintFile, "The form (a JSON object)")->required();
  return a.form;
}

}  // namespace quarn::tool
