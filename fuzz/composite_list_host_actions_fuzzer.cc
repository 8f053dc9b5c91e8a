// Drives a composite list screen, its sections provider and its fetcher
// through random host actions, many of them from inside the objects' own
// calls into the host (a fetch's completion, the combined request, the
// sections' reports, a header tap, a pull-to-refresh): dropping the object,
// calling back into it, or throwing. Everything runs on the main context, so
// an input is one sequence. After each input:
// - every fetch started with a completion has delivered exactly once;
// - no continuation was dropped without being resumed;
// - the provider's sections have distinct identities;
// - a screen whose reloads all ended is not left refreshing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/event_bytes.h"
#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"
#include "quarnkit/composite_list/fetching/fetcher.h"
#include "quarnkit/composite_list/fetching/sections_provider.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/composite_list/testing/section_fixtures.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/task.h"
#include "quarnkit/platform/services.h"

namespace {

using namespace quarn;
using Items = std::vector<AnyCompositeListItem>;

/// What the host does from inside a call into it.
enum class Inside { nothing, release, reenter, cancel, raise, count };

struct HostError : std::runtime_error {
  HostError() : std::runtime_error("host action failed") {}
};

[[noreturn]] void violated(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

/// Up to four rows items (some sharing a uniqueId, each titled with it, so
/// that the section's identity follows it), chosen by the input.
std::string templateOf(fuzzing::EventBytes& in) {
  std::string json = "[";
  const std::size_t count = in.choose(5);
  for (std::size_t i = 0; i < count; ++i) {
    if (i) json += ",";
    const std::string id = "r" + std::to_string(in.choose(4));
    json += R"({"type":"rows","uniqueId":")" + id + R"(","data":{"title":")" + id +
            R"(","headerAction":"https://example.com/h"}})";
  }
  return json + "]";
}

const char* const kResult = R"([
  {"key":"r0","result":[{"class":"Row","text":"a"}]},
  {"key":"r1","result":[{"class":"Row","text":"b"},{"class":"Row","text":"c"}]},
  {"key":"r2","result":[]}])";

struct World;

/// A fetcher whose combined request answers on the main context.
class Fetcher : public CompositeListFetcher {
 public:
  using CompositeListFetcher::CompositeListFetcher;
  std::function<void()> onRequest;
  bool fail = false;

  Async<Task<CompositeListResult>> fetchCompositeListTask(CompositeListRequestParameters,
                                                          std::int64_t) override {
    if (auto hook = std::exchange(onRequest, nullptr)) hook();
    co_return Task<CompositeListResult>::spawn(mainExecutor(), answer(fail, registry()));
  }

 private:
  static Async<CompositeListResult> answer(bool fail,
                                           std::shared_ptr<CompositeListItemsRegistry> registry) {
    if (fail) throw HostError();
    co_return decodeCompositeListResult(kResult, *registry->entityClassMap());
  }
};

/// A screen that fetches with the world's fetcher and runs host hooks.
class Screen : public BaseCompositeListViewController {
 public:
  using BaseCompositeListViewController::BaseCompositeListViewController;
  World* world = nullptr;
  std::function<void()> onReload;
  std::function<void()> onHeaderClick;
  void reloadData(std::function<void()> completion) override;
  void didSectionHeaderClick(const CompositeListItemType&) override {
    if (auto hook = std::exchange(onHeaderClick, nullptr)) hook();
  }
};

struct World {
  std::shared_ptr<CompositeListItemsRegistry> registry = quarn::testing::sectionRegistry();
  std::shared_ptr<Fetcher> fetcher;
  std::shared_ptr<CompositeListSectionsProvider> provider;
  std::shared_ptr<Screen> screen;
  CompositeListSectionHeaderView header;
  std::size_t started = 0;
  std::size_t delivered = 0;
  fuzzing::EventBytes* in = nullptr;

  void makeFetcher() {
    fetcher = CompositeListFetcher::make<Fetcher>(
        registry, decodeCompositeListTemplate(templateOf(*in), registry), nullptr,
        CompositeListFetchMode::automatic, 20);
  }
  void makeScreen() {
    provider = CompositeListSectionsProvider::make(registry);
    screen = BaseCompositeListViewController::make<Screen>(provider);
    screen->world = this;
    screen->loadViewIfNeeded();
  }

  /// A fetch with a completion that runs `inside` in it.
  void fetch(Inside inside, std::function<void(Outcome<Items>)> then = {}) {
    if (!fetcher) makeFetcher();
    ++started;
    fetcher->fetchCompositeList([this, inside, then](Outcome<Items> outcome) {
      ++delivered;
      if (then) then(std::move(outcome));
      act(inside, [this] { fetch(Inside::nothing); });
    });
  }

  /// Does `inside` to the fetcher; `reenter` is the call back into it.
  void act(Inside inside, const std::function<void()>& reenter) {
    switch (inside) {
      case Inside::release:
        fetcher.reset();
        break;
      case Inside::reenter:
        reenter();
        break;
      case Inside::cancel:
        if (fetcher) fetcher->cancal();
        break;
      case Inside::raise:
        throw HostError();
      default:
        break;
    }
  }

  Inside pick() { return static_cast<Inside>(in->choose(static_cast<std::size_t>(Inside::count))); }

  void checkSections() const {
    if (!provider) return;
    std::set<std::size_t> seen;
    for (const auto& s : provider->sections()) {
      if (!seen.insert(s->snapshotSection().hash()).second)
        violated("two sections of one identity");
    }
  }

  void step() {
    switch (in->choose(9)) {
      case 0: {
        try {
          fetch(pick());
        } catch (const HostError&) {
        }
        break;
      }
      case 1:
        if (fetcher) fetcher->cancal();
        break;
      case 2: {
        if (!fetcher) makeFetcher();
        const Inside what = pick();
        fetcher->onRequest = [this, what] { act(what, [this] { fetch(Inside::nothing); }); };
        break;
      }
      case 3:
        drainMainContext();
        break;
      case 4: {
        if (!screen) makeScreen();
        const Inside what = pick();
        screen->onReload = [this, what] {
          if (what == Inside::release) screen.reset();
          if (what == Inside::reenter && screen) screen->reloadData(nullptr);
          if (what == Inside::raise) throw HostError();
        };
        auto control = screen->collectionView()->refreshControl();
        try {
          if (control) control->simulateUserPull();
        } catch (const HostError&) {
          if (control && control->isRefreshing())
            violated("a failed pull left the control refreshing");
        }
        break;
      }
      case 5: {
        if (!provider) makeScreen();
        const Inside what = pick();
        const auto items = decodeCompositeListTemplate(templateOf(*in), registry);
        auto reentry =
            std::make_shared<Items>(decodeCompositeListTemplate(templateOf(*in), registry));
        auto fired = std::make_shared<bool>(false);
        provider->sectionDidUpdate = [this, what, reentry, fired](std::size_t,
                                                                  const auto& section) {
          if (!section) violated("a null section reported");
          if (std::exchange(*fired, true)) return;  // the action once per update
          const auto self = provider;
          if (self) self->sectionDidUpdate = nullptr;
          if (what == Inside::release) provider.reset();
          if (what == Inside::reenter && self) self->update(*reentry);
          if (what == Inside::raise) throw HostError();
          (void)section->snapshotItems().size();  // still whole
        };
        auto keep = provider;
        try {
          keep->update(items);
        } catch (const HostError&) {
        }
        if (provider) provider->sectionDidUpdate = nullptr;
        break;
      }
      case 6: {
        if (!screen) break;
        const Inside what = pick();
        screen->onHeaderClick = [this, what] {
          if (what == Inside::release) {
            screen.reset();
            provider.reset();
          }
          if (what == Inside::reenter && screen) {
            screen->reloadData(nullptr);
            if (provider && !provider->sections().empty())
              provider->sections().front()->configureSupplementaryView(header, {0, 0});
          }
          if (what == Inside::raise) throw HostError();
        };
        if (provider && !provider->sections().empty()) {
          provider->sections().front()->configureSupplementaryView(header, {0, 0});
        }
        try {
          header.tap();
        } catch (const HostError&) {
        }
        break;
      }
      case 7:
        if (fetcher) fetcher->fail = !fetcher->fail;
        break;
      case 8:
        if (fetcher) fetcher->setIgnoreNetworkErrors(!fetcher->ignoreNetworkErrors());
        break;
    }
    checkSections();
  }
};

void Screen::reloadData(std::function<void()> completion) {
  if (auto hook = std::exchange(onReload, nullptr)) hook();
  World* w = world;
  std::weak_ptr<Screen> weak = std::static_pointer_cast<Screen>(shared_from_this());
  w->fetch(Inside::nothing, [weak, completion](Outcome<Items> outcome) {
    if (auto self = weak.lock(); self && outcome.isSuccess()) {
      self->items = std::move(outcome).value();
      self->reloadSections(false, nullptr);
    }
    if (completion) completion();
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = (quarn::setLogLevel(quarn::LogLevel::off), true);
  (void)quiet;
  static const quarn::platform::ScopedService<quarn::platform::Device> phone(
      std::make_shared<quarn::platform::FixedDevice>(quarn::platform::UserInterfaceIdiom::phone));
  static const quarn::platform::ScopedService<quarn::platform::URLOpener> opener(
      std::make_shared<quarn::platform::RecordingURLOpener>());
  quarn::testing::LogCapture log;
  {
    quarn::fuzzing::EventBytes in(data, size);
    World world;
    world.in = &in;
    for (int steps = 0; steps < 64 && !in.empty(); ++steps) world.step();
    // Everything left runs to its end: nothing here waits on a timer.
    quarn::drainMainContext();
    if (world.delivered != world.started) violated("a fetch did not deliver exactly once");
    if (world.screen) {
      auto control = world.screen->collectionView()->refreshControl();
      if (control && control->isRefreshing()) violated("the screen was left refreshing");
    }
  }
  quarn::drainMainContext();
  if (log.count("leaked its continuation") != 0) violated("a continuation was leaked");
  return 0;
}
