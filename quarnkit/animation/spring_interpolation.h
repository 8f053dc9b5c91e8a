/// @file
/// SpringInterpolation: a damped spring as a timing function.

/// @class quarn::SpringInterpolation
/// A damped spring as a timing function.
///
/// The spring starts displaced by -1 with the given initial velocity and
/// settles at 0; f(t) is 1 minus the displacement, so f(0) = 0 and f tends to
/// 1. With beta = damping / (2 mass) and omega0 = sqrt(stiffness / mass):
/// under-damped (omega0 > beta) it oscillates about 1 (the defaults overshoot
/// near t = 0.36), critically damped (omega0 == beta exactly) and over-damped
/// (omega0 < beta) it creeps up without crossing 1 (for a non-negative
/// velocity). Before its start (t < 0) it is at 0, and once its motion is
/// below the smallest double it is exactly 1.
///
/// ```
///   auto spring = std::make_shared<SpringInterpolation>(/*damping*/ 20, 0, 1, 100);
///   (*spring)(0.1);   // critically damped
/// ```
///
/// A spring is a value: a copy is a spring of its own. An interpolator given a
/// std::shared_ptr to one (TimingFunction shares it) sees later changes.
///
/// A spring is valid when damping, mass and stiffness are positive finite
/// numbers and the formula's derived numbers fit in a double: beta, omega0
/// squared and beta squared are finite (so damping above about 2.7e154 with
/// mass 1, or mass 1e-300, is refused), its slowest decay rate reaches the
/// smallest double within the largest time (so it settles), and its velocity
/// is a finite number that does not carry it beyond the largest double.
/// Evaluating a spring that is not valid stops with "Incorrect animation
/// values" (a programming error); areValid() and isValid() let a caller check
/// first. A valid spring gives a finite value for every finite time.
#pragma once

#include "quarnkit/animation/interpolation_function.h"

namespace quarn {

class SpringInterpolation final : public InterpolationFunction {
 public:
  SpringInterpolation() { update(); }
  /// A spring of these parameters.
  SpringInterpolation(double damping, double velocity, double mass, double stiffness);

  /// The damping.
  [[nodiscard]] double damping() const { return damping_; }
  /// Sets the damping.
  void setDamping(double damping);
  /// The mass.
  [[nodiscard]] double mass() const { return mass_; }
  /// Sets the mass.
  void setMass(double mass);
  /// The stiffness.
  [[nodiscard]] double stiffness() const { return stiffness_; }
  /// Sets the stiffness.
  void setStiffness(double stiffness);
  /// The initial velocity.
  [[nodiscard]] double velocity() const { return velocity_; }
  /// Sets the initial velocity.
  void setVelocity(double velocity);

  /// Whether a spring of these parameters and no initial velocity is valid.
  static bool areValid(double damping, double mass, double stiffness);
  /// Whether this spring, with its velocity, is valid.
  [[nodiscard]] bool isValid() const { return motion_.branch != Branch::invalid; }

  /// The spring's position at time `t`; a spring that is not valid stops (a programming error).
  double operator()(double t) const override;

 private:
  enum class Branch { underDamped, criticallyDamped, overDamped, invalid };
  // The numbers the formula is evaluated with, derived from the fields.
  struct Motion {
    Branch branch = Branch::invalid;
    double beta = 0;
    double omega = 0;
    double coefficient = 0;
    double slowRate = 0;  // over-damped: omega - beta, without cancellation
  };
  static Motion motion(double damping, double velocity, double mass, double stiffness);
  void update();

  double damping_ = 10.0;
  double mass_ = 1.0;
  double stiffness_ = 100.0;
  double velocity_ = 0.0;
  Motion motion_;
};

}  // namespace quarn
