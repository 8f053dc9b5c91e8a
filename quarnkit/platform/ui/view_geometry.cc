// The view's opacity and centre.
#include <algorithm>
#include <cmath>

#include "quarnkit/platform/ui/view.h"

namespace quarn::platform {

void View::setAlpha(double alpha) {
  if (std::isnan(alpha)) return;
  alpha_ = std::clamp(alpha, 0.0, 1.0);
}

Point View::center() const {
  return {frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2};
}

void View::setCenter(Point center) {
  frame.origin = {center.x - frame.size.width / 2, center.y - frame.size.height / 2};
}

}  // namespace quarn::platform
