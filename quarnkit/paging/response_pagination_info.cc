#include "quarnkit/paging/response_pagination_info.h"

#include <charconv>

namespace quarn {

std::optional<std::int64_t> parsePaginationHeaderInteger(std::string_view text) {
  std::string_view digits = text;
  const bool plus = !digits.empty() && digits.front() == '+';
  if (plus) digits.remove_prefix(1);
  const std::size_t firstDigit = !plus && !digits.empty() && digits.front() == '-' ? 1 : 0;
  if (digits.size() <= firstDigit || digits[firstDigit] < '0' || digits[firstDigit] > '9') {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

const ResponsePaginationInfo::Keys& ResponsePaginationInfo::defaultKeys() {
  static const Keys keys = {
      {Key::currentPage, "X-Pagination-Current-Page"},
      {Key::pageCount, "X-Pagination-Page-Count"},
      {Key::perPage, "X-Pagination-Per-Page"},
      {Key::totalCount, "X-Pagination-Total-Count"},
  };
  return keys;
}

ResponsePaginationInfo::ResponsePaginationInfo(const HeaderLookup& header, const Keys& keys) {
  auto read = [&](Key key) -> std::optional<std::int64_t> {
    const auto name = keys.find(key);
    if (name == keys.end()) return std::nullopt;
    const auto text = header(name->second);
    if (!text || text->empty()) return std::nullopt;
    return parsePaginationHeaderInteger(*text);
  };
  currentPage = read(Key::currentPage).value_or(0);
  pageCount = read(Key::pageCount).value_or(0);
  perPage = read(Key::perPage).value_or(0);
  const auto total = read(Key::totalCount);
  totalCount = total.value_or(0);
  hasTotalCount = total.has_value();
}

}  // namespace quarn
