#include "quarnkit/composite_list/model/element_visibility.h"

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/parse_cache.h"

namespace quarn {

namespace {

double systemRandomFraction() {
  constexpr std::uint64_t kSteps = std::uint64_t{1} << 53;
  return static_cast<double>(platform::SystemRandomSource::shared().nextInt(kSteps)) /
         static_cast<double>(kSteps);
}

}  // namespace

CompositeListElementVisibilityCheck::CompositeListElementVisibilityCheck(
    std::optional<bool> hasPremiumSubscription, const CompositeListEnvironment* environment,
    EvaluationBudget* budget)
    : premium_(hasPremiumSubscription), now_(platform::Clock::current()->now()) {
  context_.now = now_;
  context_.budget = budget;
  context_.random = systemRandomFraction;
  if (environment != nullptr) {
    if (!premium_) premium_ = environment->hasPremiumSubscription();
    facts_ = environment->resolvedValues();
  }
}

CompositeListElementVisibility CompositeListElementVisibilityCheck::visibility(
    const CompositeListElementFields& element) const {
  using Reason = CompositeListVisibilityReason;
  if (const auto& visibility = element.visibility) {
    if (*visibility == CompositeListItemVisibility::hidden) return {Reason::hiddenClass, {}};
    if (premium_ == true && *visibility == CompositeListItemVisibility::free) {
      return {Reason::premiumClass, {}};
    }
    if (premium_ == false && *visibility == CompositeListItemVisibility::pro) {
      return {Reason::premiumClass, {}};
    }
  }
  if (element.startDate && !(*element.startDate < now_)) return {Reason::notStarted, {}};
  if (element.expiryDate && *element.expiryDate < now_) return {Reason::expired, {}};
  if (!element.predicate || element.predicate->empty() || !facts_) return {Reason::shown, {}};

  const std::string& predicate = *element.predicate;
  const Logger& log = defaultLogger();
  try {
    const Predicate parsed = PredicateCache::shared().get(predicate);
    std::optional<ValueDictionary> dated;
    const bool result = parsed.evaluate(*facts_, detail::predicateVarsOf(element, dated), context_);
    log.debug("Predicate evaluation: ({}) -> {}", predicate, result);
    return {result ? Reason::shown : Reason::predicateFalse, {}};
  } catch (const PredicateEvaluationError& e) {
    // A spent budget is summed up once by the check's caller.
    const bool spent = e.kind() == PredicateEvaluationError::Kind::budgetExhausted;
    log.log(spent ? LogLevel::debug : LogLevel::error, "Predicate evaluation error: ({}) {}",
            predicate, e.message());
    return {Reason::predicateError, e.message(), spent};
  } catch (...) {
    std::string message = describeCurrentException();
    log.error("Predicate evaluation error: ({}) {}", predicate, message);
    return {Reason::predicateError, std::move(message)};
  }
}

}  // namespace quarn
