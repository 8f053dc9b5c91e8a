#include "quarnkit/coding/coding_key.h"

namespace quarn {

std::string codingPathDescription(const CodingPath& path) {
  std::string out;
  for (const auto& key : path) {
    if (auto i = key.intValue()) {
      out += '[';
      out += std::to_string(*i);
      out += ']';
    } else {
      if (!out.empty()) out += '.';
      out += key.stringValue();
    }
  }
  return out;
}

}  // namespace quarn
