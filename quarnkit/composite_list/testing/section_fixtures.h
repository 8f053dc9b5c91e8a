// Section-making descriptions and a list screen for the sections and screen
// tests: rows and banners become base sections titled from the item's data;
// dividers make sections without rows (so they show nothing but still count
// as positions).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"
#include "quarnkit/composite_list/fetching/sections_provider.h"
#include "quarnkit/composite_list/model/descriptions.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/composite_list/testing/model_fixtures.h"

namespace quarn::testing {

inline std::shared_ptr<BaseCollectionSection> titledSection(
    const AnyCompositeListItem& item, const std::vector<platform::AnyHashable>& rows) {
  std::optional<std::string> title, subtitle;
  if (item.data()) {
    title = item.data()->title;
    subtitle = item.data()->description;
  }
  return std::make_shared<BaseCollectionSection>(title, subtitle, rows);
}

class RowsSectionDescription : public RowsItemDescription, public CompositeListSectionProviding {
 public:
  std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem& item, const CompositeListSectionContext&) const override {
    std::vector<platform::AnyHashable> rows;
    if (auto entity = item.getEntityArray<CompositeListRow>()) {
      for (const auto& row : *entity) rows.emplace_back(row);
    }
    return titledSection(item, rows);
  }
};

class DividerSectionDescription : public DividerItemDesctiption,
                                  public CompositeListSectionProviding {
 public:
  std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem&, const CompositeListSectionContext&) const override {
    return std::make_shared<BaseCollectionSection>(std::nullopt, std::nullopt,
                                                   std::vector<platform::AnyHashable>{});
  }
};

class ProductBannerSectionDescription : public ProductBannerDescription,
                                        public CompositeListSectionProviding {
 public:
  std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem& item, const CompositeListSectionContext&) const override {
    std::vector<platform::AnyHashable> rows;
    if (auto products = item.getEntityArray<Product>()) {
      for (const auto& p : *products) rows.emplace_back(p);
    }
    return titledSection(item, rows);
  }
};

/// A registry whose rows, dividers and product banners make sections.
inline std::shared_ptr<CompositeListItemsRegistry> sectionRegistry() {
  auto registry = std::make_shared<CompositeListItemsRegistry>();
  registry->register_<RowsSectionDescription>();
  registry->register_<DividerSectionDescription>();
  registry->register_<ProductBannerSectionDescription>();
  registry->registerEntityClasses(testClassMap());
  return registry;
}

/// A list screen whose reloadData() shows the items it is given.
class TestListScreen : public BaseCompositeListViewController {
 public:
  using BaseCompositeListViewController::BaseCompositeListViewController;

  std::vector<AnyCompositeListItem> nextItems;
  int reloads = 0;
  std::vector<CompositeListItemType> headerClicks;
  /// Completions of reloadData() calls, held back until the test runs them.
  std::vector<std::function<void()>> pendingCompletions;

  void reloadData(std::function<void()> completion) override {
    ++reloads;
    items = nextItems;
    reloadSections(false, nullptr);
    if (completion) pendingCompletions.push_back(std::move(completion));
  }
  void didSectionHeaderClick(const CompositeListItemType& type) override {
    headerClicks.push_back(type);
  }
};

}  // namespace quarn::testing
