#include "quarnkit/predicate/detail/syntax_tree.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "quarnkit/predicate/detail/arithmetic.h"
#include "quarnkit/predicate/detail/cast.h"
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

void ListNode::compute(Scope& scope, Operand& out) const {
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

void VariableNode::compute(Scope& scope, Operand& out) const {
  for (const Binding* b = scope.bindings; b != nullptr; b = b->outer) {
    if (b->name == name_) {
      out.refer(*b->value);
      return;
    }
  }
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

void SelfNode::compute(Scope& scope, Operand& out) const {
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
      path_(std::move(path)) {
  if (path_[0] == "@count") countedSubquery_ = dynamic_cast<const SubqueryNode*>(base_.get());
  plainKey_ = path_.size() == 1 && !path_[0].starts_with('@') && path_[0] != "self";
  runs_ = keyRuns(path_, 0);
  const std::string_view last = lastKey();
  if (path_.size() >= 2 && !last.starts_with('@') && last != "self") {
    listPath_ = KeyPath::parse(path_.joined(0, path_.size() - 1));
  }
}

std::unique_ptr<KeyPathNode> KeyPathNode::extended(std::string_view component) && {
  KeyPath path = std::move(path_);
  path.append(component);
  return std::make_unique<KeyPathNode>(std::move(base_), std::move(path));
}

Lookup KeyPathNode::resolve(Scope& scope, const KeyPath& path, Operand& out) const {
  if (!base_) {
    return scope.objectMap ? lookup(*scope.objectMap, path, 0, out, scope.lookup)
                           : lookup(*scope.object, path, 0, out, scope.lookup);
  }
  Operand base;
  base_->evaluate(scope, base);
  if (!base.owned()) return lookup(base.get(), path, 0, out, scope.lookup);
  // The result may point into the computed base: keep a copy.
  const Value value = base.take();
  Operand inner;
  const Lookup result = lookup(value, path, 0, inner, scope.lookup);
  if (result == Lookup::found) out.own(inner.take());
  return result;
}

void KeyPathNode::compute(Scope& scope, Operand& out) const {
  // A fact read by its key from a dictionary: the look-up below would find
  // the same entry, or nothing, and has nothing else to try.
  if (!base_ && scope.objectMap != nullptr) {
    if (plainKey_) {
      const Value* v = findKey(*scope.objectMap, path_.text());
      out.refer(v != nullptr ? *v : nullValue());
      return;
    }
    // A path from a dictionary of facts ("app.build"): one walk over them.
    finishLookup(lookup(*scope.objectMap, path_, 0, out, scope.lookup, runs_), out, scope.lookup);
    return;
  }
  if (countedSubquery_ != nullptr) {
    out.own(Value(countedSubquery_->count(scope)));
    return;
  }
  finishLookup(resolve(scope, path_, out), out, scope.lookup);
}

const Value::Array* KeyPathNode::elementList(Scope& scope, Operand& holder) const {
  // Any other outcome is left to compute(), which looks the whole path up.
  if (!listPath_ || resolve(scope, *listPath_, holder) != Lookup::found) return nullptr;
  const auto* list = holder.get().ifArray();
  if (list == nullptr) return nullptr;
  for (const Value& element : *list) {
    if (!element.isObject() && !element.isNull()) return nullptr;
  }
  return list;
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

void IndexNode::compute(Scope& scope, Operand& out) const {
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

void ArithmeticNode::compute(Scope& scope, Operand& out) const {
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

void NegateNode::compute(Scope& scope, Operand& out) const {
  Operand a;
  operand_->evaluate(scope, a);
  out.own(negate(a.get()));
}

void NegateNode::format(std::string& out) const {
  out += '-';
  operand_->format(out);
}

// ----- SUBQUERY and CAST ---------------------------------------------------

SubqueryNode::SubqueryNode(ExpressionPtr collection, std::string variable, PredicatePtr predicate)
    : ExpressionNode(1 + std::max(collection->height(), predicate->height())),
      collection_(std::move(collection)),
      variable_(std::move(variable)),
      predicate_(std::move(predicate)) {}

template <class Kept>
void SubqueryNode::select(Scope& scope, Kept&& kept) const {
  Operand collection;
  collection_->evaluate(scope, collection);
  const Value& c = collection.get();
  if (c.isNull()) return;
  const auto* list = c.ifArray();
  if (list == nullptr) throwTypeMismatch("run a SUBQUERY over", c);
  Binding binding{variable_, nullptr, scope.bindings};
  const Binding* outer = scope.bindings;
  scope.bindings = &binding;
  try {
    for (const Value& element : *list) {
      binding.value = &element;
      if (predicate_->evaluate(scope)) kept(element);
    }
  } catch (...) {
    scope.bindings = outer;
    throw;
  }
  scope.bindings = outer;
}

void SubqueryNode::compute(Scope& scope, Operand& out) const {
  Value::Array kept;
  select(scope, [&](const Value& element) { kept.push_back(element); });
  out.own(Value(std::move(kept)));
}

std::int64_t SubqueryNode::count(Scope& scope) const {
  std::int64_t n = 0;
  select(scope, [&](const Value&) { ++n; });
  return n;
}

void SubqueryNode::format(std::string& out) const {
  out += "SUBQUERY(";
  collection_->format(out);
  out += ", $";
  out += variable_;
  out += ", ";
  predicate_->format(out);
  out += ')';
}

CastNode::CastNode(ExpressionPtr value, CastTarget target)
    : ExpressionNode(1 + value->height()), value_(std::move(value)), target_(target) {}

void CastNode::compute(Scope& scope, Operand& out) const {
  Operand v;
  value_->evaluate(scope, v);
  out.own(castValue(v.get(), target_));
}

void CastNode::format(std::string& out) const {
  out += "CAST(";
  value_->format(out);
  out += ", \"";
  out += castClassName(target_);
  out += "\")";
}

TernaryNode::TernaryNode(PredicatePtr condition, ExpressionPtr then, ExpressionPtr otherwise)
    : ExpressionNode(1 + std::max({condition->height(), then->height(), otherwise->height()})),
      condition_(std::move(condition)),
      then_(std::move(then)),
      otherwise_(std::move(otherwise)) {}

void TernaryNode::compute(Scope& scope, Operand& out) const {
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

bool CompoundNode::test(Scope& scope) const {
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
