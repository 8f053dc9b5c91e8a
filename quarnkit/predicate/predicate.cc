#include "quarnkit/predicate/predicate.h"

#include "quarnkit/predicate/detail/parser.h"
#include "quarnkit/predicate/detail/syntax_tree.h"

namespace quarn {
namespace {

// Runs `f` with the scope of one evaluation of `object` (a Value or a
// dictionary).
template <class Object, class F>
auto withScope(const Object& object, const ValueDictionary& variables,
               const EvaluationContext& context, F&& f) {
  detail::Scope scope(context);
  if constexpr (std::is_same_v<Object, Value>) {
    scope.object = &object;
  } else {
    scope.objectMap = &object;
  }
  scope.variables = &variables;
  return f(scope);
}

// The tree is held for the evaluation: a host object asked for a key may
// drop the last copy of the predicate meanwhile.
template <class Object>
Value evaluateExpression(std::shared_ptr<const detail::ExpressionNode> root, const Object& object,
                         const ValueDictionary& variables, const EvaluationContext& context) {
  return withScope(object, variables, context, [&](detail::Scope& scope) {
    detail::Operand out;
    root->evaluate(scope, out);
    return out.take();
  });
}

template <class Object>
bool evaluatePredicate(std::shared_ptr<const detail::PredicateNode> root, const Object& object,
                       const ValueDictionary& variables, const EvaluationContext& context) {
  return withScope(object, variables, context,
                   [&](detail::Scope& scope) { return root->evaluate(scope); });
}

}  // namespace

Predicate Predicate::parse(std::string_view text) {
  return Predicate(std::shared_ptr<const detail::PredicateNode>(detail::parsePredicate(text)));
}

bool Predicate::evaluate(const Value& object, const ValueDictionary& variables,
                         const EvaluationContext& context) const {
  return evaluatePredicate(root_, object, variables, context);
}

bool Predicate::evaluate(const ValueDictionary& object, const ValueDictionary& variables,
                         const EvaluationContext& context) const {
  return evaluatePredicate(root_, object, variables, context);
}

std::string Predicate::format() const {
  std::string out;
  root_->format(out);
  return out;
}

Expression Expression::parse(std::string_view text) {
  return Expression(std::shared_ptr<const detail::ExpressionNode>(detail::parseExpression(text)));
}

Value Expression::evaluate(const Value& object, const ValueDictionary& variables,
                           const EvaluationContext& context) const {
  return evaluateExpression(root_, object, variables, context);
}

Value Expression::evaluate(const ValueDictionary& object, const ValueDictionary& variables,
                           const EvaluationContext& context) const {
  return evaluateExpression(root_, object, variables, context);
}

std::string Expression::format() const {
  std::string out;
  root_->format(out);
  return out;
}

}  // namespace quarn
