#include "quarnkit/formatting/string_formatter.h"

#include <cmath>
#include <limits>
#include <mutex>

#include "quarnkit/core/error.h"
#include "quarnkit/formatting/detail/inline_markdown.h"

namespace quarn::StoreKitHelpers {
namespace {

using P = VariablePlaceholder;

constexpr std::array<std::string_view, StringFormatter::kPlaceholderCount> kRawValues = {
    "%price%",
    "%price_per_year%",
    "%price_per_month%",
    "%price_per_week%",
    "%price_per_relative_period%",
    "%relative_price%",
    "%period%",
    "%discount%",
    "%trial_period%"};

// One pass into a new string: replacing in place moves the rest of the text
// at every occurrence, quadratic in a template of many placeholders.
void replaceAll(std::string& text, std::string_view what, std::string_view with) {
  std::size_t at = text.find(what);
  if (at == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (; at != std::string::npos; at = text.find(what, from)) {
    out.append(text, from, at - from);
    out.append(with);
    from = at + what.size();
  }
  out.append(text, from);
  text = std::move(out);
}

// The discount as whole-number text, truncated toward zero ("33", "-12");
// nothing for a value no integer holds.
std::optional<std::string> wholeNumberText(std::optional<float> value) {
  if (!value || !std::isfinite(*value) || std::abs(*value) >= 2e9f) return std::nullopt;
  return std::to_string(static_cast<std::int64_t>(std::trunc(*value)));
}

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

const std::array<P, StringFormatter::kPlaceholderCount>& StringFormatter::allCases() {
  static constexpr std::array<P, kPlaceholderCount> kCases = {P::localizedPrice,
                                                              P::localizedPricePerYear,
                                                              P::localizedPricePerMonth,
                                                              P::localizedPricePerWeek,
                                                              P::localizedPricePerRelativePeriod,
                                                              P::localizedRelativePrice,
                                                              P::localizedPeriod,
                                                              P::discountPercentage,
                                                              P::localizedTrialPeriod};
  return kCases;
}

std::string_view StringFormatter::rawValue(VariablePlaceholder placeholder) {
  return kRawValues[static_cast<std::size_t>(placeholder)];
}

std::optional<VariablePlaceholder> StringFormatter::placeholder(std::string_view raw) {
  for (const P p : allCases()) {
    if (rawValue(p) == raw) return p;
  }
  return std::nullopt;
}

StringFormatter::Values StringFormatter::values() const {
  Values out;
  for (std::size_t i = 0; i < kPlaceholderCount; ++i) out[i].first = allCases()[i];
  if (!meta) return out;
  const SKProductMeta& m = *meta;
  out[0].second = m.localizedPrice();
  out[1].second = m.localizedPricePerYear();
  out[2].second = m.localizedPricePerMonth();
  out[3].second = m.localizedPricePerWeek();
  out[4].second = m.localizedPricePerRelativePeriod();
  out[5].second = m.localizedRelativePrice();
  out[6].second = m.localizedPeriod();
  out[7].second = wholeNumberText(m.discountPercentage());
  out[8].second = m.localizedIntroductoryPeriod();
  return out;
}

bool StringFormatter::validate(std::string_view template_) const {
  bool valid = true;
  for (const auto& [p, value] : values()) {
    if (!value && template_.find(rawValue(p)) != std::string_view::npos) valid = false;
  }
  return valid;
}

std::string StringFormatter::string(std::string_view template_) const {
  std::string text(template_);
  for (const auto& [p, value] : values()) replaceAll(text, rawValue(p), value.value_or(""));
  return text;
}

platform::AttributedString StringFormatter::attributedString(std::string_view template_) const {
  const Values all = values();
  std::string text(template_);
  for (const auto& [p, value] : all) replaceAll(text, rawValue(p), value.value_or(""));
  std::optional<platform::AttributedString> parsed = quarn::detail::parseInlineMarkdown(text);
  platform::AttributedString out = parsed ? std::move(*parsed) : platform::AttributedString(text);
  const std::string name = VariablePlaceholderAttribute::name();
  for (const auto& [p, value] : all) {
    if (!value) continue;
    if (const auto range = out.range(*value)) {
      out.setAttribute(*range, name, Value(std::string(rawValue(p))));
    }
  }
  return out;
}

platform::AttributedString StringFormatter::mutableAttributedString(
    std::string_view template_) const {
  platform::AttributedString out{std::string(template_)};
  const std::string name = VariablePlaceholderAttribute::name();
  for (const auto& [p, value] : values()) {
    const auto range = out.range(rawValue(p));
    if (!range) continue;
    platform::AttributeContainer attributes;
    attributes.set(name, Value(std::string(rawValue(p))));
    out.replaceSubrange(*range, platform::AttributedString(value.value_or(""), attributes));
  }
  return out;
}

Value::Object StringFormatter::allValues() const {
  Value::Object out;
  for (const auto& [p, value] : values()) {
    if (!value) continue;
    std::string key(rawValue(p));
    std::erase(key, '%');
    if (out.find(key) != nullptr) fatalError("Duplicate values for key: '" + key + "'");
    out.set(std::move(key), Value(*value));
  }
  return out;
}

namespace {

std::mutex& nameMutex() {
  static std::mutex m;
  return m;
}

std::string& attributeName() {
  static std::string name = "StringFormatter.VariablePlaceholder";
  return name;
}

}  // namespace

std::string VariablePlaceholderAttribute::name() {
  std::lock_guard lock(nameMutex());
  return attributeName();
}

void VariablePlaceholderAttribute::setName(std::string name) {
  std::lock_guard lock(nameMutex());
  attributeName() = std::move(name);
}

std::optional<VariablePlaceholder> StoreKitHelpersAttributes::variablePlaceholder(
    const platform::AttributeContainer& attributes) {
  const Value* value = attributes.find(VariablePlaceholderAttribute::name());
  const std::string* raw = value != nullptr ? value->ifString() : nullptr;
  return raw != nullptr ? StringFormatter::placeholder(*raw) : std::nullopt;
}

std::vector<PlaceholderIssue> placeholderIssues(std::string_view template_) {
  std::vector<PlaceholderIssue> out;
  std::size_t i = 0;
  while ((i = template_.find('%', i)) != std::string_view::npos) {
    std::size_t end = i + 1;
    while (end < template_.size() && isNameCharacter(template_[end])) ++end;
    const std::string_view name = template_.substr(i + 1, end - i - 1);
    if (name.empty()) {
      ++i;
      continue;
    }
    if (end < template_.size() && template_[end] == '%') {
      const std::string_view token = template_.substr(i, end - i + 1);
      if (!StringFormatter::placeholder(token)) {
        out.push_back({PlaceholderIssue::Kind::unknown, std::string(token), i});
      }
      i = end + 1;
      continue;
    }
    // "%price" not closed: only names of placeholders count, so that
    // "50%off" is no issue.
    const std::string closed = "%" + std::string(name) + "%";
    if (StringFormatter::placeholder(closed)) {
      out.push_back({PlaceholderIssue::Kind::unterminated, "%" + std::string(name), i});
    }
    i = end;
  }
  return out;
}

}  // namespace quarn::StoreKitHelpers

namespace quarn {

StoreKitHelpers::VariablePlaceholder Decodable<StoreKitHelpers::VariablePlaceholder>::decode(
    Decoder& decoder) {
  const auto raw = decoder.decode<std::string>();
  if (const auto p = StoreKitHelpers::StringFormatter::placeholder(raw)) return *p;
  throw DecodingError::dataCorrupted(
      {decoder.codingPath(),
       "Cannot initialize VariablePlaceholder from invalid String value " + raw});
}

void Encodable<StoreKitHelpers::VariablePlaceholder>::encode(
    const StoreKitHelpers::VariablePlaceholder& value, Encoder& encoder) {
  encoder.encode(std::string(StoreKitHelpers::StringFormatter::rawValue(value)));
}

}  // namespace quarn
