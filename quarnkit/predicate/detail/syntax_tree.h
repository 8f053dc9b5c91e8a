// The syntax tree of predicates and expressions. Nodes are immutable once
// built, so one tree is evaluated from any number of threads at once; each
// evaluation carries its own Scope.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/value.h"
#include "quarnkit/predicate/detail/key_path_lookup.h"
#include "quarnkit/predicate/detail/operand.h"
#include "quarnkit/predicate/evaluation_context.h"
#include "quarnkit/predicate/key_path.h"

namespace quarn::detail {

class Regex;
struct FunctionSpec;

/// What one evaluation reads: the evaluated object (as a Value or as a
/// dictionary), the $variables and the context.
struct Scope {
  const Value* object = nullptr;
  const ValueObject* objectMap = nullptr;
  const ValueDictionary* variables = nullptr;
  const EvaluationContext* context = nullptr;
  LookupState lookup;
};

class ExpressionNode {
 public:
  explicit ExpressionNode(std::size_t height) : height_(height) {}
  virtual ~ExpressionNode() = default;
  ExpressionNode(const ExpressionNode&) = delete;
  ExpressionNode& operator=(const ExpressionNode&) = delete;

  virtual void evaluate(Scope& scope, Operand& out) const = 0;
  /// Appends the canonical text, which parses back to an equal tree.
  virtual void format(std::string& out) const = 0;
  /// The value, when it is known without evaluating (literals, constant lists).
  [[nodiscard]] virtual const Value* constant() const { return nullptr; }
  /// Longest chain of nodes from here to a leaf, this one included.
  [[nodiscard]] std::size_t height() const { return height_; }

 private:
  std::size_t height_;
};

class PredicateNode {
 public:
  explicit PredicateNode(std::size_t height) : height_(height) {}
  virtual ~PredicateNode() = default;
  PredicateNode(const PredicateNode&) = delete;
  PredicateNode& operator=(const PredicateNode&) = delete;

  [[nodiscard]] virtual bool evaluate(Scope& scope) const = 0;
  virtual void format(std::string& out) const = 0;
  [[nodiscard]] std::size_t height() const { return height_; }

 private:
  std::size_t height_;
};

using ExpressionPtr = std::unique_ptr<const ExpressionNode>;
using PredicatePtr = std::unique_ptr<const PredicateNode>;

// ----- Expressions ---------------------------------------------------------

class ConstantNode final : public ExpressionNode {
 public:
  explicit ConstantNode(Value value) : ExpressionNode(1), value_(std::move(value)) {}
  void evaluate(Scope&, Operand& out) const override { out.refer(value_); }
  void format(std::string& out) const override;
  [[nodiscard]] const Value* constant() const override { return &value_; }

 private:
  Value value_;
};

/// A list literal: {a, b, ...}. Precomputed when every element is constant.
class ListNode final : public ExpressionNode {
 public:
  explicit ListNode(std::vector<ExpressionPtr> elements);
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;
  [[nodiscard]] const Value* constant() const override { return constant_ ? &*constant_ : nullptr; }

 private:
  std::vector<ExpressionPtr> elements_;
  std::optional<Value> constant_;
};

/// $name.
class VariableNode final : public ExpressionNode {
 public:
  explicit VariableNode(std::string name) : ExpressionNode(1), name_(std::move(name)) {}
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  std::string name_;
};

/// SELF: the evaluated object.
class SelfNode final : public ExpressionNode {
 public:
  SelfNode() : ExpressionNode(1) {}
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override { out += "SELF"; }
};

/// A key path, in the evaluated object (no base) or in the value of `base`.
class KeyPathNode final : public ExpressionNode {
 public:
  KeyPathNode(ExpressionPtr base, KeyPath path);
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;
  [[nodiscard]] const KeyPath& path() const { return path_; }
  [[nodiscard]] const ExpressionNode* base() const { return base_.get(); }
  /// This node with `component` added at the end of its path.
  [[nodiscard]] std::unique_ptr<KeyPathNode> extended(std::string_view component) &&;

 private:
  ExpressionPtr base_;
  KeyPath path_;
};

/// base[index], base[FIRST], base[LAST], base[SIZE].
class IndexNode final : public ExpressionNode {
 public:
  enum class Which : std::uint8_t { expression, first, last, size };
  IndexNode(ExpressionPtr base, Which which, ExpressionPtr index);
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  ExpressionPtr base_;
  Which which_;
  ExpressionPtr index_;
};

enum class ArithmeticOperator : std::uint8_t { add, subtract, multiply, divide, power };

class ArithmeticNode final : public ExpressionNode {
 public:
  ArithmeticNode(ArithmeticOperator op, ExpressionPtr lhs, ExpressionPtr rhs);
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  ArithmeticOperator op_;
  ExpressionPtr lhs_, rhs_;
};

class NegateNode final : public ExpressionNode {
 public:
  explicit NegateNode(ExpressionPtr operand);
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  ExpressionPtr operand_;
};

/// A function of the expression language: sum:(list), now(), modulus:by:(a, b).
class FunctionNode final : public ExpressionNode {
 public:
  FunctionNode(const FunctionSpec& function, std::vector<ExpressionPtr> arguments);
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  const FunctionSpec& function_;
  std::vector<ExpressionPtr> arguments_;
};

/// TERNARY(predicate, then, else).
class TernaryNode final : public ExpressionNode {
 public:
  TernaryNode(PredicatePtr condition, ExpressionPtr then, ExpressionPtr otherwise);
  void evaluate(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  PredicatePtr condition_;
  ExpressionPtr then_, otherwise_;
};

// ----- Predicates ----------------------------------------------------------

/// TRUEPREDICATE, FALSEPREDICATE.
class ConstantPredicateNode final : public PredicateNode {
 public:
  explicit ConstantPredicateNode(bool value) : PredicateNode(1), value_(value) {}
  [[nodiscard]] bool evaluate(Scope&) const override { return value_; }
  void format(std::string& out) const override;

 private:
  bool value_;
};

class NotNode final : public PredicateNode {
 public:
  explicit NotNode(PredicatePtr operand);
  [[nodiscard]] bool evaluate(Scope& scope) const override { return !operand_->evaluate(scope); }
  void format(std::string& out) const override;

 private:
  PredicatePtr operand_;
};

/// a AND b AND ..., or a OR b OR ...; evaluated left to right, stopping as
/// soon as the result is known.
class CompoundNode final : public PredicateNode {
 public:
  CompoundNode(bool isAnd, std::vector<PredicatePtr> operands);
  [[nodiscard]] bool evaluate(Scope& scope) const override;
  void format(std::string& out) const override;

 private:
  bool isAnd_;
  std::vector<PredicatePtr> operands_;
};

enum class ComparisonOperator : std::uint8_t {
  equal,
  notEqual,
  less,
  lessOrEqual,
  greater,
  greaterOrEqual,
  between,
  in,
  contains,
  beginsWith,
  endsWith,
  like,
  matches,
};

/// ANY, SOME (= ANY), ALL, NONE before a comparison: the left side is a list
/// and the comparison applies to its elements.
enum class ComparisonModifier : std::uint8_t { direct, any, all, none };

class ComparisonNode final : public PredicateNode {
 public:
  ComparisonNode(ComparisonModifier modifier, ComparisonOperator op, unsigned options,
                 ExpressionPtr lhs, ExpressionPtr rhs);
  ~ComparisonNode() override;
  [[nodiscard]] bool evaluate(Scope& scope) const override;
  void format(std::string& out) const override;

 private:
  [[nodiscard]] bool compare(const Value& l, const Value& r) const;
  [[nodiscard]] bool equal(const Value& a, const Value& b) const;
  [[nodiscard]] std::partial_ordering order(const Value& a, const Value& b) const;
  [[nodiscard]] bool contains(const Value& collection, const Value& element) const;
  [[nodiscard]] bool stringTest(const Value& l, const Value& r) const;
  /// `v` folded for the options: the prepared text for the constant right side.
  [[nodiscard]] const std::string& folded(const Value& v, std::string& scratch) const;

  ComparisonModifier modifier_;
  ComparisonOperator op_;
  unsigned options_;
  ExpressionPtr lhs_, rhs_;
  // Prepared from a constant string on the right.
  const Value* constantRight_ = nullptr;
  std::optional<std::string> foldedRight_;
  std::unique_ptr<const Regex> regex_;
  std::string regexError_;
};

}  // namespace quarn::detail
