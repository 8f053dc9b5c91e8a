// Operand: the value of a sub-expression while a predicate or expression is
// evaluated. It refers to a value that outlives the evaluation (in the
// evaluated object, the variables or the syntax tree) or holds one computed
// for it, so that reading facts copies nothing.
#pragma once

#include <optional>
#include <utility>

#include "quarnkit/core/value.h"

namespace quarn::detail {

/// The null value, for references to nothing. A constant-initialised object,
/// so that taking its address costs no guard check on the hot path.
extern const Value kNullValue;
inline const Value& nullValue() { return kNullValue; }

class Operand {
 public:
  Operand() = default;
  Operand(const Operand&) = delete;
  Operand& operator=(const Operand&) = delete;

  [[nodiscard]] const Value& get() const { return owned_ ? *value_ : *ref_; }
  [[nodiscard]] bool owned() const { return owned_; }
  void refer(const Value& value) {
    ref_ = &value;
    owned_ = false;
  }
  void own(Value value) {
    value_.emplace(std::move(value));
    owned_ = true;
  }
  /// The value, moved out when held.
  [[nodiscard]] Value take() {
    if (owned_) return std::move(*value_);
    return *ref_;
  }

 private:
  const Value* ref_ = &kNullValue;
  // Engaged only once a value was held: most operands only refer, and then
  // neither make nor destroy a Value.
  std::optional<Value> value_;
  bool owned_ = false;
};

}  // namespace quarn::detail
