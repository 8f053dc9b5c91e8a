#include "quarnkit/paging/key_pagination.h"

#include <fmt/format.h>

namespace quarn {

namespace detail {

KeyPagination::KeyPagination(const char* scheme, std::int64_t perPage, std::int64_t initial,
                             std::string keyName, std::function<std::int64_t()> next)
    : perPage_(perPage), initial_(initial), keyName_(std::move(keyName)), next_(std::move(next)) {
  requirePositivePageSize(scheme, perPage);
}

std::optional<Value> KeyPagination::value(std::string_view paginationKey) const {
  if (paginationKey == "per-page") return Value(perPage_);
  if (paginationKey == keyName_) return Value(id_);
  return std::nullopt;
}

void KeyPagination::reset() {
  hide_ = false;
  currentPage_ = 0;
  id_ = initial_;
}

}  // namespace detail

PrimaryKeyPagination::PrimaryKeyPagination(std::int64_t perPage, std::int64_t initialPrimaryKey,
                                           std::function<std::int64_t()> primaryKeyClosure)
    : KeyPagination("PrimaryKeyPagination", perPage, initialPrimaryKey, "page-from-pk",
                    std::move(primaryKeyClosure)) {}

std::shared_ptr<PrimaryKeyPagination> PrimaryKeyPagination::make(
    std::int64_t perPage, std::int64_t initialPrimaryKey,
    std::function<std::int64_t()> primaryKeyClosure) {
  return std::shared_ptr<PrimaryKeyPagination>(
      new PrimaryKeyPagination(perPage, initialPrimaryKey, std::move(primaryKeyClosure)));
}

void PrimaryKeyPagination::update(std::int64_t itemsCount, std::int64_t newItemsCount,
                                  std::optional<std::int64_t> totalCount) {
  if (!totalCount) {
    // Without a total the key still moves on, as the from-id scheme's does:
    // keeping it would ask for the first page for ever.
    if (next_) id_ = next_();
    currentPage_ = detail::pages(itemsCount, perPage_);
    hide_ = newItemsCount == 0;
    return;
  }
  totalCount_ = *totalCount;
  hide_ = *totalCount == newItemsCount || newItemsCount == 0;
  currentPage_ = detail::pages(itemsCount, perPage_);
  if (next_) id_ = next_();
  debugPrint(fmt::format(
      "primary key pagination update:\n- total: {}\n- items: {}\n- current page: {}\n- id: {}\n- "
      "should hide pagination control: {}",
      *totalCount, itemsCount, currentPage_, id_, hide_ ? "true" : "false"));
}

FromIDPagination::FromIDPagination(std::int64_t perPage, std::int64_t initialId,
                                   std::function<std::int64_t()> idClosure)
    : KeyPagination("FromIDPagination", perPage, initialId, "page-from-id", std::move(idClosure)) {}

std::shared_ptr<FromIDPagination> FromIDPagination::make(std::int64_t perPage,
                                                         std::int64_t initialId,
                                                         std::function<std::int64_t()> idClosure) {
  return std::shared_ptr<FromIDPagination>(
      new FromIDPagination(perPage, initialId, std::move(idClosure)));
}

void FromIDPagination::update(std::int64_t itemsCount, std::int64_t newItemsCount,
                              std::optional<std::int64_t> totalCount) {
  if (next_) id_ = next_();
  currentPage_ = detail::pages(itemsCount, perPage_);
  hide_ = newItemsCount == 0;
  if (!totalCount) return;
  totalCount_ = *totalCount;
  detail::paginationLog().debug(
      "from id pagination update:\n- total: {}\n- items: {}\n- current page: {}\n- id: {}\n- "
      "should hide pagination control: {}",
      *totalCount, itemsCount, currentPage_, id_, hide_ ? 1 : 0);
}

}  // namespace quarn
