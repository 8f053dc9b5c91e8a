#include "quarnkit/animation/spring_interpolation.h"

#include <cmath>

#include "quarnkit/core/error.h"

namespace quarn {

namespace {
constexpr double kX0 = -1;  // the starting displacement
// e^-x is 0 in doubles for x above about 745: a decay that far along has ended.
constexpr double kSettled = 800;

bool positive(double v) { return v > 0 && std::isfinite(v); }
// Whether a decay at `rate` gets below the smallest double in a finite time.
bool settles(double rate) { return rate > 0 && std::isfinite(kSettled / rate); }
}  // namespace

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
  return motion(damping, 0, mass, stiffness).branch != Branch::invalid;
}

void SpringInterpolation::update() { motion_ = motion(damping_, velocity_, mass_, stiffness_); }

SpringInterpolation::Motion SpringInterpolation::motion(double damping, double velocity,
                                                        double mass, double stiffness) {
  Motion m;
  if (!positive(damping) || !positive(mass) || !positive(stiffness) || !std::isfinite(velocity)) {
    return {};
  }
  const double beta = damping / (2 * mass);
  const double omega0Squared = stiffness / mass;
  // The formulas square beta; a tiny mass or a huge damping overflows it.
  if (!positive(beta) || !positive(omega0Squared) || !std::isfinite(beta * beta)) return {};
  const double omega0 = std::sqrt(omega0Squared);
  const double start = beta * kX0 + velocity;
  if (!std::isfinite(start)) return {};
  m.beta = beta;
  if (omega0 > beta) {
    m.branch = Branch::underDamped;
    m.omega = std::sqrt(omega0 * omega0 - beta * beta);
    m.coefficient = start / m.omega;
    // Until the decay ends, omega t stays a number (cos and sin of infinity are not).
    if (!settles(beta) || !std::isfinite(m.omega * (kSettled / beta))) return {};
  } else if (omega0 == beta) {
    m.branch = Branch::criticallyDamped;
    m.coefficient = start;
    // t * coefficient, for t until the decay ends.
    if (!settles(beta) || !std::isfinite(m.coefficient * (kSettled / beta))) return {};
  } else {
    m.branch = Branch::overDamped;
    m.omega = std::sqrt(beta * beta - omega0 * omega0);
    m.coefficient = start / m.omega;
    m.slowRate = -(omega0 * omega0) / (m.omega + beta);
    if (!settles(-m.slowRate)) return {};
  }
  // The displacement stays within 1 + |coefficient|.
  if (!std::isfinite(2 * m.coefficient)) return {};
  return m;
}

double SpringInterpolation::operator()(double t) const {
  const Motion& m = motion_;
  if (m.branch == Branch::invalid) fatalError("Incorrect animation values");
  if (t <= 0) return 0;  // not started yet
  switch (m.branch) {
    case Branch::underDamped: {
      const double decay = std::exp(-m.beta * t);
      if (decay == 0) return 1;
      return decay * (kX0 * std::cos(m.omega * t) + std::sin(m.omega * t) * m.coefficient) - kX0;
    }
    case Branch::criticallyDamped: {
      const double decay = std::exp(-m.beta * t);
      if (decay == 0) return 1;
      return decay * (kX0 + t * m.coefficient) - kX0;
    }
    case Branch::overDamped: {
      // e^(-bt)(x0 cosh wt + c sinh wt) written with two decaying
      // exponentials (w < b), so large t neither overflows cosh nor gives
      // 0 * infinity.
      const double slow = std::exp(m.slowRate * t);
      if (slow == 0) return 1;
      const double fast = std::exp(-(m.omega + m.beta) * t);
      return 0.5 * (kX0 * (slow + fast) + m.coefficient * (slow - fast)) - kX0;
    }
    case Branch::invalid:
      break;
  }
  fatalError("Incorrect animation values");
}

}  // namespace quarn
