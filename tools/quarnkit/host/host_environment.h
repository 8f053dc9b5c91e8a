// The host side of the platform as the tool's options set it: the facts of an
// environment file merged over the built-in ones, the premium flag, the
// device and a fixed clock.
//
//   HostEnvironment environment(readFacts("env.json", limits.maxFileSize), /*premium=*/true);
//   HostPlatform platform(platform::UserInterfaceIdiom::tablet, *Date::parseISO8601(now));
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "quarnkit/composite_list/model/environment.h"
#include "quarnkit/core/date.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/service.h"

namespace quarn::tool {

class HostEnvironment final : public CompositeListEnvironment {
 public:
  /// `premium`, when given, wins over the facts' "is_premium".
  HostEnvironment(ValueDictionary facts, std::optional<bool> premium)
      : facts_(std::move(facts)), premium_(premium) {}

  [[nodiscard]] ValueDictionary environmentValues() const override { return facts_; }
  [[nodiscard]] std::optional<bool> hasPremiumSubscription() const override;

 private:
  ValueDictionary facts_;
  std::optional<bool> premium_;
};

/// The facts of an environment file: a JSON object whose members are facts.
/// Strings in internet date-time form ("2024-05-01T10:00:00Z") become dates,
/// so predicates can compare them with dates. InputError when the file
/// cannot be read (or holds more than `maxFileSize` bytes) or is not such an
/// object.
ValueDictionary readFacts(const std::string& file, std::uint64_t maxFileSize);

/// A fact value given on the command line: JSON when it parses as JSON
/// ("true", "3", "\"x\""), a date in internet date-time form, else the text
/// itself.
Value factFromText(const std::string& text);

/// Installs the device and, when given, a clock fixed at `now` for its
/// lifetime; the previous services come back afterwards.
class HostPlatform {
 public:
  HostPlatform(platform::UserInterfaceIdiom device, std::optional<Date> now);

 private:
  platform::ScopedService<platform::Device> device_;
  std::optional<platform::ScopedService<platform::Clock>> clock_;
};

}  // namespace quarn::tool
