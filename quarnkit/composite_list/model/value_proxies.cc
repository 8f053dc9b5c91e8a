#include "quarnkit/composite_list/model/value_proxies.h"

#include <charconv>
#include <memory>

#include "quarnkit/platform/services.h"
#include "quarnkit/predicate/key_path.h"

namespace quarn {

namespace {

// A decimal integer with an optional sign, as an index; nothing when the text
// is not one or the number does not fit.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int64_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return n;
}

// Whether `text` is a decimal integer at all, whatever its size (an index too
// large for 64 bits is out of range, not another key).
bool isDecimalInteger(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::optional<Value> element(const Value::Array& list, std::string_view index) {
  const auto i = decimalInteger(index);
  if (!i || *i < 0 || static_cast<std::uint64_t>(*i) >= list.size()) return std::nullopt;
  return list[static_cast<std::size_t>(*i)];
}

}  // namespace

std::optional<Value> NSArrayProxy::valueForKey(std::string_view key) const {
  const Value::Array& list = elements();
  if (key == "<error>" || key == "<recursion>") return std::nullopt;
  if (isDecimalInteger(key)) return element(list, key);
  if (key.size() >= 3 && !key.starts_with('@')) {
    std::string bare;
    for (char c : key) {
      if (c != '[' && c != ']') bare += c;
    }
    if (isDecimalInteger(bare)) return element(list, bare);
  }
  if (key == "@random" && !list.empty()) {
    return list[platform::SystemRandomSource::shared().nextInt(list.size())];
  }
  KeyPath path;
  path.append(key);
  return path.valueIn(list_);
}

bool NSArrayProxy::equals(const OpaqueValue& other) const {
  const auto* proxy = dynamic_cast<const NSArrayProxy*>(&other);
  return proxy != nullptr && proxy->list_ == list_;
}

std::optional<Value> NSDictionaryProxy::valueForKey(std::string_view key) const {
  if (const Value* v = entries_.find(key)) return *v;
  if (const Value* v = entries_.find("*")) return *v;
  return std::nullopt;
}

std::string NSDictionaryProxy::description() const { return Value(entries_).description(); }

bool NSDictionaryProxy::equals(const OpaqueValue& other) const {
  const auto* proxy = dynamic_cast<const NSDictionaryProxy*>(&other);
  return proxy != nullptr && proxy->entries_ == entries_;
}

std::size_t NSDictionaryProxy::hash() const { return Value(entries_).hash(); }

const NSArrayProxy* asListProxy(const Value& value) {
  const auto* opaque = value.ifOpaque();
  return opaque ? dynamic_cast<const NSArrayProxy*>(opaque->get()) : nullptr;
}

const NSDictionaryProxy* asDictionaryProxy(const Value& value) {
  const auto* opaque = value.ifOpaque();
  return opaque ? dynamic_cast<const NSDictionaryProxy*>(opaque->get()) : nullptr;
}

namespace {

// Resolves a value the caller owns, moving its parts into the proxies.
Value resolveOwned(Value&& value) {
  if (Value::Array* list = value.ifArray()) {
    for (Value& v : *list) v = resolveOwned(std::move(v));
    return Value(Value::Opaque(std::make_shared<const NSArrayProxy>(std::move(*list))));
  }
  if (ValueObject* object = value.ifObject()) {
    for (auto& entry : *object) entry.second = resolveOwned(std::move(entry.second));
    return Value(Value::Opaque(std::make_shared<const NSDictionaryProxy>(std::move(*object))));
  }
  return std::move(value);
}

}  // namespace

Value resolveValueForPredicateOrTemplate(const Value& value) { return resolveOwned(Value(value)); }

ValueDictionary resolveValuesForPredicateOrTemplate(const ValueDictionary& values) {
  ValueDictionary resolved = values;
  for (auto& entry : resolved) entry.second = resolveOwned(std::move(entry.second));
  return resolved;
}

}  // namespace quarn
