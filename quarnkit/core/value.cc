#include "quarnkit/core/value.h"

#include <fmt/format.h>

#include <cmath>
#include <functional>

namespace quarn {

// ----- OpaqueValue ---------------------------------------------------------

std::optional<Value> OpaqueValue::valueForKey(std::string_view) const { return std::nullopt; }
std::string OpaqueValue::description() const { return "<object>"; }
std::size_t OpaqueValue::hash() const { return std::hash<const void*>()(this); }

// ----- ValueObject ---------------------------------------------------------

ValueObject::ValueObject(std::initializer_list<Entry> entries) {
  entries_.reserve(entries.size());
  for (const auto& e : entries) set(e.first, e.second);
}

std::ptrdiff_t ValueObject::indexOf(std::string_view key) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].first == key) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

const Value* ValueObject::find(std::string_view key) const {
  const auto i = indexOf(key);
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
}

Value* ValueObject::find(std::string_view key) {
  const auto i = indexOf(key);
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
}

Value& ValueObject::operator[](std::string_view key) {
  if (Value* v = find(key)) return *v;
  entries_.emplace_back(std::string(key), Value());
  return entries_.back().second;
}

void ValueObject::set(std::string key, Value value) {
  if (Value* v = find(key)) {
    *v = std::move(value);
  } else {
    entries_.emplace_back(std::move(key), std::move(value));
  }
}

bool ValueObject::erase(std::string_view key) {
  const auto i = indexOf(key);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  return true;
}

void ValueObject::merge(const ValueObject& other) {
  for (const auto& [k, v] : other) set(k, v);
}

bool operator==(const ValueObject& a, const ValueObject& b) {
  // Maps are equal when they hold the same keys with equal values, whatever
  // the order.
  if (a.size() != b.size()) return false;
  for (const auto& [k, v] : a) {
    const Value* other = b.find(k);
    if (other == nullptr || !(*other == v)) return false;
  }
  return true;
}

// ----- Value ---------------------------------------------------------------

std::optional<bool> Value::asBool() const {
  if (const bool* b = ifBool()) return *b;
  return std::nullopt;
}

std::optional<std::int64_t> Value::asInteger() const {
  if (const auto* i = ifInteger()) return *i;
  if (const auto* d = ifDouble()) {
    if (std::isfinite(*d) && *d >= -9223372036854775808.0 && *d < 9223372036854775808.0) {
      return static_cast<std::int64_t>(*d);
    }
  }
  return std::nullopt;
}

std::optional<double> Value::asDouble() const {
  if (const auto* d = ifDouble()) return *d;
  if (const auto* i = ifInteger()) return static_cast<double>(*i);
  return std::nullopt;
}

std::optional<std::string_view> Value::asString() const {
  if (const auto* s = ifString()) return std::string_view(*s);
  return std::nullopt;
}

const Value* Value::find(std::string_view key) const {
  const Object* o = ifObject();
  return o ? o->find(key) : nullptr;
}

Value& Value::operator[](std::string_view key) {
  if (isNull()) v_ = Object();
  return std::get<Object>(v_)[key];
}

std::string_view Value::kindName(Kind kind) {
  switch (kind) {
    case Kind::null:
      return "null";
    case Kind::boolean:
      return "boolean";
    case Kind::integer:
      return "integer";
    case Kind::number:
      return "number";
    case Kind::string:
      return "string";
    case Kind::date:
      return "date";
    case Kind::array:
      return "array";
    case Kind::object:
    case Kind::opaque:  // host objects read as objects
      return "object";
  }
  return "value";
}

std::string Value::description() const {
  switch (kind()) {
    case Kind::null:
      return "<null>";
    case Kind::boolean:
      return *ifBool() ? "true" : "false";
    case Kind::integer:
      return fmt::format("{}", *ifInteger());
    case Kind::number:
      return fmt::format("{}", *ifDouble());
    case Kind::string:
      return *ifString();
    case Kind::date:
      return ifDate()->description();
    case Kind::array: {
      std::string out = "[";
      bool first = true;
      for (const auto& e : *ifArray()) {
        if (!first) out += ", ";
        first = false;
        out += e.isString() ? fmt::format("\"{}\"", *e.ifString()) : e.description();
      }
      return out + "]";
    }
    case Kind::object: {
      std::string out = "[";
      bool first = true;
      for (const auto& [k, e] : *ifObject()) {
        if (!first) out += ", ";
        first = false;
        out += fmt::format("\"{}\": ", k);
        out += e.isString() ? fmt::format("\"{}\"", *e.ifString()) : e.description();
      }
      return out + (first ? ":]" : "]");
    }
    case Kind::opaque:
      return (*ifOpaque())->description();
  }
  return {};
}

bool operator==(const Value& a, const Value& b) {
  if (a.isNumber() && b.isNumber()) {
    if (a.isInteger() && b.isInteger()) return *a.ifInteger() == *b.ifInteger();
    return *a.asDouble() == *b.asDouble();
  }
  if (a.kind() != b.kind()) return false;
  if (a.isOpaque()) {
    const auto& x = *a.ifOpaque();
    const auto& y = *b.ifOpaque();
    return x == y || (x && y && x->equals(*y));
  }
  return a.v_ == b.v_;
}

std::size_t Value::hash() const {
  auto mix = [](std::size_t seed, std::size_t h) {
    return seed ^ (h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
  };
  switch (kind()) {
    case Kind::null:
      return 0x6e756c6cULL;
    case Kind::boolean:
      return std::hash<bool>()(*ifBool()) + 0x626f6f6cULL;
    case Kind::integer:
      return std::hash<std::int64_t>()(*ifInteger());
    case Kind::number: {
      // Integral doubles hash as the integer they equal.
      const double d = *ifDouble();
      if (auto i = asInteger(); i && static_cast<double>(*i) == d) {
        return std::hash<std::int64_t>()(*i);
      }
      return std::hash<double>()(d);
    }
    case Kind::string:
      return std::hash<std::string>()(*ifString());
    case Kind::date:
      return std::hash<double>()(ifDate()->timeIntervalSince1970());
    case Kind::array: {
      std::size_t h = 0x61727261ULL;
      for (const auto& e : *ifArray()) h = mix(h, e.hash());
      return h;
    }
    case Kind::object: {
      // Order-independent, as equality is.
      std::size_t h = 0x6f626a65ULL;
      for (const auto& [k, e] : *ifObject()) h += mix(std::hash<std::string>()(k), e.hash());
      return h;
    }
    case Kind::opaque: {
      const auto& o = *ifOpaque();
      return o ? o->hash() : 0;
    }
  }
  return 0;
}

}  // namespace quarn
