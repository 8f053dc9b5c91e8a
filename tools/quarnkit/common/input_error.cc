#include "tools/quarnkit/common/input_error.h"

#include <fmt/format.h>

#include "quarnkit/coding/coding_error.h"
#include "quarnkit/core/error.h"

namespace quarn::tool {

namespace {

std::string decodingReason(const DecodingError& e) {
  if (!e.debugDescription().empty()) return e.debugDescription();
  switch (e.kind()) {
    case DecodingError::Kind::typeMismatch:
      return "expected " + e.type();
    case DecodingError::Kind::valueNotFound:
      return "expected " + e.type() + ", found null";
    case DecodingError::Kind::keyNotFound:
      return "missing key \"" + (e.key() ? e.key()->stringValue() : std::string()) + "\"";
    case DecodingError::Kind::dataCorrupted:
      return "invalid data";
  }
  return "invalid data";
}

}  // namespace

std::string escapedControls(std::string_view text, LineBreaks lineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (lineBreaks == LineBreaks::kept && (c == '\n' || c == '\t')) {
      out += c;
    } else if (lineBreaks == LineBreaks::asSpaces && (c == '\n' || c == '\r' || c == '\t')) {
      out += ' ';
    } else if (byte < 0x20 || byte == 0x7f) {
      out += fmt::format("\\u{:04x}", byte);
    } else if (byte == 0xc2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      // U+0080..U+009F: CSI and its kin, in UTF-8.
      out += fmt::format("\\u{:04x}", static_cast<unsigned char>(text[++i]));
    } else {
      out += c;
    }
  }
  return out;
}

std::string printableLine(std::string_view text) {
  return escapedControls(text, LineBreaks::asSpaces);
}

InputError::InputError(std::string file, std::string path, const std::string& reason)
    : std::runtime_error(printableLine(file + ": " + (path.empty() ? "" : path + ": ") + reason)),
      file_(std::move(file)),
      path_(std::move(path)),
      reason_(printableLine(reason)) {}

void rethrowAsInputError(const std::string& file) {
  try {
    throw;
  } catch (const InputError&) {
    throw;
  } catch (const DecodingError& e) {
    throw InputError(file, codingPathDescription(e.codingPath()), decodingReason(e));
  } catch (...) {
    throw InputError(file, "", describeCurrentException());
  }
}

std::string describeDecodingFailure(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const DecodingError& e) {
    return printableLine(decodingReason(e));
  } catch (...) {
    return printableLine(describeCurrentException());
  }
}

}  // namespace quarn::tool
