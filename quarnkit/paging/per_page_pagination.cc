#include "quarnkit/paging/per_page_pagination.h"

namespace quarn {

PerPagePagination::PerPagePagination(std::int64_t perPage, std::int64_t initialPage, Keys keys)
    : perPage_(perPage), nextPage_(initialPage), keys_(std::move(keys)), initialPage_(initialPage) {
  detail::requirePositivePageSize("PerPagePagination", perPage);
}

std::optional<Value> PerPagePagination::value(std::string_view paginationKey) const {
  if (paginationKey == keys_.perPage) return Value(perPage_);
  if (paginationKey == keys_.page) return Value(nextPage_);
  return std::nullopt;
}

void PerPagePagination::update(std::int64_t itemsCount, std::int64_t newItemsCount,
                               std::optional<std::int64_t> totalCount) {
  currentPage_ = detail::pages(itemsCount, perPage_);
  nextPage_ = currentPage_ + 1;
  if (totalCount) {
    totalCount_ = *totalCount;
    hide_ = itemsCount >= *totalCount || newItemsCount == 0;
  } else {
    hide_ = newItemsCount == 0;
  }
  detail::paginationLog().debug(
      "per page pagination update:\n    - total: {}\n    - items: {}\n    - current page: {}\n    "
      "- next page: {}\n    - should hide pagination control: {}",
      totalCount.value_or(0), itemsCount, currentPage_, nextPage_, hide_ ? 1 : 0);
}

void PerPagePagination::reset() {
  hide_ = false;
  currentPage_ = 0;
  nextPage_ = initialPage_;
}

OffsetLimitPagination::OffsetLimitPagination(std::int64_t limit, std::int64_t initialOffset)
    : limit_(limit), nextOffset_(initialOffset), initialOffset_(initialOffset) {
  detail::requirePositivePageSize("OffsetLimitPagination", limit);
}

std::optional<Value> OffsetLimitPagination::value(std::string_view paginationKey) const {
  if (paginationKey == "limit") return Value(limit_);
  if (paginationKey == "offset") return Value(nextOffset_);
  return std::nullopt;
}

void OffsetLimitPagination::update(std::int64_t itemsCount, std::int64_t newItemsCount,
                                   std::optional<std::int64_t> totalCount) {
  // The next offset is the number of items held, with or without a total:
  // repeating the same offset would never page forward.
  nextOffset_ = itemsCount;
  currentPage_ = detail::pages(itemsCount, limit_);
  if (!totalCount) {
    hide_ = newItemsCount == 0;
    return;
  }
  totalCount_ = *totalCount;
  hide_ = itemsCount >= *totalCount || newItemsCount == 0;
  detail::paginationLog().debug(
      "offset limit pagination update:\n- total: {}\n- items: {}\n- current page: {}\n- next "
      "offset: {}\n- should hide pagination control: {}",
      *totalCount, itemsCount, currentPage_, nextOffset_, hide_ ? 1 : 0);
}

void OffsetLimitPagination::reset() {
  hide_ = false;
  currentPage_ = 0;
  nextOffset_ = initialOffset_;
}

}  // namespace quarn
