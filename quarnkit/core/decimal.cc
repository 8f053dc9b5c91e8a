#include "quarnkit/core/decimal.h"

#include <cctype>

namespace quarn {

std::optional<Decimal> Decimal::parse(std::string_view text) {
  // Validate the grammar first: cpp_dec_float accepts more (inf, nan, spaces).
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++expDigits;
    if (expDigits == 0 || expDigits > 6) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return Decimal(Backend(std::string(text)));
}

std::string Decimal::toString() const {
  std::string s = v_.str(50, std::ios_base::fixed);
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

}  // namespace quarn
