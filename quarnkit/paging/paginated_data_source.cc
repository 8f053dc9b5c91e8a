#include "quarnkit/paging/paginated_data_source.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "quarnkit/platform/application_lifecycle.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {

std::string PaginatedDataSourceError::description() const { return "A page is already loading."; }

namespace detail {

const Logger& paginatedDataSourceLog() {
  static const Logger log("Velmora", "PaginatedDataSource");
  return log;
}

std::string describeError(const std::exception_ptr& error) {
  if (!error) return "nil";
  try {
    std::rethrow_exception(error);
  } catch (...) {
    return describeCurrentException();
  }
}

double nowSince1970() { return platform::Clock::current()->now().timeIntervalSince1970(); }

std::int64_t randomUnloadedPage(std::int64_t pageCount, const std::set<std::int64_t>& loaded,
                                platform::RandomSource& random) {
  std::int64_t loadedInRange = 0;
  for (std::int64_t page : loaded) {
    if (page >= 1 && page <= pageCount) ++loadedInRange;
  }
  const std::int64_t left = pageCount - loadedInRange;
  if (left <= 0) return 1;
  // The k-th page (0-based) of 1...pageCount that is not loaded.
  std::int64_t page =
      static_cast<std::int64_t>(random.nextInt(static_cast<std::uint64_t>(left))) + 1;
  for (std::int64_t taken : loaded) {
    if (taken >= 1 && taken <= page) ++page;
  }
  return page;
}

std::string describePages(const std::set<std::int64_t>& pages) {
  return fmt::format("[{}]", fmt::join(pages, ", "));
}

std::shared_ptr<void> observeWillEnterForeground(std::function<void()> block) {
  auto center = platform::NotificationCenter::current();
  auto token = center->addObserver(
      std::string(platform::kApplicationWillEnterForegroundNotification), nullptr,
      [block = std::move(block)](const platform::Notification&) { block(); });
  // Unregisters from the centre it registered with, even if another is
  // current by then.
  return std::shared_ptr<void>(nullptr, [center, token](void*) { center->removeObserver(token); });
}

}  // namespace detail
}  // namespace quarn
