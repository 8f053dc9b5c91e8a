/// @file
/// Predicate and Expression: the predicate format-string language in which
/// templates say when an element is shown, and the expression language in which
/// they compute values. Texts come from servers: each is parsed once into a
/// syntax tree and then evaluated, from any thread, against loosely typed
/// values: the evaluated object (whose keys bare names read) and $variables.
///
/// ```
///   auto p = quarn::Predicate::parse("is_pad == YES AND app.build >= $min_build");
///   bool shown = p.evaluate(facts, vars, {.now = now});
///
///   auto e = quarn::Expression::parse("price * quantity + sqrt:(16)");
///   quarn::Value total = e.evaluate(values);
/// ```
///
/// The language:
/// - literals: strings in single or double quotes (escapes `\a \b \f \n \r \t \v`, a
///   backslash or either quote after a backslash, `\xHH`, `\uHHHH` and octal `\ooo`), integers
///   (decimal, 0x, 0o, 0b), decimals with exponents or a leading point (.5; too large for an
///   integer: a double), TRUE/YES, FALSE/NO, NULL/NIL, SELF (the evaluated
///   object), lists {a, b}, $variables;
/// - key paths a.b.c (in the evaluated object, or after $var, SELF, a list, a
///   subscript or a SUBQUERY), with the collection operators and look-up rules
///   of key_path.h ("self" names the value itself: nums.@sum.self), and
///   subscripts [n], [FIRST], [LAST], [SIZE], ['key']; reserved words are used
///   as keys by writing `#word` (`#size`);
/// - comparisons = == != <> < <= =< > >= => BETWEEN {low, high}, IN, CONTAINS,
///   BEGINSWITH, ENDSWITH, LIKE (* and ?), MATCHES (a whole-string ICU regular
///   expression), with the options [c] (case), [d] (diacritics), [cd]; [n] and
///   [l] are accepted and change nothing; before a comparison ANY, SOME, ALL,
///   NONE apply it to each element of the list on the left;
/// - AND/&&, OR/||, NOT/!, parentheses, TRUEPREDICATE, FALSEPREDICATE;
/// - arithmetic + - * / ** and unary minus; the functions listed in
///   detail/functions.h, written sum:({1, 2}) or sum({1, 2}), now(), random();
///   TERNARY(predicate, then, else);
/// - SUBQUERY(collection, $x, predicate): the elements of a list for which the
///   predicate holds with $x bound to each (`SUBQUERY(items, $i, $i.price > 20)`
///   `.@count > 0`); CAST(value, 'NSDate' | 'NSNumber' | 'NSString'): a number
///   as seconds since 2001-01-01T00:00:00Z, a string as a number, a value as
///   its text (detail/cast.h).
/// Not supported (each a parse error saying so): format arguments ("%@", "%K",
/// "%d", ...), FUNCTION, FETCH, ANYKEY, assignments ($x := ...); % is not an
/// operator (modulus:by: is).
///
/// Values compare as detail/value_compare.h says: numbers (integers, doubles and
/// booleans, TRUE being 1) exactly across kinds; strings by code point; dates by
/// time; = and != accept any two values (different kinds are unequal). Ordering
/// with a missing value (null) is false, but for null against null, which is
/// equal (so an element whose fact is absent fails "fact > 5" and "fact < 5"
/// alike); ordering non-null values of different kinds is an evaluation error.
/// String operators are false when either side is null and an error for other
/// non-strings. IN looks in a list, in an object's values or, for strings, for
/// a substring; CONTAINS is IN reversed. A missing key gives null; an unknown
/// $variable is an error. Bounds on nesting, key paths, regular expressions and
/// the work of one evaluation: limits.h; a budget shared by many evaluations:
/// evaluation_budget.h.
///
/// Predicate and Expression are values: cheap to copy, the tree shared and
/// immutable. Host objects asked for keys (OpaqueValue) and the context's
/// random source are the host's code, called during an evaluation: they may
/// evaluate this or other predicates, and drop the last copy of the one being
/// evaluated (the evaluation holds its tree); an exception they throw
/// propagates unchanged and leaves the predicate as it was.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "quarnkit/core/value.h"
#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/evaluation_context.h"

namespace quarn {

namespace detail {
class PredicateNode;
class ExpressionNode;
}  // namespace detail

/// A parsed predicate. Cheap to copy (the tree is shared and immutable).
class Predicate {
 public:
  /// Parses `text`; throws PredicateParseError.
  static Predicate parse(std::string_view text);

  /// Whether `object` (and `variables`) satisfy the predicate. Throws
  /// PredicateEvaluationError; a host object's exception propagates.
  [[nodiscard]] bool evaluate(const Value& object, const ValueDictionary& variables = {},
                              const EvaluationContext& context = {}) const;
  /// The same, with a dictionary as the evaluated object (nothing is copied).
  [[nodiscard]] bool evaluate(const ValueDictionary& object, const ValueDictionary& variables = {},
                              const EvaluationContext& context = {}) const;

  /// The canonical text, which parses back to the same predicate.
  [[nodiscard]] std::string format() const;

 private:
  explicit Predicate(std::shared_ptr<const detail::PredicateNode> root) : root_(std::move(root)) {}
  std::shared_ptr<const detail::PredicateNode> root_;
};

/// A parsed expression. Cheap to copy.
class Expression {
 public:
  /// Parses `text`; throws PredicateParseError.
  static Expression parse(std::string_view text);

  /// The value of the expression. Throws PredicateEvaluationError; a host
  /// object's exception propagates.
  [[nodiscard]] Value evaluate(const Value& object, const ValueDictionary& variables = {},
                               const EvaluationContext& context = {}) const;
  /// The same, with a dictionary as the evaluated object (nothing is copied).
  [[nodiscard]] Value evaluate(const ValueDictionary& object, const ValueDictionary& variables = {},
                               const EvaluationContext& context = {}) const;

  /// The canonical text, which parses back to the same expression.
  [[nodiscard]] std::string format() const;

 private:
  explicit Expression(std::shared_ptr<const detail::ExpressionNode> root)
      : root_(std::move(root)) {}
  std::shared_ptr<const detail::ExpressionNode> root_;
};

}  // namespace quarn
