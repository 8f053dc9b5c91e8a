#include "tools/quarnkit/input_error.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "quarnkit/coding/coding_error.h"
#include "quarnkit/core/error.h"

namespace quarn::tool {

namespace {

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return text;
}

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

InputError::InputError(std::string file, std::string path, std::string reason)
    : std::runtime_error(file + ": " + (path.empty() ? "" : path + ": ") + oneLine(reason)),
      file_(std::move(file)),
      path_(std::move(path)),
      reason_(oneLine(std::move(reason))) {}

std::string readFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw InputError(file, "", std::string("cannot open: ") + std::strerror(errno));
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) throw InputError(file, "", std::string("cannot read: ") + std::strerror(errno));
  return std::move(out).str();
}

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
    return oneLine(decodingReason(e));
  } catch (...) {
    return oneLine(describeCurrentException());
  }
}

}  // namespace quarn::tool
