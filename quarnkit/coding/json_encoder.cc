#include "quarnkit/coding/json_encoder.h"

#include <fmt/format.h>

#include <cmath>
#include <functional>

#include "quarnkit/coding/detail/json_internal.h"
#include "quarnkit/core/data.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/decimal.h"
#include "quarnkit/core/error.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/core/value.h"

namespace quarn {
namespace {

namespace json = boost::json;

// Where an encoder writes: the root, a member of an object or an element of
// an array. Resolved on every write, so inserting siblings never leaves a
// dangling reference behind.
struct Slot {
  json::value* root = nullptr;
  json::object* object = nullptr;
  std::string key;
  json::array* array = nullptr;
  std::size_t index = 0;

  json::value& get() const {
    if (root) return *root;
    if (object) return (*object)[key];
    return (*array)[index];
  }
};

struct Shared {
  const JSONEncoder* options;
};

// Coding paths of encoders: short, built eagerly (encoding is not hot).
CodingPath appended(CodingPath p, RawCodingKey k) {
  p.push_back(std::move(k));
  return p;
}

json::value primitiveValue(PrimitiveCRef value, const Shared& shared, const CodingPath& path);

class JSONEncoderImpl;

class JSONKeyedEnc final : public KeyedEncodingContainer {
 public:
  JSONKeyedEnc(json::object* o, const Shared* s, CodingPath p)
      : o_(o), shared_(s), path_(std::move(p)) {}
  [[nodiscard]] CodingPath codingPath() const override { return path_; }
  void encodeNil(CodingKeyRef key) override { (*o_)[key.stringValue] = nullptr; }
  void encodePrimitive(CodingKeyRef key, PrimitiveCRef value) override {
    (*o_)[key.stringValue] = primitiveValue(value, *shared_, appended(path_, key));
  }
  void encodeNested(CodingKeyRef key, EncodeFn fn) override;
  std::unique_ptr<KeyedEncodingContainer> nestedContainer(CodingKeyRef key) override;
  std::unique_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer(CodingKeyRef key) override;
  std::unique_ptr<Encoder> superEncoder() override { return superEncoder(CodingKeyRef("super")); }
  std::unique_ptr<Encoder> superEncoder(CodingKeyRef key) override;

 private:
  json::object* o_;
  const Shared* shared_;
  CodingPath path_;
};

class JSONUnkeyedEnc final : public UnkeyedEncodingContainer {
 public:
  JSONUnkeyedEnc(json::array* a, const Shared* s, CodingPath p)
      : a_(a), shared_(s), path_(std::move(p)) {}
  [[nodiscard]] CodingPath codingPath() const override { return path_; }
  [[nodiscard]] int count() const override { return static_cast<int>(a_->size()); }
  void encodeNil() override { a_->emplace_back(nullptr); }
  void encodePrimitive(PrimitiveCRef value) override {
    a_->push_back(primitiveValue(value, *shared_, appended(path_, RawCodingKey::index(count()))));
  }
  void encodeNested(EncodeFn fn) override;
  std::unique_ptr<KeyedEncodingContainer> nestedContainer() override {
    auto& v = a_->emplace_back(json::object());
    return std::make_unique<JSONKeyedEnc>(&v.get_object(), shared_,
                                          appended(path_, RawCodingKey::index(count() - 1)));
  }
  std::unique_ptr<UnkeyedEncodingContainer> nestedUnkeyedContainer() override {
    auto& v = a_->emplace_back(json::array());
    return std::make_unique<JSONUnkeyedEnc>(&v.get_array(), shared_,
                                            appended(path_, RawCodingKey::index(count() - 1)));
  }
  std::unique_ptr<Encoder> superEncoder() override;

 private:
  json::array* a_;
  const Shared* shared_;
  CodingPath path_;
};

class JSONEncoderImpl final : public Encoder {
 public:
  JSONEncoderImpl(Slot slot, const Shared* s, CodingPath p)
      : slot_(std::move(slot)), shared_(s), path_(std::move(p)) {}
  [[nodiscard]] CodingPath codingPath() const override { return path_; }
  [[nodiscard]] const CodingUserInfo& userInfo() const override {
    return shared_->options->userInfo;
  }

  std::unique_ptr<KeyedEncodingContainer> container() override {
    json::value& v = slot_.get();
    if (!wrote_ || v.is_null()) v = json::object();
    if (!v.is_object()) {
      fatalError(
          "Attempt to push new keyed encoding container when already previously encoded at this "
          "path.");
    }
    wrote_ = true;
    return std::make_unique<JSONKeyedEnc>(&v.get_object(), shared_, path_);
  }
  std::unique_ptr<UnkeyedEncodingContainer> unkeyedContainer() override {
    json::value& v = slot_.get();
    if (!wrote_ || v.is_null()) v = json::array();
    if (!v.is_array()) {
      fatalError(
          "Attempt to push new unkeyed encoding container when already previously encoded at this "
          "path.");
    }
    wrote_ = true;
    return std::make_unique<JSONUnkeyedEnc>(&v.get_array(), shared_, path_);
  }
  std::unique_ptr<SingleValueEncodingContainer> singleValueContainer() override;

  // A nested value that wrote nothing becomes an empty object.
  void finish() {
    if (!wrote_) slot_.get() = json::object();
  }

  Slot slot_;
  const Shared* shared_;
  CodingPath path_;
  bool wrote_ = false;
};

class JSONSingleEnc final : public SingleValueEncodingContainer {
 public:
  explicit JSONSingleEnc(JSONEncoderImpl* e) : e_(e) {}
  [[nodiscard]] CodingPath codingPath() const override { return e_->path_; }
  void encodeNil() override {
    e_->slot_.get() = nullptr;
    e_->wrote_ = true;
  }
  void encodePrimitive(PrimitiveCRef value) override {
    e_->slot_.get() = primitiveValue(value, *e_->shared_, e_->path_);
    e_->wrote_ = true;
  }
  void encodeNested(EncodeFn fn) override { fn(*e_); }

 private:
  JSONEncoderImpl* e_;
};

std::unique_ptr<SingleValueEncodingContainer> JSONEncoderImpl::singleValueContainer() {
  return std::make_unique<JSONSingleEnc>(this);
}

void JSONKeyedEnc::encodeNested(CodingKeyRef key, EncodeFn fn) {
  (*o_)[key.stringValue] = nullptr;
  JSONEncoderImpl e(Slot{nullptr, o_, std::string(key.stringValue), nullptr, 0}, shared_,
                    appended(path_, key));
  fn(e);
  e.finish();
}

std::unique_ptr<KeyedEncodingContainer> JSONKeyedEnc::nestedContainer(CodingKeyRef key) {
  auto& v = (*o_)[key.stringValue] = json::object();
  return std::make_unique<JSONKeyedEnc>(&v.get_object(), shared_, appended(path_, key));
}

std::unique_ptr<UnkeyedEncodingContainer> JSONKeyedEnc::nestedUnkeyedContainer(CodingKeyRef key) {
  auto& v = (*o_)[key.stringValue] = json::array();
  return std::make_unique<JSONUnkeyedEnc>(&v.get_array(), shared_, appended(path_, key));
}

std::unique_ptr<Encoder> JSONKeyedEnc::superEncoder(CodingKeyRef key) {
  (*o_)[key.stringValue] = json::object();
  return std::make_unique<JSONEncoderImpl>(
      Slot{nullptr, o_, std::string(key.stringValue), nullptr, 0}, shared_, appended(path_, key));
}

void JSONUnkeyedEnc::encodeNested(EncodeFn fn) {
  a_->emplace_back(nullptr);
  const std::size_t index = a_->size() - 1;
  JSONEncoderImpl e(Slot{nullptr, nullptr, {}, a_, index}, shared_,
                    appended(path_, RawCodingKey::index(static_cast<int>(index))));
  fn(e);
  e.finish();
}

std::unique_ptr<Encoder> JSONUnkeyedEnc::superEncoder() {
  a_->emplace_back(json::object());
  const std::size_t index = a_->size() - 1;
  return std::make_unique<JSONEncoderImpl>(
      Slot{nullptr, nullptr, {}, a_, index}, shared_,
      appended(path_, RawCodingKey::index(static_cast<int>(index))));
}

json::value finiteDouble(double d, const CodingPath& path) {
  if (!std::isfinite(d)) {
    throw EncodingError::invalidValue(
        detail::formatDouble(d),
        {path, fmt::format("Unable to encode Double.{} directly in JSON.",
                           std::isnan(d) ? "nan" : (d > 0 ? "infinity" : "-infinity"))});
  }
  return json::value(d);
}

json::value dateValue(const Date& d, const Shared& shared, const CodingPath& path) {
  const auto& strategy = shared.options->dateEncodingStrategy;
  using Kind = DateEncodingStrategy::Kind;
  switch (strategy.kind) {
    case Kind::deferredToDate:
      return finiteDouble(d.timeIntervalSinceReferenceDate(), path);
    case Kind::secondsSince1970:
      return finiteDouble(d.timeIntervalSince1970(), path);
    case Kind::millisecondsSince1970:
      return finiteDouble(d.timeIntervalSince1970() * 1000, path);
    case Kind::iso8601:
      return json::value(d.iso8601String());
    case Kind::custom: {
      json::value out;
      JSONEncoderImpl e(Slot{&out, nullptr, {}, nullptr, 0}, &shared, path);
      // A copy: the function may replace the encoder's strategy while it runs.
      const std::function<void(const Date&, Encoder&)> write = strategy.custom;
      write(d, e);
      e.finish();
      return out;
    }
  }
  return {};
}

json::value fromValue(const Value& v, const Shared& shared, const CodingPath& path) {
  switch (v.kind()) {
    case Value::Kind::null:
      return nullptr;
    case Value::Kind::boolean:
      return *v.ifBool();
    case Value::Kind::integer:
      return *v.ifInteger();
    case Value::Kind::number:
      return finiteDouble(*v.ifDouble(), path);
    case Value::Kind::string:
      return json::value(*v.ifString());
    case Value::Kind::date:
      return dateValue(*v.ifDate(), shared, path);
    case Value::Kind::array: {
      json::array a;
      a.reserve(v.ifArray()->size());
      int i = 0;
      for (const auto& e : *v.ifArray())
        a.push_back(fromValue(e, shared, appended(path, RawCodingKey::index(i++))));
      return a;
    }
    case Value::Kind::object: {
      json::object o;
      o.reserve(v.ifObject()->size());
      for (const auto& [k, e] : *v.ifObject())
        o[k] = fromValue(e, shared, appended(path, RawCodingKey(k)));
      return o;
    }
    case Value::Kind::opaque:
      throw EncodingError::invalidValue(v.description(), {path, "A host object has no JSON form."});
  }
  return {};
}

json::value primitiveValue(PrimitiveCRef value, const Shared& shared, const CodingPath& path) {
  struct Visitor {
    const Shared& shared;
    const CodingPath& path;
    json::value operator()(const bool* b) const { return *b; }
    json::value operator()(const std::string* s) const { return json::value(*s); }
    json::value operator()(const double* d) const { return finiteDouble(*d, path); }
    json::value operator()(const float* f) const {
      return finiteDouble(static_cast<double>(*f), path);
    }
    json::value operator()(const std::int8_t* i) const { return static_cast<std::int64_t>(*i); }
    json::value operator()(const std::int16_t* i) const { return static_cast<std::int64_t>(*i); }
    json::value operator()(const std::int32_t* i) const { return static_cast<std::int64_t>(*i); }
    json::value operator()(const std::int64_t* i) const { return *i; }
    json::value operator()(const std::uint8_t* i) const { return static_cast<std::uint64_t>(*i); }
    json::value operator()(const std::uint16_t* i) const { return static_cast<std::uint64_t>(*i); }
    json::value operator()(const std::uint32_t* i) const { return static_cast<std::uint64_t>(*i); }
    json::value operator()(const std::uint64_t* i) const { return *i; }
    json::value operator()(const URL* u) const { return json::value(u->absoluteString()); }
    json::value operator()(const Date* d) const { return dateValue(*d, shared, path); }
    json::value operator()(const Data* d) const { return json::value(d->base64EncodedString()); }
    json::value operator()(const Decimal* d) const {
      // Written as a number: exact decimals that a double holds exactly stay exact.
      return finiteDouble(d->toDouble(), path);
    }
    json::value operator()(const UUID* u) const { return json::value(u->uuidString()); }
    json::value operator()(const Value* v) const { return fromValue(*v, shared, path); }
  };
  return std::visit(Visitor{shared, path}, value);
}

}  // namespace

std::string JSONEncoder::encode(EncodeFn fn) const {
  json::value root;
  const Shared shared{this};
  JSONEncoderImpl e(Slot{&root, nullptr, {}, nullptr, 0}, &shared, {});
  fn(e);
  e.finish();
  std::string out;
  detail::writeJSON(root, outputFormatting, out);
  return out;
}

namespace detail {
json::value valueToJSON(const Value& v) {
  static const JSONEncoder kIso = [] {
    JSONEncoder e;
    e.dateEncodingStrategy = DateEncodingStrategy::iso8601();
    return e;
  }();
  const Shared shared{&kIso};
  return fromValue(v, shared, {});
}
}  // namespace detail

}  // namespace quarn
