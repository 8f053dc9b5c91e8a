/// @file
/// The element filter: which elements of a list (template items, the rows of
/// an item) are shown now, to this user, on this device.
///
/// ```
///   auto shown = filter(items, std::nullopt, &environment);
/// ```
///
/// An element is dropped when, checked in this order:
///   a. its visibility is "hidden";
///   b. the premium flag is true and its visibility is "free";
///   c. the premium flag is false and its visibility is "pro";
///   d. its start date is not before now (it must have started strictly before);
///   e. its expiry date is before now (an element expiring now still shows);
///   f. it has a non-empty predicate, there are facts, and the predicate is false.
/// The premium flag is the argument, else the environment's
/// hasPremiumSubscription(), else unknown (then b and c hide nothing). The
/// facts are the environment's resolvedValues(); without an environment no
/// predicate is evaluated. "Now" is read once per call from the platform Clock.
///
/// The decision is CompositeListElementVisibilityCheck's, so a tool explaining
/// why an element is hidden and the filter cannot disagree.
///
/// Predicates are parsed once per text (PredicateCache::shared()) and evaluated
/// with the facts as the evaluated object and the element's predicateVars() as
/// $variables. Each evaluation logs "Predicate evaluation: (<predicate>) ->
/// true|false" at debug level. A predicate that does not parse or does not
/// evaluate logs "Predicate evaluation error: (<predicate>) <error>" at error
/// level and keeps the element: a broken predicate never hides anything.
#pragma once

#include <optional>
#include <vector>

#include "quarnkit/composite_list/model/element.h"
#include "quarnkit/composite_list/model/element_visibility.h"
#include "quarnkit/composite_list/model/environment.h"

namespace quarn {

/// The elements that pass `check`, in the order given: for callers that
/// filter several lists with one premium flag, one set of facts and one now.
template <CompositeListElement Element>
std::vector<Element> filter(const std::vector<Element>& elements,
                            const CompositeListElementVisibilityCheck& check) {
  std::vector<Element> shown;
  shown.reserve(elements.size());
  for (const Element& element : elements) {
    if (check.visibility(elementFields(element)).isShown()) shown.push_back(element);
  }
  return shown;
}

/// The elements that pass, in the order given (see the file comment).
template <CompositeListElement Element>
std::vector<Element> filter(const std::vector<Element>& elements,
                            std::optional<bool> hasPremiumSubscription,
                            const CompositeListEnvironment* environment) {
  return filter(elements, CompositeListElementVisibilityCheck(hasPremiumSubscription, environment));
}

}  // namespace quarn
