// Fuzz target of the paginated data source. The input is a sequence of host
// actions on data sources over scripted fetchers, on the manual clock:
// fetching, reloading, forced reloads, cancelling, pages completed in any
// order or failing (also for data sources already released), fetchers that
// build no request, callbacks that release the data source, call back into
// it or throw, awaiting callers that are cancelled or outlive the data
// source, and the return to the foreground. Beyond no crash or sanitizer
// report it checks that
// - every fetch that reached the fetcher completes exactly once, and one that
//   was refused or whose start threw never does;
// - every awaiting caller ends, and no continuation is reported leaked;
// - once the fetcher has nothing running, the data source is not loading;
// - with the duplicate filter on, the items never hold an id twice.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "fuzz/event_bytes.h"
#include "quarnkit/core/log.h"
#include "quarnkit/paging/key_pagination.h"
#include "quarnkit/paging/paginated_data_source.h"
#include "quarnkit/paging/testing/scripted_page_fetcher.h"
#include "quarnkit/platform/application_lifecycle.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/runtime/task.h"

namespace {

using namespace quarn;
using quarn::fuzzing::EventBytes;
using quarn::testing::ScriptedItem;
using quarn::testing::ScriptedPageFetcher;
using Source = PaginatedDataSource<ScriptedPageFetcher>;
using Items = std::vector<ScriptedItem>;

void check(bool condition) {
  if (!condition) std::abort();
}

/// What the host's callbacks throw.
struct HostError : std::exception {};

/// One completion handed to the data source.
struct Record {
  int calls = 0;
  /// The fetcher's fetch() ran for it without throwing: it must complete.
  bool reachedFetcher = false;
};

/// What an armed callback does the next time it runs.
enum class Act { none, release, fetch, reload, forceReload, cancel, raise, count };

class Host;

class Observer final : public PaginatedDataSourceObserver {
 public:
  explicit Observer(Host& host) : host_(host) {}
  void paginatedDataSourceDidUpdate() override;

 private:
  Host& host_;
};

class Host {
 public:
  explicit Host(EventBytes& in) : in_(in) {}

  void run() {
    while (!in_.empty()) step();
    finish();
  }

  void act(Act what) {
    switch (what) {
      case Act::none:
      case Act::count:
        return;
      case Act::release:
        source_.reset();
        return;
      case Act::fetch:
        ask([this](auto c) { return source_->fetchNextPage(std::move(c)); });
        return;
      case Act::reload:
        ask([this](auto c) { return source_->reload(std::move(c)); });
        return;
      case Act::forceReload:
        ask([this](auto c) { return source_->forceReload(false, std::move(c)); });
        return;
      case Act::cancel:
        if (source_) source_->cancelFetch();
        return;
      case Act::raise:
        throw HostError();
    }
  }

  Act onObserver = Act::none;

 private:
  void step() {
    try {
      switch (in_.choose(15)) {
        case 0:
          make();
          break;
        case 1:
          ask([this](auto c) { return source_->fetchNextPage(std::move(c)); });
          break;
        case 2:
          ask([this](auto c) { return source_->reload(std::move(c)); });
          break;
        case 3: {
          const bool clear = in_.choose(2) == 1;
          ask([this, clear](auto c) { return source_->forceReload(clear, std::move(c)); });
          break;
        }
        case 4: {
          const bool clear = in_.choose(2) == 1;
          ask([this, clear](auto c) { return source_->reloadIfNeeded(clear, std::move(c)); });
          break;
        }
        case 5:
          act(Act::cancel);
          break;
        case 6:
          deliver();
          break;
        case 7:
          fail();
          break;
        case 8:
          if (fetcher_) fetcher_->next = ScriptedPageFetcher::Next::noRequest;
          break;
        case 9:
          arm();
          break;
        case 10:
          drain();
          break;
        case 11:
          clock_->advance(in_.between(0, 20));
          break;
        case 12:
          source_.reset();
          break;
        case 13:
          await();
          break;
        case 14:
          other();
          break;
      }
    } catch (const HostError&) {
      // A callback threw; the data source must still be usable.
    }
    checkItems();
  }

  // A new data source (the previous one, if any, is released).
  void make() {
    fetcher_ = std::make_shared<ScriptedPageFetcher>();
    fetchers_.push_back(fetcher_);
    fetcher_->onFetch = [this] {
      const auto record = asking_.empty() ? nullptr : asking_.back();
      if (record) record->reachedFetcher = true;
      try {
        act(std::exchange(onFetch_, Act::none));
      } catch (...) {
        if (record) record->reachedFetcher = false;  // fetch() throws: nothing started
        throw;
      }
    };
    std::shared_ptr<Pagination> scheme;
    const auto pageSize = static_cast<std::int64_t>(in_.choose(4)) + 1;
    switch (in_.choose(4)) {
      case 0:
        break;
      case 1:
        scheme =
            std::make_shared<PerPagePagination>(pageSize, 1, PerPagePagination::Keys{"n", "p"});
        break;
      case 2:
        scheme = std::make_shared<OffsetLimitPagination>(pageSize, 0);
        break;
      case 3:
        scheme = FromIDPagination::make(pageSize, 0, [this]() -> std::int64_t {
          return source_ && !source_->items().empty() ? source_->items().back().id : 0;
        });
        break;
    }
    source_ = Source::make(fetcher_, scheme);
    const std::uint8_t flags = in_.byte();
    source_->inverseInsertPage = (flags & 1U) != 0;
    source_->reverseFethedPage = (flags & 2U) != 0;
    source_->randomizationEnabled = (flags & 4U) != 0;
    source_->filterUniqueItems = (flags & 8U) == 0;
    source_->reloadOnDemandEnabled = (flags & 16U) != 0;
    if ((flags & 32U) != 0) source_->reloadThreshold = in_.between(0, 10);
    source_->randomSource = std::make_shared<platform::MersenneTwisterRandomSource>(in_.byte());
    source_->didCompletionFetch = [this](const auto&, const auto&) {
      act(std::exchange(onCompletionFetch_, Act::none));
    };
    source_->willFetch = [this](ScriptedPageFetcher&) {
      act(std::exchange(onWillFetch_, Act::none));
    };
    source_->observers.add(observer_);
  }

  // Calls `start` with a new completion, when there is a data source; the
  // fetcher's hook learns from asking_ which completion its fetch is for.
  template <class Start>
  void ask(Start start) {
    if (!source_) return;
    auto record = std::make_shared<Record>();
    records_.push_back(record);
    Source::Completion completion = [this, record](std::optional<Items>, std::exception_ptr) {
      ++record->calls;
      check(record->calls == 1);
      act(std::exchange(onCompletion_, Act::none));
    };
    asking_.push_back(record);
    try {
      start(std::move(completion));
    } catch (...) {
      asking_.pop_back();
      throw;
    }
    asking_.pop_back();
  }

  // Completes a running request of any fetcher, the released ones' too.
  void deliver() {
    ScriptedPageFetcher* fetcher = pickFetcher();
    if (fetcher == nullptr) return;
    const std::size_t index = in_.choose(fetcher->running());
    // Distinct ids within a page, overlapping between pages.
    std::set<std::int64_t> ids;
    const std::size_t count = in_.choose(5);
    for (std::size_t i = 0; i < count; ++i) ids.insert(in_.integer(1, 12));
    Items page;
    for (std::int64_t id : ids) page.push_back({id});
    std::optional<ResponsePaginationInfo> info;
    if (in_.choose(2) == 1) {
      info.emplace(in_.integer(0, 4), in_.integer(0, 4), in_.integer(0, 4), in_.integer(0, 12));
    }
    fetcher->deliver(index, std::move(page), info);
  }

  void fail() {
    if (ScriptedPageFetcher* fetcher = pickFetcher()) {
      fetcher->fail(in_.choose(fetcher->running()),
                    std::make_exception_ptr(std::runtime_error("the page failed")));
    }
  }

  ScriptedPageFetcher* pickFetcher() {
    if (fetchers_.empty()) return nullptr;
    ScriptedPageFetcher* fetcher = fetchers_[in_.choose(fetchers_.size())].get();
    return fetcher->running() > 0 ? fetcher : nullptr;
  }

  void arm() {
    const auto what = static_cast<Act>(in_.choose(static_cast<std::size_t>(Act::count)));
    switch (in_.choose(5)) {
      case 0:
        onCompletionFetch_ = what;
        break;
      case 1:
        onObserver = what;
        break;
      case 2:
        onCompletion_ = what;
        break;
      case 3:
        onWillFetch_ = what;
        break;
      case 4:
        onFetch_ = what;
        break;
    }
  }

  void await() {
    if (source_) awaits_.push_back(Task<Items>::spawn(mainExecutor(), source_->fetchNextPage()));
    if (in_.choose(2) == 1) drain();
  }

  void other() {
    switch (in_.choose(4)) {
      case 0:
        if (!awaits_.empty()) awaits_[in_.choose(awaits_.size())].cancel();
        break;
      case 1:
        platform::postApplicationWillEnterForeground();
        break;
      case 2:
        if (source_) source_->setNeedsReload();
        break;
      case 3:
        if (source_) source_->reset();
        break;
    }
  }

  // Runs posted work until none is left, whatever it throws.
  void drain() {
    while (true) {
      try {
        if (drainMainContext() == 0) break;
      } catch (const HostError&) {
      }
    }
    if (source_ && fetcher_ && fetcher_->running() == 0) check(!source_->isLoading());
  }

  void checkItems() const {
    if (!source_ || !source_->filterUniqueItems) return;
    std::set<std::int64_t> seen;
    for (const auto& item : source_->items()) check(seen.insert(item.id).second);
  }

  void finish() {
    onCompletionFetch_ = onObserver = onCompletion_ = onWillFetch_ = onFetch_ = Act::none;
    source_.reset();
    drain();
    for (const auto& record : records_) check(record->calls == (record->reachedFetcher ? 1 : 0));
    for (const auto& task : awaits_) check(task.isFinished());
  }

  EventBytes& in_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedService<platform::Clock> clockService_{clock_};
  platform::ScopedService<platform::TimerScheduler> timerService_{clock_};
  std::shared_ptr<Observer> observer_ = std::make_shared<Observer>(*this);
  std::vector<std::shared_ptr<ScriptedPageFetcher>> fetchers_;
  std::shared_ptr<ScriptedPageFetcher> fetcher_;
  std::shared_ptr<Source> source_;
  std::vector<std::shared_ptr<Record>> records_;
  std::vector<std::shared_ptr<Record>> asking_;
  std::vector<Task<Items>> awaits_;
  Act onCompletionFetch_ = Act::none;
  Act onCompletion_ = Act::none;
  Act onWillFetch_ = Act::none;
  Act onFetch_ = Act::none;
};

void Observer::paginatedDataSourceDidUpdate() {
  host_.act(std::exchange(host_.onObserver, Act::none));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quarn::testing::LogCapture log;
  {
    EventBytes in(data, size);
    Host host(in);
    host.run();
  }
  check(log.count("leaked its continuation") == 0);
  return 0;
}
