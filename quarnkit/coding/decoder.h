/// @file
/// The decoding side of the coding framework.
///
/// A Decoder hands out containers over the data it holds: a keyed container
/// (an object), an unkeyed container (a list) or a single-value container.
/// Containers are interfaces, so wrappers (the device-variant decoder, type
/// adapters, references) can stand between a type and the JSON decoder, at
/// every depth, without the type knowing.
///
/// A type T is decodable when quarn::Decodable<T> is specialised or it has a
/// static `T decode(quarn::Decoder&)`; the standard types of primitive.h are
/// read by the containers directly. Asking for a type with no decoded form does
/// not compile.
///
/// ```
///   struct Banner {
///     std::string title;
///     std::optional<std::int64_t> maxItems;
///     static Banner decode(quarn::Decoder& d) {
///       auto c = d.container();
///       return {c->decode<std::string>("title"), c->decodeIfPresent<std::int64_t>("maxItems")};
///     }
///   };
/// ```
///
/// A record with many optional members, of which few are present, reads the
/// present ones in one pass instead of asking for each by name:
///
/// ```
///   c->forEachMember([&](std::string_view key, quarn::Decoder& v) {
///     if (key == "title") banner.title = v.decode<std::string>();
///     else if (key == "maxItems") banner.maxItems = v.decode<std::int64_t>();
///   });
/// ```
///
/// Lifetimes: decoders and containers are unique objects that borrow the data
/// and their parents; they are valid while the decode call that produced them
/// runs.
#pragma once

#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarnkit/coding/coding_error.h"
#include "quarnkit/coding/coding_key.h"
#include "quarnkit/coding/primitive.h"
#include "quarnkit/coding/user_info.h"
#include "quarnkit/core/function_ref.h"

namespace quarn {

class Decoder;
class KeyedDecodingContainer;
class UnkeyedDecodingContainer;
class SingleValueDecodingContainer;

/// Specialise to make a type decodable: `static T decode(Decoder&)`.
template <class T>
struct Decodable;

/// Types with a static `T decode(Decoder&)` are decodable through it.
template <class T>
requires requires(Decoder& d) {
  { T::decode(d) } -> std::convertible_to<T>;
}
struct Decodable<T> {
  /// T::decode(d).
  static T decode(Decoder& d) { return T::decode(d); }
};

/// A standard type, or a type with a Decodable specialisation.
template <class T>
concept DecodableType = CodingPrimitive<T> || requires(Decoder& d) {
  { Decodable<T>::decode(d) } -> std::convertible_to<T>;
};

/// Called with a decoder positioned at a nested value.
using DecodeFn = FunctionRef<void(Decoder&)>;

namespace detail {
/// The result of a decode callback, built in place from the decoding
/// function's return value and moved out once: records are large, and an
/// optional in between would cost a move per level.
template <class T>
class DecodedSlot {
 public:
  DecodedSlot() = default;
  DecodedSlot(const DecodedSlot&) = delete;
  DecodedSlot& operator=(const DecodedSlot&) = delete;
  ~DecodedSlot() {
    if (engaged_) get()->~T();
  }
  /// Constructs the value from `make()`'s result (no intermediate copy).
  template <class F>
  void emplace(F&& make) {
    ::new (static_cast<void*>(storage_)) T(make());
    engaged_ = true;
  }
  T take() { return std::move(*get()); }

 private:
  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  alignas(T) unsigned char storage_[sizeof(T)];
  bool engaged_ = false;
};
}  // namespace detail

/// Reads one value of the data: hands out containers over it (an interface; the JSON decoder and
/// the wrappers implement it). A unique object, valid while the decode call that made it runs.
class Decoder {
 public:
  virtual ~Decoder() = default;
  /// The keys from the root to this decoder's value (built on request).
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// Values the caller handed to the decoding (options, registries).
  [[nodiscard]] virtual const CodingUserInfo& userInfo() const = 0;
  /// The integer value of the last key of the coding path (the position of
  /// a list element), without building the path.
  [[nodiscard]] virtual std::optional<int> lastCodingIndex() const {
    const CodingPath path = codingPath();
    return path.empty() ? std::nullopt : path.back().intValue();
  }
  /// The value as an object; fails when it is not one.
  virtual std::unique_ptr<KeyedDecodingContainer> container() = 0;
  /// The value as a list; fails when it is not one.
  virtual std::unique_ptr<UnkeyedDecodingContainer> unkeyedContainer() = 0;
  /// The value as a single value.
  virtual std::unique_ptr<SingleValueDecodingContainer> singleValueContainer() = 0;
  /// Reads this decoder's value as a standard value, as its single-value
  /// container would; decoders override it to skip making the container.
  virtual void decodePrimitive(PrimitiveRef out);
  /// Whether this decoder's value is null, as its single-value container says.
  virtual bool decodeNil();

  /// Decodes a T from this decoder's value.
  template <DecodableType T>
  T decode();
};

/// The members of an object, read by key (an interface). A unique object, valid while the decode
/// call that made it runs.
class KeyedDecodingContainer {
 public:
  virtual ~KeyedDecodingContainer() = default;
  /// The keys from the root to this object.
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// The keys of the object's members, in the data's order.
  [[nodiscard]] virtual std::vector<RawCodingKey> allKeys() const = 0;
  /// Calls `fn` with each key's name, without building a key list.
  virtual void forEachKey(FunctionRef<void(std::string_view)> fn) const {
    for (const auto& k : allKeys()) fn(k.stringValue());
  }
  /// Whether the object has a member `key` (null counts).
  [[nodiscard]] virtual bool contains(CodingKeyRef key) const = 0;
  /// Calls `fn` once per member that is not null, in the data's order, with
  /// the key the member answers to and a decoder for its value. A member
  /// that is the device variant of a key (see platform_decoder.h) is passed
  /// under that key, and the plain member of that key is then skipped.
  ///
  /// For records with many optional members of which few are present: the
  /// absent ones cost nothing. A record reading this way checks its required
  /// members afterwards with decode(), which reports them as usual.
  virtual void forEachMember(FunctionRef<void(std::string_view key, Decoder& value)> fn);
  /// Whether the member is null; fails with keyNotFound when it is missing.
  virtual bool decodeNil(CodingKeyRef key) = 0;
  /// Reads a standard value; fails when missing, null or of another kind.
  virtual void decodePrimitive(CodingKeyRef key, PrimitiveRef out) = 0;
  /// As decodePrimitive, but a missing or null member gives false.
  virtual bool decodePrimitiveIfPresent(CodingKeyRef key, PrimitiveRef out) = 0;
  /// Calls `fn` with a decoder for the member; fails when it is missing.
  virtual void decodeNested(CodingKeyRef key, DecodeFn fn) = 0;
  /// As decodeNested, but a missing or null member gives false (fn not called).
  virtual bool decodeNestedIfPresent(CodingKeyRef key, DecodeFn fn) = 0;
  /// The member as an object; fails when it is missing or not one.
  virtual std::unique_ptr<KeyedDecodingContainer> nestedContainer(CodingKeyRef key) = 0;
  /// The member as a list; fails when it is missing or not one.
  virtual std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer(CodingKeyRef key) = 0;
  /// A decoder for the member "super".
  virtual std::unique_ptr<Decoder> superDecoder() = 0;
  /// A decoder for the member (a decoder of null when it is missing).
  virtual std::unique_ptr<Decoder> superDecoder(CodingKeyRef key) = 0;

  /// Decodes the member `key` as a T; throws DecodingError when it is missing, null or not a T.
  template <DecodableType T>
  T decode(CodingKeyRef key) {
    if constexpr (CodingPrimitive<T>) {
      T value{};
      decodePrimitive(key, PrimitiveRef(&value));
      return value;
    } else {
      detail::DecodedSlot<T> value;
      decodeNested(key,
                   [&](Decoder& d) { value.emplace([&] { return Decodable<T>::decode(d); }); });
      return value.take();
    }
  }

  /// Decodes the member `key` as a T, or nothing when it is missing or null; throws DecodingError
  /// when it is not a T.
  template <DecodableType T>
  std::optional<T> decodeIfPresent(CodingKeyRef key) {
    if constexpr (CodingPrimitive<T>) {
      T value{};
      if (!decodePrimitiveIfPresent(key, PrimitiveRef(&value))) return std::nullopt;
      return value;
    } else {
      std::optional<T> value;
      decodeNestedIfPresent(key, [&](Decoder& d) { value.emplace(Decodable<T>::decode(d)); });
      return value;
    }
  }
};

/// The elements of a list, read in order (an interface). A unique object, valid while the decode
/// call that made it runs.
class UnkeyedDecodingContainer {
 public:
  virtual ~UnkeyedDecodingContainer() = default;
  /// The keys from the root to this list.
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// The number of elements, when known.
  [[nodiscard]] virtual std::optional<int> count() const = 0;
  /// Whether every element was read.
  [[nodiscard]] virtual bool isAtEnd() const = 0;
  /// The position of the next element.
  [[nodiscard]] virtual int currentIndex() const = 0;
  /// True (and advances) when the next element is null.
  virtual bool decodeNil() = 0;
  /// Reads the next element as a standard value (advances); fails when it is null or of another
  /// kind.
  virtual void decodePrimitive(PrimitiveRef out) = 0;
  /// False at the end or for a null element (which is consumed).
  virtual bool decodePrimitiveIfPresent(PrimitiveRef out) = 0;
  /// Calls `fn` with a decoder for the next element (advances).
  virtual void decodeNested(DecodeFn fn) = 0;
  /// As decodeNested, but a null element gives false (fn not called; advances); false at the end.
  virtual bool decodeNestedIfPresent(DecodeFn fn) = 0;
  /// The next element as an object (advances).
  virtual std::unique_ptr<KeyedDecodingContainer> nestedContainer() = 0;
  /// The next element as a list (advances).
  virtual std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer() = 0;
  /// A decoder for the next element (advances).
  virtual std::unique_ptr<Decoder> superDecoder() = 0;

  /// Decodes the next element as a T (advances); throws DecodingError at the end or when it is not
  /// a T.
  template <DecodableType T>
  T decode() {
    if constexpr (CodingPrimitive<T>) {
      T value{};
      decodePrimitive(PrimitiveRef(&value));
      return value;
    } else {
      detail::DecodedSlot<T> value;
      decodeNested([&](Decoder& d) { value.emplace([&] { return Decodable<T>::decode(d); }); });
      return value.take();
    }
  }

  /// Decodes the next element as a T, or nothing when it is null (advances); throws DecodingError
  /// when it is not a T.
  template <DecodableType T>
  std::optional<T> decodeIfPresent() {
    if constexpr (CodingPrimitive<T>) {
      T value{};
      if (!decodePrimitiveIfPresent(PrimitiveRef(&value))) return std::nullopt;
      return value;
    } else {
      std::optional<T> value;
      decodeNestedIfPresent([&](Decoder& d) { value.emplace(Decodable<T>::decode(d)); });
      return value;
    }
  }
};

/// One value, read as a whole (an interface). A unique object, valid while the decode call that
/// made it runs.
class SingleValueDecodingContainer {
 public:
  virtual ~SingleValueDecodingContainer() = default;
  /// The keys from the root to this value.
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// Whether the value is null.
  virtual bool decodeNil() = 0;
  /// Reads the value as a standard value; fails when it is null or of another kind.
  virtual void decodePrimitive(PrimitiveRef out) = 0;
  /// Calls `fn` with the decoder this container reads from.
  virtual void decodeNested(DecodeFn fn) = 0;

  /// Decodes the value as a T; throws DecodingError when it is not one.
  template <DecodableType T>
  T decode() {
    if constexpr (CodingPrimitive<T>) {
      T value{};
      decodePrimitive(PrimitiveRef(&value));
      return value;
    } else {
      detail::DecodedSlot<T> value;
      decodeNested([&](Decoder& d) { value.emplace([&] { return Decodable<T>::decode(d); }); });
      return value.take();
    }
  }
};

/// A decoder over the same value as `base` whose first container() call
/// returns a keyed container the caller already opened on that value: a
/// record opened once to read its type or class name is then decoded without
/// opening it again. Every other call goes to `base`.
class ReopenedDecoder final : public Decoder {
 public:
  /// A decoder over the value of `base` whose first container() is `opened`.
  ReopenedDecoder(Decoder& base, std::unique_ptr<KeyedDecodingContainer> opened)
      : base_(&base), opened_(std::move(opened)) {}

  /// The decoder calls go to.
  [[nodiscard]] Decoder& base() const { return *base_; }
  [[nodiscard]] CodingPath codingPath() const override { return base_->codingPath(); }
  /// The base decoder's.
  [[nodiscard]] const CodingUserInfo& userInfo() const override { return base_->userInfo(); }
  [[nodiscard]] std::optional<int> lastCodingIndex() const override {
    return base_->lastCodingIndex();
  }
  std::unique_ptr<KeyedDecodingContainer> container() override {
    if (opened_) return std::move(opened_);
    return base_->container();
  }
  std::unique_ptr<UnkeyedDecodingContainer> unkeyedContainer() override {
    return base_->unkeyedContainer();
  }
  /// The base decoder's.
  std::unique_ptr<SingleValueDecodingContainer> singleValueContainer() override {
    return base_->singleValueContainer();
  }
  void decodePrimitive(PrimitiveRef out) override { base_->decodePrimitive(out); }
  bool decodeNil() override { return base_->decodeNil(); }

 private:
  Decoder* base_;
  std::unique_ptr<KeyedDecodingContainer> opened_;
};

template <DecodableType T>
T Decoder::decode() {
  if constexpr (CodingPrimitive<T>) {
    T value{};
    decodePrimitive(PrimitiveRef(&value));
    return value;
  } else {
    return Decodable<T>::decode(*this);
  }
}

inline void Decoder::decodePrimitive(PrimitiveRef out) {
  singleValueContainer()->decodePrimitive(out);
}

inline bool Decoder::decodeNil() { return singleValueContainer()->decodeNil(); }

inline void KeyedDecodingContainer::forEachMember(
    FunctionRef<void(std::string_view key, Decoder& value)> fn) {
  std::vector<std::string> keys;
  forEachKey([&](std::string_view k) { keys.emplace_back(k); });
  for (const std::string& k : keys) {
    if (decodeNil(k)) continue;
    decodeNested(k, [&](Decoder& value) { fn(k, value); });
  }
}

// ----- Standard decodable types --------------------------------------------

/// Decodes null as nothing, else a T.
template <DecodableType T>
struct Decodable<std::optional<T>> {
  /// Nothing for null, else the value decoded as a T.
  static std::optional<T> decode(Decoder& d) {
    if (d.decodeNil()) return std::nullopt;
    return d.decode<T>();
  }
};

/// Decodes a list of T.
template <DecodableType T>
struct Decodable<std::vector<T>> {
  /// Each element decoded as a T, in order.
  static std::vector<T> decode(Decoder& d) {
    auto c = d.unkeyedContainer();
    std::vector<T> out;
    if (auto n = c->count()) out.reserve(static_cast<std::size_t>(*n));
    while (!c->isAtEnd()) {
      if constexpr (CodingPrimitive<T>) {
        out.push_back(c->template decode<T>());
      } else {
        // Straight into the list: one move per element.
        c->decodeNested([&](Decoder& e) { out.push_back(Decodable<T>::decode(e)); });
      }
    }
    return out;
  }
};

/// Decodes an object of T values by their keys.
template <DecodableType T>
struct Decodable<std::map<std::string, T>> {
  /// Each member decoded as a T.
  static std::map<std::string, T> decode(Decoder& d) {
    auto c = d.container();
    std::map<std::string, T> out;
    for (const auto& k : c->allKeys()) out.emplace(k.stringValue(), c->template decode<T>(k));
    return out;
  }
};

/// Decodes an object of T values by their keys.
template <DecodableType T>
struct Decodable<std::unordered_map<std::string, T>> {
  /// Each member decoded as a T.
  static std::unordered_map<std::string, T> decode(Decoder& d) {
    auto c = d.container();
    std::unordered_map<std::string, T> out;
    for (const auto& k : c->allKeys()) out.emplace(k.stringValue(), c->template decode<T>(k));
    return out;
  }
};

/// Shared records: a type whose static decode returns a shared_ptr uses it;
/// any other decodable type is decoded into a new shared instance.
template <class T>
requires(DecodableType<T> || requires(Decoder & d) {
  { T::decode(d) } -> std::convertible_to<std::shared_ptr<T>>;
}) struct Decodable<std::shared_ptr<T>> {
  /// The record, shared.
  static std::shared_ptr<T> decode(Decoder& d) {
    if constexpr (requires {
                    { T::decode(d) } -> std::convertible_to<std::shared_ptr<T>>;
                  }) {
      return T::decode(d);
    } else {
      return std::make_shared<T>(d.decode<T>());
    }
  }
};

}  // namespace quarn
