/// @file
/// CodingUserInfo: the settings a decoder or encoder carries for the types it codes (the item
/// registry, the entity class map, the fetch context, type adapters, reference storage), keyed by
/// the settings' names.

/// @class quarn::CodingUserInfo
/// The settings a decoder or encoder carries for the types it
/// codes (the item registry, the entity class map, the fetch context, type
/// adapters, reference storage), keyed by the settings' names.
///
/// ```
///   JSONDecoder decoder;
///   decoder.userInfo.set("compositeListItemsReqistry", registry);  // a shared_ptr
///   ... later, inside a type's decode:
///   auto* r = d.userInfo().get<std::shared_ptr<CompositeListItemsRegistry>>("...");
/// ```
///
/// get<T> answers only when the stored value has exactly type T.
///
/// A value: copying copies the entries (an entry that is a shared_ptr still
/// names the same shared object).
#pragma once

#include <any>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarn {

class CodingUserInfo {
 public:
  /// Stores `value` under `key`, replacing what was there.
  template <class T>
  void set(std::string key, T value) {
    for (auto& [k, v] : entries_) {
      if (k == key) {
        v = std::move(value);
        return;
      }
    }
    entries_.emplace_back(std::move(key), std::any(std::move(value)));
  }

  /// The entry of `key`, or null.
  [[nodiscard]] const std::any* find(std::string_view key) const {
    for (const auto& [k, v] : entries_) {
      if (k == key) return &v;
    }
    return nullptr;
  }

  /// The entry of `key` as a T, or null when it is missing or of another type.
  template <class T>
  [[nodiscard]] const T* get(std::string_view key) const {
    const std::any* v = find(key);
    return v ? std::any_cast<T>(v) : nullptr;
  }

  /// Whether there is an entry for `key`.
  [[nodiscard]] bool contains(std::string_view key) const { return find(key) != nullptr; }
  /// Removes the entry of `key`.
  void erase(std::string_view key) {
    std::erase_if(entries_, [&](const auto& e) { return e.first == key; });
  }

 private:
  std::vector<std::pair<std::string, std::any>> entries_;
};

}  // namespace quarn
