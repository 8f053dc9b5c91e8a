// SpringInterpolation: a damped spring as a timing function.
//
// The spring starts displaced by -1 with the given initial velocity and
// settles at 0; f(t) is 1 minus the displacement, so f(0) = 0 and f tends to
// 1. With beta = damping / (2 mass) and omega0 = sqrt(stiffness / mass):
// under-damped (omega0 > beta) it oscillates about 1 (the defaults overshoot
// near t = 0.36), critically damped (omega0 == beta exactly) and over-damped
// (omega0 < beta) it creeps up without crossing 1 (for a non-negative
// velocity).
//
//   auto spring = std::make_shared<SpringInterpolation>(/*damping*/ 20, 0, 1, 100);
//   (*spring)(0.1);   // critically damped
//
// It is a shared object: an interpolator given the spring sees later changes.
// Evaluating a spring whose damping, mass or stiffness is not a positive
// finite number (or whose damping / 2 mass or stiffness / mass overflows)
// stops with "Incorrect animation values" (a programming error); areValid()
// lets a caller check first.
#pragma once

#include "quarnkit/animation/interpolation_function.h"

namespace quarn {

class SpringInterpolation final : public InterpolationFunction {
 public:
  SpringInterpolation() { update(); }
  SpringInterpolation(double damping, double velocity, double mass, double stiffness);

  [[nodiscard]] double damping() const { return damping_; }
  void setDamping(double damping);
  [[nodiscard]] double mass() const { return mass_; }
  void setMass(double mass);
  [[nodiscard]] double stiffness() const { return stiffness_; }
  void setStiffness(double stiffness);
  /// The initial velocity.
  [[nodiscard]] double velocity() const { return velocity_; }
  void setVelocity(double velocity);

  /// Whether damping, mass and stiffness are positive finite numbers whose
  /// derived rates are finite.
  static bool areValid(double damping, double mass, double stiffness);

  double operator()(double t) const override;

 private:
  enum class Branch { underDamped, criticallyDamped, overDamped, invalid };
  void update();

  double damping_ = 10.0;
  double mass_ = 1.0;
  double stiffness_ = 100.0;
  double velocity_ = 0.0;
  // Derived from the fields by update().
  Branch branch_ = Branch::invalid;
  double beta_ = 0;
  double omega_ = 0;
  double coefficient_ = 0;
  double slowRate_ = 0;  // (beta * x0 + v0) / omega, or beta * x0 + v0 when critical
};

}  // namespace quarn
