#include "quarnkit/platform/runtime/continuation.h"

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"

namespace quarn::detail {

ContinuationCore::~ContinuationCore() {
  if (!claimed_.load() && resumption_) {
    defaultLogger().error("{} leaked its continuation without resuming it", name_);
    resumption_->resume(cancellationError());
  }
}

void ContinuationCore::claim() {
  if (claimed_.exchange(true)) {
    fatalError(name_ + " tried to resume its continuation more than once");
  }
}

}  // namespace quarn::detail
