// GenericEntity: the entity of every item type the tool has no model for.
// It holds the JSON value it was decoded from, so any template or result
// previews without code; two entities are equal when their JSON is equal.
//
//   registry->registerEntityClass("Product", CompositeListEntityClass::of<GenericEntity>());
//
// Its "class" member, when it has one, names the host model it stands for.
#pragma once

#include <optional>
#include <string>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/core/value.h"

namespace quarn::tool {

class GenericEntity {
 public:
  GenericEntity() = default;
  explicit GenericEntity(Value value) : value_(std::move(value)) {}

  [[nodiscard]] const Value& value() const { return value_; }
  /// The "class" member when the entity is an object that has a string one.
  [[nodiscard]] std::optional<std::string> className() const;

  static GenericEntity decode(Decoder& d) { return GenericEntity(d.decode<Value>()); }
  void encode(Encoder& e) const { e.encode(value_); }

  friend bool operator==(const GenericEntity&, const GenericEntity&) = default;

 private:
  Value value_;
};

}  // namespace quarn::tool

template <>
struct std::hash<quarn::tool::GenericEntity> {
  std::size_t operator()(const quarn::tool::GenericEntity& e) const noexcept {
    return e.value().hash();
  }
};
