/// @file
/// Application: the application's windows, the key window, and the screen on top of everything,
/// which is where new screens are pushed or presented from when no other place is given.

/// @class quarn::platform::Application
/// The application's windows, the key window, and the screen on
/// top of everything, which is where new screens are pushed or presented
/// from when no other place is given. There is one Application
/// (Application::shared()), never made or copied elsewhere.
///
/// ```
///   window->setRootViewController(tabs);
///   window->makeKeyAndVisible();             // now Application::shared().keyWindow()
///   auto top = topMostViewController();      // the selected tab's visible screen
/// ```
///
/// Windows join the application when they are made key and visible; the
/// application holds them weakly. Main context only, like the whole toolkit.
#pragma once

#include <memory>
#include <vector>

#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

class ViewController;

class Application {
 public:
  /// The one application; it is neither made nor copied elsewhere.
  static Application& shared();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  /// The windows made key and visible at some time, oldest first, while
  /// they live.
  [[nodiscard]] std::vector<std::shared_ptr<Window>> windows() const;
  /// The window that is key, or nothing.
  [[nodiscard]] std::shared_ptr<Window> keyWindow() const;

 private:
  Application() = default;
  friend class Window;
  // Makes `window` the key window (and a window of the application).
  void makeKey(const std::shared_ptr<Window>& window);

  std::vector<std::weak_ptr<Window>> windows_;
};

/// The screen on top: from the root screen of the first key window that has
/// one, down through what each screen shows: the screen it presents, a tab
/// bar controller's selected screen, a navigation controller's top screen,
/// a page controller's page when it shows exactly one. Nothing without such
/// a window.
std::shared_ptr<ViewController> topMostViewController();

}  // namespace quarn::platform
