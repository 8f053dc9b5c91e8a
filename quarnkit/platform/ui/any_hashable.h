/// @file
/// AnyHashable: a type-erased hashable value, the identifier type of diffable snapshots whose rows
/// are of many kinds (wrapped entities, loop positions, plain numbers and strings).

/// @class quarn::platform::AnyHashable
/// A type-erased hashable value, the identifier type of diffable
/// snapshots whose rows are of many kinds (wrapped entities, loop positions,
/// plain numbers and strings). A value: copies share only the immutable
/// wrapped value.
///
/// ```
///   AnyHashable a = AnyHashable(std::string("row"));
///   AnyHashable b = AnyHashable(std::int64_t{7});
///   a == b;                       // false: different types are never equal
///   b.get<std::int64_t>();        // pointer to 7
/// ```
///
/// Two values are equal when they hold the same type and compare equal with
/// that type's ==. The hash is computed once, when the value is wrapped.
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace quarn::platform {

template <class T>
concept Hashable = requires(const T& a, const T& b) {
  { std::hash<T>()(a) } -> std::convertible_to<std::size_t>;
  { a == b } -> std::convertible_to<bool>;
};

class AnyHashable {
 public:
  // AnyHashable itself is excluded, so copies and moves are not taken over.
  // NOLINTBEGIN(bugprone-forwarding-reference-overload)
  /// Wraps a copy of `value`.
  template <class T>
  requires(Hashable<std::decay_t<T>> &&
           !std::is_same_v<std::decay_t<T>, AnyHashable>) explicit AnyHashable(T&& value)
      : hash_(std::hash<std::decay_t<T>>()(value)) {
    using V = std::decay_t<T>;
    if constexpr (kStoredInline<V>) {
      box_ = inlineBox<V>();
      const V stored = value;
      std::memcpy(inline_, &stored, sizeof(V));
    } else {
      // Copied or moved once, straight into its box.
      box_ = std::make_shared<const Model<V>>(std::forward<T>(value));
    }
  }
  // NOLINTEND(bugprone-forwarding-reference-overload)

  /// Each value wrapped, in order, with one allocation for all of them
  /// instead of one each: the wrappers share it, and it is freed with the
  /// last of them. For the rows of a list, made and dropped together.
  template <Hashable T>
  requires(!std::is_same_v<T, AnyHashable>) static std::vector<AnyHashable> wrapEach(
      std::vector<T> values) {
    return wrapEach(std::move(values), std::hash<T>());
  }
  /// The same with the values' hashes from `hash`, which must give what
  /// std::hash<T> gives (a caller that knows the values can give it faster).
  template <Hashable T, class Hash>
  requires(!std::is_same_v<T, AnyHashable>) static std::vector<AnyHashable> wrapEach(
      std::vector<T> values, Hash hash) {
    return makeEach<T>(
        values.size(), [&values](std::size_t i) -> T&& { return std::move(values[i]); }, hash);
  }
  /// The values make(0), ..., make(n - 1), made straight into one shared
  /// allocation and wrapped as wrapEach() wraps a list (without a list of
  /// them first); `hash` as for wrapEach().
  template <Hashable T, class Make, class Hash>
  requires(!std::is_same_v<T, AnyHashable>) static std::vector<AnyHashable> makeEach(std::size_t n,
                                                                                     Make make,
                                                                                     Hash hash) {
    std::vector<AnyHashable> out;
    makeEach<T>(out, n, make, hash);
    return out;
  }
  /// The same into `out`, whose room is reused: it is emptied once all the
  /// values are made, so make() may take them from its elements.
  template <Hashable T, class Make, class Hash>
  requires(!std::is_same_v<T, AnyHashable>) static void makeEach(std::vector<AnyHashable>& out,
                                                                 std::size_t n, Make make,
                                                                 Hash hash);

  /// The wrapped value when it has type T exactly.
  template <class T>
  [[nodiscard]] const T* get() const {
    if (box_->type() != typeid(T)) return nullptr;
    if constexpr (kStoredInline<T>) {
      return std::launder(reinterpret_cast<const T*>(inline_));
    } else {
      return &static_cast<const Model<T>&>(*box_).value;
    }
  }
  /// The wrapped value's type.
  [[nodiscard]] const std::type_info& type() const { return box_->type(); }
  /// The wrapped value's std::hash, computed once.
  [[nodiscard]] std::size_t hash() const { return hash_; }

  /// Equal when both wrap values of the same type that compare equal.
  friend bool operator==(const AnyHashable& a, const AnyHashable& b) {
    if (a.hash_ != b.hash_) return false;
    // Boxed values leave the inline bytes zero; inline values of one type
    // are equal exactly when their bytes are.
    const bool sameInline = std::memcmp(a.inline_, b.inline_, sizeof a.inline_) == 0;
    if (a.box_ == b.box_) return sameInline;
    return a.box_->equals(*b.box_) && sameInline;
  }

 private:
  struct Concept {
    virtual ~Concept() = default;
    [[nodiscard]] virtual const std::type_info& type() const = 0;
    [[nodiscard]] virtual bool equals(const Concept& other) const = 0;
  };
  template <class T>
  struct Model final : Concept {
    explicit Model(const T& v) : value(v) {}
    explicit Model(T&& v) : value(std::move(v)) {}
    [[nodiscard]] const std::type_info& type() const override { return typeid(T); }
    [[nodiscard]] bool equals(const Concept& other) const override {
      return other.type() == typeid(T) && static_cast<const Model&>(other).value == value;
    }
    T value;
  };

  // Integers and enumerations (section identities, positions) are kept in
  // the value itself: wrapping them allocates nothing and copies touch no
  // reference count. Their box is a shared, unowned type descriptor.
  template <class T>
  static constexpr bool kStoredInline = (std::is_integral_v<T> || std::is_enum_v<T>)&&sizeof(T) <=
                                        8;
  template <class T>
  struct InlineType final : Concept {
    [[nodiscard]] const std::type_info& type() const override { return typeid(T); }
    [[nodiscard]] bool equals(const Concept& other) const override {
      return other.type() == typeid(T);
    }
  };
  template <class T>
  static const std::shared_ptr<const Concept>& inlineBox() {
    static const InlineType<T> descriptor;
    static const std::shared_ptr<const Concept> box(std::shared_ptr<const Concept>(), &descriptor);
    return box;
  }

  // A place in a shared block for one Model<T>, made in place. It knows
  // whether it holds one, so a block whose filling threw frees only what
  // was made.
  template <class T>
  struct Slot {
    Slot() {}  // NOLINT(modernize-use-equals-default): leaves the storage as it is
    ~Slot() {
      if (live) model()->~Model<T>();
    }
    // The shared block may make its slots as copies of an empty one: a copy
    // is an empty slot.
    Slot(const Slot&) {}  // NOLINT(bugprone-copy-constructor-init)
    Slot& operator=(const Slot&) = delete;
    Model<T>* model() { return std::launder(reinterpret_cast<Model<T>*>(storage)); }
    alignas(Model<T>) unsigned char storage[sizeof(Model<T>)];
    bool live = false;
  };

  AnyHashable(std::size_t hash, std::shared_ptr<const Concept> box)
      : hash_(hash), box_(std::move(box)) {}

  std::size_t hash_;
  std::shared_ptr<const Concept> box_;
  alignas(8) unsigned char inline_[8] = {};
};

}  // namespace quarn::platform

/// Hashes a wrapped value as AnyHashable::hash() does.
template <>
struct std::hash<quarn::platform::AnyHashable> {
  /// AnyHashable::hash().
  std::size_t operator()(const quarn::platform::AnyHashable& v) const noexcept { return v.hash(); }
};

// Defined after std::hash<AnyHashable>: making the list copies wrappers.
template <quarn::platform::Hashable T, class Make, class Hash>
requires(!std::is_same_v<T, quarn::platform::AnyHashable>) void quarn::platform::AnyHashable::
    makeEach(std::vector<AnyHashable>& out, std::size_t n, Make make, Hash hash) {
  if constexpr (kStoredInline<T>) {
    std::vector<AnyHashable> made;
    made.reserve(n);
    for (std::size_t i = 0; i < n; ++i) made.emplace_back(T(make(i)));
    out = std::move(made);
  } else {
    if (n == 0) {
      out.clear();
      return;
    }
    // The counts and the values in one allocation.
    auto block = std::make_shared<Slot<T>[]>(n);
    for (std::size_t i = 0; i < n; ++i) {
      ::new (static_cast<void*>(block[i].storage)) Model<T>(make(i));
      block[i].live = true;
    }
    out.clear();
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      const Model<T>* model = block[i].model();
      out.push_back(AnyHashable(hash(model->value), std::shared_ptr<const Concept>(block, model)));
    }
  }
}
