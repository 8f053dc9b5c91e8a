#include "quarnkit/platform/key_value_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <boost/json.hpp>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "quarnkit/platform/service.h"

namespace json = boost::json;

namespace quarn::platform {

namespace {
ServiceSlot<KeyValueStore>& slot() {
  static ServiceSlot<KeyValueStore> s([] { return std::make_shared<InMemoryKeyValueStore>(); });
  return s;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(const KeyValueStore::Data& data) {
  std::string out;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    std::uint32_t n = static_cast<std::uint32_t>(data[i]) << 16;
    if (i + 1 < data.size()) n |= static_cast<std::uint32_t>(data[i + 1]) << 8;
    if (i + 2 < data.size()) n |= data[i + 2];
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += i + 1 < data.size() ? kBase64[(n >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kBase64[n & 63] : '=';
  }
  return out;
}

std::optional<KeyValueStore::Data> fromBase64(std::string_view text) {
  KeyValueStore::Data out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const char* p = std::char_traits<char>::find(kBase64, 64, c);
    if (!p) return std::nullopt;
    buffer = (buffer << 6) | static_cast<std::uint32_t>(p - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

json::value toJSON(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::null:
      return nullptr;
    case Value::Kind::boolean:
      return *v.ifBool();
    case Value::Kind::integer:
      return *v.ifInteger();
    case Value::Kind::number:
      return *v.ifDouble();
    case Value::Kind::string:
      return json::string(*v.ifString());
    case Value::Kind::date:
      return json::object{{"$date", v.ifDate()->timeIntervalSince1970()}};
    case Value::Kind::array: {
      json::array a;
      for (auto& e : *v.ifArray()) a.push_back(toJSON(e));
      return a;
    }
    case Value::Kind::object: {
      json::object o;
      for (auto& [k, e] : *v.ifObject()) o[k] = toJSON(e);
      return o;
    }
    case Value::Kind::opaque:
      break;
  }
  throw std::invalid_argument("a key-value store cannot hold a host object");
}

Value fromJSON(const json::value& j) {
  switch (j.kind()) {
    case json::kind::null:
      return nullptr;
    case json::kind::bool_:
      return j.get_bool();
    case json::kind::int64:
      return j.get_int64();
    case json::kind::uint64:
      return static_cast<double>(j.get_uint64());
    case json::kind::double_:
      return j.get_double();
    case json::kind::string:
      return std::string(j.get_string());
    case json::kind::array: {
      Value::Array a;
      for (auto& e : j.get_array()) a.push_back(fromJSON(e));
      return a;
    }
    case json::kind::object: {
      const auto& o = j.get_object();
      if (o.size() == 1 && o.contains("$date") && o.at("$date").is_number()) {
        return Date(o.at("$date").to_number<double>());
      }
      Value::Object out;
      for (auto& [k, e] : o) out.set(std::string(k), fromJSON(e));
      return out;
    }
  }
  return nullptr;
}
}  // namespace

std::optional<KeyValueStore::Data> KeyValueStore::data(const std::string& key) const {
  auto v = object(key);
  if (!v) return std::nullopt;
  if (auto* d = std::get_if<Data>(&*v)) return *d;
  return std::nullopt;
}

std::shared_ptr<KeyValueStore> KeyValueStore::standard() { return slot().get(); }
void KeyValueStore::setStandard(std::shared_ptr<KeyValueStore> store) {
  slot().set(std::move(store));
}

std::optional<KeyValueStore::Stored> InMemoryKeyValueStore::object(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void InMemoryKeyValueStore::set(const std::string& key, Stored value) {
  std::lock_guard lock(mutex_);
  values_[key] = std::move(value);
}

void InMemoryKeyValueStore::removeObject(const std::string& key) {
  std::lock_guard lock(mutex_);
  values_.erase(key);
}

FileKeyValueStore::FileKeyValueStore(std::filesystem::path path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::stringstream text;
  text << in.rdbuf();
  boost::system::error_code ec;
  json::value root = json::parse(text.str(), ec);
  if (ec || !root.is_object()) return;  // unreadable: empty, replaced by the next write
  for (auto& [key, entry] : root.get_object()) {
    if (!entry.is_object()) continue;
    const auto& o = entry.get_object();
    if (auto* d = o.if_contains("data"); d && d->is_string()) {
      if (auto bytes = fromBase64(d->get_string())) values_[std::string(key)] = std::move(*bytes);
    } else if (auto* v = o.if_contains("value")) {
      values_[std::string(key)] = fromJSON(*v);
    }
  }
}

void FileKeyValueStore::set(const std::string& key, Stored value) {
  if (auto* v = std::get_if<Value>(&value)) (void)toJSON(*v);  // reject before storing
  InMemoryKeyValueStore::set(key, std::move(value));
  write();
}

void FileKeyValueStore::removeObject(const std::string& key) {
  InMemoryKeyValueStore::removeObject(key);
  write();
}

bool FileKeyValueStore::synchronize() { return write(); }

bool FileKeyValueStore::write() {
  std::string text;
  {
    std::lock_guard lock(mutex_);
    json::object root;
    for (auto& [key, stored] : values_) {
      if (auto* d = std::get_if<Data>(&stored)) {
        root[key] = json::object{{"data", toBase64(*d)}};
      } else {
        root[key] = json::object{{"value", toJSON(std::get<Value>(stored))}};
      }
    }
    text = json::serialize(root);
  }
  // Temporary file beside the target, flushed to disk, then renamed over it.
  std::filesystem::path temporary = path_;
  temporary += ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* p = text.data();
  std::size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(temporary.c_str(), path_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace quarn::platform
