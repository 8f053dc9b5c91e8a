// FeedbackFormItemsRegistry: which question class decodes each question
// kind. Forms are decoded through the shared registry; a kind it has no
// class for is dropped from the form.
//
//   auto registry = quarn::FeedbackFormItemsRegistry::shared();
//   registry->register_<RatingItem>(quarn::FeedbackFormItemType("rating"));
//
// A new registry knows the library's six kinds. The registry is configured
// at start-up and only read afterwards; it has no lock.
#pragma once

#include <concepts>
#include <memory>
#include <unordered_map>

#include "quarnkit/feedback/form_item.h"

namespace quarn {

/// A question class: how a question of it is decoded.
struct FeedbackFormItemClass {
  std::shared_ptr<FeedbackFormItem> (*decode)(Decoder&) = nullptr;

  template <std::derived_from<FeedbackFormItem> T>
  static FeedbackFormItemClass of() {
    return {[](Decoder& d) -> std::shared_ptr<FeedbackFormItem> {
      return FeedbackFormItem::decodeAs<T>(d);
    }};
  }
  friend bool operator==(const FeedbackFormItemClass&, const FeedbackFormItemClass&) = default;
};

class FeedbackFormItemsRegistry {
 public:
  /// A registry with the library's question kinds.
  FeedbackFormItemsRegistry();

  /// The registry forms are decoded with, created on first use; replaceable.
  static std::shared_ptr<FeedbackFormItemsRegistry> shared();
  static void setShared(std::shared_ptr<FeedbackFormItemsRegistry> registry);

  /// Sets (or replaces) the class of a kind.
  void register_(FeedbackFormItemClass itemClass, const FeedbackFormItemType& type) {
    itemClassMap.insert_or_assign(type, itemClass);
  }
  template <std::derived_from<FeedbackFormItem> T>
  void register_(const FeedbackFormItemType& type) {
    register_(FeedbackFormItemClass::of<T>(), type);
  }

  /// The class of a kind, or null.
  [[nodiscard]] const FeedbackFormItemClass* itemClass(const FeedbackFormItemType& type) const {
    const auto it = itemClassMap.find(type);
    return it == itemClassMap.end() ? nullptr : &it->second;
  }

  std::unordered_map<FeedbackFormItemType, FeedbackFormItemClass> itemClassMap;
};

}  // namespace quarn
