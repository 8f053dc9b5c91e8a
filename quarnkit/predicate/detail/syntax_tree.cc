#include "quarnkit/predicate/detail/syntax_tree.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "quarnkit/predicate/detail/arithmetic.h"
#include "quarnkit/predicate/detail/lexer.h"
#include "quarnkit/predicate/detail/value_compare.h"
#include "quarnkit/predicate/errors.h"

namespace quarn::detail {
namespace {

using Kind = PredicateEvaluationError::Kind;

template <class Nodes>
std::size_t tallest(const Nodes& nodes) {
  std::size_t h = 0;
  for (const auto& n : nodes) h = std::max(h, n->height());
  return h;
}

void formatString(std::string_view s, std::string& out) {
  out += '"';
  for (const char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += fmt::format("\\x{:02x}", static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
  out += '"';
}

// A key-path component as the lexer reads it back: reserved words and
// components that do not start like a name get "#".
void formatComponent(std::string_view c, std::string& out) {
  Keyword unused{};
  if (!c.starts_with('@') &&
      (c.empty() || (c[0] >= '0' && c[0] <= '9') || lookupKeyword(c, unused))) {
    out += '#';
  }
  out += c;
}

}  // namespace

// ----- Literals and names --------------------------------------------------

void ConstantNode::format(std::string& out) const {
  switch (value_.kind()) {
    case Value::Kind::null:
      out += "NULL";
      break;
    case Value::Kind::boolean:
      out += *value_.ifBool() ? "TRUE" : "FALSE";
      break;
    case Value::Kind::integer:
      out += fmt::format("{}", *value_.ifInteger());
      break;
    case Value::Kind::number: {
      std::string text = fmt::format("{}", *value_.ifDouble());
      if (text.find_first_of(".en") == std::string::npos) text += ".0";
      out += text;
      break;
    }
    case Value::Kind::string:
      formatString(*value_.ifString(), out);
      break;
    default:
      out += value_.description();
      break;
  }
}

ListNode::ListNode(std::vector<ExpressionPtr> elements)
    : ExpressionNode(1 + tallest(elements)), elements_(std::move(elements)) {
  Value::Array values;
  values.reserve(elements_.size());
  for (const auto& e : elements_) {
    const Value* v = e->constant();
    if (v == nullptr) return;
    values.push_back(*v);
  }
  constant_ = Value(std::move(values));
}

void ListNode::evaluate(Scope& scope, Operand& out) const {
  if (constant_) {
    out.refer(*constant_);
    return;
  }
  Value::Array values;
  values.reserve(elements_.size());
  for (const auto& e : elements_) {
    Operand v;
    e->evaluate(scope, v);
    values.push_back(v.take());
  }
  out.own(Value(std::move(values)));
}

void ListNode::format(std::string& out) const {
  out += '{';
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (i > 0) out += ", ";
    elements_[i]->format(out);
  }
  out += '}';
}

void VariableNode::evaluate(Scope& scope, Operand& out) const {
  const Value* v = scope.variables ? scope.variables->find(name_) : nullptr;
  if (v == nullptr) {
    throw PredicateEvaluationError(Kind::unknownVariable,
                                   fmt::format("No value for the variable ${}", name_));
  }
  out.refer(*v);
}

void VariableNode::format(std::string& out) const {
  out += '$';
  out += name_;
}

void SelfNode::evaluate(Scope& scope, Operand& out) const {
  if (scope.object != nullptr) {
    out.refer(*scope.object);
  } else if (scope.objectMap != nullptr) {
    out.own(Value(*scope.objectMap));
  }
}

// ----- Key paths and subscripts --------------------------------------------

KeyPathNode::KeyPathNode(ExpressionPtr base, KeyPath path)
    : ExpressionNode(1 + (base ? base->height() : 0)),
      base_(std::move(base)),
      path_(std::move(path)) {}

std::unique_ptr<KeyPathNode> KeyPathNode::extended(std::string_view component) && {
  KeyPath path = std::move(path_);
  path.append(component);
  return std::make_unique<KeyPathNode>(std::move(base_), std::move(path));
}

void KeyPathNode::evaluate(Scope& scope, Operand& out) const {
  Lookup result = Lookup::missing;
  if (!base_) {
    result = scope.objectMap ? lookup(*scope.objectMap, path_, 0, out, scope.lookup)
                             : lookup(*scope.object, path_, 0, out, scope.lookup);
  } else {
    Operand base;
    base_->evaluate(scope, base);
    if (base.owned()) {
      // The result may point into the computed base: keep a copy.
      const Value value = base.take();
      Operand inner;
      result = lookup(value, path_, 0, inner, scope.lookup);
      if (result == Lookup::found) out.own(inner.take());
    } else {
      result = lookup(base.get(), path_, 0, out, scope.lookup);
    }
  }
  finishLookup(result, out, scope.lookup);
}

void KeyPathNode::format(std::string& out) const {
  if (base_) {
    base_->format(out);
    out += '.';
  }
  for (std::size_t i = 0; i < path_.size(); ++i) {
    if (i > 0) out += '.';
    formatComponent(path_[i], out);
  }
}

IndexNode::IndexNode(ExpressionPtr base, Which which, ExpressionPtr index)
    : ExpressionNode(1 + std::max(base->height(), index ? index->height() : 0)),
      base_(std::move(base)),
      which_(which),
      index_(std::move(index)) {}

void IndexNode::evaluate(Scope& scope, Operand& out) const {
  Operand base;
  base_->evaluate(scope, base);
  const Value& v = base.get();
  auto give = [&](const Value& element) {
    if (base.owned()) {
      out.own(element);
    } else {
      out.refer(element);
    }
  };
  if (v.isNull()) {
    out.refer(nullValue());
    return;
  }
  const auto* list = v.ifArray();
  switch (which_) {
    case Which::size:
      if (list) {
        out.own(Value(static_cast<std::int64_t>(list->size())));
      } else if (const auto* object = v.ifObject()) {
        out.own(Value(static_cast<std::int64_t>(object->size())));
      } else {
        throwTypeMismatch("take the SIZE of", v);
      }
      return;
    case Which::first:
    case Which::last:
      if (!list) throwTypeMismatch("take an element of", v);
      if (list->empty()) {
        out.refer(nullValue());
      } else {
        give(which_ == Which::first ? list->front() : list->back());
      }
      return;
    case Which::expression:
      break;
  }
  Operand index;
  index_->evaluate(scope, index);
  const Value& i = index.get();
  if (list) {
    const auto n = numberOf(i);
    const double d = n ? n->asDouble() : 0.0;
    if (!n || i.isBool() || d != std::floor(d)) throwTypeMismatch("index a list with", i);
    if (d < 0 || d >= static_cast<double>(list->size())) {
      throw PredicateEvaluationError(
          Kind::invalidArgument,
          fmt::format("Index {} out of bounds for a list of {}", i.description(), list->size()));
    }
    give((*list)[static_cast<std::size_t>(d)]);
    return;
  }
  const auto* key = i.ifString();
  if (key == nullptr) throwTypeMismatch("subscript", v, i);
  if (const auto* object = v.ifObject()) {
    const Value* found = object->find(*key);
    give(found ? *found : nullValue());
  } else if (const auto* opaque = v.ifOpaque(); opaque && *opaque) {
    auto found = (*opaque)->valueForKey(*key);
    out.own(found ? std::move(*found) : Value());
  } else {
    throwTypeMismatch("subscript", v, i);
  }
}

void IndexNode::format(std::string& out) const {
  base_->format(out);
  out += '[';
  switch (which_) {
    case Which::first:
      out += "FIRST";
      break;
    case Which::last:
      out += "LAST";
      break;
    case Which::size:
      out += "SIZE";
      break;
    case Which::expression:
      index_->format(out);
      break;
  }
  out += ']';
}

// ----- Arithmetic ----------------------------------------------------------

ArithmeticNode::ArithmeticNode(ArithmeticOperator op, ExpressionPtr lhs, ExpressionPtr rhs)
    : ExpressionNode(1 + std::max(lhs->height(), rhs->height())),
      op_(op),
      lhs_(std::move(lhs)),
      rhs_(std::move(rhs)) {}

void ArithmeticNode::evaluate(Scope& scope, Operand& out) const {
  Operand a, b;
  lhs_->evaluate(scope, a);
  rhs_->evaluate(scope, b);
  out.own(arithmetic(op_, a.get(), b.get()));
}

void ArithmeticNode::format(std::string& out) const {
  out += '(';
  lhs_->format(out);
  out += ' ';
  out += arithmeticSymbol(op_);
  out += ' ';
  rhs_->format(out);
  out += ')';
}

NegateNode::NegateNode(ExpressionPtr operand)
    : ExpressionNode(1 + operand->height()), operand_(std::move(operand)) {}

void NegateNode::evaluate(Scope& scope, Operand& out) const {
  Operand a;
  operand_->evaluate(scope, a);
  out.own(negate(a.get()));
}

void NegateNode::format(std::string& out) const {
  out += '-';
  operand_->format(out);
}

TernaryNode::TernaryNode(PredicatePtr condition, ExpressionPtr then, ExpressionPtr otherwise)
    : ExpressionNode(1 + std::max({condition->height(), then->height(), otherwise->height()})),
      condition_(std::move(condition)),
      then_(std::move(then)),
      otherwise_(std::move(otherwise)) {}

void TernaryNode::evaluate(Scope& scope, Operand& out) const {
  (condition_->evaluate(scope) ? then_ : otherwise_)->evaluate(scope, out);
}

void TernaryNode::format(std::string& out) const {
  out += "TERNARY(";
  condition_->format(out);
  out += ", ";
  then_->format(out);
  out += ", ";
  otherwise_->format(out);
  out += ')';
}

// ----- Logical predicates --------------------------------------------------

void ConstantPredicateNode::format(std::string& out) const {
  out += value_ ? "TRUEPREDICATE" : "FALSEPREDICATE";
}

NotNode::NotNode(PredicatePtr operand)
    : PredicateNode(1 + operand->height()), operand_(std::move(operand)) {}

void NotNode::format(std::string& out) const {
  out += "NOT ";
  operand_->format(out);
}

CompoundNode::CompoundNode(bool isAnd, std::vector<PredicatePtr> operands)
    : PredicateNode(1 + tallest(operands)), isAnd_(isAnd), operands_(std::move(operands)) {}

bool CompoundNode::evaluate(Scope& scope) const {
  for (const auto& p : operands_) {
    if (p->evaluate(scope) != isAnd_) return !isAnd_;
  }
  return isAnd_;
}

void CompoundNode::format(std::string& out) const {
  out += '(';
  for (std::size_t i = 0; i < operands_.size(); ++i) {
    if (i > 0) out += isAnd_ ? " AND " : " OR ";
    operands_[i]->format(out);
  }
  out += ')';
}

}  // namespace quarn::detail
