#include "quarnkit/platform/ui/view_interaction.h"

#include <algorithm>

#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

// The view's side of attaching interactions.
void View::addInteraction(const std::shared_ptr<ViewInteraction>& interaction) {
  if (!interaction) return;
  requireShared("View::addInteraction");
  if (auto old = interaction->view()) {
    if (old.get() == this) return;
    old->removeInteraction(interaction);
  }
  auto self = shared_from_this();
  interaction->willMove(self);
  interactions_.push_back(interaction);
  interaction->didMove(self);
}

void View::removeInteraction(const std::shared_ptr<ViewInteraction>& interaction) {
  if (std::find(interactions_.begin(), interactions_.end(), interaction) == interactions_.end()) {
    return;
  }
  // Keeps the interaction alive through its own removal.
  const std::shared_ptr<ViewInteraction> removed = interaction;
  removed->willMove(nullptr);
  std::erase(interactions_, removed);
  removed->didMove(nullptr);
}

}  // namespace quarn::platform
