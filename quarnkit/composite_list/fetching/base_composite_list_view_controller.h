/// @file
/// BaseCompositeListViewController: the composite list screen.

/// @class quarn::BaseCompositeListViewController
/// The composite list screen. It holds the
/// fetched items, turns them into sections with its sections provider and
/// shows them; pull-to-refresh, the empty state's retry and edits of a watched
/// template file all reload it.
///
/// A shared object: a concrete screen supplies reloadData(): fetch, store
/// `items`, call reloadSections(). Screens are made with make<T>() only (their
/// constructors take the Passkey it passes), which runs commonInit() once the
/// screen is fully built:
///
/// ```
///   class HomeScreen : public BaseCompositeListViewController {
///    public:
///     using BaseCompositeListViewController::BaseCompositeListViewController;  // (Passkey,
///     provider) void reloadData(std::function<void()> completion) override {
///       fetcher->fetchCompositeList([weak = weakSelf(), completion](auto outcome) { ... });
///     }
///   };
///   auto home = BaseCompositeListViewController::make<HomeScreen>(provider);
/// ```
///
/// When its view loads the screen adds pull-to-refresh (except on desktops),
/// lets the collection view keep its superview's margins, bounce vertically
/// and inset its content by 20 points at the top and bottom, lets cells
/// re-size when their constraints change, sets the empty state's retry action,
/// and performs a first, empty section rebuild.
///
/// reloadData() may drop the screen (it lives on until the call that made it
/// reload returns) or reload again. When it throws from a pull-to-refresh,
/// the pull's refreshing ends and the exception goes on to whoever pulled;
/// the retry action and a template file change let it go on the same way
/// (the file observer logs it).
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "quarnkit/composite_list/fetching/compositional_layout_view_controller.h"
#include "quarnkit/composite_list/fetching/sections_provider.h"
#include "quarnkit/composite_list/fetching/template_file_observer.h"
#include "quarnkit/composite_list/model/any_item.h"
#include "quarnkit/platform/runtime/publisher.h"
#include "quarnkit/platform/ui/empty_state_manager.h"
#include "quarnkit/platform/ui/refresh_control.h"

namespace quarn {

class BaseCompositeListViewController : public CompositionalLayoutViewController {
 public:
  /// For make(): the passkey comes only from it. The screen shows the sections of
  /// `sectionsProvider`.
  BaseCompositeListViewController(Passkey key,
                                  std::shared_ptr<CompositeListSectionsProvider> sectionsProvider);

  /// Makes a screen of type T (passing a Passkey before `args` to its
  /// constructor) and runs its commonInit().
  template <class T, class... Args>
  requires std::derived_from<T, BaseCompositeListViewController>
  static std::shared_ptr<T> make(Args&&... args) {
    auto screen = CompositionalLayoutViewController::make<T>(std::forward<Args>(args)...);
    screen->commonInit();
    return screen;
  }

  /// The fetched content.
  std::vector<AnyCompositeListItem> items;
  /// The provider that makes the screen's sections.
  [[nodiscard]] const std::shared_ptr<CompositeListSectionsProvider>& sectionsProvider() const {
    return sectionsProvider_;
  }
  /// The empty-state manager of the collection view, made on first use.
  const std::shared_ptr<platform::EmptyStateManager>& emptyDataSetManager();
  /// The observer of the template file, or null.
  [[nodiscard]] const std::shared_ptr<CompositeListTemplateFileObserver>& templateFileObserver()
      const {
    return templateFileObserver_;
  }
  /// Watches a template file: every change reloads the screen.
  void setTemplateFileObserver(std::shared_ptr<CompositeListTemplateFileObserver> observer);
  /// Subscriptions that live as long as the screen.
  std::set<AnyCancellable> subscriptions;

  /// Set-up hook run by make(); does nothing by default.
  virtual void commonInit() {}
  /// Fetches, stores `items`, reloads the sections, then calls `completion`
  /// (which may be empty).
  virtual void reloadData(std::function<void()> completion) = 0;
  /// A section header was tapped; receives the section's item type.
  virtual void didSectionHeaderClick(const CompositeListItemType& type);
  /// Pull-to-refresh: reloads, then ends the control's refreshing.
  virtual void refreshControlTriggered(platform::RefreshControl& control);
  /// Rebuilds the sections from `items` and applies them, animating only
  /// when asked and the view is in a window.
  void reloadSections(bool animateWhenUpdate, std::function<void()> completion) override;

 protected:
  /// Sets the collection view up: a refresh control (except on desktops),
  /// insets, bouncing and the empty-state retry.
  void viewDidLoad() override;

 private:
  std::shared_ptr<CompositeListSectionsProvider> sectionsProvider_;
  std::shared_ptr<platform::EmptyStateManager> emptyDataSetManager_;
  std::shared_ptr<CompositeListTemplateFileObserver> templateFileObserver_;
};

}  // namespace quarn
