#include "quarnkit/platform/ui/diffable_data_source.h"

namespace quarn::platform::detail {

std::vector<std::size_t> longestIncreasingSubsequence(const std::vector<std::size_t>& sequence) {
  // Patience sorting: tails[k] is the position of the smallest tail of an
  // increasing run of length k + 1; previous[] links each position to the
  // one before it in its run.
  std::vector<std::size_t> tails;
  std::vector<std::size_t> previous(sequence.size(), SIZE_MAX);
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    auto it = std::lower_bound(tails.begin(), tails.end(), sequence[i],
                               [&](std::size_t pos, std::size_t v) { return sequence[pos] < v; });
    if (it != tails.begin()) previous[i] = *(it - 1);
    if (it == tails.end()) {
      tails.push_back(i);
    } else {
      *it = i;
    }
  }
  std::vector<std::size_t> run(tails.size());
  std::size_t at = tails.empty() ? SIZE_MAX : tails.back();
  for (std::size_t k = run.size(); k > 0; --k) {
    run[k - 1] = at;
    at = previous[at];
  }
  return run;
}

}  // namespace quarn::platform::detail
