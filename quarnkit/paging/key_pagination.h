/// @file
/// PrimaryKeyPagination and FromIDPagination: the schemes that ask for the
/// page after a key, which a callback of the creator supplies (usually the id
/// of the last item held). Both are shared objects, made by make(): the
/// creator and the data source see the same state.
///
/// ```
///   auto scheme = FromIDPagination::make(20, 0, [&] { return lastItemId(); });
///   scheme->parameters();     // {"per-page": 20, "page-from-id": 0}
/// ```
///
/// The key callback runs inside update(), which the data source calls while
/// it merges a page and holding the scheme: it may replace or drop the data
/// source's scheme, and what it throws propagates (the key then stays).
///
/// The key starts at 0, not at the initial key (reset() moves it there); the
/// first request is therefore the first page only when the initial key is 0.
#pragma once

#include <functional>
#include <memory>

#include "quarnkit/paging/pagination.h"

namespace quarn {

namespace detail {
/// What the two key schemes share: page size, key, callback and state.
class KeyPagination : public EncodablePagination {
 public:
  KeyPagination(const KeyPagination&) = delete;
  KeyPagination& operator=(const KeyPagination&) = delete;

  [[nodiscard]] std::int64_t perPage() const { return perPage_; }
  /// The key sent with the next request.
  [[nodiscard]] std::int64_t id() const { return id_; }

  [[nodiscard]] std::vector<std::string> keys() const override { return {"per-page", keyName_}; }
  [[nodiscard]] std::optional<Value> value(std::string_view paginationKey) const override;
  [[nodiscard]] bool isFirstPage() const override { return id_ == initial_; }
  [[nodiscard]] bool shouldHidePaginationControl() const override { return hide_; }
  [[nodiscard]] std::int64_t currentPage() const override { return currentPage_; }
  [[nodiscard]] std::int64_t totalCount() const override { return totalCount_; }
  void reset() override;

 protected:
  KeyPagination(const char* scheme, std::int64_t perPage, std::int64_t initial, std::string keyName,
                std::function<std::int64_t()> next);

  std::int64_t perPage_;
  std::int64_t currentPage_ = 0;
  std::int64_t initial_;
  std::int64_t id_ = 0;
  std::int64_t totalCount_ = 0;
  std::string keyName_;
  std::function<std::int64_t()> next_;
  bool hide_ = false;
};
}  // namespace detail

/// Pages by primary key: {"per-page": n, "page-from-pk": key}.
class PrimaryKeyPagination final : public detail::KeyPagination {
 public:
  /// `perPage` > 0 (else std::invalid_argument).
  static std::shared_ptr<PrimaryKeyPagination> make(
      std::int64_t perPage, std::int64_t initialPrimaryKey,
      std::function<std::int64_t()> primaryKeyClosure);

  /// The key the first request asks from.
  [[nodiscard]] std::int64_t initialPrimaryId() const { return initial_; }

  /// With a total: the control hides when the page holds exactly `total`
  /// items (the servers of this scheme report the page's own count) or is
  /// empty, and the key moves on; the update is printed to standard output.
  /// Without: the key moves on just the same, nothing is printed, and the
  /// control hides on an empty page.
  void update(std::int64_t itemsCount, std::int64_t newItemsCount,
              std::optional<std::int64_t> totalCount) override;

 private:
  PrimaryKeyPagination(std::int64_t perPage, std::int64_t initialPrimaryKey,
                       std::function<std::int64_t()> primaryKeyClosure);
};

/// Pages after an id: {"per-page": n, "page-from-id": id}.
class FromIDPagination final : public detail::KeyPagination {
 public:
  /// `perPage` > 0 (else std::invalid_argument).
  static std::shared_ptr<FromIDPagination> make(std::int64_t perPage, std::int64_t initialId,
                                                std::function<std::int64_t()> idClosure);

  /// The id the first request asks from.
  [[nodiscard]] std::int64_t initialId() const { return initial_; }

  /// The id always moves on; the control hides when a page arrives empty.
  void update(std::int64_t itemsCount, std::int64_t newItemsCount,
              std::optional<std::int64_t> totalCount) override;

 private:
  FromIDPagination(std::int64_t perPage, std::int64_t initialId,
                   std::function<std::int64_t()> idClosure);
};

}  // namespace quarn
