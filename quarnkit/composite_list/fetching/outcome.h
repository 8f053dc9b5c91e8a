/// @file
/// Outcome<T>: what callback-style work hands its completion: a value or the error it failed with.

/// @class quarn::Outcome
/// What callback-style work hands its completion: a value or the
/// error it failed with.
///
/// ```
///   provider.provideTemplate(source, [](Outcome<Items> outcome) {
///     if (outcome.isSuccess()) show(outcome.value()); else report(outcome.error());
///   });
/// ```
#pragma once

#include <exception>
#include <utility>
#include <variant>

namespace quarn {

template <class T>
class Outcome {
 public:
  /// A success holding `value`.
  static Outcome success(T value) { return Outcome(std::move(value)); }
  /// A failure; a null error stands for an unknown one.
  static Outcome failure(std::exception_ptr error) { return Outcome(std::move(error)); }

  /// Whether it is a success.
  [[nodiscard]] bool isSuccess() const { return state_.index() == 0; }
  /// The value of a success; rethrows the error of a failure.
  [[nodiscard]] const T& value() const& {
    rethrowIfFailure();
    return std::get<0>(state_);
  }
  /// The value of a success, moved out; rethrows the error of a failure.
  [[nodiscard]] T&& value() && {
    rethrowIfFailure();
    return std::get<0>(std::move(state_));
  }
  /// The error of a failure; null for a success.
  [[nodiscard]] std::exception_ptr error() const {
    return isSuccess() ? nullptr : std::get<1>(state_);
  }

 private:
  explicit Outcome(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  explicit Outcome(std::exception_ptr error) : state_(std::in_place_index<1>, std::move(error)) {}
  void rethrowIfFailure() const;

  std::variant<T, std::exception_ptr> state_;
};

template <class T>
void Outcome<T>::rethrowIfFailure() const {
  if (isSuccess()) return;
  if (const auto& e = std::get<1>(state_)) std::rethrow_exception(e);
  throw std::bad_variant_access();
}

}  // namespace quarn
