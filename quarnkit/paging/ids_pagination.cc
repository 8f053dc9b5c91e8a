#include "quarnkit/paging/ids_pagination.h"

namespace quarn::detail {

void logIDsUpdate(std::int64_t total, std::int64_t itemsCount, std::int64_t currentPage,
                  std::int64_t nextPage, const std::string& nextIDs, bool hide) {
  paginationLog().debug(
      "IDs pagination update:\n    - total: {}\n    - items: {}\n    - current page: {}\n    - "
      "next page: {}\n    - next IDs: {}\n    - should hide pagination control: {}",
      total, itemsCount, currentPage, nextPage, nextIDs, hide ? 1 : 0);
}

}  // namespace quarn::detail
