#include "quarnkit/formatting/text_helpers.h"

#include <mutex>

#include "quarnkit/core/data.h"
#include "quarnkit/core/detail/utf8.h"

namespace quarn {
namespace {

struct Table {
  std::mutex mutex;
  std::map<std::string, std::string, std::less<>> strings;
};

Table& table() {
  static Table t;
  return t;
}

bool isBase64Character(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=';
}

}  // namespace

std::string localizedString(std::string_view key) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  const auto it = t.strings.find(key);
  return it != t.strings.end() ? it->second : std::string(key);
}

void setLocalizedStrings(std::map<std::string, std::string, std::less<>> strings) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.strings = std::move(strings);
}

std::string base64Encoded(std::string_view text) { return Data(text).base64EncodedString(); }

std::optional<std::string> base64Decoded(std::string_view base64) {
  std::string kept;
  kept.reserve(base64.size());
  for (const char c : base64) {
    if (isBase64Character(c)) kept += c;
  }
  const std::optional<Data> data = Data::fromBase64(kept);
  if (!data) return std::nullopt;
  std::string text(data->bytes.begin(), data->bytes.end());
  if (!quarn::detail::isValidUTF8(text)) return std::nullopt;
  return text;
}

std::string excerpt(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  std::size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "\u2026";
}

}  // namespace quarn
