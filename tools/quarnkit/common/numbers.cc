#include "tools/quarnkit/common/numbers.h"

#include <charconv>
#include <cmath>

namespace quarn::tool {

namespace {

// `text` without one leading '+', which from_chars does not take; empty when
// nothing but the sign is left or a second sign follows.
std::string_view withoutPlus(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return {};
  }
  return text;
}

}  // namespace

std::optional<double> readNumber(std::string_view text) {
  text = withoutPlus(text);
  if (text.empty()) return std::nullopt;
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> readWholeNumber(std::string_view text, std::uint64_t max) {
  text = withoutPlus(text);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || value > max) return std::nullopt;
  return value;
}

}  // namespace quarn::tool
