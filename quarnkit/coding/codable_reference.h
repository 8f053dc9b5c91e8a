/// @file
/// Codable references: a field that refers to a shared object stored
/// elsewhere. In JSON the field is the object's id only; decoding resolves the
/// id to the object already held in a CodableReferenceStorage, which the
/// application puts in the decoder's settings under "codableReferenceStorage".
///
/// Objects are grouped into containers, one per key type (a tag deriving from
/// CodableReferenceContainerKey), so ids of different families never collide.
///
/// ```
///   struct TrackKey : quarn::CodableReferenceContainerKey {};
///   struct Track { std::int64_t id; std::string title; };
///   using TrackRef = quarn::CodableReference<Track, TrackKey>;
///
///   auto storage = std::make_shared<quarn::CodableReferenceStorage>();
///   storage->container<TrackKey>().insert(std::make_shared<Track>(Track{7, "Intro"}));
///   decoder.userInfo.set(std::string(quarn::kCodableReferenceStorageKey), storage);
///   auto ref = decoder.decode<TrackRef>("7");  // ref.wrappedValue is that very Track
/// ```
///
/// An id with no object of the requested type in the key type's container is
/// dataCorrupted at the reference's coding path ("Couldn't find Track with id
/// 7"); so is every reference when the settings hold no storage (or an entry
/// of another kind). Decoding only reads the storage; fill it beforehand.
///
/// Kinds: CodableReferenceStorage and CodableReferenceContainer are unique
/// objects (not copyable: a copy would silently share, or split, the objects
/// filed); coders share a storage through the shared_ptr in their settings. A
/// CodableReference is a value. A storage has no lock: fill it before the
/// decodes that read it start, not while one runs on another thread.
#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/type_name.h"

namespace quarn {

/// The settings key of the storage (a shared_ptr<CodableReferenceStorage>).
inline constexpr std::string_view kCodableReferenceStorageKey = "codableReferenceStorage";

/// The base of the tag types that name a container.
struct CodableReferenceContainerKey {};

template <class K>
concept CodableReferenceKeyType = std::derived_from<K, CodableReferenceContainerKey>;

/// The type of a shared object's `id` member.
template <class V>
using CodableReferenceId = std::remove_cvref_t<decltype(std::declval<const V&>().id)>;

/// A shared object type that references can name: its `id` is hashable,
/// comparable and coded as a single value.
template <class V>
concept CodableReferenceable = requires(const V& v) {
  v.id;
}
&&std::equality_comparable<CodableReferenceId<V>>&& requires(const CodableReferenceId<V>& id) {
  { std::hash<CodableReferenceId<V>>()(id) } -> std::convertible_to<std::size_t>;
}
&&DecodableType<CodableReferenceId<V>>&& EncodableType<CodableReferenceId<V>>;

namespace detail {

/// One address per type: tells stored ids and objects apart by type
/// without comparing type names.
template <class T>
struct ReferenceTypeTag {
  static constexpr char tag = 0;
};

/// The objects filed under ids of one type: a plain hash map of that type,
/// so a look-up costs what a hash map of the ids costs.
struct ReferenceObjectsBase {
  virtual ~ReferenceObjectsBase() = default;
  [[nodiscard]] virtual std::size_t size() const = 0;
};

struct ReferenceObject {
  std::shared_ptr<void> object;
  const void* type;
};

template <class Id>
struct ReferenceObjects final : ReferenceObjectsBase {
  std::unordered_map<Id, ReferenceObject> objects;
  [[nodiscard]] std::size_t size() const override { return objects.size(); }
};

/// The text of an id in messages: numbers and strings as they are, UUIDs
/// and URLs as their text.
template <class Id>
std::string referenceIdDescription(const Id& id) {
  if constexpr (std::is_arithmetic_v<Id>) {
    return std::to_string(id);
  } else if constexpr (std::is_convertible_v<const Id&, std::string_view>) {
    return std::string(std::string_view(id));
  } else if constexpr (requires {
                         { id.uuidString() } -> std::convertible_to<std::string>;
                       }) {
    return id.uuidString();
  } else if constexpr (requires {
                         { id.absoluteString() } -> std::convertible_to<std::string>;
                       }) {
    return id.absoluteString();
  } else if constexpr (requires { id.rawValue; }) {
    return referenceIdDescription(id.rawValue);
  } else {
    return typeName<Id>();
  }
}

}  // namespace detail

/// The objects of one key type, by id. Ids are compared by value and type:
/// 7 as an int64_t and "7" are different ids.
class CodableReferenceContainer {
 public:
  CodableReferenceContainer() = default;
  CodableReferenceContainer(const CodableReferenceContainer&) = delete;
  CodableReferenceContainer& operator=(const CodableReferenceContainer&) = delete;

  /// The object stored under `id` when it is a Value, else null.
  template <class Value, class Id>
  [[nodiscard]] std::shared_ptr<Value> get(const Id& id) const {
    const auto* objects = find<Id>();
    if (objects == nullptr) return nullptr;
    const auto it = objects->objects.find(id);
    if (it == objects->objects.end() ||
        it->second.type != &detail::ReferenceTypeTag<std::remove_const_t<Value>>::tag) {
      return nullptr;
    }
    return std::static_pointer_cast<Value>(it->second.object);
  }
  /// Stores `object` under `id`, replacing what was there; null removes.
  template <class Value, class Id>
  void set(const Id& id, std::shared_ptr<Value> object) {
    if (!object) {
      if (auto* objects = find<Id>()) objects->objects.erase(id);
      return;
    }
    auto* objects = find<Id>();
    if (objects == nullptr) {
      auto created = std::make_unique<detail::ReferenceObjects<Id>>();
      objects = created.get();
      byIdType_.emplace_back(&detail::ReferenceTypeTag<Id>::tag, std::move(created));
    }
    objects->objects.insert_or_assign(
        id, detail::ReferenceObject{
                std::const_pointer_cast<std::remove_const_t<Value>>(std::move(object)),
                &detail::ReferenceTypeTag<std::remove_const_t<Value>>::tag});
  }
  /// Stores `object` under its own id.
  template <CodableReferenceable Value>
  void insert(std::shared_ptr<Value> object) {
    if (!object) fatalError("CodableReferenceContainer::insert: a null object has no id");
    const CodableReferenceId<Value> id = object->id;
    set(id, std::move(object));
  }
  /// The number of objects stored, of every id type.
  [[nodiscard]] std::size_t size() const {
    std::size_t n = 0;
    for (const auto& entry : byIdType_) n += entry.second->size();
    return n;
  }

 private:
  // The objects under ids of type Id, or null. Containers hold ids of one or
  // two types: a list is quicker to search than a map.
  template <class Id>
  [[nodiscard]] detail::ReferenceObjects<Id>* find() const {
    for (const auto& [type, objects] : byIdType_) {
      if (type == &detail::ReferenceTypeTag<Id>::tag) {
        return static_cast<detail::ReferenceObjects<Id>*>(objects.get());
      }
    }
    return nullptr;
  }

  std::vector<std::pair<const void*, std::unique_ptr<detail::ReferenceObjectsBase>>> byIdType_;
};

/// The containers, one per key type.
class CodableReferenceStorage {
 public:
  CodableReferenceStorage() = default;
  CodableReferenceStorage(const CodableReferenceStorage&) = delete;
  CodableReferenceStorage& operator=(const CodableReferenceStorage&) = delete;

  /// The container of Key, created (and kept) when there is none: what is
  /// written through it is always stored.
  template <CodableReferenceKeyType Key>
  CodableReferenceContainer& container() {
    auto& slot = containers_[&detail::ReferenceTypeTag<Key>::tag];
    if (!slot) slot = std::make_shared<CodableReferenceContainer>();
    return *slot;
  }
  /// The container of Key, or null when there is none.
  template <CodableReferenceKeyType Key>
  [[nodiscard]] const CodableReferenceContainer* findContainer() const {
    const auto it = containers_.find(&detail::ReferenceTypeTag<Key>::tag);
    return it == containers_.end() ? nullptr : it->second.get();
  }
  /// Files `container` for Key, replacing an earlier one.
  template <CodableReferenceKeyType Key>
  void setContainer(std::shared_ptr<CodableReferenceContainer> container) {
    containers_.insert_or_assign(&detail::ReferenceTypeTag<Key>::tag, std::move(container));
  }

 private:
  std::unordered_map<const void*, std::shared_ptr<CodableReferenceContainer>> containers_;
};

/// The storage in a decoder's settings, or null when the entry is missing or
/// of another kind (every reference then fails to resolve).
const CodableReferenceStorage* codableReferenceStorage(const Decoder& d);

namespace detail {
[[noreturn]] void throwReferenceNotFound(CodingPath path, const std::string& type,
                                         const std::string& id);
}  // namespace detail

/// A reference to a shared Value, coded as its id and resolved through the
/// container of Key.
template <CodableReferenceable Value, CodableReferenceKeyType Key>
struct CodableReference {
  /// The referenced type's id type.
  using Id = CodableReferenceId<Value>;

  /// The referenced object (never null).
  std::shared_ptr<Value> wrappedValue;

  /// A reference to `object`, which must not be null (a programming error).
  explicit CodableReference(std::shared_ptr<Value> object) : wrappedValue(std::move(object)) {
    if (!wrappedValue) fatalError("CodableReference: the referenced object is null");
  }

  /// Reads an id and resolves it through the container of Key in the decoder's settings; throws
  /// DecodingError when it is not found.
  static CodableReference decode(Decoder& d) {
    const Id id = d.decode<Id>();
    if (const CodableReferenceStorage* storage = codableReferenceStorage(d)) {
      if (const CodableReferenceContainer* c = storage->findContainer<Key>()) {
        if (auto object = c->get<Value>(id)) return CodableReference(std::move(object));
      }
    }
    detail::throwReferenceNotFound(d.codingPath(), typeName<Value>(),
                                   detail::referenceIdDescription(id));
  }
  /// Writes the object's id.
  void encode(Encoder& e) const { e.encode(wrappedValue->id); }

  /// References are equal when their objects' ids are.
  friend bool operator==(const CodableReference& a, const CodableReference& b) {
    return a.wrappedValue->id == b.wrappedValue->id;
  }
};

/// A list of references: the container is found once for the list, and
/// ids that are standard values are read in place.
template <CodableReferenceable Value, CodableReferenceKeyType Key>
struct Decodable<std::vector<CodableReference<Value, Key>>> {
  /// The reference type.
  using Reference = CodableReference<Value, Key>;
  /// The referenced type's id type.
  using Id = typename Reference::Id;

  /// The references, resolved in order; throws DecodingError at the first id not found.
  static std::vector<Reference> decode(Decoder& d) {
    auto list = d.unkeyedContainer();
    std::vector<Reference> out;
    if (auto n = list->count()) out.reserve(static_cast<std::size_t>(*n));
    if constexpr (!CodingPrimitive<Id>) {
      while (!list->isAtEnd()) out.push_back(list->template decode<Reference>());
    } else {
      const CodableReferenceStorage* storage = codableReferenceStorage(d);
      const CodableReferenceContainer* container =
          storage != nullptr ? storage->findContainer<Key>() : nullptr;
      while (!list->isAtEnd()) {
        const int index = list->currentIndex();
        Id id{};
        list->decodePrimitive(PrimitiveRef(&id));
        auto object = container != nullptr ? container->get<Value>(id) : nullptr;
        if (!object) {
          CodingPath path = list->codingPath();
          path.push_back(RawCodingKey::index(index));
          detail::throwReferenceNotFound(std::move(path), typeName<Value>(),
                                         detail::referenceIdDescription(id));
        }
        out.emplace_back(std::move(object));
      }
    }
    return out;
  }
};

}  // namespace quarn

/// Hashes a reference by its object's id, as == compares.
template <class Value, class Key>
struct std::hash<quarn::CodableReference<Value, Key>> {
  /// The hash of the id.
  std::size_t operator()(const quarn::CodableReference<Value, Key>& r) const noexcept {
    return std::hash<quarn::CodableReferenceId<Value>>()(r.wrappedValue->id);
  }
};
