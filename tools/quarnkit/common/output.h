// The one way the tool writes what it was asked for: a document goes to
// standard output or, with -o FILE, replaces FILE whole. Every text leaves
// through here printable: control characters that a terminal would act on
// (an escape sequence in a server-sent title) arrive as \u001b-style escapes,
// in every format (JSON and HTML keep their own escaping; nothing valid in
// them changes). Free functions and one error type (a value).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quarn::tool {

/// How messages name standard output.
inline constexpr const char* kStandardOutput = "standard output";

/// A write that failed: "out.html: cannot write: No space left on device".
class OutputError : public std::runtime_error {
 public:
  OutputError(const std::string& output, int error);
};

/// `text` with line breaks and tabs kept and every other control character
/// (C0, DEL, and the C1 range a terminal also obeys) as a \u00XX escape.
std::string printableText(std::string_view text);

/// Writes printableText(text) to standard output (and flushes it), or to
/// `output`: a regular file (or a new one) is replaced only after the whole
/// text reached a temporary file beside it and that file closed cleanly, so
/// a failed run leaves the previous file as it was; a device or a pipe is
/// written in place. OutputError when any step fails.
void writeOutput(const std::optional<std::string>& output, std::string_view text);

/// Writes printableText(lines) to standard error.
void writeErrors(std::string_view lines);

/// Writes "quarnkit: LINE" to standard error, `line` as one printable line:
/// how a subcommand reports an error it goes on after, and how main() reports
/// the one that ended the run.
void writeErrorLine(std::string_view line);

/// Shows `line` (made printable) as the terminal's status line on standard
/// error, replacing the one shown before; clearStatusLine() removes it. Only
/// for a terminal: callers check isatty first.
void writeStatusLine(std::string_view line);
void clearStatusLine();

}  // namespace quarn::tool
