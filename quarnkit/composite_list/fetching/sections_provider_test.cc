// The sections provider: separators, header actions, empty and duplicate
// sections, and items that cannot be shown.
#include "quarnkit/composite_list/fetching/sections_provider.h"

#include <gtest/gtest.h>

#include "quarnkit/composite_list/testing/section_fixtures.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/services.h"

namespace quarn {
namespace {

using testing::sectionRegistry;
using testing::TestListScreen;

std::vector<AnyCompositeListItem> decode(const std::string& json) {
  return decodeCompositeListTemplate(json, sectionRegistry());
}

/// A rows item with one row (its text makes the section's identity) and an
/// optional title.
std::string rows(const std::string& id, const std::string& title = "") {
  return R"({"type":"rows","uniqueId":")" + id + R"(","entity":[{"text":")" + id + R"("}])" +
         (title.empty() ? "" : R"(,"data":{"title":")" + title + R"("})") + "}";
}
const std::string kDivider = R"({"type":"divider"})";

std::vector<std::string> sectionIds(const CompositeListSectionsProvider& provider) {
  std::vector<std::string> ids;
  for (const auto& s : provider.sections()) {
    const auto& section = static_cast<const BaseCollectionSection&>(*s);
    ids.push_back(section.compositeListItemType->rawValue + ":" +
                  section.item<CompositeListRow>({0, 0})->text);
  }
  return ids;
}

std::vector<bool> separators(const CompositeListSectionsProvider& provider) {
  std::vector<bool> out;
  for (const auto& s : provider.sections()) {
    out.push_back(static_cast<const BaseCollectionSection&>(*s).showSeparator);
  }
  return out;
}

TEST(CompositeListSectionsProviderTest, Separators) {
  struct Case {
    const char* name;
    std::vector<std::string> items;
    bool hideFirstTopSeparator;
    std::vector<bool> expected;
  };
  const std::vector<Case> cases = {
      {"divider A divider B, shown",
       {kDivider, rows("A"), kDivider, rows("B")},
       false,
       {true, true}},
      {"divider A divider B, hidden",
       {kDivider, rows("A"), kDivider, rows("B")},
       true,
       {false, true}},
      // The first section keeps its own setting (a title shows one) unless hidden.
      {"titled first, shown", {rows("A", "Top"), rows("B")}, false, {true, false}},
      {"titled first, hidden", {rows("A", "Top"), rows("B")}, true, {false, false}},
      // An item that gets no section still counts as a position.
      {"empty rows after divider",
       {rows("A"), kDivider, R"({"type":"rows","entity":[]})", rows("B")},
       false,
       {false, false}},
      {"divider without section before B",
       {rows("A"), R"({"type":"rows"})", kDivider, rows("B")},
       true,
       {false, true}},
      // A titled item after a non-divider loses its title's separator.
      {"titled second", {rows("A"), rows("B", "More")}, true, {false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto provider = CompositeListSectionsProvider::make(sectionRegistry());
    provider->hideFirstTopSeparator = c.hideFirstTopSeparator;
    std::string json = "[";
    for (std::size_t i = 0; i < c.items.size(); ++i) json += (i ? "," : "") + c.items[i];
    provider->update(decode(json + "]"));
    EXPECT_EQ(separators(*provider), c.expected);
  }
}

TEST(CompositeListSectionsProviderTest, SkipsEmptyDuplicateAndUnrenderableItems) {
  quarn::testing::LogCapture log;
  auto registry = sectionRegistry();
  auto provider = CompositeListSectionsProvider::make(registry);
  auto items = decode("[" + rows("A") + "," + rows("A") + "," + rows("B") + "," +
                      R"({"type":"tags","entity":[{"text":"t"}]})" + "]");
  // An item whose type the provider's registry does not know.
  items.emplace_back(std::make_shared<CompositeListSectionItem<std::vector<CompositeListRow>>>(
      "m", CompositeListItemType("mystery"), std::vector<CompositeListRow>{{"m", "m"}},
      std::nullopt, false));
  std::vector<std::size_t> updated;
  provider->sectionDidUpdate = [&](std::size_t index, const auto& section) {
    updated.push_back(index);
    EXPECT_EQ(section, provider->sections()[index]);
  };
  provider->update(items);
  EXPECT_EQ(sectionIds(*provider), (std::vector<std::string>{"rows:A", "rows:B"}));
  EXPECT_EQ(updated, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(log.texts(LogLevel::error),
            (std::vector<std::string>{
                "[CompositeListSectionsProvider] Failed to create section for 'tags'",
                "[CompositeListSectionsProvider] Failed to create section for 'mystery'"}));

  provider->registry = nullptr;  // without a registry nothing renders
  provider->update(items);
  EXPECT_TRUE(provider->sections().empty());
}

/// Records the items its hook sees, and whether it ever saw no section.
class RecordingProvider : public CompositeListSectionsProvider {
 public:
  using CompositeListSectionsProvider::CompositeListSectionsProvider;
  std::vector<std::string> seen;
  bool sawNull = false;
  void updateSection(const std::shared_ptr<BaseCollectionSection>& section,
                     const AnyCompositeListItem& item) override {
    sawNull = sawNull || !section;
    seen.push_back(item.uniqueId());
  }
};

TEST(CompositeListSectionsProviderTest, HookSeesEveryMadeSectionAndNoOther) {
  auto provider = CompositeListSectionsProvider::make<RecordingProvider>(sectionRegistry());
  // A section without rows is made (and then dropped); tags make none.
  provider->update(decode("[" + rows("A") + R"(,{"type":"tags","uniqueId":"t"},)" + kDivider + "," +
                          rows("B") + "]"));
  EXPECT_FALSE(provider->sawNull);
  EXPECT_EQ(provider->seen, (std::vector<std::string>{"A", "divider_2", "B"}));
}

/// Gives every section of type "rows" a header handler of its own first.
class HandlerProvider : public CompositeListSectionsProvider {
 public:
  using CompositeListSectionsProvider::CompositeListSectionsProvider;
  int ownTaps = 0;
  void updateSection(const std::shared_ptr<BaseCollectionSection>& section,
                     const AnyCompositeListItem&) override {
    section->headerClickHandler = [this] { ++ownTaps; };
  }
};

TEST(CompositeListSectionsProviderTest, HeaderActions) {
  auto opener = std::make_shared<platform::RecordingURLOpener>(std::vector<std::string>{"https"});
  platform::ScopedService<platform::URLOpener> scoped(opener);
  auto provider = CompositeListSectionsProvider::make<HandlerProvider>(sectionRegistry());
  auto screen = BaseCompositeListViewController::make<TestListScreen>(provider);
  provider->setViewController(screen);
  auto withAction = [](const std::string& id, const std::string& action) {
    return R"({"type":"rows","uniqueId":")" + id + R"(","entity":[{"text":")" + id +
           R"("}],"data":{"headerAction":")" + action + R"("}})";
  };
  provider->update(decode("[" + withAction("open", "https://example.com/a") + "," +
                          withAction("closed", "mailto:x@example.com") + "," +
                          withAction("plain", "default") + "," + withAction("off", "none") + "]"));
  ASSERT_EQ(provider->sections().size(), 4u);
  auto handler = [&](std::size_t i) {
    return std::static_pointer_cast<BaseCollectionSection>(provider->sections()[i])
        ->headerClickHandler;
  };
  handler(0)();  // opened, then reported
  handler(1)();  // cannot be opened: still reported
  handler(2)();  // the section's own handler, then reported
  EXPECT_FALSE(handler(3));
  ASSERT_EQ(opener->openedURLs().size(), 1u);
  EXPECT_EQ(opener->openedURLs()[0].absoluteString(), "https://example.com/a");
  EXPECT_EQ(provider->ownTaps, 1);
  EXPECT_EQ(screen->headerClicks, (std::vector<CompositeListItemType>(3, "rows")));

  // Handlers do not keep the provider alive, and do nothing without it.
  auto orphan = handler(0);
  screen.reset();
  provider.reset();
  orphan();
  EXPECT_EQ(opener->openedURLs().size(), 1u);
}

TEST(CompositeListSectionsProviderTest, ItemTypeAndNavigationController) {
  auto provider = CompositeListSectionsProvider::make(sectionRegistry());
  EXPECT_EQ(provider->navigationController(), nullptr);
  auto screen = BaseCompositeListViewController::make<TestListScreen>(provider);
  auto nav = platform::NavigationController::make(screen);
  provider->setViewController(screen);
  EXPECT_EQ(provider->navigationController(), nav);
  provider->update(decode("[" + rows("A") + "]"));
  EXPECT_EQ(
      static_cast<const BaseCollectionSection&>(*provider->sections()[0]).compositeListItemType,
      CompositeListItemType::rows);
}

TEST(SectionEntitiesTest, ViewsTheRecordsOwnEntities) {
  const auto items =
      decode(R"([{"type":"rows","uniqueId":"r","entity":[{"text":"one"},{"text":"two"}]},
                                {"type":"rows","uniqueId":"empty"}])");
  const auto record = items[0].base<std::vector<CompositeListRow>>();
  const auto view = items[0].entities<CompositeListRow>();
  ASSERT_TRUE(view);
  // The record's own list, not a copy of it.
  EXPECT_EQ(view->data(), record->entity()->data());
  EXPECT_EQ(view->size(), 2u);
  EXPECT_EQ((*view)[1].text, "two");
  EXPECT_EQ(items[0].getEntityArray<CompositeListRow>()->size(), 2u);
  // Nothing for a record without an entity or with entities of another type.
  EXPECT_FALSE(items[1].entities<CompositeListRow>());
  EXPECT_FALSE(items[0].entities<std::string>());

  // A single entity is a view of one.
  const AnyCompositeListItem single(std::make_shared<CompositeListSectionItem<CompositeListRow>>(
      "s", CompositeListItemType("row"), CompositeListRow(std::nullopt, "only"), std::nullopt,
      false));
  const auto one = single.entities<CompositeListRow>();
  ASSERT_TRUE(one);
  EXPECT_EQ(one->size(), 1u);
  EXPECT_EQ(one->data(), &*single.base<CompositeListRow>()->entity());
}

}  // namespace
}  // namespace quarn
