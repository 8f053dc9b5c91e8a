#include "quarnkit/paging/pagination.h"

#include <stdexcept>

#include "quarnkit/coding/encoder.h"

namespace quarn {

Value::Object Pagination::parameters() const {
  Value::Object out;
  for (const std::string& key : keys()) {
    if (key.empty()) continue;
    if (auto v = value(key)) {
      out.set(key, std::move(*v));
    } else {
      out.erase(key);
    }
  }
  return out;
}

void EncodablePagination::encode(Encoder& encoder) const { encoder.encode(Value(parameters())); }

namespace detail {

const Logger& paginationLog() {
  static const Logger log("Velmora", "Pagination");
  return log;
}

std::int64_t pages(std::int64_t n, std::int64_t size) { return n / size + (n % size != 0 ? 1 : 0); }

void requirePositivePageSize(const char* scheme, std::int64_t size) {
  if (size <= 0) {
    throw std::invalid_argument(std::string(scheme) +
                                ": the page size must be greater than 0, not " +
                                std::to_string(size));
  }
}

}  // namespace detail
}  // namespace quarn
