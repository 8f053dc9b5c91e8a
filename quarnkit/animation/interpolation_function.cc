#include "quarnkit/animation/interpolation_function.h"

#include "quarnkit/animation/basic_interpolation.h"

namespace quarn {

TimingFunction::TimingFunction()
    : function_(std::make_shared<const BasicInterpolation>(BasicInterpolation::linear)) {}

}  // namespace quarn
