#include "quarnkit/coding/coding_error.h"

namespace quarn {

std::string DecodingError::description() const {
  std::string out;
  switch (kind_) {
    case Kind::typeMismatch:
      out = "typeMismatch(" + type_ + ")";
      break;
    case Kind::valueNotFound:
      out = "valueNotFound(" + type_ + ")";
      break;
    case Kind::keyNotFound:
      out = "keyNotFound(\"" + (key_ ? key_->stringValue() : "") + "\")";
      break;
    case Kind::dataCorrupted:
      out = "dataCorrupted";
      break;
  }
  const std::string path = codingPathDescription(context_.codingPath);
  if (!path.empty()) out += " at " + path;
  if (!context_.debugDescription.empty()) out += ": " + context_.debugDescription;
  return out;
}

std::string EncodingError::description() const {
  std::string out = "invalidValue(" + value_ + ")";
  const std::string path = codingPathDescription(context_.codingPath);
  if (!path.empty()) out += " at " + path;
  if (!context_.debugDescription.empty()) out += ": " + context_.debugDescription;
  return out;
}

}  // namespace quarn
