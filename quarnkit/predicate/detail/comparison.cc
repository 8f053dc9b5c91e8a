// Evaluation of comparison predicates: the operators, the [c]/[d] options and
// the ANY/ALL/NONE modifiers.
#include <fmt/format.h>

#include <algorithm>
#include <compare>

#include "quarnkit/predicate/detail/syntax_tree.h"
#include "quarnkit/predicate/detail/text_match.h"
#include "quarnkit/predicate/detail/value_compare.h"
#include "quarnkit/predicate/errors.h"

namespace quarn::detail {
namespace {

constexpr unsigned kFolding = kCaseInsensitive | kDiacriticInsensitive;

std::string_view operatorText(ComparisonOperator op) {
  switch (op) {
    case ComparisonOperator::equal:
      return "==";
    case ComparisonOperator::notEqual:
      return "!=";
    case ComparisonOperator::less:
      return "<";
    case ComparisonOperator::lessOrEqual:
      return "<=";
    case ComparisonOperator::greater:
      return ">";
    case ComparisonOperator::greaterOrEqual:
      return ">=";
    case ComparisonOperator::between:
      return "BETWEEN";
    case ComparisonOperator::in:
      return "IN";
    case ComparisonOperator::contains:
      return "CONTAINS";
    case ComparisonOperator::beginsWith:
      return "BEGINSWITH";
    case ComparisonOperator::endsWith:
      return "ENDSWITH";
    case ComparisonOperator::like:
      return "LIKE";
    case ComparisonOperator::matches:
      return "MATCHES";
  }
  return "?";
}

bool holds(std::partial_ordering o, ComparisonOperator op) {
  switch (op) {
    case ComparisonOperator::less:
      return std::is_lt(o);
    case ComparisonOperator::lessOrEqual:
      return std::is_lteq(o);
    case ComparisonOperator::greater:
      return std::is_gt(o);
    case ComparisonOperator::greaterOrEqual:
      return std::is_gteq(o);
    default:
      return false;
  }
}

}  // namespace

ComparisonNode::ComparisonNode(ComparisonModifier modifier, ComparisonOperator op, unsigned options,
                               ExpressionPtr lhs, ExpressionPtr rhs)
    : PredicateNode(1 + std::max(lhs->height(), rhs->height())),
      modifier_(modifier),
      op_(op),
      options_(options),
      lhs_(std::move(lhs)),
      rhs_(std::move(rhs)) {
  // Work that depends only on a constant right side is done once, here.
  const Value* right = rhs_->constant();
  const std::string* text = right ? right->ifString() : nullptr;
  if (text == nullptr) return;
  constantRight_ = right;
  if (op_ == ComparisonOperator::matches) {
    try {
      regex_ = std::make_unique<Regex>(
          options_ & kDiacriticInsensitive ? foldString(*text, kDiacriticInsensitive) : *text,
          (options_ & kCaseInsensitive) != 0);
    } catch (const PredicateEvaluationError& e) {
      regexError_ = e.message();  // reported when evaluated, as for patterns from values
    }
  } else if (options_ & kFolding) {
    foldedRight_ = foldString(*text, options_);
  }
}

ComparisonNode::~ComparisonNode() = default;

bool ComparisonNode::evaluate(Scope& scope) const {
  Operand l, r;
  lhs_->evaluate(scope, l);
  rhs_->evaluate(scope, r);
  const Value& left = l.get();
  if (modifier_ == ComparisonModifier::direct) return compare(left, r.get());

  if (left.isNull()) return modifier_ != ComparisonModifier::any;  // no elements
  const auto* list = left.ifArray();
  if (list == nullptr) {
    throw PredicateEvaluationError(
        PredicateEvaluationError::Kind::typeMismatch,
        fmt::format("ANY, ALL and NONE need a list on the left, found {}",
                    Value::kindName(left.kind())));
  }
  const bool wanted = modifier_ != ComparisonModifier::all;  // ANY/NONE look for a match
  for (const Value& element : *list) {
    if (compare(element, r.get()) == wanted) return modifier_ == ComparisonModifier::any;
  }
  return modifier_ != ComparisonModifier::any;
}

const std::string& ComparisonNode::folded(const Value& v, std::string& scratch) const {
  if (&v == constantRight_ && foldedRight_) return *foldedRight_;
  scratch = foldString(*v.ifString(), options_);
  return scratch;
}

bool ComparisonNode::equal(const Value& a, const Value& b) const {
  if ((options_ & kFolding) && a.isString() && b.isString()) {
    std::string x, y;
    return folded(a, x) == folded(b, y);
  }
  return valuesEqual(a, b);
}

std::partial_ordering ComparisonNode::order(const Value& a, const Value& b) const {
  if ((options_ & kFolding) && a.isString() && b.isString()) {
    std::string x, y;
    return folded(a, x).compare(folded(b, y)) <=> 0;
  }
  return orderValues(a, b);
}

bool ComparisonNode::contains(const Value& collection, const Value& element) const {
  if (collection.isNull()) return false;
  if (const auto* list = collection.ifArray()) {
    return std::any_of(list->begin(), list->end(),
                       [&](const Value& v) { return equal(v, element); });
  }
  if (const auto* object = collection.ifObject()) {
    return std::any_of(object->begin(), object->end(),
                       [&](const auto& entry) { return equal(entry.second, element); });
  }
  if (collection.isString()) {
    if (element.isNull()) return false;
    if (!element.isString()) throwTypeMismatch("search", collection, element);
    if (options_ & kFolding) {
      std::string x, y;
      return folded(collection, x).find(folded(element, y)) != std::string::npos;
    }
    return collection.ifString()->find(*element.ifString()) != std::string::npos;
  }
  throwTypeMismatch("search", collection, element);
}

bool ComparisonNode::stringTest(const Value& l, const Value& r) const {
  if (l.isNull() || r.isNull()) return false;
  if (!l.isString() || !r.isString()) {
    throwTypeMismatch(fmt::format("apply {} to", operatorText(op_)), l, r);
  }
  if (op_ == ComparisonOperator::matches) {
    const std::string subject = options_ & kDiacriticInsensitive
                                    ? foldString(*l.ifString(), kDiacriticInsensitive)
                                    : *l.ifString();
    if (&r == constantRight_) {
      if (!regex_) {
        throw PredicateEvaluationError(PredicateEvaluationError::Kind::invalidRegularExpression,
                                       regexError_);
      }
      return regex_->matchesWhole(subject);
    }
    const Regex regex(options_ & kDiacriticInsensitive
                          ? foldString(*r.ifString(), kDiacriticInsensitive)
                          : *r.ifString(),
                      (options_ & kCaseInsensitive) != 0);
    return regex.matchesWhole(subject);
  }
  std::string x, y;
  const std::string& text = options_ & kFolding ? folded(l, x) : *l.ifString();
  const std::string& pattern = options_ & kFolding ? folded(r, y) : *r.ifString();
  switch (op_) {
    case ComparisonOperator::beginsWith:
      return text.starts_with(pattern);
    case ComparisonOperator::endsWith:
      return text.ends_with(pattern);
    case ComparisonOperator::like:
      return likeMatches(text, pattern);
    default:
      return false;
  }
}

bool ComparisonNode::compare(const Value& l, const Value& r) const {
  switch (op_) {
    case ComparisonOperator::equal:
      return equal(l, r);
    case ComparisonOperator::notEqual:
      return !equal(l, r);
    case ComparisonOperator::less:
    case ComparisonOperator::lessOrEqual:
    case ComparisonOperator::greater:
    case ComparisonOperator::greaterOrEqual:
      return holds(order(l, r), op_);
    case ComparisonOperator::between: {
      const auto* bounds = r.ifArray();
      if (bounds == nullptr || bounds->size() != 2) {
        throw PredicateEvaluationError(PredicateEvaluationError::Kind::typeMismatch,
                                       "BETWEEN needs a list of two values on the right");
      }
      return std::is_gteq(order(l, (*bounds)[0])) && std::is_lteq(order(l, (*bounds)[1]));
    }
    case ComparisonOperator::in:
      return contains(r, l);
    case ComparisonOperator::contains:
      return contains(l, r);
    case ComparisonOperator::beginsWith:
    case ComparisonOperator::endsWith:
    case ComparisonOperator::like:
    case ComparisonOperator::matches:
      return stringTest(l, r);
  }
  return false;
}

void ComparisonNode::format(std::string& out) const {
  switch (modifier_) {
    case ComparisonModifier::direct:
      break;
    case ComparisonModifier::any:
      out += "ANY ";
      break;
    case ComparisonModifier::all:
      out += "ALL ";
      break;
    case ComparisonModifier::none:
      out += "NONE ";
      break;
  }
  lhs_->format(out);
  out += ' ';
  out += operatorText(op_);
  if (options_ != 0) {
    out += '[';
    if (options_ & kCaseInsensitive) out += 'c';
    if (options_ & kDiacriticInsensitive) out += 'd';
    if (options_ & kNormalizedOption) out += 'n';
    if (options_ & kLocaleOption) out += 'l';
    out += ']';
  }
  out += ' ';
  rhs_->format(out);
}

}  // namespace quarn::detail
