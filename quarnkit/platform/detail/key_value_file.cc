#include "quarnkit/platform/detail/key_value_file.h"

#include <algorithm>
#include <bit>
#include <boost/json.hpp>
#include <boost/json/basic_parser_impl.hpp>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "quarnkit/core/data.h"
#include "quarnkit/core/detail/utf8.h"

namespace json = boost::json;

namespace quarn::platform::detail {

namespace {

constexpr int kCurrentVersion = 2;
// Enough for kMaxStoredDepth levels of values, each at most two JSON levels
// deep (an "$object" and its array), under the file's own three.
constexpr std::size_t kMaxJSONDepth = 2 * kMaxStoredDepth + 8;

// ----- Parsing ---------------------------------------------------------------

// Builds a JSON DOM like json::parse, except that doubles are converted from
// their text exactly (Boost.JSON's own conversion can be an ulp off, and a
// store must give back the double it was given).
class ExactHandler {
 public:
  static constexpr std::size_t max_object_size = json::object::max_size();
  static constexpr std::size_t max_array_size = json::array::max_size();
  static constexpr std::size_t max_key_size = json::string::max_size();
  static constexpr std::size_t max_string_size = json::string::max_size();

  json::value_stack stack;

  bool on_document_begin(json::error_code&) { return true; }
  bool on_document_end(json::error_code&) { return true; }
  bool on_object_begin(json::error_code&) { return true; }
  bool on_object_end(std::size_t n, json::error_code&) {
    stack.push_object(n);
    return true;
  }
  bool on_array_begin(json::error_code&) { return true; }
  bool on_array_end(std::size_t n, json::error_code&) {
    stack.push_array(n);
    return true;
  }
  bool on_key_part(json::string_view s, std::size_t, json::error_code&) {
    stack.push_chars(s);
    return true;
  }
  bool on_key(json::string_view s, std::size_t, json::error_code&) {
    stack.push_key(s);
    return true;
  }
  bool on_string_part(json::string_view s, std::size_t, json::error_code&) {
    stack.push_chars(s);
    return true;
  }
  bool on_string(json::string_view s, std::size_t, json::error_code&) {
    stack.push_string(s);
    return true;
  }
  bool on_number_part(json::string_view s, json::error_code&) {
    number_.append(s.data(), s.size());
    return true;
  }
  bool on_int64(std::int64_t i, json::string_view, json::error_code&) {
    number_.clear();
    stack.push_int64(i);
    return true;
  }
  bool on_uint64(std::uint64_t u, json::string_view, json::error_code&) {
    number_.clear();
    stack.push_uint64(u);
    return true;
  }
  bool on_double(double d, json::string_view s, json::error_code&) {
    number_.append(s.data(), s.size());
    double exact = 0;
    const char* end = number_.data() + number_.size();
    // Out of range (over- or underflow) keeps the parser's value.
    if (auto [p, ec] = std::from_chars(number_.data(), end, exact); ec == std::errc() && p == end) {
      d = exact;
    }
    number_.clear();
    stack.push_double(d);
    return true;
  }
  bool on_bool(bool b, json::error_code&) {
    stack.push_bool(b);
    return true;
  }
  bool on_null(json::error_code&) {
    stack.push_null();
    return true;
  }
  bool on_comment_part(json::string_view, json::error_code&) { return true; }
  bool on_comment(json::string_view, json::error_code&) { return true; }

 private:
  std::string number_;
};

std::optional<json::value> parseJSON(std::string_view text) {
  json::parse_options options;
  options.max_depth = kMaxJSONDepth;
  json::basic_parser<ExactHandler> parser(options);
  parser.handler().stack.reset();
  json::error_code ec;
  const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (ec || used != text.size()) return std::nullopt;
  return parser.handler().stack.release();
}

// ----- Writing ---------------------------------------------------------------

bool isTag(std::string_view key) { return !key.empty() && key.front() == '$'; }

std::string hexBits(double d) {
  const auto bits = std::bit_cast<std::uint64_t>(d);
  char text[17];
  auto [end, ec] = std::to_chars(text, text + 16, bits, 16);
  return std::string(16 - static_cast<std::size_t>(end - text), '0') + std::string(text, end);
}

std::optional<double> fromHexBits(std::string_view text) {
  std::uint64_t bits = 0;
  if (text.size() != 16) return std::nullopt;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), bits, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return std::bit_cast<double>(bits);
}

json::value tagged(std::string_view tag, json::value payload) {
  json::object o;
  o.emplace(tag, std::move(payload));
  return o;
}

json::value encodeDouble(double d) {
  if (std::isfinite(d)) return d;  // written in shortest round-trip form, with an exponent
  return tagged("$double", json::string(hexBits(d)));
}

json::value encodeText(const std::string& text) {
  if (quarn::detail::isValidUTF8(text)) return json::string(text);
  return tagged("$string", json::string(Data(text).base64EncodedString()));
}

json::value encodeValue(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::null:
      return nullptr;
    case Value::Kind::boolean:
      return *v.ifBool();
    case Value::Kind::integer:
      return *v.ifInteger();
    case Value::Kind::number:
      return encodeDouble(*v.ifDouble());
    case Value::Kind::string:
      return encodeText(*v.ifString());
    case Value::Kind::date:
      return tagged("$date", encodeDouble(v.ifDate()->timeIntervalSince1970()));
    case Value::Kind::array: {
      json::array a;
      a.reserve(v.ifArray()->size());
      for (const auto& e : *v.ifArray()) a.push_back(encodeValue(e));
      return a;
    }
    case Value::Kind::object: {
      const auto& object = *v.ifObject();
      bool plain = true;
      for (const auto& [k, e] : object) plain = plain && !isTag(k) && quarn::detail::isValidUTF8(k);
      if (plain) {
        json::object o;
        o.reserve(object.size());
        for (const auto& [k, e] : object) o.emplace(k, encodeValue(e));
        return o;
      }
      json::array pairs;
      pairs.reserve(2 * object.size());
      for (const auto& [k, e] : object) {
        pairs.push_back(encodeText(k));
        pairs.push_back(encodeValue(e));
      }
      return tagged("$object", std::move(pairs));
    }
    case Value::Kind::opaque:
      break;
  }
  throw std::invalid_argument("a key-value store cannot hold a host object");
}

// ----- Reading ---------------------------------------------------------------

std::optional<Data> decodeBase64(const json::value& j) {
  if (!j.is_string()) return std::nullopt;
  const auto& s = j.get_string();
  return Data::fromBase64(std::string_view(s.data(), s.size()));
}

// The one member of a tagged object, when `j` is one.
const json::key_value_pair* tagOf(const json::value& j) {
  if (!j.is_object() || j.get_object().size() != 1) return nullptr;
  const auto& member = *j.get_object().begin();
  return isTag(member.key()) ? &member : nullptr;
}

std::optional<double> decodeDouble(const json::value& j) {
  if (j.is_number()) return j.to_number<double>();
  const auto* tag = tagOf(j);
  if (!tag || tag->key() != "$double" || !tag->value().is_string()) return std::nullopt;
  const auto& s = tag->value().get_string();
  return fromHexBits(std::string_view(s.data(), s.size()));
}

std::optional<std::string> decodeText(const json::value& j) {
  if (j.is_string()) return std::string(j.get_string());
  const auto* tag = tagOf(j);
  if (!tag || tag->key() != "$string") return std::nullopt;
  auto bytes = decodeBase64(tag->value());
  if (!bytes) return std::nullopt;
  return std::string(bytes->bytes.begin(), bytes->bytes.end());
}

// Version 2 values. Nothing when `j` is not one (an unknown tag, a tag beside
// other members, a value nested too deeply).
std::optional<Value> decodeValue(const json::value& j, int depth) {
  switch (j.kind()) {
    case json::kind::null:
      return Value();
    case json::kind::bool_:
      return Value(j.get_bool());
    case json::kind::int64:
      return Value(j.get_int64());
    case json::kind::uint64:
    case json::kind::double_:
      return Value(j.to_number<double>());
    case json::kind::string:
      return Value(std::string(j.get_string()));
    case json::kind::array: {
      if (depth >= kMaxStoredDepth) return std::nullopt;
      Value::Array a;
      a.reserve(j.get_array().size());
      for (const auto& e : j.get_array()) {
        auto v = decodeValue(e, depth + 1);
        if (!v) return std::nullopt;
        a.push_back(std::move(*v));
      }
      return Value(std::move(a));
    }
    case json::kind::object:
      break;
  }
  const auto& o = j.get_object();
  if (const auto* tag = tagOf(j)) {
    if (tag->key() == "$date") {
      auto seconds = decodeDouble(tag->value());
      if (!seconds) return std::nullopt;
      return Value(Date(*seconds));
    }
    if (tag->key() == "$double") {
      auto d = decodeDouble(j);
      if (!d) return std::nullopt;
      return Value(*d);
    }
    if (tag->key() == "$string") {
      auto s = decodeText(j);
      if (!s) return std::nullopt;
      return Value(std::move(*s));
    }
    if (tag->key() != "$object" || !tag->value().is_array()) return std::nullopt;
    const auto& pairs = tag->value().get_array();
    if (pairs.size() % 2 != 0 || depth >= kMaxStoredDepth) return std::nullopt;
    Value::Object out;
    out.reserve(pairs.size() / 2);
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
      auto key = decodeText(pairs[i]);
      auto v = decodeValue(pairs[i + 1], depth + 1);
      if (!key || !v) return std::nullopt;
      out.set(std::move(*key), std::move(*v));
    }
    return Value(std::move(out));
  }
  if (depth >= kMaxStoredDepth) return std::nullopt;
  Value::Object out;
  out.reserve(o.size());
  for (const auto& [k, e] : o) {
    if (isTag(k)) return std::nullopt;  // tags stand alone
    auto v = decodeValue(e, depth + 1);
    if (!v) return std::nullopt;
    out.set(std::string(k), std::move(*v));
  }
  return Value(std::move(out));
}

// Version 1 values: JSON as it is, except an object holding only a number
// under "$date", which was a Date.
std::optional<Value> decodeVersion1Value(const json::value& j, int depth) {
  if (j.is_array()) {
    if (depth >= kMaxStoredDepth) return std::nullopt;
    Value::Array a;
    a.reserve(j.get_array().size());
    for (const auto& e : j.get_array()) {
      auto v = decodeVersion1Value(e, depth + 1);
      if (!v) return std::nullopt;
      a.push_back(std::move(*v));
    }
    return Value(std::move(a));
  }
  if (!j.is_object()) return decodeValue(j, depth);  // a scalar reads the same in both
  const auto& o = j.get_object();
  if (const auto* tag = tagOf(j); tag && tag->key() == "$date" && tag->value().is_number()) {
    return Value(Date(tag->value().to_number<double>()));
  }
  if (depth >= kMaxStoredDepth) return std::nullopt;
  Value::Object out;
  out.reserve(o.size());
  for (const auto& [k, e] : o) {
    auto v = decodeVersion1Value(e, depth + 1);
    if (!v) return std::nullopt;
    out.set(std::string(k), std::move(*v));
  }
  return Value(std::move(out));
}

// An entry of either version: {"data": base64} or {"value": value}.
std::optional<KeyValueStore::Stored> decodeEntry(const json::object& entry, bool version1) {
  if (const auto* data = entry.if_contains("data")) {
    auto bytes = decodeBase64(*data);
    if (!bytes) return std::nullopt;
    return KeyValueStore::Stored(std::move(bytes->bytes));
  }
  if (const auto* value = entry.if_contains("value")) {
    auto v = version1 ? decodeVersion1Value(*value, 0) : decodeValue(*value, 0);
    if (!v) return std::nullopt;
    return KeyValueStore::Stored(std::move(*v));
  }
  return std::nullopt;
}

KeyValueFile readVersion1(const json::object& root) {
  KeyValueFile file;
  for (const auto& [key, entry] : root) {
    if (!entry.is_object()) continue;
    if (auto stored = decodeEntry(entry.get_object(), true)) {
      file.values.insert_or_assign(std::string(key), std::move(*stored));
    }
  }
  return file;
}

std::optional<KeyValueFile> readVersion2(const json::object& root) {
  const auto* entries = root.if_contains("entries");
  if (!entries || !entries->is_array()) return std::nullopt;
  KeyValueFile file;
  for (const auto& entry : entries->get_array()) {
    if (!entry.is_object()) continue;
    const auto* key = entry.get_object().if_contains("key");
    auto text = key ? decodeText(*key) : std::nullopt;
    if (!text) continue;
    if (auto stored = decodeEntry(entry.get_object(), false)) {
      file.values.insert_or_assign(std::move(*text), std::move(*stored));
    }
  }
  return file;
}

void checkStorable(const Value& v, int depth) {
  if (v.isOpaque()) throw std::invalid_argument("a key-value store cannot hold a host object");
  if (!v.isArray() && !v.isObject()) return;
  if (depth >= kMaxStoredDepth) {
    throw std::invalid_argument("a key-value store cannot hold values nested more than " +
                                std::to_string(kMaxStoredDepth) + " deep");
  }
  if (const auto* a = v.ifArray()) {
    for (const auto& e : *a) checkStorable(e, depth + 1);
  } else {
    for (const auto& [k, e] : *v.ifObject()) checkStorable(e, depth + 1);
  }
}

bool sameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

std::optional<KeyValueFile> readKeyValueFile(std::string_view text) {
  auto root = parseJSON(text);
  if (!root || !root->is_object()) return std::nullopt;
  const auto& object = root->get_object();
  const auto* version = object.if_contains("version");
  // In version 1 every member is an entry (an object), so a number under
  // "version" marks a later file.
  if (!version || !version->is_number()) return readVersion1(object);
  if (version->is_uint64() || (version->is_int64() && version->get_int64() > kCurrentVersion)) {
    return KeyValueFile{{}, true};
  }
  if (!version->is_int64() || version->get_int64() != kCurrentVersion) return std::nullopt;
  return readVersion2(object);
}

std::string writeKeyValueFile(const StoredValues& values) {
  json::array entries;
  entries.reserve(values.size());
  for (const auto& [key, stored] : values) {
    json::object entry;
    entry.emplace("key", encodeText(key));
    if (const auto* data = std::get_if<KeyValueStore::Data>(&stored)) {
      entry.emplace("data", Data(*data).base64EncodedString());
    } else {
      checkStorable(std::get<Value>(stored));
      entry.emplace("value", encodeValue(std::get<Value>(stored)));
    }
    entries.push_back(std::move(entry));
  }
  json::object root;
  root.emplace("version", kCurrentVersion);
  root.emplace("entries", std::move(entries));
  return json::serialize(root);
}

void checkStorable(const Value& value) { checkStorable(value, 0); }

bool identical(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::number:
      return sameBits(*a.ifDouble(), *b.ifDouble());
    case Value::Kind::date:
      return sameBits(a.ifDate()->timeIntervalSince1970(), b.ifDate()->timeIntervalSince1970());
    case Value::Kind::array:
      return std::equal(a.ifArray()->begin(), a.ifArray()->end(), b.ifArray()->begin(),
                        b.ifArray()->end(),
                        [](const Value& x, const Value& y) { return identical(x, y); });
    case Value::Kind::object:
      return std::equal(a.ifObject()->begin(), a.ifObject()->end(), b.ifObject()->begin(),
                        b.ifObject()->end(), [](const auto& x, const auto& y) {
                          return x.first == y.first && identical(x.second, y.second);
                        });
    default:
      return a == b;
  }
}

bool identical(const StoredValues& a, const StoredValues& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    if (x.first != y.first || x.second.index() != y.second.index()) return false;
    if (const auto* data = std::get_if<KeyValueStore::Data>(&x.second)) {
      return *data == std::get<KeyValueStore::Data>(y.second);
    }
    return identical(std::get<Value>(x.second), std::get<Value>(y.second));
  });
}

}  // namespace quarn::platform::detail
