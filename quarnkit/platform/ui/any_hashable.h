// AnyHashable: a type-erased hashable value, the identifier type of diffable
// snapshots whose rows are of many kinds (wrapped entities, loop positions,
// plain numbers and strings).
//
//   AnyHashable a = AnyHashable(std::string("row"));
//   AnyHashable b = AnyHashable(std::int64_t{7});
//   a == b;                       // false: different types are never equal
//   b.get<std::int64_t>();        // pointer to 7
//
// Two values are equal when they hold the same type and compare equal with
// that type's ==. The hash is computed once, when the value is wrapped.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace quarn::platform {

template <class T>
concept Hashable = requires(const T& a, const T& b) {
  { std::hash<T>()(a) } -> std::convertible_to<std::size_t>;
  { a == b } -> std::convertible_to<bool>;
};

class AnyHashable {
 public:
  template <Hashable T>
  requires(!std::is_same_v<std::decay_t<T>, AnyHashable>) explicit AnyHashable(T value)
      : hash_(std::hash<std::decay_t<T>>()(value)),
        box_(std::make_shared<const Model<std::decay_t<T>>>(std::move(value))) {}

  /// The wrapped value when it has type T exactly.
  template <class T>
  [[nodiscard]] const T* get() const {
    if (box_->type() != typeid(T)) return nullptr;
    return &static_cast<const Model<T>&>(*box_).value;
  }
  [[nodiscard]] const std::type_info& type() const { return box_->type(); }
  [[nodiscard]] std::size_t hash() const { return hash_; }

  friend bool operator==(const AnyHashable& a, const AnyHashable& b) {
    return a.hash_ == b.hash_ && (a.box_ == b.box_ || a.box_->equals(*b.box_));
  }

 private:
  struct Concept {
    virtual ~Concept() = default;
    [[nodiscard]] virtual const std::type_info& type() const = 0;
    [[nodiscard]] virtual bool equals(const Concept& other) const = 0;
  };
  template <class T>
  struct Model final : Concept {
    explicit Model(T v) : value(std::move(v)) {}
    [[nodiscard]] const std::type_info& type() const override { return typeid(T); }
    [[nodiscard]] bool equals(const Concept& other) const override {
      return other.type() == typeid(T) && static_cast<const Model&>(other).value == value;
    }
    T value;
  };

  std::size_t hash_;
  std::shared_ptr<const Concept> box_;
};

}  // namespace quarn::platform

template <>
struct std::hash<quarn::platform::AnyHashable> {
  std::size_t operator()(const quarn::platform::AnyHashable& v) const noexcept { return v.hash(); }
};
