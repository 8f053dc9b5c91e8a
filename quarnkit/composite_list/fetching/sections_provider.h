/// @file
/// CompositeListSectionsProvider: a shared object (made by make<T>() only, as its header handlers
/// reach it through weak_from_this()) that turns a fetched item list into the display sections of a
/// list screen: one section per item whose description can make one, separators after divider
/// items, header taps, no empty sections and no two sections of the same identity.

/// @class quarn::CompositeListSectionsProvider
/// A shared object (made by make<T>() only, as
/// its header handlers reach it through weak_from_this()) that turns a
/// fetched item list into the display sections of a list screen: one section per item whose
/// description can make one, separators after divider items, header taps, no empty sections and no
/// two sections of the same identity.
///
/// ```
///   class BannerDescription : public BannerItemDescription<Promo>,
///                             public CompositeListSectionProviding {
///     std::shared_ptr<BaseCollectionSection> section(
///         const AnyCompositeListItem& item, const CompositeListSectionContext&) const override {
///       return std::make_shared<PromoSection>(item);
///     }
///   };
///
///   auto provider = CompositeListSectionsProvider::make(registry);
///   provider->update(items);
///   provider->sections();
/// ```
///
/// Separators: the section of the item at position i >= 1 shows one exactly
/// when the item before it is a divider, except that with
/// hideFirstTopSeparator the item at position 1 and the first section show
/// none. Positions count every item, including those that get no section.
///
/// Header taps: a data.headerAction link opens its URL (when the platform can)
/// and tells the screen; the default adds telling the screen to a handler the
/// section already has; "none" removes the handler. Handlers hold the
/// provider weakly. Providers live on the main context.
///
/// Calls into the host during update() (the descriptions' section makers,
/// updateSection(), sectionDidUpdate) may drop the provider, which lives on
/// until update() returns. sectionDidUpdate may call update() again: the
/// sections of the inner update are the ones kept, and the outer update
/// reports none of its own after that. An exception from any of them leaves
/// update() to its caller; sectionDidUpdate is then not called for the
/// remaining sections, which are kept all the same.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "quarnkit/composite_list/fetching/base_collection_section.h"
#include "quarnkit/composite_list/model/any_item.h"
#include "quarnkit/composite_list/model/registry.h"
#include "quarnkit/core/url.h"
#include "quarnkit/platform/ui/view_controller.h"

namespace quarn {

class BaseCompositeListViewController;

/// What a description receives while it makes a section.
class CompositeListSectionContext {
 public:
  virtual ~CompositeListSectionContext() = default;
  /// The list screen the sections are for, if there is one.
  [[nodiscard]] virtual std::shared_ptr<BaseCompositeListViewController> viewController() const = 0;
};

/// An item description that can make display sections.
class CompositeListSectionProviding : public CompositeListSectionProvidingRole {
 public:
  /// The description of a registry entry as a section maker, or null.
  static const CompositeListSectionProviding* of(const AnyCompositeListItemDescription& entry) {
    // The role's one derived class is this one.
    return static_cast<const CompositeListSectionProviding*>(entry.sectionProviding);
  }
  /// The section for an item, or nothing.
  [[nodiscard]] virtual std::shared_ptr<BaseCollectionSection> section(
      const AnyCompositeListItem& item, const CompositeListSectionContext& context) const = 0;
};

class CompositeListSectionsProvider
    : public SectionProvider,
      public CompositeListSectionContext,
      public std::enable_shared_from_this<CompositeListSectionsProvider> {
 public:
  /// Called with a section's index and the section.
  using SectionDidUpdate =
      std::function<void(std::size_t, const std::shared_ptr<CollectionViewSection>&)>;

  /// What only make() can give: every constructor of a provider, a host's
  /// subclass included, takes one, so none is built outside a shared_ptr.
  class Passkey {
    Passkey() = default;
    friend class CompositeListSectionsProvider;
  };

  /// Makes a provider of class T (this class or a subclass), passing a
  /// Passkey before `args` to its constructor.
  template <class T = CompositeListSectionsProvider, class... Args>
  requires std::derived_from<T, CompositeListSectionsProvider>
  static std::shared_ptr<T> make(Args&&... args) {
    return std::make_shared<T>(Passkey(), std::forward<Args>(args)...);
  }

  /// For make(): the passkey comes only from it. Sections are made with the descriptions of
  /// `registry`.
  CompositeListSectionsProvider(Passkey key, std::shared_ptr<CompositeListItemsRegistry> registry);

  [[nodiscard]] std::shared_ptr<BaseCompositeListViewController> viewController() const override {
    return viewController_.lock();
  }
  /// Sets the screen the sections are shown in, held weakly.
  void setViewController(const std::shared_ptr<BaseCompositeListViewController>& controller) {
    viewController_ = controller;
  }
  /// The navigation controller of the screen, if any.
  [[nodiscard]] std::shared_ptr<platform::NavigationController> navigationController() const;

  /// Called for every section, with its index, after each update.
  SectionDidUpdate sectionDidUpdate;
  /// Hide the separator of the first section's header.
  bool hideFirstTopSeparator = true;
  /// The registry whose descriptions make the sections.
  std::shared_ptr<CompositeListItemsRegistry> registry;

  [[nodiscard]] const std::vector<std::shared_ptr<CollectionViewSection>>& sections()
      const override {
    return sections_;
  }
  /// Stores the sections, keeping only the first of each identity.
  void setSections(std::vector<std::shared_ptr<CollectionViewSection>> sections);

  /// The item's registry entry (the last registered for its type), or nothing.
  [[nodiscard]] virtual const AnyCompositeListItemDescription* description(
      const AnyCompositeListItem& item) const;
  /// The section the item's description makes; logs and gives nothing when
  /// there is no description, it cannot make sections, or it makes none.
  virtual std::shared_ptr<BaseCollectionSection> makeSection(const AnyCompositeListItem& item);
  /// Called with each section made (never null: an item that gets none is
  /// not passed) and its item, before empty sections are dropped; does
  /// nothing by default.
  virtual void updateSection(const std::shared_ptr<BaseCollectionSection>& section,
                             const AnyCompositeListItem& item);
  /// Rebuilds the sections from an item list.
  virtual void update(const std::vector<AnyCompositeListItem>& items);
  /// Opens a URL through the platform when the platform can open it.
  virtual void performActionUrl(const URL& url);

 private:
  void setHeaderAction(BaseCollectionSection& section, const AnyCompositeListItem& item);

  std::weak_ptr<BaseCompositeListViewController> viewController_;
  std::vector<std::shared_ptr<CollectionViewSection>> sections_;
  // Counts update() calls, so that an outer one notices an inner one.
  std::uint64_t updates_ = 0;
};

}  // namespace quarn
