/// @file
/// ViewInteraction: behaviour attached to a view (View::addInteraction), told before and after it
/// moves to a view or away from one.

/// @class quarn::platform::ViewInteraction
/// Behaviour attached to a view (View::addInteraction), told
/// before and after it moves to a view or away from one.
///
/// Adding calls willMove(view) then didMove(view); removing calls
/// willMove(nullptr) then didMove(nullptr). The view keeps its interactions
/// alive; an interaction should hold its view weakly. An interface: the
/// implementations are shared objects, attached by shared_ptr.
#pragma once

#include <memory>

namespace quarn::platform {

class View;

class ViewInteraction {
 public:
  virtual ~ViewInteraction() = default;
  /// The view the interaction is attached to, or null.
  [[nodiscard]] virtual std::shared_ptr<View> view() const = 0;
  /// The interaction is about to move to `view` (null: it is being removed).
  virtual void willMove(const std::shared_ptr<View>& view) = 0;
  /// The interaction moved to `view` (null: it was removed).
  virtual void didMove(const std::shared_ptr<View>& view) = 0;
};

}  // namespace quarn::platform
