// The syntax tree of predicates and expressions. Nodes are immutable once
// built, so one tree is evaluated from any number of threads at once; each
// evaluation carries its own Scope. Every node evaluated takes a step from the
// scope's counter, so that no text can make an evaluation run unbounded.
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
#include "quarnkit/predicate/detail/step_counter.h"
#include "quarnkit/predicate/evaluation_context.h"
#include "quarnkit/predicate/key_path.h"

namespace quarn::detail {

class LikePattern;
class Regex;
struct FunctionSpec;

/// A $variable that SUBQUERY binds to each element in turn; bindings nest and
/// hide the variables of the same name outside them.
struct Binding {
  std::string_view name;
  const Value* value = nullptr;
  const Binding* outer = nullptr;
};

/// What one evaluation reads: the evaluated object (as a Value or as a
/// dictionary), the $variables, the bindings of SUBQUERY and the context, and
/// the steps it may still take.
struct Scope {
  explicit Scope(const EvaluationContext& evaluationContext)
      : context(&evaluationContext), steps(evaluationContext.budget) {
    lookup.steps = &steps;
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

  const Value* object = nullptr;
  const ValueObject* objectMap = nullptr;
  const ValueDictionary* variables = nullptr;
  const EvaluationContext* context = nullptr;
  const Binding* bindings = nullptr;
  StepCounter steps;
  LookupState lookup;
};

class ExpressionNode {
 public:
  explicit ExpressionNode(std::size_t height) : height_(height) {}
  virtual ~ExpressionNode() = default;
  ExpressionNode(const ExpressionNode&) = delete;
  ExpressionNode& operator=(const ExpressionNode&) = delete;

  /// Sets `out` to the value of the expression.
  void evaluate(Scope& scope, Operand& out) const {
    scope.steps.take();
    compute(scope, out);
  }
  /// Appends the canonical text, which parses back to an equal tree.
  virtual void format(std::string& out) const = 0;
  /// The value, when it is known without evaluating (literals, constant lists).
  [[nodiscard]] virtual const Value* constant() const { return nullptr; }
  /// Longest chain of nodes from here to a leaf, this one included.
  [[nodiscard]] std::size_t height() const { return height_; }

 private:
  virtual void compute(Scope& scope, Operand& out) const = 0;

  std::size_t height_;
};

class PredicateNode {
 public:
  explicit PredicateNode(std::size_t height) : height_(height) {}
  virtual ~PredicateNode() = default;
  PredicateNode(const PredicateNode&) = delete;
  PredicateNode& operator=(const PredicateNode&) = delete;

  /// Whether the predicate holds.
  [[nodiscard]] bool evaluate(Scope& scope) const {
    scope.steps.take();
    return test(scope);
  }
  virtual void format(std::string& out) const = 0;
  [[nodiscard]] std::size_t height() const { return height_; }

 private:
  [[nodiscard]] virtual bool test(Scope& scope) const = 0;

  std::size_t height_;
};

using ExpressionPtr = std::unique_ptr<const ExpressionNode>;
using PredicatePtr = std::unique_ptr<const PredicateNode>;

// ----- Expressions ---------------------------------------------------------

class ConstantNode final : public ExpressionNode {
 public:
  explicit ConstantNode(Value value) : ExpressionNode(1), value_(std::move(value)) {}
  void compute(Scope&, Operand& out) const override { out.refer(value_); }
  void format(std::string& out) const override;
  [[nodiscard]] const Value* constant() const override { return &value_; }

 private:
  Value value_;
};

/// A list literal: {a, b, ...}. Precomputed when every element is constant.
class ListNode final : public ExpressionNode {
 public:
  explicit ListNode(std::vector<ExpressionPtr> elements);
  void compute(Scope& scope, Operand& out) const override;
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
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  std::string name_;
};

/// SELF: the evaluated object.
class SelfNode final : public ExpressionNode {
 public:
  SelfNode() : ExpressionNode(1) {}
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override { out += "SELF"; }
};

class SubqueryNode;

/// A key path, in the evaluated object (no base) or in the value of `base`.
class KeyPathNode final : public ExpressionNode {
 public:
  KeyPathNode(ExpressionPtr base, KeyPath path);
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;
  [[nodiscard]] const KeyPath& path() const { return path_; }
  [[nodiscard]] const ExpressionNode* base() const { return base_.get(); }
  /// This node with `component` added at the end of its path.
  [[nodiscard]] std::unique_ptr<KeyPathNode> extended(std::string_view component) &&;

  /// When the path ends with a plain key read from each element of a list
  /// (items.price) and that list holds only objects and nulls: the list, kept
  /// alive by `holder`, so that a caller reads each element's value for
  /// lastKey() without building the list of values (which is what this node
  /// evaluates to). Otherwise nullptr.
  [[nodiscard]] const Value::Array* elementList(Scope& scope, Operand& holder) const;
  [[nodiscard]] std::string_view lastKey() const { return path_[path_.size() - 1]; }

 private:
  Lookup resolve(Scope& scope, const KeyPath& path, Operand& out) const;

  ExpressionPtr base_;
  KeyPath path_;
  bool plainKey_ = false;                          // one component, neither an operator nor "self"
  KeyRuns runs_;                                   // of path_, for a look-up in a dictionary
  std::optional<KeyPath> listPath_;                // the path without its last, plain key
  const SubqueryNode* countedSubquery_ = nullptr;  // SUBQUERY(...).@count
};

/// base[index], base[FIRST], base[LAST], base[SIZE].
class IndexNode final : public ExpressionNode {
 public:
  enum class Which : std::uint8_t { expression, first, last, size };
  IndexNode(ExpressionPtr base, Which which, ExpressionPtr index);
  void compute(Scope& scope, Operand& out) const override;
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
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  ArithmeticOperator op_;
  ExpressionPtr lhs_, rhs_;
};

class NegateNode final : public ExpressionNode {
 public:
  explicit NegateNode(ExpressionPtr operand);
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  ExpressionPtr operand_;
};

/// A function of the expression language: sum:(list), now(), modulus:by:(a, b).
class FunctionNode final : public ExpressionNode {
 public:
  FunctionNode(const FunctionSpec& function, std::vector<ExpressionPtr> arguments);
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  const FunctionSpec& function_;
  std::vector<ExpressionPtr> arguments_;
};

/// SUBQUERY(collection, $x, predicate): the elements of the collection (a
/// list; null has none) for which the predicate holds with $x bound to them.
class SubqueryNode final : public ExpressionNode {
 public:
  SubqueryNode(ExpressionPtr collection, std::string variable, PredicatePtr predicate);
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;
  /// How many elements the subquery keeps, without copying them.
  [[nodiscard]] std::int64_t count(Scope& scope) const;

 private:
  template <class Kept>
  void select(Scope& scope, Kept&& kept) const;

  ExpressionPtr collection_;
  std::string variable_;
  PredicatePtr predicate_;
};

/// CAST(value, 'NSDate' | 'NSNumber' | 'NSString'): see cast.h.
enum class CastTarget : std::uint8_t { date, number, string };

class CastNode final : public ExpressionNode {
 public:
  CastNode(ExpressionPtr value, CastTarget target);
  void compute(Scope& scope, Operand& out) const override;
  void format(std::string& out) const override;

 private:
  ExpressionPtr value_;
  CastTarget target_;
};

/// TERNARY(predicate, then, else).
class TernaryNode final : public ExpressionNode {
 public:
  TernaryNode(PredicatePtr condition, ExpressionPtr then, ExpressionPtr otherwise);
  void compute(Scope& scope, Operand& out) const override;
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
  [[nodiscard]] bool test(Scope&) const override { return value_; }
  void format(std::string& out) const override;

 private:
  bool value_;
};

class NotNode final : public PredicateNode {
 public:
  explicit NotNode(PredicatePtr operand);
  [[nodiscard]] bool test(Scope& scope) const override { return !operand_->evaluate(scope); }
  void format(std::string& out) const override;

 private:
  PredicatePtr operand_;
};

/// a AND b AND ..., or a OR b OR ...; evaluated left to right, stopping as
/// soon as the result is known.
class CompoundNode final : public PredicateNode {
 public:
  CompoundNode(bool isAnd, std::vector<PredicatePtr> operands);
  [[nodiscard]] bool test(Scope& scope) const override;
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
  [[nodiscard]] bool test(Scope& scope) const override;
  void format(std::string& out) const override;

 private:
  // A constant side, prepared when the predicate is parsed: strings folded
  // for the options (the text itself, or each string of a list).
  struct Prepared {
    const Value* value = nullptr;
    std::optional<std::string> folded;
    std::vector<std::optional<std::string>> elements;
  };
  static Prepared prepare(const ExpressionNode& side, unsigned options);

  template <class Element>
  [[nodiscard]] bool quantified(std::size_t count, Element&& element, const Value& r,
                                Scope& scope) const;
  [[nodiscard]] bool compare(const Value& l, const Value& r, Scope& scope) const;
  [[nodiscard]] bool equal(const Value& a, const Value& b, Scope& scope,
                           const std::string* preparedA = nullptr) const;
  [[nodiscard]] std::partial_ordering order(const Value& a, const Value& b, Scope& scope) const;
  [[nodiscard]] bool contains(const Value& collection, const Value& element, Scope& scope) const;
  [[nodiscard]] bool stringTest(const Value& l, const Value& r, Scope& scope) const;
  /// `v` (a string) folded for the options: prepared for a constant side,
  /// else folded into buffer `slot` of this thread.
  [[nodiscard]] std::string_view folded(const Value& v, int slot, Scope& scope) const;

  ComparisonModifier modifier_;
  ComparisonOperator op_;
  unsigned options_;
  ExpressionPtr lhs_, rhs_;
  Prepared left_, right_;
  const KeyPathNode* listKeyPath_ = nullptr;  // the left side of ANY/ALL/NONE, if a key path
  // An equality or order test of a value against a constant, without options:
  // the constant, read without evaluating its node.
  const Value* plainConstant_ = nullptr;
  std::unique_ptr<const LikePattern> like_;
  std::unique_ptr<const Regex> regex_;
  std::string regexError_;
};

}  // namespace quarn::detail
