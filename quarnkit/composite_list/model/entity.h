/// @file
/// Entities: the decoded host model objects a result carries, and how a
/// result entry's "class" name is turned into a host type.
///
/// The host maps class names to types once:
///   CompositeListEntityClassMap map;
///   map.emplace("Product", CompositeListEntityClass::of<Product>());
///   decoder.userInfo.set(std::string(kCompositeListEntityClassMapKey),
///                        std::make_shared<const CompositeListEntityClassMap>(map));
/// and every entity object ({"class": "Product", ...}) then decodes as that
/// type, held in an AnyEntity.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/core/type_name.h"

namespace quarn {

/// Decoder settings keys of the composite list.
inline constexpr std::string_view kCompositeListItemsReqistryKey = "compositeListItemsReqistry";
/// The entry holding the entity class map.
inline constexpr std::string_view kCompositeListEntityClassMapKey = "compositeListEntityClassMap";
/// The entry holding the fetch's CompositeListContext.
inline constexpr std::string_view kCompositeListContextKey = "compositeListContext";

namespace detail {
template <class T>
const std::string& cachedTypeName() {
  static const std::string name = typeName<T>();
  return name;
}
}  // namespace detail

/// A decoded entity of any host type, with the name of its type. Entities
/// are immutable once decoded: copies of an AnyEntity share one instance,
/// and so can the records and rows made from it (shared()).
class AnyEntity {
 public:
  /// Holds `value` (converts implicitly), shared from now on.
  template <class T>
  requires(!std::is_same_v<std::decay_t<T>, AnyEntity>)
      AnyEntity(T value)  // NOLINT(google-explicit-constructor)
      : AnyEntity(std::make_shared<const T>(std::move(value))) {}
  /// The entity when it has type T exactly.
  template <class T>
  [[nodiscard]] const T* get() const {
    return *type_ == typeid(T) ? static_cast<const T*>(value_.get()) : nullptr;
  }
  /// The same, shared: holding it keeps the entity alive without a copy.
  template <class T>
  [[nodiscard]] std::shared_ptr<const T> shared() const {
    const T* value = get<T>();
    return value ? std::shared_ptr<const T>(value_, value) : nullptr;
  }
  /// The unqualified name of the entity's type.
  [[nodiscard]] const std::string& typeName() const { return *typeName_; }

 private:
  template <class T>
  explicit AnyEntity(std::shared_ptr<const T> value)
      : value_(std::move(value)), type_(&typeid(T)), typeName_(&detail::cachedTypeName<T>()) {}

  std::shared_ptr<const void> value_;
  const std::type_info* type_;
  const std::string* typeName_;
};

/// How a class name decodes: the host type's name and its decoding.
struct CompositeListEntityClass {
  /// The host type's name.
  std::string typeName;
  /// Decodes an entity of the type.
  std::function<AnyEntity(Decoder&)> decode;

  /// The class of T: decoded with its Decodable, named by its type name.
  template <DecodableType T>
  static CompositeListEntityClass of() {
    return {quarn::typeName<T>(), [](Decoder& d) { return AnyEntity(d.decode<T>()); }};
  }
};

/// Entity classes by their "class" name in data.
using CompositeListEntityClassMap = std::unordered_map<std::string, CompositeListEntityClass>;

/// The class map in the decoder settings, or nothing when missing or of
/// another kind.
const CompositeListEntityClassMap* entityClassMap(const Decoder& d);

/// Decodes one entity object by its "class" name. A missing or non-string
/// "class" fails; an unknown class gives nothing and reports the name in
/// `unknownClass`.
std::optional<AnyEntity> decodeEntityByClassName(Decoder& d, const CompositeListEntityClassMap& map,
                                                 std::string* unknownClass = nullptr);

/// A type with std::hash and ==.
template <class T>
concept HashableType = requires(const T& a, const T& b) {
  { std::hash<T>()(a) } -> std::convertible_to<std::size_t>;
  { a == b } -> std::convertible_to<bool>;
};

/// A hashable wrapper of a host entity: the element type of list item
/// records. Equal when the entities are equal. The entity is immutable and
/// shared: a wrapper made from a decoded AnyEntity, and every copy of a
/// wrapper (a section row, a snapshot), holds the one instance. Decodes from an entity object
/// dispatched by its "class" name (without a class map in the decoder
/// settings that is a dataCorrupted error: templates from a server must not
/// stop the program); encodes as the entity itself when the entity is
/// encodable and as an empty object otherwise.
template <HashableType T>
class CompositeListEntity {
 public:
  /// Wraps `base`.
  explicit CompositeListEntity(T base)
      : CompositeListEntity(std::make_shared<const T>(std::move(base))) {}
  /// Wraps an entity held elsewhere too (not null).
  explicit CompositeListEntity(std::shared_ptr<const T> base)
      : base_(std::move(base)), hash_(std::hash<T>()(*base_)) {}

  /// The entity.
  [[nodiscard]] const T& base() const { return *base_; }
  /// The entity's hash, computed once.
  [[nodiscard]] std::size_t hashable() const { return hash_; }

  /// Equal when the entities are.
  friend bool operator==(const CompositeListEntity& a, const CompositeListEntity& b) {
    return a.hash_ == b.hash_ && (a.base_ == b.base_ || *a.base_ == *b.base_);
  }

  /// Decodes an entity by its "class" name; throws DecodingError when it is not a T (or the decoder
  /// has no class map).
  static CompositeListEntity decode(Decoder& d);
  /// Writes the entity itself, or an empty object when T is not encodable.
  void encode(Encoder& e) const {
    if constexpr (EncodableType<T>) {
      e.encode(*base_);
    } else {
      e.container();
    }
  }

 private:
  std::shared_ptr<const T> base_;
  std::size_t hash_;
};

namespace detail {
[[noreturn]] void missingClassMapForEntity(const Decoder& d);
}

template <HashableType T>
CompositeListEntity<T> CompositeListEntity<T>::decode(Decoder& d) {
  const CompositeListEntityClassMap* map = entityClassMap(d);
  if (map == nullptr) detail::missingClassMapForEntity(d);
  auto entity = decodeEntityByClassName(d, *map);
  auto value = entity ? entity->template shared<T>() : nullptr;
  if (value == nullptr) throw DecodingError::typeMismatch(typeName<T>(), {d.codingPath(), ""});
  return CompositeListEntity(std::move(value));
}

}  // namespace quarn

/// Hashes an entity wrapper by its entity's hash.
template <class T>
struct std::hash<quarn::CompositeListEntity<T>> {
  /// CompositeListEntity::hashable().
  std::size_t operator()(const quarn::CompositeListEntity<T>& e) const noexcept {
    return e.hashable();
  }
};
