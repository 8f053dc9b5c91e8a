#include "tools/quarnkit/input_error.h"

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

std::string printableLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n' || c == '\r' || c == '\t') {
      out += ' ';
    } else if (byte < 0x20 || byte == 0x7f) {
      out += fmt::format("\\u{:04x}", byte);
    } else {
      out += c;
    }
  }
  return out;
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
