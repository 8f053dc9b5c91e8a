/// @file
/// ResponsePaginationInfo: the four pagination headers of a response, read as integers; a value.

/// @struct quarn::ResponsePaginationInfo
/// The four pagination headers of a response, read as
/// integers; a value.
///
/// ```
///   X-Pagination-Total-Count: 45       → totalCount 45
///   X-Pagination-Current-Page: 1       → currentPage 1
///   X-Pagination-Page-Count: 3         → pageCount 3
///   X-Pagination-Per-Page: 20          → perPage 20
/// ```
///
/// A header is looked up ignoring letter case; a missing, empty or malformed
/// one leaves its field at 0. Whether the total was actually reported is kept
/// apart (hasTotalCount): a missing total is unknown, not zero, and a scheme
/// told "0 items in all" would stop or never stop for the wrong reason.
///
/// A host with its own network layer reads its response through a header
/// look-up; the forms taking the built-in client's response are defined with
/// that client's fetcher (link QuarnKit::paging to use them).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

namespace http {
struct HTTPURLResponse;
}

/// A header value as a decimal signed 64-bit integer: an optional single "+"
/// or "-" and one or more ASCII digits, nothing else (no spaces), in range.
std::optional<std::int64_t> parsePaginationHeaderInteger(std::string_view text);

struct ResponsePaginationInfo {
  /// The four headers.
  enum class Key { currentPage, pageCount, perPage, totalCount };
  /// A header name for each of the four.
  using Keys = std::map<Key, std::string>;

  /// Each key's header name ("X-Pagination-Current-Page", ...).
  static const Keys& defaultKeys();

  /// All four 0, no total reported.
  ResponsePaginationInfo() = default;
  /// Built field by field: the total counts as reported.
  ResponsePaginationInfo(std::int64_t current, std::int64_t pages, std::int64_t size,
                         std::int64_t total)
      : currentPage(current),
        pageCount(pages),
        perPage(size),
        totalCount(total),
        hasTotalCount(true) {}
  /// The value of the header with the given name (letter case ignored), or
  /// nothing when the response has none.
  using HeaderLookup = std::function<std::optional<std::string>(std::string_view name)>;

  /// Read from the headers named in `keys` as `header` answers for them (a
  /// key without a name stays 0). Never fails.
  explicit ResponsePaginationInfo(const HeaderLookup& header, const Keys& keys = defaultKeys());
  /// The same over a response of the built-in HTTP client.
  explicit ResponsePaginationInfo(const http::HTTPURLResponse& response,
                                  const Keys& keys = defaultKeys());

  /// The "X-Pagination-Current-Page" header.
  std::int64_t currentPage = 0;
  /// The "X-Pagination-Page-Count" header.
  std::int64_t pageCount = 0;
  /// The "X-Pagination-Per-Page" header.
  std::int64_t perPage = 0;
  /// The "X-Pagination-Total-Count" header (see hasTotalCount).
  std::int64_t totalCount = 0;
  /// The total-count header was present and a valid integer.
  bool hasTotalCount = false;

  /// The total as a scheme should take it: none when it was not reported.
  [[nodiscard]] std::optional<std::int64_t> reportedTotalCount() const {
    return hasTotalCount ? std::optional<std::int64_t>(totalCount) : std::nullopt;
  }

  /// Equal when every field is.
  friend bool operator==(const ResponsePaginationInfo&, const ResponsePaginationInfo&) = default;
};

/// The header field named exactly "X-Pagination-Total-Count" as an integer;
/// nothing when it is missing, empty or malformed.
std::optional<std::int64_t> paginationTotalCount(const http::HTTPURLResponse& response);

}  // namespace quarn
