/// @file
/// PaginatedDataSourceProtocol<Item>: what a paged screen reads of its data source, whatever
/// fetcher fills it: the items held so far.

/// @class quarn::PaginatedDataSourceProtocol
/// What a paged screen reads of its data
/// source, whatever fetcher fills it: the items held so far. An interface
/// (PaginatedDataSource<F> implements it with Item = F::ResultType), used
/// through the shared_ptr the data source lives in.
#pragma once

#include <vector>

namespace quarn {

template <class Item>
class PaginatedDataSourceProtocol {
 public:
  /// The item type.
  using ItemType = Item;

  virtual ~PaginatedDataSourceProtocol() = default;
  /// The items held, in display order.
  [[nodiscard]] virtual const std::vector<Item>& items() const = 0;
};

}  // namespace quarn
