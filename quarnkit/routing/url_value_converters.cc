#include "quarnkit/routing/url_value_converters.h"

#include <fmt/format.h>
#include <locale.h>  // NOLINT(modernize-deprecated-headers): strtof_l and newlocale

#include <cctype>
#include <charconv>
#include <clocale>
#include <cstdint>
#include <cstdlib>

#include "quarnkit/core/uuid.h"

namespace quarn {

namespace {

std::any intValue(const std::string& text) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '+' || negative)) digits.remove_prefix(1);
  if (digits.empty()) return {};
  for (const char c : digits) {
    if (c < '0' || c > '9') return {};
  }
  // Read with the sign so that the most negative value fits.
  std::string_view signedDigits = negative ? std::string_view(text) : digits;
  std::int64_t value = 0;
  const auto [end, error] =
      std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
  if (error != std::errc() || end != signedDigits.data() + signedDigits.size()) return {};
  return value;
}

std::any floatValue(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) != 0) return {};
  static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", nullptr);
  char* end = nullptr;
  const float value = ::strtof_l(text.c_str(), &end, cLocale);
  if (end != text.c_str() + text.size()) return {};  // trailing text, or a NUL inside
  return value;
}

std::any uuidValue(const std::string& text) {
  if (auto uuid = UUID::parse(text)) return *uuid;
  return {};
}

std::any pathValue(std::span<const std::string> components, std::size_t index) {
  std::string out;
  for (std::size_t i = index; i < components.size(); ++i) {
    if (i > index) out += '/';
    out += components[i];
  }
  return out;
}

// A converter of the one component at the index.
template <std::any (*Convert)(const std::string&)>
std::any ofComponent(std::span<const std::string> components, std::size_t index) {
  return Convert(components[index]);
}

std::any stringValue(const std::string& text) { return text; }

}  // namespace

std::string URLValueConverterError::description() const { return "conflict(\"" + name + "\")"; }

URLValueConverters::URLValueConverters(const URLValueConverterTable& table)
    : table_(std::make_shared<const URLValueConverterTable>(table)) {
  for (const auto& [name, converter] : table) identities_.emplace(name, identityOf(converter));
}

std::optional<URLValueConverters::Identity> URLValueConverters::identityOf(
    const URLValueConverter& converter) {
  if (!converter) return std::nullopt;
  if (const auto* function = converter.target<Identity::Function>()) {
    return Identity{typeid(Identity::Function), *function};
  }
  return std::nullopt;  // a callable object: whether it has state is not known here
}

void URLValueConverters::add(std::string name, URLValueConverter converter,
                             std::optional<Identity> identity) {
  const std::lock_guard lock(mutex_);
  if (auto held = identities_.find(name); held != identities_.end()) {
    if (held->second && identity && *held->second == *identity) return;  // the same again
    throw URLValueConverterError::conflict(std::move(name));
  }
  auto next = std::make_shared<URLValueConverterTable>(*table_);
  next->insert_or_assign(name, std::move(converter));
  identities_.insert_or_assign(std::move(name), identity);
  table_ = std::move(next);
}

void URLValueConverters::replace(std::string name, URLValueConverter converter) {
  const auto identity = identityOf(converter);
  const std::lock_guard lock(mutex_);
  auto next = std::make_shared<URLValueConverterTable>(*table_);
  next->insert_or_assign(name, std::move(converter));
  identities_.insert_or_assign(std::move(name), identity);
  table_ = std::move(next);
}

bool URLValueConverters::remove(std::string_view name) {
  const std::lock_guard lock(mutex_);
  auto held = identities_.find(name);
  if (held == identities_.end()) return false;
  identities_.erase(held);
  auto next = std::make_shared<URLValueConverterTable>(*table_);
  next->erase(next->find(name));
  table_ = std::move(next);
  return true;
}

bool URLValueConverters::contains(std::string_view name) const {
  const std::lock_guard lock(mutex_);
  return identities_.find(name) != identities_.end();
}

std::shared_ptr<const URLValueConverterTable> URLValueConverters::table() const {
  const std::lock_guard lock(mutex_);
  return table_;
}

const URLValueConverterTable& defaultURLValueConverters() {
  static const URLValueConverterTable converters{
      {"string", ofComponent<stringValue>},
      {"int", ofComponent<intValue>},
      {"float", ofComponent<floatValue>},
      {"uuid", ofComponent<uuidValue>},
      {"path", pathValue},
  };
  return converters;
}

std::optional<std::string> describeURLValue(const std::any& value) {
  if (const auto* text = std::any_cast<std::string>(&value)) return *text;
  if (const auto* integer = std::any_cast<std::int64_t>(&value)) return std::to_string(*integer);
  if (const auto* number = std::any_cast<float>(&value)) return fmt::format("{}", *number);
  if (const auto* uuid = std::any_cast<UUID>(&value)) return uuid->uuidString();
  return std::nullopt;
}

}  // namespace quarn
