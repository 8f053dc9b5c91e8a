// Marking a download's progress finished once the download is done, for the
// transfers whose byte counts never reach a known total (a body of unknown
// length, a size nobody told), so that the unit the download stands for in a
// caller's progress completes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "quarnkit/platform/progress.h"

namespace quarn::detail {

inline void completeProgress(platform::Progress& progress) {
  if (progress.isFinished()) return;
  const std::int64_t done = std::max<std::int64_t>(progress.completedUnitCount(), 1);
  progress.setUnitCounts(done, done);
}

}  // namespace quarn::detail
