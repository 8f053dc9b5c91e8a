// InputError: a problem with one of the files the tool was given, reported as
// one line naming the file, the JSON path inside it (when there is one) and
// the reason:
//
//   examples/home/template.json: [3].data.maxItems: expected Int64, found a string
//
// The helpers turn whatever a decoding step threw into an InputError, so that
// no failure reaches the user as a crash. Every line is printable: control
// characters in names and reasons are escaped.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quarn::tool {

class InputError : public std::runtime_error {
 public:
  InputError(std::string file, std::string path, const std::string& reason);

  [[nodiscard]] const std::string& file() const { return file_; }
  /// The JSON path ("[3].data.maxItems"); empty for the whole file.
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] const std::string& reason() const { return reason_; }

 private:
  std::string file_;
  std::string path_;
  std::string reason_;
};

enum class LineBreaks { kept, asSpaces };
/// `text` with control characters (C0, DEL, and the C1 range a terminal also
/// obeys) as \u00XX escapes; line breaks and tabs kept (a carriage return is
/// escaped) or each turned into a space.
std::string escapedControls(std::string_view text, LineBreaks lineBreaks);

/// `text` as one printable line: tabs and line breaks become spaces, other
/// control characters (a NUL, an escape) \u0000-style escapes.
std::string printableLine(std::string_view text);

/// The exception in flight as an InputError about `file`: a DecodingError
/// keeps its coding path and description, an InputError passes unchanged,
/// anything else becomes its description at the top of the file.
[[noreturn]] void rethrowAsInputError(const std::string& file);

/// The reason of a decoding error as one line: its debug description, or a
/// phrase for its kind when it has none.
std::string describeDecodingFailure(const std::exception_ptr& error);

}  // namespace quarn::tool
