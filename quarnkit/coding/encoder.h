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

template <class T>
requires requires(const T& v, Encoder& e) { v.encode(e); }
struct Encodable<T> {
  static void encode(const T& v, Encoder& e) { v.encode(e); }
};

template <class T>
concept EncodableType = CodingPrimitive<T> || requires(const T& v, Encoder& e) {
  Encodable<T>::encode(v, e);
};

using EncodeFn = FunctionRef<void(Encoder&)>;

class Encoder {
 public:
  virtual ~Encoder() = default;
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  [[nodiscard]] virtual const CodingUserInfo& userInfo() const = 0;
  /// Opens (or reopens) this encoder's value as an object.
  virtual std::unique_ptr<KeyedEncodingContainer> container() = 0;
  virtual std::unique_ptr<UnkeyedEncodingContainer> unkeyedContainer() = 0;
  virtual std::unique_ptr<SingleValueEncodingContainer> singleValueContainer() = 0;

  template <EncodableType T>
  void encode(const T& value);
};

class KeyedEncodingContainer {
 public:
  virtual ~KeyedEncodingContainer() = default;
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  virtual void encodeNil(CodingKeyRef key) = 0;
  virtual void encodePrimitive(CodingKeyRef key, PrimitiveCRef value) = 0;
  /// Calls `fn` with an encoder whose value becomes the member.
  virtual void encodeNested(CodingKeyRef key, EncodeFn fn) = 0;
  virtual std::unique_ptr<KeyedEncodingContainer> nestedContainer(CodingKeyRef key) = 0;
  virtual std::unique_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer(CodingKeyRef key) = 0;
  virtual std::unique_ptr<Encoder> superEncoder() = 0;
  virtual std::unique_ptr<Encoder> superEncoder(CodingKeyRef key) = 0;

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

class UnkeyedEncodingContainer {
 public:
  virtual ~UnkeyedEncodingContainer() = default;
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  [[nodiscard]] virtual int count() const = 0;
  virtual void encodeNil() = 0;
  virtual void encodePrimitive(PrimitiveCRef value) = 0;
  virtual void encodeNested(EncodeFn fn) = 0;
  virtual std::unique_ptr<KeyedEncodingContainer> nestedContainer() = 0;
  virtual std::unique_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer() = 0;
  virtual std::unique_ptr<Encoder> superEncoder() = 0;

  template <EncodableType T>
  void encode(const T& value) {
    if constexpr (CodingPrimitive<T>) {
      encodePrimitive(PrimitiveCRef(&value));
    } else {
      encodeNested([&](Encoder& e) { Encodable<T>::encode(value, e); });
    }
  }
};

class SingleValueEncodingContainer {
 public:
  virtual ~SingleValueEncodingContainer() = default;
  [[nodiscard]] virtual CodingPath codingPath() const = 0;
  virtual void encodeNil() = 0;
  virtual void encodePrimitive(PrimitiveCRef value) = 0;
  /// Calls `fn` with the encoder this container writes to.
  virtual void encodeNested(EncodeFn fn) = 0;

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

template <EncodableType T>
struct Encodable<std::optional<T>> {
  static void encode(const std::optional<T>& v, Encoder& e) {
    if (v) {
      e.encode(*v);
    } else {
      e.singleValueContainer()->encodeNil();
    }
  }
};

template <EncodableType T>
struct Encodable<std::vector<T>> {
  static void encode(const std::vector<T>& v, Encoder& e) {
    auto c = e.unkeyedContainer();
    for (const auto& x : v) c->encode(x);
  }
};

template <EncodableType T>
struct Encodable<std::map<std::string, T>> {
  static void encode(const std::map<std::string, T>& v, Encoder& e) {
    auto c = e.container();
    for (const auto& [k, x] : v) c->encode(x, k);
  }
};

template <EncodableType T>
struct Encodable<std::unordered_map<std::string, T>> {
  static void encode(const std::unordered_map<std::string, T>& v, Encoder& e) {
    auto c = e.container();
    for (const auto& [k, x] : v) c->encode(x, k);
  }
};

template <EncodableType T>
struct Encodable<std::shared_ptr<T>> {
  static void encode(const std::shared_ptr<T>& v, Encoder& e) {
    if (v) {
      e.encode(*v);
    } else {
      e.singleValueContainer()->encodeNil();
    }
  }
};

}  // namespace quarn
