// Evaluation of comparison predicates: the operators, the [c]/[d] options and
// the ANY/ALL/NONE modifiers.
#include <fmt/format.h>

#include <algorithm>
#include <array>
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

[[gnu::always_inline]] inline bool holds(std::partial_ordering o, ComparisonOperator op) {
  switch (op) {
    case ComparisonOperator::equal:
      return std::is_eq(o);
    case ComparisonOperator::notEqual:
      return !std::is_eq(o);
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
  // Work that depends only on a constant side is done once, here.
  if (modifier_ != ComparisonModifier::direct) {
    listKeyPath_ = dynamic_cast<const KeyPathNode*>(lhs_.get());
  }
  if (modifier_ == ComparisonModifier::direct && (options_ & kFolding) == 0 &&
      op_ <= ComparisonOperator::greaterOrEqual) {
    plainConstant_ = rhs_->constant();
  }
  if (options_ & kFolding) {
    left_ = prepare(*lhs_, options_);
    right_ = prepare(*rhs_, options_);
  }
  const Value* right = rhs_->constant();
  const std::string* pattern = right ? right->ifString() : nullptr;
  if (pattern == nullptr) return;
  right_.value = right;
  if (op_ == ComparisonOperator::like) {
    like_ = std::make_unique<LikePattern>(right_.folded ? *right_.folded : *pattern);
  } else if (op_ == ComparisonOperator::matches) {
    right_.folded.reset();  // a pattern is folded for marks only, and matched ignoring case
    try {
      regex_ = std::make_unique<Regex>(
          options_ & kDiacriticInsensitive ? foldString(*pattern, kDiacriticInsensitive) : *pattern,
          (options_ & kCaseInsensitive) != 0);
    } catch (const PredicateEvaluationError& e) {
      regexError_ = e.message();  // reported when evaluated, as for patterns from values
    }
  }
}

ComparisonNode::~ComparisonNode() = default;

ComparisonNode::Prepared ComparisonNode::prepare(const ExpressionNode& side, unsigned options) {
  Prepared prepared;
  prepared.value = side.constant();
  if (prepared.value == nullptr) return prepared;
  if (const auto* text = prepared.value->ifString()) {
    prepared.folded = foldString(*text, options);
  } else if (const auto* list = prepared.value->ifArray()) {
    for (const Value& element : *list) {
      const auto* s = element.ifString();
      prepared.elements.push_back(s ? std::optional(foldString(*s, options)) : std::nullopt);
    }
  }
  return prepared;
}

template <class Element>
bool ComparisonNode::quantified(std::size_t count, Element&& element, const Value& r,
                                Scope& scope) const {
  const bool wanted = modifier_ != ComparisonModifier::all;  // ANY/NONE look for a match
  for (std::size_t i = 0; i < count; ++i) {
    scope.steps.take();
    if (compare(element(i), r, scope) == wanted) return modifier_ == ComparisonModifier::any;
  }
  return modifier_ != ComparisonModifier::any;
}

bool ComparisonNode::test(Scope& scope) const {
  if (plainConstant_ != nullptr) {
    Operand l;
    lhs_->evaluate(scope, l);
    scope.steps.take();  // the constant's own step
    const Value& left = l.get();
    // Integers and booleans, the commonest facts, compared in place.
    if (const auto* a = left.ifInteger()) {
      if (const auto* b = plainConstant_->ifInteger()) return holds(*a <=> *b, op_);
    } else if (const auto* p = left.ifBool()) {
      if (const auto* b = plainConstant_->ifBool()) return holds(*p <=> *b, op_);
    }
    return compare(left, *plainConstant_, scope);
  }
  if (listKeyPath_ != nullptr) {
    // ANY items.price > 20: each element's price, without a list of prices.
    Operand holder;
    if (const Value::Array* list = listKeyPath_->elementList(scope, holder)) {
      Operand r;
      rhs_->evaluate(scope, r);
      const std::string_view key = listKeyPath_->lastKey();
      return quantified(
          list->size(),
          [&](std::size_t i) -> const Value& {
            const auto* object = (*list)[i].ifObject();
            const Value* v = object ? object->find(key) : nullptr;
            return v ? *v : nullValue();
          },
          r.get(), scope);
    }
  }
  Operand l, r;
  lhs_->evaluate(scope, l);
  rhs_->evaluate(scope, r);
  const Value& left = l.get();
  if (modifier_ == ComparisonModifier::direct) return compare(left, r.get(), scope);

  if (left.isNull()) return modifier_ != ComparisonModifier::any;  // no elements
  const auto* list = left.ifArray();
  if (list == nullptr) {
    throw PredicateEvaluationError(
        PredicateEvaluationError::Kind::typeMismatch,
        fmt::format("ANY, ALL and NONE need a list on the left, found {}",
                    Value::kindName(left.kind())));
  }
  return quantified(
      list->size(), [&](std::size_t i) -> const Value& { return (*list)[i]; }, r.get(), scope);
}

std::string_view ComparisonNode::folded(const Value& v, int slot, Scope& scope) const {
  if (&v == right_.value && right_.folded) return *right_.folded;
  if (&v == left_.value && left_.folded) return *left_.folded;
  thread_local std::array<std::string, 2> scratch;
  const std::string& text = *v.ifString();
  scope.steps.take(1 + text.size() / 64);
  return foldText(text, options_, scratch[static_cast<std::size_t>(slot)]);
}

bool ComparisonNode::equal(const Value& a, const Value& b, Scope& scope,
                           const std::string* preparedA) const {
  if ((options_ & kFolding) && a.isString() && b.isString()) {
    const std::string_view x = preparedA ? std::string_view(*preparedA) : folded(a, 0, scope);
    return x == folded(b, 1, scope);
  }
  return valuesEqual(a, b);
}

std::partial_ordering ComparisonNode::order(const Value& a, const Value& b, Scope& scope) const {
  if ((options_ & kFolding) && a.isString() && b.isString()) {
    return folded(a, 0, scope).compare(folded(b, 1, scope)) <=> 0;
  }
  return orderValues(a, b);
}

bool ComparisonNode::contains(const Value& collection, const Value& element, Scope& scope) const {
  if (collection.isNull()) return false;
  if (const auto* list = collection.ifArray()) {
    // The folded strings of a constant list were prepared with it.
    const Prepared* prepared = &collection == right_.value  ? &right_
                               : &collection == left_.value ? &left_
                                                            : nullptr;
    for (std::size_t i = 0; i < list->size(); ++i) {
      scope.steps.take();
      const std::string* foldedElement =
          prepared && i < prepared->elements.size() && prepared->elements[i]
              ? &*prepared->elements[i]
              : nullptr;
      if (equal((*list)[i], element, scope, foldedElement)) return true;
    }
    return false;
  }
  if (const auto* object = collection.ifObject()) {
    return std::any_of(object->begin(), object->end(), [&](const auto& entry) {
      scope.steps.take();
      return equal(entry.second, element, scope);
    });
  }
  if (const auto* text = collection.ifString()) {
    if (element.isNull()) return false;
    if (!element.isString()) throwTypeMismatch("search", collection, element);
    if (options_ & kFolding) {
      return folded(collection, 0, scope).find(folded(element, 1, scope)) != std::string::npos;
    }
    scope.steps.take(1 + text->size() / 64);
    return text->find(*element.ifString()) != std::string::npos;
  }
  throwTypeMismatch("search", collection, element);
}

bool ComparisonNode::stringTest(const Value& l, const Value& r, Scope& scope) const {
  if (l.isNull() || r.isNull()) return false;
  if (!l.isString() || !r.isString()) {
    throwTypeMismatch(fmt::format("apply {} to", operatorText(op_)), l, r);
  }
  if (op_ == ComparisonOperator::matches) {
    // Marks are folded from both sides; case is the regex engine's option.
    thread_local std::string scratch;
    const std::string_view subject = options_ & kDiacriticInsensitive
                                         ? foldText(*l.ifString(), kDiacriticInsensitive, scratch)
                                         : std::string_view(*l.ifString());
    if (&r == right_.value) {
      if (!regex_) {
        throw PredicateEvaluationError(PredicateEvaluationError::Kind::invalidRegularExpression,
                                       regexError_);
      }
      return regex_->matchesWhole(subject, &scope.steps);
    }
    const Regex regex(options_ & kDiacriticInsensitive
                          ? foldString(*r.ifString(), kDiacriticInsensitive)
                          : *r.ifString(),
                      (options_ & kCaseInsensitive) != 0);
    return regex.matchesWhole(subject, &scope.steps);
  }
  const bool folding = (options_ & kFolding) != 0;
  const std::string_view text = folding ? folded(l, 0, scope) : std::string_view(*l.ifString());
  if (op_ == ComparisonOperator::like) {
    if (&r == right_.value) return like_->matches(text, &scope.steps);
    return LikePattern(folding ? folded(r, 1, scope) : std::string_view(*r.ifString()))
        .matches(text, &scope.steps);
  }
  const std::string_view pattern = folding ? folded(r, 1, scope) : std::string_view(*r.ifString());
  scope.steps.take(1 + pattern.size() / 64);
  return op_ == ComparisonOperator::beginsWith ? text.starts_with(pattern)
                                               : text.ends_with(pattern);
}

bool ComparisonNode::compare(const Value& l, const Value& r, Scope& scope) const {
  switch (op_) {
    case ComparisonOperator::equal:
      return equal(l, r, scope);
    case ComparisonOperator::notEqual:
      return !equal(l, r, scope);
    case ComparisonOperator::less:
    case ComparisonOperator::lessOrEqual:
    case ComparisonOperator::greater:
    case ComparisonOperator::greaterOrEqual:
      return holds(order(l, r, scope), op_);
    case ComparisonOperator::between: {
      const auto* bounds = r.ifArray();
      if (bounds == nullptr || bounds->size() != 2) {
        throw PredicateEvaluationError(PredicateEvaluationError::Kind::typeMismatch,
                                       "BETWEEN needs a list of two values on the right");
      }
      return std::is_gteq(order(l, (*bounds)[0], scope)) &&
             std::is_lteq(order(l, (*bounds)[1], scope));
    }
    case ComparisonOperator::in:
      return contains(r, l, scope);
    case ComparisonOperator::contains:
      return contains(l, r, scope);
    case ComparisonOperator::beginsWith:
    case ComparisonOperator::endsWith:
    case ComparisonOperator::like:
    case ComparisonOperator::matches:
      return stringTest(l, r, scope);
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
