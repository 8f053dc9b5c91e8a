/// @file
/// The stable identity the duplicate filter of a paginated data source
/// compares items by: an `id` member (a field or a function) of a hashable
/// type, or a specialisation of ItemIdentity for types that keep it
/// elsewhere. Items without an identity are never filtered.
///
/// ```
///   struct Article { std::int64_t id; std::string title; };   // identified by id
///
///   template <>
///   struct quarn::ItemIdentity<Photo> {
///     static std::optional<std::string> id(const Photo& p) { return p.url; }
///   };
/// ```
///
/// A generic JSON item (quarn::Value) is identified by its "id" member, when
/// it has one.
#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "quarnkit/core/value.h"

namespace quarn {

/// Specialise with `static K id(const T&)` or `static std::optional<K> id(const T&)`.
template <class T>
struct ItemIdentity;

/// Generic JSON items are identified by their "id" member.
template <>
struct ItemIdentity<Value> {
  /// The item's "id" member, or nothing without one.
  static std::optional<Value> id(const Value& item) {
    if (const Value* v = item.find("id")) return *v;
    return std::nullopt;
  }
};

namespace detail {
template <class T>
concept CustomIdentity = requires(const T& t) {
  ItemIdentity<T>::id(t);
};
template <class T>
concept IdFunction = requires(const T& t) {
  t.id();
};
template <class T>
concept IdField = requires(const T& t) {
  t.id;
}
&&!IdFunction<T>;

template <class K>
std::optional<K> asOptional(std::optional<K> k) {
  return k;
}
template <class K>
std::optional<K> asOptional(K k) {
  return std::optional<K>(std::move(k));
}

template <class T>
concept DirectIdentity = CustomIdentity<T> || IdFunction<T> || IdField<T>;
template <class T>
struct SharedIdentity : std::false_type {};
template <DirectIdentity U>
struct SharedIdentity<std::shared_ptr<U>> : std::true_type {};
}  // namespace detail

/// Whether items of type T can be told apart by identity (a shared item by
/// the identity of what it points to).
template <class T>
concept HasStableIdentity = detail::DirectIdentity<T> || detail::SharedIdentity<T>::value;

/// The identity of `item`, or nothing when it has none.
template <HasStableIdentity T>
auto itemIdentity(const T& item) {
  if constexpr (detail::CustomIdentity<T>) {
    return detail::asOptional(ItemIdentity<T>::id(item));
  } else if constexpr (detail::IdFunction<T>) {
    return detail::asOptional(item.id());
  } else if constexpr (detail::IdField<T>) {
    return detail::asOptional(item.id);
  } else {
    using Inner = decltype(itemIdentity(*item));
    return item ? itemIdentity(*item) : Inner();
  }
}

namespace detail {

/// The identities of a list's items, kept up to date as pages are added so
/// that checking a page costs its own size, not the list's. Empty for items
/// without an identity. A value, owned by the data source it indexes and
/// used only inside it (it calls nothing back); not for hosts.
template <class T>
struct HeldIdentities {
  void clear() {}
  void invalidate() {}
};

template <HasStableIdentity T>
struct HeldIdentities<T> {
  using Key = typename decltype(itemIdentity(std::declval<const T&>()))::value_type;
  std::unordered_set<Key> ids;
  /// False once the list changed behind the index: rebuilt before next use.
  bool valid = true;

  void clear() {
    ids.clear();
    valid = true;
  }
  void invalidate() {
    ids.clear();
    valid = false;
  }
  template <class Items>
  void rebuildIfNeeded(const Items& items) {
    if (valid) return;
    ids.reserve(items.size());
    for (const T& item : items) {
      if (auto id = itemIdentity(item)) ids.insert(std::move(*id));
    }
    valid = true;
  }
};

}  // namespace detail

}  // namespace quarn
