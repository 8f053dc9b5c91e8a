#include "quarnkit/composite_list/model/environment.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "quarnkit/platform/calendar.h"
#include "quarnkit/platform/device.h"
#include "quarnkit/platform/locale.h"
#include "quarnkit/platform/runtime/clock.h"
#include "quarnkit/platform/services.h"

namespace quarn {

std::optional<bool> CompositeListEnvironment::hasPremiumSubscription() const {
  const ValueDictionary values = environmentValues();
  const Value* premium = values.find("is_premium");
  return premium ? premium->asBool() : std::nullopt;
}

ValueDictionary CompositeListEnvironment::resolvedValues() const {
  const Date now = platform::Clock::current()->now();
  const auto locale = platform::Locale::current();
  ValueDictionary values;
  values.reserve(16);
  values.set("os", "iOS");
  values.set("date", now);
  values.set("locale", Value::Opaque(std::make_shared<const LocaleValue>()));
  Value::Array languages;
  for (auto& language : locale->preferredLanguages()) languages.emplace_back(std::move(language));
  values.set("preferred_languages", std::move(languages));
  values.set("is_pad", platform::Device::current()->userInterfaceIdiom() ==
                           platform::UserInterfaceIdiom::tablet);
  const auto bundle = platform::BundleInfo::main();
  if (bundle->shortVersion) values.set("app.version", *bundle->shortVersion);
  if (bundle->buildNumber) {
    if (auto build = detail::parseBuildNumber(*bundle->buildNumber))
      values.set("app.build", *build);
  }
  if (auto c = platform::Calendar::current()->components(now)) {
    values.set("date.year", c->year);
    values.set("date.month", c->month);
    values.set("date.day", c->day);
    values.set("date.weekday", c->weekday);
    values.set("date.hour", c->hour);
    values.set("date.minute", c->minute);
    values.set("date.second", c->second);
  }
  values.merge(environmentValues());
  return values;
}

// ----- LocaleValue ---------------------------------------------------------

namespace {

struct LocaleParts {
  std::string language, script, region;
};

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool allOf(std::string_view s, bool (*test)(char)) { return std::all_of(s.begin(), s.end(), test); }

// The subtags of an ICU or BCP 47 identifier ("zh_Hans_CN", "en-US",
// "de_DE@currency=EUR"): the language first, then a four-letter script, then a
// two-letter or three-digit region.
LocaleParts partsOf(std::string_view id) {
  id = id.substr(0, std::min(id.find('@'), id.find('.')));
  LocaleParts parts;
  std::size_t index = 0;
  while (!id.empty()) {
    const std::size_t end = std::min(id.find('_'), id.find('-'));
    const std::string_view tag = id.substr(0, end);
    id = end == std::string_view::npos ? std::string_view() : id.substr(end + 1);
    if (index++ == 0) {
      parts.language = tag;
    } else if (tag.size() == 4 && allOf(tag, isAsciiLetter) && parts.script.empty() &&
               parts.region.empty()) {
      parts.script = tag;
    } else if (((tag.size() == 2 && allOf(tag, isAsciiLetter)) ||
                (tag.size() == 3 && allOf(tag, isAsciiDigit))) &&
               parts.region.empty()) {
      parts.region = tag;
    } else {
      break;  // variants and anything after them
    }
  }
  return parts;
}

}  // namespace

std::optional<Value> LocaleValue::valueForKey(std::string_view key) const {
  const std::string id = platform::Locale::current()->localeIdentifier();
  if (key == "identifier") return Value(id);
  const LocaleParts parts = partsOf(id);
  const std::string* part = key == "languageCode" ? &parts.language
                            : key == "scriptCode" ? &parts.script
                            : key == "regionCode" ? &parts.region
                                                  : nullptr;
  if (part == nullptr || part->empty()) return std::nullopt;
  return Value(*part);
}

std::string LocaleValue::description() const {
  return platform::Locale::current()->localeIdentifier();
}

bool LocaleValue::equals(const OpaqueValue& other) const {
  return dynamic_cast<const LocaleValue*>(&other) != nullptr;
}

std::size_t LocaleValue::hash() const { return std::hash<std::string_view>()("LocaleValue"); }

std::optional<std::int64_t> detail::parseBuildNumber(std::string_view text) {
  // from_chars takes a "-" but not a "+".
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  const std::size_t digitsFrom = !plus && !text.empty() && text.front() == '-' ? 1 : 0;
  if (text.size() == digitsFrom || !allOf(text.substr(digitsFrom), isAsciiDigit)) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace quarn
