// A page fetcher for tests and the fuzz target: each fetch() becomes a
// running request that the test completes when it likes (in place, in any
// order, with a page or an error). A hook runs inside fetch() so that a test
// can act (or throw) from there, and the next fetch can be told to build no
// request. cancel() ends every running request with the cancellation error,
// posted to the main context, as a real transfer does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "quarnkit/paging/page_fetchable.h"
#include "quarnkit/platform/runtime/async.h"

namespace quarn::testing {

struct ScriptedItem {
  std::int64_t id = 0;
  friend bool operator==(const ScriptedItem&, const ScriptedItem&) = default;
};

class ScriptedPageFetcher {
 public:
  using ResultType = ScriptedItem;
  using Items = std::vector<ScriptedItem>;

  /// What the next fetch() does instead of starting a request.
  enum class Next { start, noRequest };

  /// Runs inside each fetch(), before it decides.
  std::function<void()> onFetch;
  Next next = Next::start;
  /// fetch() calls so far.
  std::size_t fetches = 0;

  bool fetch(const Pagination*, PageCompletion<ScriptedItem> completion) {
    ++fetches;
    if (onFetch) {
      const auto hook = onFetch;
      hook();
    }
    if (std::exchange(next, Next::start) == Next::noRequest) return false;
    running_.push_back(std::move(completion));
    return true;
  }

  void cancel() {
    for (auto& completion : std::exchange(running_, {})) {
      postToMain([completion = std::move(completion)] {
        completion(std::nullopt, cancellationError(), std::nullopt);
      });
    }
  }

  [[nodiscard]] std::size_t running() const { return running_.size(); }

  /// Completes running request `index` with `page`; false when there is none.
  bool deliver(std::size_t index, Items page,
               std::optional<ResponsePaginationInfo> info = std::nullopt) {
    auto completion = take(index);
    if (!completion) return false;
    completion(std::move(page), nullptr, info);
    return true;
  }
  /// Completes running request `index` with `error`.
  bool fail(std::size_t index, std::exception_ptr error) {
    auto completion = take(index);
    if (!completion) return false;
    completion(std::nullopt, std::move(error), std::nullopt);
    return true;
  }

  /// Items with ids first, first + 1, ... (count of them).
  static Items page(std::int64_t first, std::size_t count) {
    Items out;
    for (std::size_t i = 0; i < count; ++i) out.push_back({first + static_cast<std::int64_t>(i)});
    return out;
  }

 private:
  // Taken out before it runs: the completion may fetch or cancel again.
  PageCompletion<ScriptedItem> take(std::size_t index) {
    if (index >= running_.size()) return nullptr;
    auto completion = std::move(running_[index]);
    running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(index));
    return completion;
  }

  std::vector<PageCompletion<ScriptedItem>> running_;
};

}  // namespace quarn::testing
