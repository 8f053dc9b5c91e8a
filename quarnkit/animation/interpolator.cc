#include "quarnkit/animation/interpolator.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "quarnkit/animation/detail/blend.h"

namespace quarn::detail {

void checkKeyValueCount(std::size_t count) {
  if (count == 0) throw std::invalid_argument("Interpolator needs at least one key value");
}

void checkKeyValue(std::size_t index, std::size_t width, std::size_t firstWidth) {
  if (width == 0) throw std::invalid_argument("Interpolator: key values flatten to no numbers");
  if (width != firstWidth) {
    throw std::invalid_argument("Interpolator: key value " + std::to_string(index) + " has " +
                                std::to_string(width) + " numbers where key value 0 has " +
                                std::to_string(firstWidth));
  }
}

InterpolatorCore::InterpolatorCore(std::vector<double> values, std::size_t count, std::size_t width,
                                   TimingFunction timing)
    : function(std::move(timing)),
      count_(count),
      width_(width),
      current_(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(width)),
      values_(std::move(values)) {
  diffVectors_.resize((count_ - 1) * width_);
  for (std::size_t i = 0; i + 1 < count_; ++i) {
    for (std::size_t k = 0; k < width_; ++k) {
      diffVectors_[i * width_ + k] = values_[(i + 1) * width_ + k] - values_[i * width_ + k];
    }
  }
}

std::span<const double> InterpolatorCore::interpolate(double progress) {
  double p = progress;
  if (!(p >= 0)) p = 0;  // negative or not a number
  if (p > 1) p = 1;
  const double eased = function(p);
  const std::size_t segments = count_ - 1;
  if (segments == 0) {
    std::copy(values_.begin(), values_.end(), current_.begin());
    return current_;
  }
  const double x = eased * static_cast<double>(segments);
  const double index = std::ceil(x) - 1;
  std::size_t i = 0;
  if (index >= static_cast<double>(segments - 1)) {
    i = segments - 1;  // beyond the last segment: extrapolate along it
  } else if (index > 0) {
    i = static_cast<std::size_t>(index);
  }
  const double u = x - static_cast<double>(i);
  const double* from = values_.data() + i * width_;
  const double* to = from + width_;
  const double* diff = diffVectors_.data() + i * width_;
  for (std::size_t k = 0; k < width_; ++k) {
    // The stored difference where it is a number; the blend covers the end of
    // a segment (exactly the next key value) and differences that overflow.
    current_[k] =
        u != 1 && std::isfinite(diff[k]) ? from[k] + u * diff[k] : blend(from[k], to[k], u);
  }
  return current_;
}

}  // namespace quarn::detail
