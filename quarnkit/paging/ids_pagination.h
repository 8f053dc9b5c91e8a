/// @file
/// IDsPagination<ID>: a client-side split of a known list of ids into chunks, one chunk per
/// request; a value (a copy is independent).

/// @class quarn::IDsPagination
/// A client-side split of a known list of ids into chunks,
/// one chunk per request; a value (a copy is independent). Each id is sent in its ordinary textual
/// form (an integer as its decimal digits), the chunk joined with ",".
///
/// ```
///   IDsPagination<std::int64_t> scheme({1, 2, 3, 4, 5}, 2, 1,
///                                      {.ids = "ids", .perPage = "per-page", .page = "page"});
///   scheme.parameters();    // {"ids": "1,2", "per-page": 2, "page": 1}
///   scheme.update(2, 2, std::nullopt);
///   scheme.parameters();    // {"ids": "3,4", "per-page": 2, "page": 1}
/// ```
///
/// The page parameter is always 1: the ids choose the items. Each update
/// moves to the chunk after the one asked for, so ids the server lacks never
/// hold back the later chunks. The control hides when no chunk is left or
/// when every id's item is held.
#pragma once

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <span>

#include "quarnkit/paging/pagination.h"

namespace quarn {

namespace detail {
void logIDsUpdate(std::int64_t total, std::int64_t itemsCount, std::int64_t currentPage,
                  std::int64_t nextPage, const std::string& nextIDs, bool hide);
}  // namespace detail

template <class ID>
class IDsPagination final : public EncodablePagination {
 public:
  /// The names of the three parameters; there are no default names.
  struct Keys {
    /// The parameter of the ids, joined by commas.
    std::string ids;
    /// The parameter of the chunk size.
    std::string perPage;
    /// The parameter of the chunk number.
    std::string page;
  };

  /// `perPage` > 0 (else std::invalid_argument); the first request asks for
  /// chunk `initialPage` (1-based; below 1 means the first).
  IDsPagination(std::vector<ID> allIDs, std::int64_t perPage, std::int64_t initialPage, Keys keys)
      : perPage_(perPage),
        nextPage_(initialPage),
        allIDs_(std::move(allIDs)),
        keys_(std::move(keys)),
        initialPage_(initialPage) {
    detail::requirePositivePageSize("IDsPagination", perPage);
  }

  /// Ids in each chunk.
  [[nodiscard]] std::int64_t perPage() const { return perPage_; }
  /// The chunk the next request asks for (1-based).
  [[nodiscard]] std::int64_t nextPage() const { return nextPage_; }
  /// All the ids, in order.
  [[nodiscard]] const std::vector<ID>& allIDs() const { return allIDs_; }
  /// The names of the parameters.
  [[nodiscard]] const Keys& parameterNames() const { return keys_; }

  /// The ids of the next request: chunk nextPage() (1-based), or none once
  /// past the last chunk.
  [[nodiscard]] std::span<const ID> getNextPageIDs() const {
    const std::int64_t page = std::max<std::int64_t>(nextPage_, 1);
    const auto count = static_cast<std::int64_t>(allIDs_.size());
    if (page > detail::pages(count, perPage_)) return {};
    const std::int64_t first = (page - 1) * perPage_;
    const std::int64_t size = std::min(perPage_, count - first);
    return std::span<const ID>(allIDs_).subspan(static_cast<std::size_t>(first),
                                                static_cast<std::size_t>(size));
  }

  [[nodiscard]] std::vector<std::string> keys() const override {
    return {keys_.ids, keys_.perPage, keys_.page};
  }
  [[nodiscard]] std::optional<Value> value(std::string_view paginationKey) const override {
    if (paginationKey == keys_.ids)
      return Value(fmt::format("{}", fmt::join(getNextPageIDs(), ",")));
    if (paginationKey == keys_.perPage) return Value(perPage_);
    if (paginationKey == keys_.page) return Value(std::int64_t{1});
    return std::nullopt;
  }
  [[nodiscard]] bool isFirstPage() const override { return nextPage_ == initialPage_; }
  [[nodiscard]] bool shouldHidePaginationControl() const override { return hide_; }
  [[nodiscard]] std::int64_t currentPage() const override { return currentPage_; }
  [[nodiscard]] std::int64_t totalCount() const override { return totalCount_; }

  void update(std::int64_t itemsCount, std::int64_t /*newItemsCount*/,
              std::optional<std::int64_t>) override {
    currentPage_ = detail::pages(itemsCount, perPage_);
    // The chunk after the one asked for, whatever the server had of it:
    // counting the items held would ask again for a chunk whose ids the
    // server lacks, and never for the chunks after it.
    nextPage_ = std::max<std::int64_t>(nextPage_, 1) + 1;
    totalCount_ = static_cast<std::int64_t>(allIDs_.size());
    const std::span<const ID> next = getNextPageIDs();
    hide_ = next.empty() || itemsCount >= totalCount_;
    detail::logIDsUpdate(totalCount_, itemsCount, currentPage_, nextPage_, fmt::format("{}", next),
                         hide_);
  }

  void reset() override {
    hide_ = false;
    currentPage_ = 0;
    nextPage_ = initialPage_;
  }

 private:
  std::int64_t perPage_;
  std::int64_t nextPage_;
  std::int64_t currentPage_ = 0;
  std::int64_t totalCount_ = 0;
  std::vector<ID> allIDs_;
  bool hide_ = false;
  Keys keys_;
  std::int64_t initialPage_;
};

}  // namespace quarn
