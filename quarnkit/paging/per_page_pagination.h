/// @file
/// PerPagePagination (page number and page size) and OffsetLimitPagination
/// (offset and limit): the two value schemes (a copy is independent) driven
/// by the number of items held.
///
/// ```
///   PerPagePagination pages(20, 1, {.perPage = "per-page", .page = "page"});
///   OffsetLimitPagination offsets(20, 0);    // {"limit": 20, "offset": 0}
/// ```
///
/// Both hide the control once the items held reach the reported total, or
/// when a page arrives empty (a total that shrank, or items filtered as
/// duplicates, never stop them from ending). A negative total is taken as
/// no total. Without a reported total the
/// offset follows the items held, so a server without the total header still
/// pages forward.
#pragma once

#include "quarnkit/paging/pagination.h"

namespace quarn {

namespace detail {
/// What both schemes derive from the number of items held: the current
/// page, the reported total and whether the control hides.
class ItemCountPagination : public EncodablePagination {
 public:
  [[nodiscard]] bool shouldHidePaginationControl() const override { return hide_; }
  [[nodiscard]] std::int64_t currentPage() const override { return currentPage_; }
  [[nodiscard]] std::int64_t totalCount() const override { return totalCount_; }

 protected:
  /// `pageSize` > 0 (else std::invalid_argument naming `type`).
  ItemCountPagination(const char* type, std::int64_t pageSize);

  [[nodiscard]] std::int64_t pageSize() const { return pageSize_; }
  /// Counts the items held: the control hides once they reach the total,
  /// or when a page arrives empty.
  void countItems(std::int64_t itemsCount, std::int64_t newItemsCount,
                  std::optional<std::int64_t> totalCount);
  void resetCount();

 private:
  std::int64_t pageSize_;
  std::int64_t currentPage_ = 0;
  std::int64_t totalCount_ = 0;
  bool hide_ = false;
};
}  // namespace detail

/// Pages by page number and page size: each request asks for page nextPage() of perPage() items,
/// under the parameter names given. A value (a copy is independent).
class PerPagePagination final : public detail::ItemCountPagination {
 public:
  /// The names of the two parameters; there are no default names.
  struct Keys {
    /// The parameter of the page size.
    std::string perPage;
    /// The parameter of the page number.
    std::string page;
  };

  /// `perPage` > 0 (else std::invalid_argument); the first request asks for
  /// `initialPage`.
  PerPagePagination(std::int64_t perPage, std::int64_t initialPage, Keys keys);

  /// Items asked for on each page.
  [[nodiscard]] std::int64_t perPage() const { return pageSize(); }
  /// The page the next request asks for.
  [[nodiscard]] std::int64_t nextPage() const { return nextPage_; }
  /// Makes the next request ask for `page`.
  void setNextPage(std::int64_t page) { nextPage_ = page; }
  /// The page the first request asks for.
  [[nodiscard]] std::int64_t initialPage() const { return initialPage_; }
  /// The names of the parameters.
  [[nodiscard]] const Keys& parameterNames() const { return keys_; }

  [[nodiscard]] std::vector<std::string> keys() const override {
    return {keys_.page, keys_.perPage};
  }
  [[nodiscard]] std::optional<Value> value(std::string_view paginationKey) const override;
  [[nodiscard]] bool isFirstPage() const override { return nextPage_ == initialPage_; }
  void update(std::int64_t itemsCount, std::int64_t newItemsCount,
              std::optional<std::int64_t> totalCount) override;
  void reset() override;

 private:
  std::int64_t nextPage_;
  Keys keys_;
  std::int64_t initialPage_;
};

/// Pages by offset and limit: each request asks for limit() items from nextOffset(), as "limit" and
/// "offset". A value (a copy is independent).
class OffsetLimitPagination final : public detail::ItemCountPagination {
 public:
  /// `limit` > 0 (else std::invalid_argument).
  OffsetLimitPagination(std::int64_t limit, std::int64_t initialOffset);

  /// Items asked for on each page.
  [[nodiscard]] std::int64_t limit() const { return pageSize(); }
  /// The offset the next request asks from.
  [[nodiscard]] std::int64_t nextOffset() const { return nextOffset_; }
  /// The offset the first request asks from.
  [[nodiscard]] std::int64_t initialOffset() const { return initialOffset_; }

  [[nodiscard]] std::vector<std::string> keys() const override { return {"limit", "offset"}; }
  [[nodiscard]] std::optional<Value> value(std::string_view paginationKey) const override;
  [[nodiscard]] bool isFirstPage() const override { return nextOffset_ == initialOffset_; }
  void update(std::int64_t itemsCount, std::int64_t newItemsCount,
              std::optional<std::int64_t> totalCount) override;
  void reset() override;

 private:
  std::int64_t nextOffset_;
  std::int64_t initialOffset_;
};

}  // namespace quarn
