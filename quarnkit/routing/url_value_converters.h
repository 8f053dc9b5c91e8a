/// @file
/// URL value converters: how a typed placeholder of a URL pattern turns the
/// URL's component into a value, and URLValueConverters, the registry of them
/// that a URLMatcher holds.
///
/// URLValueConverters is a unique object (not copyable, not movable): a host
/// fills it at start-up and may change it later, from any thread. Each change
/// publishes a new table under a lock; a match takes the table once, when it
/// begins, and keeps it to the end, so a converter that changes the registry
/// while it runs changes the next match, not the running one.
///
/// ```
///   matcher.valueConverters.add("hex", [](std::span<const std::string> components,
///                                         std::size_t index) -> std::any {
///     return parseHex(components[index]);  // an empty std::any: no match
///   });
/// ```
///
/// A name stands for one converter. Adding a name that another converter
/// holds throws URLValueConverterError (conflict) and keeps the one there;
/// adding the same converter again (the same function, or a lambda of the same
/// capture-less type) changes nothing. A converter with state cannot be told
/// apart from another, so adding one under a held name is a conflict too.
/// replace() re-points a name on purpose.
///
/// A converter gets all of the URL's components and the index of the one
/// being matched (always within them), and returns the value or, when the
/// component is not of its type, an empty std::any.
#pragma once

#include <any>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <utility>

#include "quarnkit/core/error.h"

namespace quarn {

/// Converts component `index` of a URL's `components` for a typed placeholder: the value, or an
/// empty std::any when the component is not of the type.
using URLValueConverter =
    std::function<std::any(std::span<const std::string> components, std::size_t index)>;
/// Converters by type name, as one match sees them.
using URLValueConverterTable = std::map<std::string, URLValueConverter, std::less<>>;

/// A registry refused a change.
class URLValueConverterError : public Error {
 public:
  /// Which change was refused.
  enum class Kind {
    /// The name is held by another converter.
    conflict,
  };
  /// An error of kind `k` about the converter named `converterName`.
  URLValueConverterError(Kind k, std::string converterName)
      : kind(k), name(std::move(converterName)) {}
  /// The conflict over `name`.
  static URLValueConverterError conflict(std::string name) {
    return {Kind::conflict, std::move(name)};
  }
  /// Names the converter and why the change was refused.
  [[nodiscard]] std::string description() const override;

  /// Which change was refused.
  Kind kind;
  /// The converter's type name.
  std::string name;
};

/// The value converters by type name (see the file's description).
class URLValueConverters {
 public:
  /// What tells two converters apart when it can be told: the callable's
  /// type and, for a plain function, its address.
  struct Identity {
    /// A plain function's type.
    using Function = std::any (*)(std::span<const std::string>, std::size_t);
    /// The callable's type.
    std::type_index type;
    /// The function's address, for a plain function.
    Function function = nullptr;
    /// Identities are equal when type and address are.
    friend bool operator==(const Identity&, const Identity&) = default;
  };

  URLValueConverters() : table_(std::make_shared<const URLValueConverterTable>()) {}
  /// A registry holding `table`.
  explicit URLValueConverters(const URLValueConverterTable& table);
  URLValueConverters(const URLValueConverters&) = delete;
  URLValueConverters& operator=(const URLValueConverters&) = delete;

  /// Registers `converter` under `name`. Throws URLValueConverterError
  /// (conflict) when another converter holds the name.
  template <class F>
  requires std::is_invocable_r_v<std::any, F&, std::span<const std::string>, std::size_t>
  void add(std::string name, F converter) {
    std::optional<Identity> identity;
    using Callable = std::decay_t<F>;
    if constexpr (std::is_same_v<Callable, URLValueConverter>) {
      identity = identityOf(converter);
    } else if constexpr (std::is_convertible_v<Callable, Identity::Function> &&
                         std::is_pointer_v<Callable>) {
      identity = Identity{typeid(Identity::Function), converter};
    } else if constexpr (std::is_empty_v<Callable>) {
      identity = Identity{typeid(Callable)};
    }
    add(std::move(name), URLValueConverter(std::move(converter)), identity);
  }
  /// Registers `converter` under `name`, in place of any other.
  void replace(std::string name, URLValueConverter converter);
  /// Forgets the converter of `name`; whether there was one.
  bool remove(std::string_view name);

  /// Whether a converter is registered under `name`.
  [[nodiscard]] bool contains(std::string_view name) const;
  /// The converters as they stand: a table no later change touches.
  [[nodiscard]] std::shared_ptr<const URLValueConverterTable> table() const;

  /// The identity of a std::function's target, when it can be told.
  static std::optional<Identity> identityOf(const URLValueConverter& converter);

 private:
  void add(std::string name, URLValueConverter converter, std::optional<Identity> identity);

  mutable std::mutex mutex_;
  std::shared_ptr<const URLValueConverterTable> table_;
  std::map<std::string, std::optional<Identity>, std::less<>> identities_;
};

/// The built-in converters, made once (thread-safely) on first use:
///   "string"  the component (std::string)
///   "int"     an optional "+" or "-" then decimal digits only, within the
///             signed 64-bit range (std::int64_t)
///   "float"   a 32-bit float read in the C locale, the whole text, no leading
///             white space (float; "1e50" is infinity)
///   "uuid"    a UUID in its 8-4-4-4-12 hexadecimal form (quarn::UUID)
///   "path"    the components from the index to the end joined with "/"
///             (std::string; never fails). Its value keeps ".." segments and
///             percent-escapes as they came: a host must not use it as a file
///             path without checking it.
const URLValueConverterTable& defaultURLValueConverters();

/// The text of a value of the types the built-in converters make: an
/// integer or a float in its shortest form, a UUID upper-case, text as it is;
/// nothing for values of other types.
std::optional<std::string> describeURLValue(const std::any& value);

}  // namespace quarn
