/// @file
/// Element visibility: whether an element (a template item, a text row) is
/// shown now, to this user, on this device, and when it is not, which rule
/// hides it. The element filter keeps exactly the elements this check shows;
/// tools that explain a template use the reason.
///
/// ```
///   const CompositeListElementVisibilityCheck check(std::nullopt, &environment);
///   CompositeListElementVisibility v = check.visibility(elementFields(item));
///   if (!v.isShown()) explain(v.reason, v.message);
/// ```
///
/// The rules, checked in this order; the first that applies decides:
/// - hiddenClass: its visibility is "hidden";
/// - premiumClass: the premium flag is true and its visibility is "free", or
///   the flag is false and its visibility is "pro";
/// - notStarted: its start date is not before now;
/// - expired: its expiry date is before now;
/// - predicateFalse: it has a non-empty predicate, there are facts, and the
///   predicate evaluates to false;
/// - predicateError: the same predicate does not parse or evaluate: the
///   element is shown (a broken predicate never hides anything) and `message`
///   says why it failed. A predicate left unevaluated because the check's
///   budget of work is spent is one too (`budgetSpent`).
///
/// The premium flag is the argument, else the environment's
/// hasPremiumSubscription(), else unknown (then no premium rule applies). The
/// facts are the environment's resolvedValues(); without an environment no
/// predicate is evaluated. "Now" is read once, when the check is made.
///
/// A budget (evaluation_budget.h), when given, is shared by every predicate
/// the check evaluates, so that a template of many costly predicates cannot
/// hold its caller for long; the caller reports the spent budget once.
///
/// Evaluations log "Predicate evaluation: (<predicate>) -> true|false" at debug
/// level, failures "Predicate evaluation error: (<predicate>) <error>" at error
/// level (at debug level when the budget was spent: the caller sums them up).
#pragma once

#include <optional>
#include <string>

#include "quarnkit/composite_list/model/element.h"
#include "quarnkit/composite_list/model/environment.h"
#include "quarnkit/core/date.h"
#include "quarnkit/predicate/evaluation_context.h"

namespace quarn {

/// Which rule decided an element's visibility.
enum class CompositeListVisibilityReason {
  shown,           ///< No rule hides it.
  hiddenClass,     ///< Its visibility is "hidden".
  premiumClass,    ///< Its visibility class does not match the premium flag.
  notStarted,      ///< Its start date is not before now.
  expired,         ///< Its expiry date is before now.
  predicateFalse,  ///< Its predicate evaluates to false.
  predicateError,  ///< Shown: the predicate could not be evaluated.
};

/// The decision for one element.
struct CompositeListElementVisibility {
  /// The rule that decided.
  CompositeListVisibilityReason reason = CompositeListVisibilityReason::shown;
  /// The error of a predicate that could not be evaluated; empty otherwise.
  std::string message;
  /// The predicate was not evaluated (to its end) because the budget of work
  /// given to the check is spent.
  bool budgetSpent = false;

  /// Whether the element is shown (no rule hid it, or its predicate failed).
  [[nodiscard]] bool isShown() const {
    return reason == CompositeListVisibilityReason::shown ||
           reason == CompositeListVisibilityReason::predicateError;
  }
  /// Equal when every field is.
  friend bool operator==(const CompositeListElementVisibility&,
                         const CompositeListElementVisibility&) = default;
};

/// The state of one round of checks: the premium flag, the facts and now.
class CompositeListElementVisibilityCheck {
 public:
  /// `budget`, if any, must outlive the check.
  CompositeListElementVisibilityCheck(std::optional<bool> hasPremiumSubscription,
                                      const CompositeListEnvironment* environment,
                                      EvaluationBudget* budget = nullptr);

  /// The decision for one element (see the file comment).
  [[nodiscard]] CompositeListElementVisibility visibility(
      const CompositeListElementFields& element) const;
  /// The same, for any element.
  template <CompositeListElement T>
  [[nodiscard]] CompositeListElementVisibility visibility(const T& element) const {
    return visibility(elementFields(element));
  }

  /// The premium flag the check applies, or nothing.
  [[nodiscard]] std::optional<bool> premium() const { return premium_; }
  /// The facts predicates are evaluated against, or nothing.
  [[nodiscard]] const std::optional<ValueDictionary>& facts() const { return facts_; }
  /// The time the check was made.
  [[nodiscard]] Date now() const { return now_; }

 private:
  std::optional<bool> premium_;
  std::optional<ValueDictionary> facts_;
  Date now_;
  EvaluationContext context_;  // now() is the same now; random() the system's
};

}  // namespace quarn
