#include "quarnkit/composite_list/fetching/sections_provider.h"

#include <boost/unordered/unordered_flat_set.hpp>

#include "quarnkit/composite_list/fetching/base_composite_list_view_controller.h"
#include "quarnkit/core/log.h"
#include "quarnkit/platform/services.h"

namespace quarn {

CompositeListSectionsProvider::CompositeListSectionsProvider(
    Passkey /*key*/, std::shared_ptr<CompositeListItemsRegistry> registry_)
    : registry(std::move(registry_)) {}

std::shared_ptr<platform::NavigationController>
CompositeListSectionsProvider::navigationController() const {
  auto screen = viewController();
  return screen ? screen->navigationController() : nullptr;
}

void CompositeListSectionsProvider::setSections(
    std::vector<std::shared_ptr<CollectionViewSection>> sections) {
  boost::unordered_flat_set<std::size_t> seen;
  seen.reserve(sections.size());
  sections_.clear();
  sections_.reserve(sections.size());
  for (auto& section : sections) {
    if (seen.insert(section->snapshotSection().hash()).second)
      sections_.push_back(std::move(section));
  }
}

const AnyCompositeListItemDescription* CompositeListSectionsProvider::description(
    const AnyCompositeListItem& item) const {
  return registry ? registry->description(item.type()) : nullptr;
}

std::shared_ptr<BaseCollectionSection> CompositeListSectionsProvider::makeSection(
    const AnyCompositeListItem& item) {
  std::shared_ptr<BaseCollectionSection> section;
  if (const AnyCompositeListItemDescription* entry = description(item)) {
    if (const CompositeListSectionProviding* maker = CompositeListSectionProviding::of(*entry)) {
      section = maker->section(item, *this);
    }
  }
  if (!section) {
    defaultLogger().error("[CompositeListSectionsProvider] Failed to create section for '{}'",
                          item.type().rawValue);
  }
  return section;
}

void CompositeListSectionsProvider::updateSection(const std::shared_ptr<BaseCollectionSection>&,
                                                  const AnyCompositeListItem&) {}

void CompositeListSectionsProvider::setHeaderAction(BaseCollectionSection& section,
                                                    const AnyCompositeListItem& item) {
  using Kind = CompositeListItemData::Action::Kind;
  const auto& data = item.data();
  const Kind kind = data && data->headerAction ? data->headerAction->kind() : Kind::default_;
  if (kind == Kind::disabled) {
    section.headerClickHandler = nullptr;
    return;
  }
  if (kind == Kind::default_ && !section.headerClickHandler) return;
  // Tells the screen, while there is one, that the header was tapped.
  auto tellScreen = [weak = weak_from_this(), type = item.type()] {
    auto self = weak.lock();
    if (!self) return;
    if (auto screen = self->viewController()) screen->didSectionHeaderClick(type);
  };
  if (kind == Kind::link) {
    section.headerClickHandler = [weak = weak_from_this(), url = *data->headerAction->url(),
                                  tellScreen] {
      auto self = weak.lock();
      if (!self) return;
      self->performActionUrl(url);
      tellScreen();
    };
  } else {
    section.headerClickHandler = [previous = std::move(section.headerClickHandler), tellScreen] {
      previous();
      tellScreen();
    };
  }
}

void CompositeListSectionsProvider::update(const std::vector<AnyCompositeListItem>& items) {
  // The host may drop the provider from inside any of the calls below.
  const auto self = shared_from_this();
  const std::uint64_t update = ++updates_;
  std::vector<std::shared_ptr<CollectionViewSection>> made;
  std::vector<BaseCollectionSection*> shown;
  made.reserve(items.size());
  shown.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const AnyCompositeListItem& item = items[i];
    std::shared_ptr<BaseCollectionSection> section = makeSection(item);
    if (!section) continue;
    updateSection(section, item);
    if (section->snapshotItems().empty()) continue;
    section->compositeListItemType = item.type();
    setHeaderAction(*section, item);
    if (i >= 1) {
      section->showSeparator = items[i - 1].type() == CompositeListItemType::divider &&
                               !(hideFirstTopSeparator && i == 1);
    }
    shown.push_back(section.get());
    made.push_back(std::move(section));
  }
  if (!made.empty() && hideFirstTopSeparator) shown.front()->showSeparator = false;
  // Identities are taken after the separators are settled; sectionDidUpdate
  // then sees each section with its index in the stored list.
  setSections(std::move(made));
  if (!sectionDidUpdate) return;
  // Copies: the callback may replace itself, or update again (which replaces
  // the sections, and ends this update's reports).
  const SectionDidUpdate report = sectionDidUpdate;
  const std::vector<std::shared_ptr<CollectionViewSection>> reported = sections_;
  for (std::size_t i = 0; i < reported.size() && updates_ == update; ++i) report(i, reported[i]);
}

void CompositeListSectionsProvider::performActionUrl(const URL& url) {
  auto opener = platform::URLOpener::current();
  if (opener->canOpenURL(url)) opener->open(url);
}

}  // namespace quarn
