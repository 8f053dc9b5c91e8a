#include "quarnkit/predicate/predicate.h"

#include "quarnkit/predicate/detail/parser.h"
#include "quarnkit/predicate/detail/syntax_tree.h"

namespace quarn {
namespace {

detail::Scope scopeFor(const Value* object, const ValueObject* objectMap,
                       const ValueDictionary& variables, const EvaluationContext& context) {
  detail::Scope scope;
  scope.object = object;
  scope.objectMap = objectMap;
  scope.variables = &variables;
  scope.context = &context;
  return scope;
}

}  // namespace

Predicate Predicate::parse(std::string_view text) {
  return Predicate(std::shared_ptr<const detail::PredicateNode>(detail::parsePredicate(text)));
}

bool Predicate::evaluate(const Value& object, const ValueDictionary& variables,
                         const EvaluationContext& context) const {
  detail::Scope scope = scopeFor(&object, nullptr, variables, context);
  return root_->evaluate(scope);
}

bool Predicate::evaluate(const ValueDictionary& object, const ValueDictionary& variables,
                         const EvaluationContext& context) const {
  detail::Scope scope = scopeFor(nullptr, &object, variables, context);
  return root_->evaluate(scope);
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
  detail::Scope scope = scopeFor(&object, nullptr, variables, context);
  detail::Operand out;
  root_->evaluate(scope, out);
  return out.take();
}

Value Expression::evaluate(const ValueDictionary& object, const ValueDictionary& variables,
                           const EvaluationContext& context) const {
  detail::Scope scope = scopeFor(nullptr, &object, variables, context);
  detail::Operand out;
  root_->evaluate(scope, out);
  return out.take();
}

std::string Expression::format() const {
  std::string out;
  root_->format(out);
  return out;
}

}  // namespace quarn
