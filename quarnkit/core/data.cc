#include "quarnkit/core/data.h"

namespace quarn {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
int decodeChar(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::string Data::base64EncodedString() const {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
            kAlphabet[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    const unsigned v = bytes[i] << 16;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
  }
  return out;
}

std::optional<Data> Data::fromBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int c[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char ch = text[i + static_cast<std::size_t>(k)];
      if (ch == '=' && last && k >= 2) {
        c[k] = 0;
        ++pad;
      } else {
        if (pad > 0) return std::nullopt;  // data after padding
        c[k] = decodeChar(ch);
        if (c[k] < 0) return std::nullopt;
      }
    }
    const unsigned v = (c[0] << 18) | (c[1] << 12) | (c[2] << 6) | c[3];
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    if (pad < 2) out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    if (pad < 1) out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  }
  return Data(std::move(out));
}

}  // namespace quarn
