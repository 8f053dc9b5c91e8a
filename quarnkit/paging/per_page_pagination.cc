#include "quarnkit/paging/per_page_pagination.h"

namespace quarn {

namespace detail {

ItemCountPagination::ItemCountPagination(const char* type, std::int64_t pageSize)
    : pageSize_(pageSize) {
  requirePositivePageSize(type, pageSize);
}

void ItemCountPagination::countItems(std::int64_t itemsCount, std::int64_t newItemsCount,
                                     std::optional<std::int64_t> totalCount) {
  currentPage_ = pages(itemsCount, pageSize_);
  if (totalCount) totalCount_ = *totalCount;
  // A negative total counts nothing: ending there would drop every page
  // after the first.
  if (totalCount && *totalCount >= 0) {
    hide_ = itemsCount >= *totalCount || newItemsCount == 0;
  } else {
    hide_ = newItemsCount == 0;
  }
}

void ItemCountPagination::resetCount() {
  hide_ = false;
  currentPage_ = 0;
}

}  // namespace detail

PerPagePagination::PerPagePagination(std::int64_t perPage, std::int64_t initialPage, Keys keys)
    : ItemCountPagination("PerPagePagination", perPage),
      nextPage_(initialPage),
      keys_(std::move(keys)),
      initialPage_(initialPage) {}

std::optional<Value> PerPagePagination::value(std::string_view paginationKey) const {
  if (paginationKey == keys_.perPage) return Value(pageSize());
  if (paginationKey == keys_.page) return Value(nextPage_);
  return std::nullopt;
}

void PerPagePagination::update(std::int64_t itemsCount, std::int64_t newItemsCount,
                               std::optional<std::int64_t> totalCount) {
  countItems(itemsCount, newItemsCount, totalCount);
  nextPage_ = currentPage() + 1;
  detail::paginationLog().debug(
      "per page pagination update:\n    - total: {}\n    - items: {}\n    - current page: {}\n    "
      "- next page: {}\n    - should hide pagination control: {}",
      totalCount.value_or(0), itemsCount, currentPage(), nextPage_,
      shouldHidePaginationControl() ? 1 : 0);
}

void PerPagePagination::reset() {
  resetCount();
  nextPage_ = initialPage_;
}

OffsetLimitPagination::OffsetLimitPagination(std::int64_t limit, std::int64_t initialOffset)
    : ItemCountPagination("OffsetLimitPagination", limit),
      nextOffset_(initialOffset),
      initialOffset_(initialOffset) {}

std::optional<Value> OffsetLimitPagination::value(std::string_view paginationKey) const {
  if (paginationKey == "limit") return Value(pageSize());
  if (paginationKey == "offset") return Value(nextOffset_);
  return std::nullopt;
}

void OffsetLimitPagination::update(std::int64_t itemsCount, std::int64_t newItemsCount,
                                   std::optional<std::int64_t> totalCount) {
  // The next offset is the number of items held, with or without a total:
  // repeating the same offset would never page forward.
  nextOffset_ = itemsCount;
  countItems(itemsCount, newItemsCount, totalCount);
  if (!totalCount) return;
  detail::paginationLog().debug(
      "offset limit pagination update:\n- total: {}\n- items: {}\n- current page: {}\n- next "
      "offset: {}\n- should hide pagination control: {}",
      *totalCount, itemsCount, currentPage(), nextOffset_, shouldHidePaginationControl() ? 1 : 0);
}

void OffsetLimitPagination::reset() {
  resetCount();
  nextOffset_ = initialOffset_;
}

}  // namespace quarn
