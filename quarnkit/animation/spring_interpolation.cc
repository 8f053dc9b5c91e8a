#include "quarnkit/animation/spring_interpolation.h"

#include <cmath>

#include "quarnkit/core/error.h"

namespace quarn {

namespace {
constexpr double kX0 = -1;  // the starting displacement
}

SpringInterpolation::SpringInterpolation(double damping, double velocity, double mass,
                                         double stiffness)
    : damping_(damping), mass_(mass), stiffness_(stiffness), velocity_(velocity) {
  update();
}

void SpringInterpolation::setDamping(double damping) {
  damping_ = damping;
  update();
}
void SpringInterpolation::setMass(double mass) {
  mass_ = mass;
  update();
}
void SpringInterpolation::setStiffness(double stiffness) {
  stiffness_ = stiffness;
  update();
}
void SpringInterpolation::setVelocity(double velocity) {
  velocity_ = velocity;
  update();
}

bool SpringInterpolation::areValid(double damping, double mass, double stiffness) {
  auto positive = [](double v) { return v > 0 && std::isfinite(v); };
  // The derived rates must be numbers too (a tiny mass can overflow them).
  return positive(damping) && positive(mass) && positive(stiffness) &&
         std::isfinite(damping / (2 * mass)) && std::isfinite(stiffness / mass);
}

void SpringInterpolation::update() {
  if (!areValid(damping_, mass_, stiffness_)) {
    branch_ = Branch::invalid;
    return;
  }
  beta_ = damping_ / (2 * mass_);
  const double omega0 = std::sqrt(stiffness_ / mass_);
  const double start = beta_ * kX0 + velocity_;
  if (omega0 > beta_) {
    branch_ = Branch::underDamped;
    omega_ = std::sqrt(omega0 * omega0 - beta_ * beta_);
    coefficient_ = start / omega_;
  } else if (omega0 == beta_) {
    branch_ = Branch::criticallyDamped;
    omega_ = 0;
    coefficient_ = start;
  } else {
    branch_ = Branch::overDamped;
    omega_ = std::sqrt(beta_ * beta_ - omega0 * omega0);
    coefficient_ = start / omega_;
    slowRate_ = -(omega0 * omega0) / (omega_ + beta_);  // omega - beta, without cancellation
  }
}

double SpringInterpolation::operator()(double t) const {
  switch (branch_) {
    case Branch::underDamped:
      return std::exp(-beta_ * t) *
                 (kX0 * std::cos(omega_ * t) + std::sin(omega_ * t) * coefficient_) -
             kX0;
    case Branch::criticallyDamped:
      return std::exp(-beta_ * t) * (kX0 + t * coefficient_) - kX0;
    case Branch::overDamped: {
      // e^(-bt)(x0 cosh wt + c sinh wt) written with two decaying
      // exponentials (w < b), so large t neither overflows cosh nor gives
      // 0 * infinity.
      const double slow = std::exp(slowRate_ * t);
      const double fast = std::exp(-(omega_ + beta_) * t);
      return 0.5 * (kX0 * (slow + fast) + coefficient_ * (slow - fast)) - kX0;
    }
    case Branch::invalid:
      break;
  }
  fatalError("Incorrect animation values");
}

}  // namespace quarn
