/// @file
/// Pagination: the interface of the five pagination schemes.

/// @class quarn::Pagination
/// The interface of the five pagination schemes. A scheme answers
/// which parameters ask the server for the next page and whether another page
/// should be asked for at all; the paged data source feeds it each page it
/// receives through update().
///
/// ```
///   PerPagePagination scheme(20, 1, {.perPage = "per-page", .page = "page"});
///   scheme.parameters();              // {"page": 1, "per-page": 20}
///   scheme.update(20, 20, 45);        // 20 items held, 20 new, 45 in all
///   scheme.parameters();              // {"page": 2, "per-page": 20}
///   scheme.shouldHidePaginationControl();   // false: 25 more to come
/// ```
///
/// Pagination itself is an interface. The page-number, offset and ids schemes
/// are values (a copy is independent); the primary-key and from-id schemes are
/// shared objects, made by their make(), that the code that made them and the
/// data source both see. Every scheme needs a positive page size: creating one
/// with 0 or less throws std::invalid_argument. Debug lines go to the
/// "Velmora/Pagination" log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/core/log.h"
#include "quarnkit/core/value.h"

namespace quarn {

class Encoder;

class Pagination {
 public:
  virtual ~Pagination() = default;

  /// The parameter names the scheme produces, in a fixed order.
  [[nodiscard]] virtual std::vector<std::string> keys() const = 0;
  /// The current value of a parameter (an integer or a string); nothing for
  /// a name the scheme does not know.
  [[nodiscard]] virtual std::optional<Value> value(std::string_view paginationKey) const = 0;
  /// The next request is the first page.
  [[nodiscard]] virtual bool isFirstPage() const = 0;
  /// No further page should be requested.
  [[nodiscard]] virtual bool shouldHidePaginationControl() const = 0;
  /// Pages loaded so far.
  [[nodiscard]] virtual std::int64_t currentPage() const = 0;
  /// The total number of items as last reported.
  [[nodiscard]] virtual std::int64_t totalCount() const = 0;
  /// Does nothing.
  virtual void increment() {}
  /// Does nothing.
  virtual void decrement() {}
  /// Takes in a received page: the items held after merging it, the items
  /// it added, and the total the server reported (none when it did not).
  virtual void update(std::int64_t itemsCount, std::int64_t newItemsCount,
                      std::optional<std::int64_t> totalCount) = 0;
  /// Back to the first page (the reported total is kept).
  virtual void reset() = 0;

  /// The parameters of the next request: each of keys() with a value,
  /// skipping empty names.
  [[nodiscard]] Value::Object parameters() const;
};

/// A scheme that encodes as its parameters (one JSON object).
class EncodablePagination : public Pagination {
 public:
  /// Writes parameters() as one JSON object.
  void encode(Encoder& encoder) const;
};

namespace detail {
/// The logger of the schemes ("Velmora", "Pagination").
const Logger& paginationLog();
/// n / size rounded up; size > 0.
std::int64_t pages(std::int64_t n, std::int64_t size);
/// Throws std::invalid_argument naming `scheme` unless `size` > 0.
void requirePositivePageSize(const char* scheme, std::int64_t size);
}  // namespace detail

}  // namespace quarn
