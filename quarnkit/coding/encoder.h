/// @file
/// The encoding side of the coding framework, mirroring decoder.h.
///
/// A type T is encodable when quarn::Encodable<T> is specialised or it has a
/// member `void encode(quarn::Encoder&) const`; the standard types of
/// primitive.h are written by the containers directly. Encoding a type with no
/// encoded form does not compile. Encoders and containers, like decoders, are
/// unique objects valid during the encode call that produced them.
///
/// ```
///   void Banner::encode(quarn::Encoder& e) const {
///     auto c = e.container();
///     c->encode(title, "title");
///     c->encodeIfPresent(maxItems, "maxItems");  // absent: nothing written
///   }
/// ```
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quarnkit/coding/coding_error.h"
#include "quarnkit/coding/coding_key.h"
#include "quarnkit/coding/primitive.h"
#include "quarnkit/coding/user_info.h"
#include "quarnkit/core/function_ref.h"

namespace quarn {

class Encoder;
class KeyedEncodingContainer;
class UnkeyedEncodingContainer;
class SingleValueEncodingContainer;

/// Specialise to make a type encodable: `static void encode(const T&, Encoder&)`.
template <class T>
struct Encodable;

/// Types with an `encode(Encoder&) const` member are encodable through it.
template <class T>
requires requires(const T& v, Encoder& e) { v.encode(e); }
struct Encodable<T> {
  /// v.encode(e).
  static void encode(const T& v, Encoder& e) { v.encode(e); }
};

template <class T>
concept EncodableType = CodingPrimitive<T> || requires(const T& v, Encoder& e) {
  Encodable<T>::encode(v, e);
};

/// Called with an encoder whose value becomes a nested value.
using EncodeFn = FunctionRef<void(Encoder&)>;

/// Writes one value of the output: hands out containers for it (an interface; the JSON encoder and
/// the wrappers implement it). A unique object, valid while the encode call that made it runs.
class Encoder {
 public:
  virtual ~Encoder() = default;
  /// The keys from the root to this encoder's value.
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// Values the caller handed to the encoding (options).
  [[nodiscard]] virtual const CodingUserInfo& userInfo() const = 0;
  /// Opens (or reopens) this encoder's value as an object.
  virtual std::unique_ptr<KeyedEncodingContainer> container() = 0;
  /// Opens this encoder's value as a list.
  virtual std::unique_ptr<UnkeyedEncodingContainer> unkeyedContainer() = 0;
  /// Opens this encoder's value as a single value.
  virtual std::unique_ptr<SingleValueEncodingContainer> singleValueContainer() = 0;

  /// Encodes `value` as this encoder's value.
  template <EncodableType T>
  void encode(const T& value);
};

/// The members of an object being written (an interface). A unique object, valid while the encode
/// call that made it runs.
class KeyedEncodingContainer {
 public:
  virtual ~KeyedEncodingContainer() = default;
  /// The keys from the root to this object.
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// Writes the member `key` as null.
  virtual void encodeNil(CodingKeyRef key) = 0;
  /// Writes the member `key` as a standard value.
  virtual void encodePrimitive(CodingKeyRef key, PrimitiveCRef value) = 0;
  /// Calls `fn` with an encoder whose value becomes the member.
  virtual void encodeNested(CodingKeyRef key, EncodeFn fn) = 0;
  /// Writes the member `key` as an object, returned to fill.
  virtual std::unique_ptr<KeyedEncodingContainer> nestedContainer(CodingKeyRef key) = 0;
  /// Writes the member `key` as a list, returned to fill.
  virtual std::unique_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer(CodingKeyRef key) = 0;
  /// An encoder for the member "super".
  virtual std::unique_ptr<Encoder> superEncoder() = 0;
  /// An encoder for the member `key`.
  virtual std::unique_ptr<Encoder> superEncoder(CodingKeyRef key) = 0;

  /// Encodes `value` as the member `key`.
  template <EncodableType T>
  void encode(const T& value, CodingKeyRef key) {
    if constexpr (CodingPrimitive<T>) {
      encodePrimitive(key, PrimitiveCRef(&value));
    } else {
      encodeNested(key, [&](Encoder& e) { Encodable<T>::encode(value, e); });
    }
  }
  /// Writes nothing for an absent value.
  template <EncodableType T>
  void encodeIfPresent(const std::optional<T>& value, CodingKeyRef key) {
    if (value) encode(*value, key);
  }
};

/// The elements of a list being written, in order (an interface). A unique object, valid while the
/// encode call that made it runs.
class UnkeyedEncodingContainer {
 public:
  virtual ~UnkeyedEncodingContainer() = default;
  /// The keys from the root to this list.
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// The number of elements written.
  [[nodiscard]] virtual int count() const = 0;
  /// Appends null.
  virtual void encodeNil() = 0;
  /// Appends a standard value.
  virtual void encodePrimitive(PrimitiveCRef value) = 0;
  /// Calls `fn` with an encoder whose value becomes the next element.
  virtual void encodeNested(EncodeFn fn) = 0;
  /// Appends an object, returned to fill.
  virtual std::unique_ptr<KeyedEncodingContainer> nestedContainer() = 0;
  /// Appends a list, returned to fill.
  virtual std::unique_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer() = 0;
  /// An encoder for the next element.
  virtual std::unique_ptr<Encoder> superEncoder() = 0;

  /// Appends `value`, encoded.
  template <EncodableType T>
  void encode(const T& value) {
    if constexpr (CodingPrimitive<T>) {
      encodePrimitive(PrimitiveCRef(&value));
    } else {
      encodeNested([&](Encoder& e) { Encodable<T>::encode(value, e); });
    }
  }
};

/// One value being written as a whole (an interface). A unique object, valid while the encode call
/// that made it runs.
class SingleValueEncodingContainer {
 public:
  virtual ~SingleValueEncodingContainer() = default;
  /// The keys from the root to this value.
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  /// Writes null.
  virtual void encodeNil() = 0;
  /// Writes a standard value.
  virtual void encodePrimitive(PrimitiveCRef value) = 0;
  /// Calls `fn` with the encoder this container writes to.
  virtual void encodeNested(EncodeFn fn) = 0;

  /// Writes `value`, encoded.
  template <EncodableType T>
  void encode(const T& value) {
    if constexpr (CodingPrimitive<T>) {
      encodePrimitive(PrimitiveCRef(&value));
    } else {
      encodeNested([&](Encoder& e) { Encodable<T>::encode(value, e); });
    }
  }
};

template <EncodableType T>
void Encoder::encode(const T& value) {
  if constexpr (CodingPrimitive<T>) {
    singleValueContainer()->encodePrimitive(PrimitiveCRef(&value));
  } else {
    Encodable<T>::encode(value, *this);
  }
}

// ----- Standard encodable types --------------------------------------------

/// Encodes nothing as null, else the T.
template <EncodableType T>
struct Encodable<std::optional<T>> {
  /// Null for nothing, else the value encoded.
  static void encode(const std::optional<T>& v, Encoder& e) {
    if (v) {
      e.encode(*v);
    } else {
      e.singleValueContainer()->encodeNil();
    }
  }
};

/// Encodes a list of T.
template <EncodableType T>
struct Encodable<std::vector<T>> {
  /// Each element encoded, in order.
  static void encode(const std::vector<T>& v, Encoder& e) {
    auto c = e.unkeyedContainer();
    for (const auto& x : v) c->encode(x);
  }
};

/// Encodes an object of T values by their keys.
template <EncodableType T>
struct Encodable<std::map<std::string, T>> {
  /// Each member encoded under its key.
  static void encode(const std::map<std::string, T>& v, Encoder& e) {
    auto c = e.container();
    for (const auto& [k, x] : v) c->encode(x, k);
  }
};

/// Encodes an object of T values by their keys.
template <EncodableType T>
struct Encodable<std::unordered_map<std::string, T>> {
  /// Each member encoded under its key.
  static void encode(const std::unordered_map<std::string, T>& v, Encoder& e) {
    auto c = e.container();
    for (const auto& [k, x] : v) c->encode(x, k);
  }
};

/// Encodes a shared record as the record, or null.
template <EncodableType T>
struct Encodable<std::shared_ptr<T>> {
  /// Null for a null pointer, else the record encoded.
  static void encode(const std::shared_ptr<T>& v, Encoder& e) {
    if (v) {
      e.encode(*v);
    } else {
      e.singleValueContainer()->encodeNil();
    }
  }
};

}  // namespace quarn
