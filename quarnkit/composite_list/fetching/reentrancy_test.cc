// What the host may do from inside every call the fetching layer makes into
// it: drop the object, call back into it, or throw. Each row sets the object
// up, makes the call happen with the action inside it, and checks the outcome
// the object's header promises; no row may leave a continuation unresumed.
#include "quarnkit/testing/reentrancy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"
#include "quarnkit/composite_list/fetching/template_file_observer.h"
#include "quarnkit/composite_list/testing/fetcher_fixtures.h"
#include "quarnkit/composite_list/testing/section_fixtures.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/clock.h"

namespace quarn {
namespace {

using quarn::testing::HostAction;
using testing::errorText;
using testing::InMemoryTemplates;
using testing::Items;
using testing::LogCapture;
using testing::Product;
using testing::TestFailure;
using testing::TestFetcher;

const char* const kBanner = R"([{"type":"banner","uniqueId":"b"}])";
const char* const kResult = R"([{"key":"b","result":{"class":"Product","id":1,"name":"one"}}])";

/// Runs a host hook once, the first time its call comes.
void runOnce(std::function<void()>& hook) {
  if (auto h = std::exchange(hook, nullptr)) h();
}

/// A fetcher that runs `onRequest` when it is asked for the combined request.
class HookedFetcher : public TestFetcher {
 public:
  using TestFetcher::TestFetcher;
  std::function<void()> onRequest;
  Async<Task<CompositeListResult>> fetchCompositeListTask(CompositeListRequestParameters parameters,
                                                          std::int64_t limit) override {
    runOnce(onRequest);
    return TestFetcher::fetchCompositeListTask(std::move(parameters), limit);
  }
};

/// Templates that run `onProvide` when asked for one.
class HookedTemplates : public InMemoryTemplates {
 public:
  using InMemoryTemplates::InMemoryTemplates;
  using InMemoryTemplates::provideTemplate;
  std::function<void()> onProvide;
  void provideTemplate(const CompositeListTemplateSource& source, Completion completion) override {
    runOnce(onProvide);
    InMemoryTemplates::provideTemplate(source, std::move(completion));
  }
};

/// Banners of type "own" that fetch their entity themselves, running
/// `onFetch` first.
class HookedDirectDescription : public testing::ProductBannerDescription,
                                public EntityProvidingCompositeListItemDescription {
 public:
  static inline std::function<void()> onFetch;
  [[nodiscard]] CompositeListItemType type() const override { return "own"; }
  Async<std::optional<CompositeListResult::Item>> fetchEntities(
      const CompositeListRequestParameters::Item& request) const override {
    runOnce(onFetch);
    co_return CompositeListResult::Item{request.key, {AnyEntity(Product{2, "own"})}};
  }
};

/// One fetch's set-up: the registry, the templates and a fetcher of `json`.
struct FetchRig {
  std::shared_ptr<CompositeListItemsRegistry> registry = testing::fetcherRegistry();
  std::shared_ptr<HookedTemplates> templates = std::make_shared<HookedTemplates>(registry);
  std::shared_ptr<HookedFetcher> fetcher;
  LogCapture log;

  explicit FetchRig(const std::string& json = kBanner) {
    registry->register_<HookedDirectDescription>();
    fetcher = CompositeListFetcher::make<HookedFetcher>(
        registry, decodeCompositeListTemplate(json, registry), templates,
        CompositeListFetchMode::automatic, 20);
    fetcher->resultJSON = kResult;
  }
  ~FetchRig() {
    HookedDirectDescription::onFetch = nullptr;
    EXPECT_EQ(log.count("leaked its continuation"), 0u);
  }

  /// A fetch with a completion, run to its end.
  static Outcome<Items> deliver(CompositeListFetcher& f) {
    std::optional<Outcome<Items>> out;
    f.fetchCompositeList([&](Outcome<Items> o) { out.emplace(std::move(o)); });
    EXPECT_TRUE(runMainContextUntil([&] { return out.has_value(); }));
    return out ? std::move(*out) : Outcome<Items>::failure(nullptr);
  }
  /// The awaited form, run to its end.
  static Outcome<Items> await(Async<Items> fetch) {
    auto task = Task<Items>::spawn(mainExecutor(), std::move(fetch));
    if (!runMainContextUntil([&] { return task.isFinished(); })) {
      ADD_FAILURE() << "the fetch did not end";
      return Outcome<Items>::failure(nullptr);
    }
    try {
      return Outcome<Items>::success(runUntilComplete(task.value()));
    } catch (...) {
      return Outcome<Items>::failure(std::current_exception());
    }
  }
  /// A later fetch still gets the banner's product.
  void stillWorks() const {
    const std::size_t before = fetcher->requests.size();
    const Outcome<Items> again = deliver(*fetcher);
    ASSERT_TRUE(again.isSuccess()) << errorText(again.error());
    EXPECT_EQ(fetcher->requests.size(), before + 1);
    EXPECT_EQ(again.value().at(0).base<Product>()->entity(), (Product{1, "one"}));
  }
};

std::vector<quarn::testing::ReentrancyRow> fetcherRows() {
  return {
      {"fetch completion", HostAction::release,
       "the fetcher lives to the end of its completion, then goes",
       [] {
         FetchRig rig;
         std::weak_ptr<HookedFetcher> weak = rig.fetcher;
         bool aliveAfterRelease = false;
         bool delivered = false;
         rig.fetcher->fetchCompositeList([&](Outcome<Items> outcome) {
           EXPECT_TRUE(outcome.isSuccess());
           rig.fetcher.reset();
           aliveAfterRelease = !weak.expired();
           delivered = true;
         });
         ASSERT_TRUE(runMainContextUntil([&] { return delivered; }));
         EXPECT_TRUE(aliveAfterRelease);
         EXPECT_TRUE(runMainContextUntil([&] { return weak.expired(); }));
       }},
      {"fetch completion", HostAction::reenter,
       "a fetch started (and a cancal) from the completion runs after it and delivers",
       [] {
         FetchRig rig;
         std::optional<Outcome<Items>> second;
         rig.fetcher->fetchCompositeList([&](Outcome<Items>) {
           rig.fetcher->cancal();  // nothing in flight any more
           rig.fetcher->fetchCompositeList([&](Outcome<Items> o) { second.emplace(std::move(o)); });
           EXPECT_FALSE(second);
         });
         ASSERT_TRUE(runMainContextUntil([&] { return second.has_value(); }));
         EXPECT_TRUE(second->isSuccess());
         EXPECT_EQ(rig.fetcher->requests.size(), 2u);
       }},
      {"fetch completion", HostAction::raise,
       "the exception is logged and goes no further; the fetcher keeps working",
       [] {
         FetchRig rig;
         bool thrown = false;
         rig.fetcher->fetchCompositeList([&](Outcome<Items>) {
           thrown = true;
           throw TestFailure("completion failed");
         });
         ASSERT_TRUE(runMainContextUntil([&] { return thrown; }));
         EXPECT_TRUE(runMainContextUntil(
             [&] { return rig.log.count("The fetch completion threw: completion failed") == 1; }));
         rig.stillWorks();
       }},

      {"combined request", HostAction::release,
       "the fetch under way ends with its items; the fetcher goes after it",
       [] {
         FetchRig rig;
         std::weak_ptr<HookedFetcher> weak = rig.fetcher;
         rig.fetcher->onRequest = [&] { rig.fetcher.reset(); };
         const Outcome<Items> out = FetchRig::await(rig.fetcher->fetchCompositeList());
         ASSERT_TRUE(out.isSuccess()) << errorText(out.error());
         EXPECT_EQ(out.value().at(0).base<Product>()->entity(), (Product{1, "one"}));
         EXPECT_TRUE(runMainContextUntil([&] { return weak.expired(); }));
       }},
      {"combined request", HostAction::reenter,
       "a cancal while the request is being made cancels the task it returns",
       [] {
         auto clock = std::make_shared<platform::ManualClock>();
         platform::ScopedService<platform::TimerScheduler> timers(clock);
         FetchRig rig;
         rig.fetcher->waitForCancellation = true;
         rig.fetcher->onRequest = [&] { rig.fetcher->cancal(); };
         const Outcome<Items> out = FetchRig::await(rig.fetcher->fetchCompositeList());
         EXPECT_TRUE(!out.isSuccess() && isCancellation(out.error()));
         EXPECT_FALSE(rig.fetcher->currentTask());
         rig.fetcher->cancal();  // whatever is left in flight
         EXPECT_TRUE(runMainContextUntil(
             [&] { return rig.fetcher->endedRequests() == rig.fetcher->requests.size(); }));
         rig.fetcher->waitForCancellation = false;
         rig.stillWorks();
       }},
      {"combined request", HostAction::reenter,
       "a fetch started while the request is being made runs beside it; both deliver",
       [] {
         FetchRig rig;
         std::optional<Outcome<Items>> inner;
         rig.fetcher->onRequest = [&] {
           rig.fetcher->fetchCompositeList([&](Outcome<Items> o) { inner.emplace(std::move(o)); });
         };
         const Outcome<Items> outer = FetchRig::deliver(*rig.fetcher);
         EXPECT_TRUE(outer.isSuccess());
         ASSERT_TRUE(runMainContextUntil([&] { return inner.has_value(); }));
         EXPECT_TRUE(inner->isSuccess());
         EXPECT_FALSE(rig.fetcher->currentTask());
       }},
      {"combined request", HostAction::raise,
       "the fetch ends with the error thrown, network errors ignored or not; the fetcher works",
       [] {
         FetchRig rig;
         rig.fetcher->setIgnoreNetworkErrors(true);
         rig.fetcher->onRequest = [] { throw TestFailure("request refused"); };
         const Outcome<Items> out = FetchRig::deliver(*rig.fetcher);
         ASSERT_FALSE(out.isSuccess());
         EXPECT_EQ(errorText(out.error()), "request refused");
         EXPECT_FALSE(rig.fetcher->currentTask());
         rig.stillWorks();
       }},

      {"template provider", HostAction::release,
       "dropping the fetcher and the provider while a template is provided: the fetch ends "
       "with the included items",
       [] {
         FetchRig rig(R"([{"type":"include","entity":{"key":"inc"}}])");
         rig.templates->documents["inc"] = kBanner;
         std::weak_ptr<HookedFetcher> weak = rig.fetcher;
         rig.templates->onProvide = [&] {
           rig.fetcher.reset();
           rig.templates.reset();
         };
         const Outcome<Items> out = FetchRig::await(rig.fetcher->fetchCompositeList());
         ASSERT_TRUE(out.isSuccess()) << errorText(out.error());
         ASSERT_EQ(out.value().size(), 1u);
         EXPECT_EQ(out.value()[0].base<Product>()->entity(), (Product{1, "one"}));
         EXPECT_TRUE(runMainContextUntil([&] { return weak.expired(); }));
       }},
      {"template provider", HostAction::reenter,
       "the provider replaced and a fetch started from inside: this expansion ends as begun, "
       "the new fetch drops the include",
       [] {
         FetchRig rig(R"([{"type":"include","entity":{"key":"inc"}}])");
         rig.templates->documents["inc"] = kBanner;
         std::optional<Outcome<Items>> inner;
         rig.templates->onProvide = [&] {
           rig.fetcher->setTemplateProvider(nullptr);
           rig.fetcher->fetchCompositeList([&](Outcome<Items> o) { inner.emplace(std::move(o)); });
         };
         const Outcome<Items> outer = FetchRig::deliver(*rig.fetcher);
         ASSERT_TRUE(outer.isSuccess());
         EXPECT_EQ(outer.value().size(), 1u);
         ASSERT_TRUE(runMainContextUntil([&] { return inner.has_value(); }));
         ASSERT_TRUE(inner->isSuccess());
         EXPECT_TRUE(inner->value().empty());
       }},
      {"template provider", HostAction::raise,
       "the fetch ends with the provider's own error, no continuation is leaked; the fetcher "
       "works",
       [] {
         FetchRig rig(
             R"([{"type":"include","entity":{"key":"inc"}},{"type":"banner","uniqueId":"b"}])");
         rig.templates->documents["inc"] = R"([])";
         rig.templates->onProvide = [] { throw TestFailure("no templates today"); };
         const Outcome<Items> out = FetchRig::deliver(*rig.fetcher);
         ASSERT_FALSE(out.isSuccess());
         EXPECT_EQ(errorText(out.error()), "no templates today");
         rig.stillWorks();
       }},

      {"own entities", HostAction::release,
       "dropping the fetcher while a description fetches for itself: the fetch ends with the "
       "entity it fetched",
       [] {
         FetchRig rig(R"([{"type":"own","uniqueId":"o"}])");
         std::weak_ptr<HookedFetcher> weak = rig.fetcher;
         HookedDirectDescription::onFetch = [&] { rig.fetcher.reset(); };
         const Outcome<Items> out = FetchRig::await(rig.fetcher->fetchCompositeList());
         ASSERT_TRUE(out.isSuccess()) << errorText(out.error());
         EXPECT_EQ(out.value().at(0).base<Product>()->entity(), (Product{2, "own"}));
         EXPECT_TRUE(runMainContextUntil([&] { return weak.expired(); }));
       }},
      {"own entities", HostAction::reenter, "a fetch started from inside delivers after this one",
       [] {
         FetchRig rig(R"([{"type":"own","uniqueId":"o"}])");
         std::optional<Outcome<Items>> inner;
         HookedDirectDescription::onFetch = [&] {
           rig.fetcher->fetchCompositeList([&](Outcome<Items> o) { inner.emplace(std::move(o)); });
         };
         EXPECT_TRUE(FetchRig::deliver(*rig.fetcher).isSuccess());
         ASSERT_TRUE(runMainContextUntil([&] { return inner.has_value(); }));
         ASSERT_TRUE(inner->isSuccess());
         EXPECT_EQ(inner->value().at(0).base<Product>()->entity(), (Product{2, "own"}));
       }},
      {"own entities", HostAction::raise, "the fetch ends with the error; the fetcher works",
       [] {
         FetchRig rig(R"([{"type":"own","uniqueId":"o"},{"type":"banner","uniqueId":"b"}])");
         HookedDirectDescription::onFetch = [] { throw TestFailure("own fetch failed"); };
         const Outcome<Items> out = FetchRig::deliver(*rig.fetcher);
         ASSERT_FALSE(out.isSuccess());
         EXPECT_EQ(errorText(out.error()), "own fetch failed");
         const Outcome<Items> again = FetchRig::deliver(*rig.fetcher);
         ASSERT_TRUE(again.isSuccess());
         EXPECT_EQ(again.value().at(1).base<Product>()->entity(), (Product{1, "one"}));
       }},
  };
}

TEST(FetcherReentrancyTest, EveryCallbackAndAction) {
  platform::ScopedService<platform::Device> phone{
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::phone)};
  quarn::testing::runReentrancyTable(fetcherRows());
}

/// A template file for the observer rows, removed afterwards.
struct TemplateFile {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("reentrancy_test_" + std::to_string(::getpid()));
  std::filesystem::path path = dir / "template.json";
  TemplateFile() {
    std::filesystem::create_directories(dir);
    std::ofstream(path) << "[]";
  }
  ~TemplateFile() { std::filesystem::remove_all(dir); }
  void append() const { std::ofstream(path, std::ios::app) << "\n"; }
  /// Runs the main context long enough for a change to arrive.
  static void settle() {
    runMainContextUntil([] { return false; }, std::chrono::milliseconds(150));
  }
};

TEST(TemplateFileObserverReentrancyTest, EveryCallbackAndAction) {
  quarn::testing::runReentrancyTable({
      {"file changed", HostAction::release, "no change is reported after the observer is gone",
       [] {
         TemplateFile file;
         auto observer =
             std::make_shared<CompositeListTemplateFileObserver>(URL::fileURL(file.path));
         int changes = 0;
         observer->setOnFileChanged([&] {
           ++changes;
           observer.reset();
         });
         file.append();
         ASSERT_TRUE(runMainContextUntil([&] { return changes == 1; }));
         EXPECT_FALSE(observer);
         file.append();
         TemplateFile::settle();
         EXPECT_EQ(changes, 1);
       }},
      {"file changed", HostAction::reenter,
       "a callback that replaces itself: the next change "
       "reaches the new one",
       [] {
         TemplateFile file;
         CompositeListTemplateFileObserver observer(URL::fileURL(file.path));
         int first = 0;
         int second = 0;
         observer.setOnFileChanged([&] {
           ++first;
           observer.setOnFileChanged([&] { ++second; });
         });
         file.append();
         ASSERT_TRUE(runMainContextUntil([&] { return first == 1; }));
         file.append();
         ASSERT_TRUE(runMainContextUntil([&] { return second == 1; }));
         EXPECT_EQ(first, 1);
       }},
      {"file changed", HostAction::raise,
       "the exception is logged and stops there; later changes are still reported",
       [] {
         TemplateFile file;
         LogCapture log;
         CompositeListTemplateFileObserver observer(URL::fileURL(file.path));
         int changes = 0;
         observer.setOnFileChanged([&] {
           if (++changes == 1) throw TestFailure("reload failed");
         });
         file.append();
         EXPECT_NO_THROW(runMainContextUntil([&] { return changes == 1; }));
         EXPECT_EQ(log.count("The change callback threw: reload failed"), 1u);
         file.append();
         EXPECT_NO_THROW(EXPECT_TRUE(runMainContextUntil([&] { return changes == 2; })));
       }},
  });
}

/// A rows item per letter, titled with it; tappable ones have a header link.
std::vector<AnyCompositeListItem> sectionItems(const std::string& ids, bool tappable = false) {
  const std::string action = tappable ? R"(,"headerAction":"https://example.com/h")" : "";
  std::string json = "[";
  for (char id : ids) {
    if (json.size() > 1) json += ",";
    json += R"({"type":"rows","uniqueId":")" + std::string(1, id) + R"(","entity":[{"text":")" +
            std::string(1, id) + R"("}],"data":{"title":")" + std::string(1, id) + "\"" + action +
            "}}";
  }
  return decodeCompositeListTemplate(json + "]", testing::sectionRegistry());
}

std::string titleOf(const std::shared_ptr<CollectionViewSection>& section) {
  return static_cast<const BaseCollectionSection&>(*section).title.value_or("");
}

std::string titles(const CompositeListSectionsProvider& provider) {
  std::string out;
  for (const auto& s : provider.sections()) out += titleOf(s);
  return out;
}

/// A screen whose header taps and reloads run host hooks.
class HookedScreen : public testing::TestListScreen {
 public:
  using TestListScreen::TestListScreen;
  std::function<void()> onHeaderClick;
  std::function<void()> onReload;
  /// The hook first: what it does to the screen must leave `type` whole.
  void didSectionHeaderClick(const CompositeListItemType& type) override {
    runOnce(onHeaderClick);
    TestListScreen::didSectionHeaderClick(type);
  }
  void reloadData(std::function<void()> completion) override {
    TestListScreen::reloadData(std::move(completion));
    runOnce(onReload);
  }
};

/// A provider of sections A and B on a loaded phone screen, and the header
/// view of section A as the screen would show it.
struct ScreenRig {
  platform::ScopedService<platform::Device> phone{
      std::make_shared<platform::FixedDevice>(platform::UserInterfaceIdiom::phone)};
  platform::ScopedService<platform::URLOpener> opener{
      std::make_shared<platform::RecordingURLOpener>()};
  std::shared_ptr<CompositeListSectionsProvider> provider =
      CompositeListSectionsProvider::make(testing::sectionRegistry());
  std::shared_ptr<HookedScreen> screen =
      BaseCompositeListViewController::make<HookedScreen>(provider);
  CompositeListSectionHeaderView header;

  ScreenRig() {
    screen->loadViewIfNeeded();
    show("AB");
  }
  /// Reloads the screen with sections of `ids` and sets the header up for
  /// the first.
  void show(const std::string& ids) {
    screen->nextItems = sectionItems(ids, true);
    screen->reloadData(nullptr);
    provider->sections().at(0)->configureSupplementaryView(header, {0, 0});
  }
};

TEST(SectionsProviderReentrancyTest, EveryCallbackAndAction) {
  quarn::testing::runReentrancyTable({
      {"sectionDidUpdate", HostAction::release,
       "the provider lives to the end of update(); every section is reported",
       [] {
         auto provider = CompositeListSectionsProvider::make(testing::sectionRegistry());
         std::weak_ptr<CompositeListSectionsProvider> weak = provider;
         std::string reported;
         provider->sectionDidUpdate = [&](std::size_t, const auto& section) {
           provider.reset();
           reported += titleOf(section);
         };
         provider->update(sectionItems("ABC"));
         EXPECT_EQ(reported, "ABC");
         EXPECT_TRUE(weak.expired());
       }},
      {"sectionDidUpdate", HostAction::reenter,
       "an update from inside: its sections are kept and reported, the outer update reports "
       "no more",
       [] {
         auto provider = CompositeListSectionsProvider::make(testing::sectionRegistry());
         std::vector<std::string> reported;
         bool reentered = false;
         provider->sectionDidUpdate = [&](std::size_t index, const auto& section) {
           if (!std::exchange(reentered, true)) provider->update(sectionItems("XY"));
           // The section handed in is still whole after the update inside.
           reported.push_back(std::to_string(index) + titleOf(section) +
                              std::to_string(section->snapshotItems().size()));
         };
         provider->update(sectionItems("ABC"));
         EXPECT_EQ(reported, (std::vector<std::string>{"0X1", "1Y1", "0A1"}));
         EXPECT_EQ(titles(*provider), "XY");
       }},
      {"sectionDidUpdate", HostAction::raise,
       "the exception leaves update(); its sections are kept and the provider updates again",
       [] {
         auto provider = CompositeListSectionsProvider::make(testing::sectionRegistry());
         int calls = 0;
         provider->sectionDidUpdate = [&](std::size_t, const auto&) {
           if (++calls == 1) throw TestFailure("report failed");
         };
         EXPECT_THROW(provider->update(sectionItems("AB")), TestFailure);
         EXPECT_EQ(titles(*provider), "AB");
         provider->update(sectionItems("C"));
         EXPECT_EQ(titles(*provider), "C");
         EXPECT_EQ(calls, 2);
       }},

      {"header tap", HostAction::release,
       "the screen and the provider dropped from the tap: nothing is touched after",
       [] {
         ScreenRig rig;
         std::weak_ptr<HookedScreen> weakScreen = rig.screen;
         std::weak_ptr<CompositeListSectionsProvider> weakProvider = rig.provider;
         rig.screen->onHeaderClick = [&] {
           rig.screen.reset();
           rig.provider.reset();
         };
         rig.header.tap();
         EXPECT_TRUE(weakScreen.expired());
         EXPECT_TRUE(weakProvider.expired());
         rig.header.tap();  // nothing left to tell
       }},
      {"header tap", HostAction::reenter,
       "a reload from the tap sets the header up anew; the next tap reaches the new section",
       [] {
         ScreenRig rig;
         rig.screen->onHeaderClick = [&] { rig.show("A"); };
         rig.header.tap();
         EXPECT_EQ(titles(*rig.provider), "A");
         rig.header.tap();
         EXPECT_EQ(rig.screen->headerClicks.size(), 2u);
       }},
      {"header tap", HostAction::raise,
       "the exception goes on to the tapper; the header still works",
       [] {
         ScreenRig rig;
         rig.screen->onHeaderClick = [] { throw TestFailure("tap failed"); };
         EXPECT_THROW(rig.header.tap(), TestFailure);
         rig.header.tap();
         EXPECT_EQ(rig.screen->headerClicks, std::vector<CompositeListItemType>{"rows"});
       }},
  });
}

TEST(ListScreenReentrancyTest, EveryCallbackAndAction) {
  quarn::testing::runReentrancyTable({
      {"pull-to-refresh reload", HostAction::release,
       "the screen lives to the end of the pull, then goes with its control",
       [] {
         ScreenRig rig;
         std::weak_ptr<HookedScreen> weak = rig.screen;
         // Held as the one pulling it would hold it.
         auto control = rig.screen->collectionView()->refreshControl();
         rig.screen->onReload = [&] { rig.screen.reset(); };
         control->simulateUserPull();
         EXPECT_TRUE(weak.expired());
       }},
      {"pull-to-refresh reload", HostAction::reenter,
       "a reload from inside runs at once; refreshing ends with the pull's own completion",
       [] {
         ScreenRig rig;
         const int before = rig.screen->reloads;
         auto control = rig.screen->collectionView()->refreshControl();
         rig.screen->onReload = [&] { rig.screen->reloadData(nullptr); };
         control->simulateUserPull();
         EXPECT_EQ(rig.screen->reloads, before + 2);
         ASSERT_EQ(rig.screen->pendingCompletions.size(), 1u);
         EXPECT_TRUE(control->isRefreshing());
         rig.screen->pendingCompletions[0]();
         EXPECT_FALSE(control->isRefreshing());
       }},
      {"pull-to-refresh reload", HostAction::raise,
       "the exception goes on to the puller, refreshing ends, and the next pull reloads",
       [] {
         ScreenRig rig;
         const int before = rig.screen->reloads;
         auto control = rig.screen->collectionView()->refreshControl();
         rig.screen->onReload = [] { throw TestFailure("reload failed"); };
         EXPECT_THROW(control->simulateUserPull(), TestFailure);
         EXPECT_FALSE(control->isRefreshing());
         control->simulateUserPull();
         EXPECT_EQ(rig.screen->reloads, before + 2);
         EXPECT_TRUE(control->isRefreshing());
       }},
  });
}

}  // namespace
}  // namespace quarn
