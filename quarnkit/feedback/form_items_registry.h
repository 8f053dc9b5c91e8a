/// @file
/// FeedbackFormItemsRegistry: which question class decodes each question kind.

/// @class quarn::FeedbackFormItemsRegistry
/// Which question class decodes each question
/// kind. Forms are decoded through the shared registry; a kind it has no
/// class for is dropped from the form.
///
/// ```
///   auto registry = std::make_shared<quarn::FeedbackFormItemsRegistry>();
///   registry->register_<RatingItem>(quarn::FeedbackFormItemType("rating"));
///   quarn::FeedbackFormItemsRegistry::setShared(registry);
/// ```
///
/// A new registry knows the library's six kinds. A registry is a value: a
/// copy shares nothing with its source.
///
/// Set-up, then use: a registry is filled before forms are decoded with it.
/// Its first look-up (a form decoded with it, itemClass(), itemClassMap())
/// freezes it; registering into a frozen registry throws
/// FeedbackFormItemsRegistryError (registeredAfterFirstUse) and changes
/// nothing. To change the kinds later, copy the registry (the copy is open),
/// change the copy and make it the shared one: forms being decoded keep the
/// registry they started with. Registration may come from any thread and is
/// serialised; look-ups after the freeze take no lock. A kind is never
/// re-pointed silently: registering another class for a kind that has one is
/// refused (kindRegisteredForAnotherClass) unless it is done with replace().
///
/// A question class's decode is the host's code, called while a form is
/// decoded: it may decode further values and forms, and the host may replace
/// the shared registry meanwhile (the form finishes with the one it started
/// with); registering from inside it throws, as the registry is in use; an
/// exception it throws fails the form and propagates unchanged.
#pragma once

#include <concepts>
#include <memory>
#include <string>
#include <unordered_map>

#include "quarnkit/core/error.h"
#include "quarnkit/core/registry_freeze.h"
#include "quarnkit/feedback/form_item.h"

namespace quarn {

/// A question class: how a question of it is decoded.
struct FeedbackFormItemClass {
  /// Decodes a question of the class; throws DecodingError.
  std::shared_ptr<FeedbackFormItem> (*decode)(Decoder&) = nullptr;
  /// The members `decode` reads (T's jsonSchemaMembers()), for the form's
  /// JSON Schema; null when not known.
  std::vector<json_schema::Member> (*members)() = nullptr;

  /// The class of T: questions decoded as a T (base members, then T's).
  template <std::derived_from<FeedbackFormItem> T>
  static FeedbackFormItemClass of() {
    return {[](Decoder& d) -> std::shared_ptr<FeedbackFormItem> {
              return FeedbackFormItem::decodeAs<T>(d);
            },
            &T::jsonSchemaMembers};
  }
  /// Equal when they decode with the same function.
  friend bool operator==(const FeedbackFormItemClass&, const FeedbackFormItemClass&) = default;
};

/// Why a registration was refused; the registry is left as it was.
class FeedbackFormItemsRegistryError final : public Error {
 public:
  /// Why the registration was refused.
  enum class Case {
    /// The kind has another class (replace() changes it deliberately).
    kindRegisteredForAnotherClass,
    /// The registry was used already.
    registeredAfterFirstUse,
  };
  /// The refusal `c` for the kind `kind`.
  FeedbackFormItemsRegistryError(Case c, FeedbackFormItemType kind)
      : case_(c), kind_(std::move(kind)) {}

  /// Why the registration was refused.
  [[nodiscard]] Case errorCase() const { return case_; }
  /// The kind whose registration was refused.
  [[nodiscard]] const FeedbackFormItemType& kind() const { return kind_; }
  /// "kindRegisteredForAnotherClass(rating)".
  [[nodiscard]] std::string description() const override;

 private:
  Case case_;
  FeedbackFormItemType kind_;
};

class FeedbackFormItemsRegistry {
 public:
  /// Each kind's class.
  using ItemClassMap = std::unordered_map<FeedbackFormItemType, FeedbackFormItemClass>;

  /// A registry with the library's question kinds.
  FeedbackFormItemsRegistry();
  /// An open registry with the kinds of `other`.
  FeedbackFormItemsRegistry(const FeedbackFormItemsRegistry& other);
  /// Refused (registeredAfterFirstUse) once this registry is frozen.
  FeedbackFormItemsRegistry& operator=(const FeedbackFormItemsRegistry& other);
  ~FeedbackFormItemsRegistry() = default;

  /// The registry forms are decoded with, created on first use; replaceable
  /// at any time from any thread.
  static std::shared_ptr<FeedbackFormItemsRegistry> shared();
  /// Replaces the shared registry (null: the next shared() makes a new one).
  static void setShared(std::shared_ptr<FeedbackFormItemsRegistry> registry);

  /// Sets the class of a kind. The same class again changes nothing; another
  /// class for a kind that has one is refused.
  void register_(FeedbackFormItemClass itemClass, const FeedbackFormItemType& type) {
    file(itemClass, type, false);
  }
  /// register_() with the class of T.
  template <std::derived_from<FeedbackFormItem> T>
  void register_(const FeedbackFormItemType& type) {
    register_(FeedbackFormItemClass::of<T>(), type);
  }
  /// Sets the class of a kind in place of the one it has, deliberately (a
  /// host's own class for one of the library's kinds).
  void replace(FeedbackFormItemClass itemClass, const FeedbackFormItemType& type) {
    file(itemClass, type, true);
  }
  /// replace() with the class of T.
  template <std::derived_from<FeedbackFormItem> T>
  void replace(const FeedbackFormItemType& type) {
    replace(FeedbackFormItemClass::of<T>(), type);
  }

  /// The class of a kind, or null (valid for the registry's lifetime).
  /// Freezes the registry.
  [[nodiscard]] const FeedbackFormItemClass* itemClass(const FeedbackFormItemType& type) const;
  /// Every kind and its class. Freezes the registry.
  [[nodiscard]] const ItemClassMap& itemClassMap() const;

  /// Whether the registry was used: registrations are refused from then on.
  [[nodiscard]] bool isFrozen() const { return freeze_.frozen(); }

 private:
  void file(FeedbackFormItemClass itemClass, const FeedbackFormItemType& type, bool replacing);

  RegistryFreeze freeze_;
  ItemClassMap itemClassMap_;
};

}  // namespace quarn
