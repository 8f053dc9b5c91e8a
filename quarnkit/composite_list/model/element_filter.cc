#include "quarnkit/composite_list/model/element_filter.h"

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"
#include "quarnkit/predicate/parse_cache.h"

namespace quarn::detail {

namespace {

double systemRandomFraction() {
  constexpr std::uint64_t kSteps = std::uint64_t{1} << 53;
  return static_cast<double>(platform::SystemRandomSource::shared().nextInt(kSteps)) /
         static_cast<double>(kSteps);
}

}  // namespace

ElementFilter::ElementFilter(std::optional<bool> hasPremiumSubscription,
                             const CompositeListEnvironment* environment)
    : premium_(hasPremiumSubscription), now_(platform::Clock::current()->now()) {
  context_.now = now_;
  context_.random = systemRandomFraction;
  if (environment != nullptr) {
    if (!premium_) premium_ = environment->hasPremiumSubscription();
    facts_ = environment->resolvedValues();
  }
}

bool ElementFilter::passes(const CompositeListElementFields& element) const {
  if (const auto& visibility = element.visibility) {
    if (*visibility == CompositeListItemVisibility::hidden) return false;
    if (premium_ == true && *visibility == CompositeListItemVisibility::free) return false;
    if (premium_ == false && *visibility == CompositeListItemVisibility::pro) return false;
  }
  if (element.startDate && !(*element.startDate < now_)) return false;
  if (element.expiryDate && *element.expiryDate < now_) return false;
  if (element.predicate && !element.predicate->empty() && facts_) {
    return predicateHolds(*element.predicate, element);
  }
  return true;
}

bool ElementFilter::predicateHolds(const std::string& predicate,
                                   const CompositeListElementFields& element) const {
  const Logger& log = defaultLogger();
  try {
    const Predicate parsed = PredicateCache::shared().get(predicate);
    const bool result = parsed.evaluate(*facts_, predicateVars(element), context_);
    log.debug("Predicate evaluation: ({}) -> {}", predicate, result);
    return result;
  } catch (...) {
    log.error("Predicate evaluation error: ({}) {}", predicate, describeCurrentException());
    return true;
  }
}

}  // namespace quarn::detail
