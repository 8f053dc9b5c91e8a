#include "quarnkit/coding/json_decoder.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>

#include "quarnkit/coding/json_internal.h"
#include "quarnkit/coding/pooled.h"
#include "quarnkit/core/data.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/decimal.h"
#include "quarnkit/core/type_name.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/core/value.h"

namespace quarn {
namespace {

namespace json = boost::json;

// One step of the coding path, linked to its parent. Paths are only turned
// into CodingPath values when an error is raised or a caller asks.
struct PathNode {
  const PathNode* parent = nullptr;
  enum class Kind : std::uint8_t { root, name, index } kind = Kind::root;
  std::string_view name;
  int index = 0;
  std::shared_ptr<const std::string> owned;  // keeps `name` alive when it was copied

  static PathNode child(const PathNode* parent, CodingKeyRef key, bool copy) {
    PathNode n;
    n.parent = parent;
    if (key.intValue) {
      n.kind = Kind::index;
      n.index = *key.intValue;
    } else {
      n.kind = Kind::name;
      if (copy) {
        n.owned = std::make_shared<const std::string>(key.stringValue);
        n.name = *n.owned;
      } else {
        n.name = key.stringValue;
      }
    }
    return n;
  }
  static PathNode element(const PathNode* parent, int index) {
    PathNode n;
    n.parent = parent;
    n.kind = Kind::index;
    n.index = index;
    return n;
  }

  [[nodiscard]] CodingPath path() const {
    std::vector<const PathNode*> nodes;
    for (const PathNode* n = this; n != nullptr; n = n->parent) {
      if (n->kind != Kind::root) nodes.push_back(n);
    }
    CodingPath out;
    out.reserve(nodes.size());
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      const PathNode* n = *it;
      out.push_back(n->kind == Kind::index ? RawCodingKey::index(n->index) : RawCodingKey(n->name));
    }
    return out;
  }
  [[nodiscard]] CodingPath pathWith(CodingKeyRef key) const {
    CodingPath p = path();
    p.push_back(key.intValue ? RawCodingKey::index(*key.intValue) : RawCodingKey(key.stringValue));
    return p;
  }
};

// Device-variant resolution settings of decoders and containers created by
// the device-variant decoder over this decoder (see platform_decoder.h).
struct Variants {
  std::string separator;
  std::string_view suffix;
  bool recursive;
};

struct Shared {
  const JSONDecoder* options;
  // Variant settings in use during this decode; they live as long as the
  // decode call, like every decoder and container of it.
  mutable std::deque<Variants> variants;

  const Variants* variantsFor(std::string_view separator, std::string_view suffix,
                              bool recursive) const {
    for (const auto& v : variants) {
      if (v.separator == separator && v.suffix == suffix && v.recursive == recursive) return &v;
    }
    return &variants.emplace_back(Variants{std::string(separator), suffix, recursive});
  }
};

[[noreturn]] void throwTooDeep(const PathNode& node) {
  throw DecodingError::dataCorrupted(
      {node.path(),
       fmt::format("Nesting exceeds the maximum depth of {}.", JSONDecoder::kMaxDepth)});
}

[[noreturn]] void throwMismatch(std::string_view type, const json::value& v, CodingPath path) {
  if (v.is_null()) {
    throw DecodingError::valueNotFound(
        std::string(type),
        {std::move(path), fmt::format("Expected {} value but found null instead.", type)});
  }
  throw DecodingError::typeMismatch(
      std::string(type),
      {std::move(path), fmt::format("Expected to decode {} but found {} instead.", type,
                                    detail::jsonKindDescription(v))});
}

class JSONDecoderImpl;

// Reads one standard value from `v`; `node` is the value's own path position.
void readPrimitive(const json::value& v, PrimitiveRef out, const Shared& shared,
                   const PathNode& node, int depth);

template <class I>
void readInteger(const json::value& v, I* out, const PathNode& node) {
  const auto doesNotFit = [&](const std::string& number) {
    throw DecodingError::dataCorrupted(
        {node.path(),
         fmt::format("Parsed JSON number <{}> does not fit in {}.", number, typeName<I>())});
  };
  switch (v.kind()) {
    case json::kind::int64: {
      const std::int64_t x = v.get_int64();
      if constexpr (std::is_signed_v<I>) {
        if (x < std::numeric_limits<I>::min() || x > std::numeric_limits<I>::max()) {
          doesNotFit(std::to_string(x));
        }
      } else {
        if (x < 0 || static_cast<std::uint64_t>(x) > std::numeric_limits<I>::max()) {
          doesNotFit(std::to_string(x));
        }
      }
      *out = static_cast<I>(x);
      return;
    }
    case json::kind::uint64: {
      const std::uint64_t x = v.get_uint64();
      if (x > static_cast<std::uint64_t>(std::numeric_limits<I>::max()))
        doesNotFit(std::to_string(x));
      *out = static_cast<I>(x);
      return;
    }
    case json::kind::double_: {
      const double d = v.get_double();
      // Only integral values inside the width's range; the bounds are exact
      // powers of two so the comparisons are exact.
      const double lo = static_cast<double>(std::numeric_limits<I>::min());
      const double hiExclusive = std::ldexp(1.0, std::numeric_limits<I>::digits);
      if (!std::isfinite(d) || d != std::trunc(d) || d < lo || d >= hiExclusive) {
        doesNotFit(detail::formatDouble(d));
      }
      *out = static_cast<I>(d);
      return;
    }
    default:
      throwMismatch(typeName<I>(), v, node.path());
  }
}

double readNumber(const json::value& v, std::string_view type, const PathNode& node) {
  switch (v.kind()) {
    case json::kind::double_:
      return v.get_double();
    case json::kind::int64:
      return static_cast<double>(v.get_int64());
    case json::kind::uint64:
      return static_cast<double>(v.get_uint64());
    default:
      throwMismatch(type, v, node.path());
  }
}

const std::string_view readString(const json::value& v, std::string_view type,
                                  const PathNode& node) {
  if (!v.is_string()) throwMismatch(type, v, node.path());
  return v.get_string();
}

class JSONSingleValue;
class JSONKeyed;
class JSONUnkeyed;

class JSONDecoderImpl final : public Decoder {
 public:
  JSONDecoderImpl(const json::value* v, const Shared* shared, PathNode node, int depth,
                  const Variants* variants = nullptr)
      : v_(v), shared_(shared), node_(std::move(node)), depth_(depth), variants_(variants) {
    if (depth_ > JSONDecoder::kMaxDepth) throwTooDeep(node_);
  }

  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  [[nodiscard]] std::optional<int> lastCodingIndex() const override {
    if (node_.kind == PathNode::Kind::index) return node_.index;
    return std::nullopt;
  }
  [[nodiscard]] const CodingUserInfo& userInfo() const override {
    return shared_->options->userInfo;
  }
  std::unique_ptr<KeyedDecodingContainer> container() override;
  std::unique_ptr<UnkeyedDecodingContainer> unkeyedContainer() override;
  std::unique_ptr<SingleValueDecodingContainer> singleValueContainer() override;
  void decodePrimitive(PrimitiveRef out) override {
    readPrimitive(*v_, out, *shared_, node_, depth_);
  }
  bool decodeNil() override { return v_->is_null(); }

  const json::value* v_;
  const Shared* shared_;
  PathNode node_;
  int depth_;
  // Set when this decoder stands for a recursive device-variant decoder.
  const Variants* variants_;
};

class JSONSingleValue final : public SingleValueDecodingContainer,
                              public detail::Pooled<JSONSingleValue> {
 public:
  explicit JSONSingleValue(const JSONDecoderImpl& d)
      : v_(d.v_), shared_(d.shared_), node_(d.node_), depth_(d.depth_) {}
  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  bool decodeNil() override { return v_->is_null(); }
  void decodePrimitive(PrimitiveRef out) override {
    readPrimitive(*v_, out, *shared_, node_, depth_);
  }
  void decodeNested(DecodeFn fn) override {
    JSONDecoderImpl d(v_, shared_, node_, depth_);
    fn(d);
  }

 private:
  const json::value* v_;
  const Shared* shared_;
  PathNode node_;
  int depth_;
};

class JSONKeyed final : public KeyedDecodingContainer, public detail::Pooled<JSONKeyed> {
 public:
  JSONKeyed(const json::object* o, const Shared* shared, PathNode node, int depth,
            const Variants* variants = nullptr)
      : o_(o), shared_(shared), node_(std::move(node)), depth_(depth), variants_(variants) {
    // With device variants, list the members that are variants for this
    // device: a requested key resolves to one of them before itself.
    const std::size_t size = o_->size();
    indexed_ = size <= kIndexedSize;
    if (variants_ == nullptr) return;
    for (std::size_t i = 0; i < size && !manyVariants_; ++i) {
      if (!isVariantKey(o_->begin()[i].key())) continue;
      if (indexed_ && variantCount_ < variantMembers_.size()) {
        variantMembers_[variantCount_++] = static_cast<std::uint8_t>(i);
      } else {
        manyVariants_ = true;
      }
    }
  }

  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  [[nodiscard]] std::vector<RawCodingKey> allKeys() const override {
    std::vector<RawCodingKey> keys;
    keys.reserve(o_->size());
    for (const auto& e : *o_) keys.emplace_back(std::string_view(e.key()));
    return keys;
  }
  void forEachKey(FunctionRef<void(std::string_view)> fn) const override {
    for (const auto& e : *o_) fn(e.key());
  }
  [[nodiscard]] bool contains(CodingKeyRef key) const override { return find(key) != nullptr; }
  void forEachMember(FunctionRef<void(std::string_view key, Decoder& value)> fn) override {
    const bool variants = variantCount_ != 0 || manyVariants_;
    const std::size_t tail = variants ? variants_->separator.size() + variants_->suffix.size() : 0;
    const json::key_value_pair* members = o_->begin();
    const std::size_t size = o_->size();
    for (std::size_t i = 0; i < size; ++i) {
      const json::key_value_pair& e = members[i];
      if (e.value().is_null()) continue;
      std::string_view key = e.key();
      if (variants) {
        if (isVariantKey(key)) {
          key.remove_suffix(tail);
        } else if (findWithVariants(key) != &e) {
          continue;  // its device variant stands for it
        }
      }
      JSONDecoderImpl d(&e.value(), shared_, child(e), depth_ + 1, childVariants());
      fn(key, d);
    }
  }
  bool decodeNil(CodingKeyRef key) override { return require(key).value().is_null(); }

  void decodePrimitive(CodingKeyRef key, PrimitiveRef out) override {
    const auto& e = require(key);
    readPrimitive(e.value(), out, *shared_, child(e), depth_ + 1);
  }
  bool decodePrimitiveIfPresent(CodingKeyRef key, PrimitiveRef out) override {
    const auto* e = find(key);
    if (e == nullptr || e->value().is_null()) return false;
    readPrimitive(e->value(), out, *shared_, child(*e), depth_ + 1);
    return true;
  }
  void decodeNested(CodingKeyRef key, DecodeFn fn) override {
    const auto& e = require(key);
    JSONDecoderImpl d(&e.value(), shared_, child(e), depth_ + 1, childVariants());
    fn(d);
  }
  bool decodeNestedIfPresent(CodingKeyRef key, DecodeFn fn) override {
    const auto* e = find(key);
    if (e == nullptr || e->value().is_null()) return false;
    JSONDecoderImpl d(&e->value(), shared_, child(*e), depth_ + 1, childVariants());
    fn(d);
    return true;
  }
  std::unique_ptr<KeyedDecodingContainer> nestedContainer(CodingKeyRef key) override {
    const auto& e = require(key);
    return JSONDecoderImpl(&e.value(), shared_, pathFor(key, &e), depth_ + 1, childVariants())
        .container();
  }
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer(CodingKeyRef key) override {
    const auto& e = require(key);
    return JSONDecoderImpl(&e.value(), shared_, pathFor(key, &e), depth_ + 1, childVariants())
        .unkeyedContainer();
  }
  std::unique_ptr<Decoder> superDecoder() override { return superDecoder(CodingKeyRef("super")); }
  std::unique_ptr<Decoder> superDecoder(CodingKeyRef key) override {
    const auto* e = find(key);
    static const json::value kNull;
    return std::make_unique<JSONDecoderImpl>(e ? &e->value() : &kNull, shared_, pathFor(key, e),
                                             depth_ + 1, childVariants());
  }

 private:
  static constexpr std::size_t kIndexedSize = 16;
  // A key's length and first and last characters.
  static std::uint32_t signature(std::string_view k) {
    if (k.empty()) return 0;
    return (static_cast<std::uint32_t>(std::min<std::size_t>(k.size(), 0xffff)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(k.front())) << 8) |
           static_cast<unsigned char>(k.back());
  }

  // A one-bit-per-key filter over the signatures: most probes of records are
  // for absent members, and most of those are rejected by it.
  static std::uint64_t filterBit(std::uint32_t sig) {
    return std::uint64_t{1} << ((sig ^ (sig >> 7) ^ (sig >> 16) * 5u) & 63u);
  }

  [[nodiscard]] bool isVariantKey(std::string_view k) const {
    const std::string_view suffix = variants_->suffix;
    const std::size_t tail = variants_->separator.size() + suffix.size();
    return k.size() > tail && (suffix.empty() || k.back() == suffix.back()) &&
           k.ends_with(suffix) &&
           k.substr(k.size() - tail, variants_->separator.size()) == variants_->separator;
  }

  // The member for a key: its device variant when there is one, else the key.
  [[nodiscard]] const json::key_value_pair* find(CodingKeyRef key) const {
    if ((variantCount_ != 0 || manyVariants_) && !key.intValue) [[unlikely]] {
      return findWithVariants(key.stringValue);
    }
    return findExact(key.stringValue);
  }

  // Keys are short: compared inline, a word at a time (two overlapping
  // loads cover 4 to 16 bytes), which is cheaper than a call.
  template <class Word>
  static Word load(const char* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
  }
  static bool sameKey(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* x = a.data();
    const char* y = b.data();
    if (n >= 8) {
      if (n > 16) return std::memcmp(x, y, n) == 0;
      return load<std::uint64_t>(x) == load<std::uint64_t>(y) &&
             load<std::uint64_t>(x + n - 8) == load<std::uint64_t>(y + n - 8);
    }
    if (n >= 4) {
      return load<std::uint32_t>(x) == load<std::uint32_t>(y) &&
             load<std::uint32_t>(x + n - 4) == load<std::uint32_t>(y + n - 4);
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (x[i] != y[i]) return false;
    }
    return true;
  }

  [[nodiscard]] const json::key_value_pair* findExact(std::string_view name) const {
    if (!indexed_) [[unlikely]] {
      auto it = o_->find(name);
      return it == o_->end() ? nullptr : &*it;
    }
    // Records usually read their members in document order: the member after
    // the last one found is tried first, then that one again (a member
    // checked for, then read).
    const std::size_t size = o_->size();
    const json::key_value_pair* members = o_->begin();
    std::size_t i = cursor_ < size ? cursor_ : 0;
    if (size != 0 && sameKey(members[i].key(), name)) {
      cursor_ = i + 1;
      return &members[i];
    }
    if (cursor_ != 0 && sameKey(members[cursor_ - 1].key(), name)) return &members[cursor_ - 1];
    if (!scanned_) scan();
    const std::uint32_t sig = signature(name);
    if ((filter_ & filterBit(sig)) == 0) return nullptr;
    for (std::size_t n = 0; n < size; ++n) {
      if (signatures_[i] == sig && sameKey(members[i].key(), name)) {
        cursor_ = i + 1;
        return &members[i];
      }
      if (++i == size) i = 0;
    }
    return nullptr;
  }

  // A signature per member of a small object, made on the first look-up
  // that the member order does not answer: probes compare it before the
  // bytes, and most of records' unordered probes are for absent members.
  void scan() const {
    const json::key_value_pair* members = o_->begin();
    for (std::size_t i = 0; i < o_->size(); ++i) {
      signatures_[i] = signature(members[i].key());
      filter_ |= filterBit(signatures_[i]);
    }
    scanned_ = true;
  }

  [[gnu::noinline]] const json::key_value_pair* findWithVariants(std::string_view name) const {
    const std::size_t tail = variants_->separator.size() + variants_->suffix.size();
    for (std::uint8_t v = 0; v < variantCount_; ++v) {
      const json::key_value_pair& e = o_->begin()[variantMembers_[v]];
      const std::string_view k = e.key();
      if (k.size() - tail == name.size() && k.starts_with(name)) return &e;
    }
    if (manyVariants_) {
      std::string candidate;
      candidate.reserve(name.size() + tail);
      candidate.append(name).append(variants_->separator).append(variants_->suffix);
      if (const auto* e = findExact(candidate)) return e;
    }
    return findExact(name);
  }
  const json::key_value_pair& require(CodingKeyRef key) const {
    if (const auto* e = find(key)) return *e;
    throw DecodingError::keyNotFound(
        RawCodingKey(key),
        {node_.path(), fmt::format("No value associated with key \"{}\".", key.stringValue)});
  }
  // Path node of a member; its name points into the DOM, which outlives it.
  [[nodiscard]] PathNode child(const json::key_value_pair& e) const {
    return PathNode::child(&node_, CodingKeyRef(std::string_view(e.key())), false);
  }
  // Nested values are read with variants only when resolution is recursive.
  [[nodiscard]] const Variants* childVariants() const {
    return variants_ && variants_->recursive ? variants_ : nullptr;
  }
  // Path node of the requested key for a container or decoder that outlives
  // the call: it names the key as requested. When the member found has that
  // very name, the name points into the DOM; only otherwise (a device
  // variant, a missing member, a position) is it copied.
  [[nodiscard]] PathNode pathFor(CodingKeyRef key, const json::key_value_pair* e) const {
    const bool same = e != nullptr && !key.intValue && e->key() == key.stringValue;
    return same ? child(*e) : PathNode::child(&node_, key, true);
  }

  const json::object* o_;
  const Shared* shared_;
  PathNode node_;
  int depth_;
  const Variants* variants_;
  mutable std::size_t cursor_ = 0;
  mutable std::uint64_t filter_ = 0;
  mutable bool scanned_ = false;
  bool indexed_ = false;
  // Set when a large object has variant members or a small one has more
  // than variantMembers_ holds: variants are then looked up by name.
  bool manyVariants_ = false;
  std::uint8_t variantCount_ = 0;
  std::array<std::uint8_t, 4> variantMembers_{};
  mutable std::array<std::uint32_t, kIndexedSize> signatures_;
};

class JSONUnkeyed final : public UnkeyedDecodingContainer, public detail::Pooled<JSONUnkeyed> {
 public:
  JSONUnkeyed(const json::array* a, const Shared* shared, PathNode node, int depth,
              const Variants* variants = nullptr)
      : a_(a), shared_(shared), node_(std::move(node)), depth_(depth), variants_(variants) {}

  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  [[nodiscard]] std::optional<int> count() const override { return static_cast<int>(a_->size()); }
  [[nodiscard]] bool isAtEnd() const override { return index_ >= a_->size(); }
  [[nodiscard]] int currentIndex() const override { return static_cast<int>(index_); }

  bool decodeNil() override {
    if (!isAtEnd() && (*a_)[index_].is_null()) {
      ++index_;
      return true;
    }
    if (isAtEnd()) atEnd("Optional<Any>");
    return false;
  }
  void decodePrimitive(PrimitiveRef out) override {
    if (isAtEnd()) atEnd("value");
    readPrimitive((*a_)[index_], out, *shared_, element(), depth_ + 1);
    ++index_;
  }
  bool decodePrimitiveIfPresent(PrimitiveRef out) override {
    if (isAtEnd()) return false;
    if ((*a_)[index_].is_null()) {
      ++index_;
      return false;
    }
    decodePrimitive(out);
    return true;
  }
  void decodeNested(DecodeFn fn) override {
    if (isAtEnd()) atEnd("value");
    JSONDecoderImpl d(&(*a_)[index_], shared_, element(), depth_ + 1, variants_);
    fn(d);
    ++index_;
  }
  bool decodeNestedIfPresent(DecodeFn fn) override {
    if (isAtEnd()) return false;
    if ((*a_)[index_].is_null()) {
      ++index_;
      return false;
    }
    decodeNested(fn);
    return true;
  }
  std::unique_ptr<KeyedDecodingContainer> nestedContainer() override {
    if (isAtEnd()) atEnd("nested keyed container");
    auto c = JSONDecoderImpl(&(*a_)[index_], shared_, element(), depth_ + 1, variants_).container();
    ++index_;
    return c;
  }
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer() override {
    if (isAtEnd()) atEnd("nested unkeyed container");
    auto c = JSONDecoderImpl(&(*a_)[index_], shared_, element(), depth_ + 1, variants_)
                 .unkeyedContainer();
    ++index_;
    return c;
  }
  std::unique_ptr<Decoder> superDecoder() override {
    if (isAtEnd()) atEnd("Decoder");
    auto d = std::make_unique<JSONDecoderImpl>(&(*a_)[index_], shared_, element(), depth_ + 1,
                                               variants_);
    ++index_;
    return d;
  }

 private:
  [[nodiscard]] PathNode element() const {
    return PathNode::element(&node_, static_cast<int>(index_));
  }
  [[noreturn]] void atEnd(std::string_view type) const {
    throw DecodingError::valueNotFound(std::string(type),
                                       {node_.pathWith(CodingKeyRef("", static_cast<int>(index_))),
                                        "Unkeyed container is at end."});
  }

  const json::array* a_;
  const Shared* shared_;
  PathNode node_;
  int depth_;
  // Set for the lists of a recursive device-variant decoder: elements are
  // read with the same variants.
  const Variants* variants_;
  std::size_t index_ = 0;
};

std::unique_ptr<KeyedDecodingContainer> JSONDecoderImpl::container() {
  if (!v_->is_object()) throwMismatch("Dictionary<String, Any>", *v_, node_.path());
  return std::make_unique<JSONKeyed>(&v_->get_object(), shared_, node_, depth_, variants_);
}

std::unique_ptr<UnkeyedDecodingContainer> JSONDecoderImpl::unkeyedContainer() {
  if (!v_->is_array()) throwMismatch("Array<Any>", *v_, node_.path());
  return std::make_unique<JSONUnkeyed>(&v_->get_array(), shared_, node_, depth_, variants_);
}

std::unique_ptr<SingleValueDecodingContainer> JSONDecoderImpl::singleValueContainer() {
  return std::make_unique<JSONSingleValue>(*this);
}

void readDate(const json::value& v, Date* out, const Shared& shared, const PathNode& node,
              int depth) {
  const auto& strategy = shared.options->dateDecodingStrategy;
  using Kind = DateDecodingStrategy::Kind;
  switch (strategy.kind) {
    case Kind::deferredToDate:
      *out = Date::fromTimeIntervalSinceReferenceDate(readNumber(v, "Double", node));
      return;
    case Kind::secondsSince1970:
      *out = Date(readNumber(v, "Double", node));
      return;
    case Kind::millisecondsSince1970:
      *out = Date(readNumber(v, "Double", node) / 1000.0);
      return;
    case Kind::iso8601: {
      auto d = Date::parseISO8601(readString(v, "String", node));
      if (!d) {
        throw DecodingError::dataCorrupted(
            {node.path(), "Expected date string to be ISO8601-formatted."});
      }
      *out = *d;
      return;
    }
    case Kind::custom: {
      JSONDecoderImpl d(&v, &shared, node, depth);
      *out = strategy.custom(d);
      return;
    }
  }
}

void readPrimitive(const json::value& v, PrimitiveRef out, const Shared& shared,
                   const PathNode& node, int depth) {
  struct Visitor {
    const json::value& v;
    const Shared& shared;
    const PathNode& node;
    int depth;

    void operator()(bool* b) const {
      if (!v.is_bool()) throwMismatch("Bool", v, node.path());
      *b = v.get_bool();
    }
    void operator()(std::string* s) const { *s = readString(v, "String", node); }
    void operator()(double* d) const { *d = readNumber(v, "Double", node); }
    void operator()(float* f) const {
      const double d = readNumber(v, "Float", node);
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
        throw DecodingError::dataCorrupted(
            {node.path(), fmt::format("Parsed JSON number <{}> does not fit in Float.",
                                      detail::formatDouble(d))});
      }
      *f = static_cast<float>(d);
    }
    void operator()(std::int8_t* i) const { readInteger(v, i, node); }
    void operator()(std::int16_t* i) const { readInteger(v, i, node); }
    void operator()(std::int32_t* i) const { readInteger(v, i, node); }
    void operator()(std::int64_t* i) const { readInteger(v, i, node); }
    void operator()(std::uint8_t* i) const { readInteger(v, i, node); }
    void operator()(std::uint16_t* i) const { readInteger(v, i, node); }
    void operator()(std::uint32_t* i) const { readInteger(v, i, node); }
    void operator()(std::uint64_t* i) const { readInteger(v, i, node); }
    void operator()(URL* u) const {
      auto parsed = URL::parse(readString(v, "String", node));
      if (!parsed) throw DecodingError::dataCorrupted({node.path(), "Invalid URL string."});
      *u = std::move(*parsed);
    }
    void operator()(Date* d) const { readDate(v, d, shared, node, depth); }
    void operator()(Data* d) const {
      auto parsed = Data::fromBase64(readString(v, "String", node));
      if (!parsed) {
        throw DecodingError::dataCorrupted({node.path(), "Encountered Data is not valid Base64."});
      }
      *d = std::move(*parsed);
    }
    void operator()(Decimal* d) const {
      if (v.is_int64()) {
        *d = Decimal(v.get_int64());
      } else if (v.is_uint64()) {
        *d = *Decimal::parse(std::to_string(v.get_uint64()));
      } else {
        // The shortest text that reads back as the same double, so 0.1 stays 0.1.
        const double x = readNumber(v, "Decimal", node);
        auto parsed = std::isfinite(x) ? Decimal::parse(detail::formatDouble(x)) : std::nullopt;
        if (!parsed) throw DecodingError::dataCorrupted({node.path(), "Invalid Decimal number."});
        *d = std::move(*parsed);
      }
    }
    void operator()(UUID* u) const {
      auto parsed = UUID::parse(readString(v, "String", node));
      if (!parsed) {
        throw DecodingError::dataCorrupted(
            {node.path(), "Attempted to decode UUID from invalid UUID string."});
      }
      *u = *parsed;
    }
    void operator()(Value* x) const { *x = detail::toValue(v); }
  };
  std::visit(Visitor{v, shared, node, depth}, out);
}

}  // namespace

// The parse arena: a per-thread buffer reused across decodes so that the
// document's memory costs no allocation in steady state. A nested decode on
// the same thread (a decode function that decodes other text) gets a fresh
// arena instead. Buffers above kMaxKeptArena are not kept.
struct ParseArena {
  static constexpr std::size_t kMaxKeptArena = std::size_t{32} << 20;
  std::unique_ptr<unsigned char[]> buffer;
  std::size_t size = 0;
  bool inUse = false;
};

void JSONDecoder::decode(std::string_view text, DecodeFn fn) const {
  thread_local ParseArena arena;
  const std::size_t wanted = std::max<std::size_t>(text.size() * 4, 4096);
  const bool useArena = !arena.inUse && wanted <= ParseArena::kMaxKeptArena;
  if (useArena && arena.size < wanted) {
    arena.buffer.reset(new unsigned char[wanted]);
    arena.size = wanted;
  }
  struct Release {
    ParseArena* a;
    ~Release() {
      if (a) a->inUse = false;
    }
  } release{useArena ? &arena : nullptr};
  if (useArena) arena.inUse = true;
  json::monotonic_resource memory = useArena
                                        ? json::monotonic_resource(arena.buffer.get(), arena.size)
                                        : json::monotonic_resource();
  const json::value root = detail::parseJSONText(text, &memory);
  decode(root, fn);
}

std::unique_ptr<KeyedDecodingContainer> detail::variantKeyedContainer(Decoder& base,
                                                                      std::string_view separator,
                                                                      std::string_view suffix,
                                                                      bool recursive) {
  auto* json = dynamic_cast<JSONDecoderImpl*>(&base);
  if (json == nullptr) {
    if (auto* reopened = dynamic_cast<ReopenedDecoder*>(&base)) {
      return variantKeyedContainer(reopened->base(), separator, suffix, recursive);
    }
    return nullptr;
  }
  const Variants* variants = json->shared_->variantsFor(separator, suffix, recursive);
  return JSONDecoderImpl(json->v_, json->shared_, json->node_, json->depth_, variants).container();
}

std::unique_ptr<UnkeyedDecodingContainer> detail::variantUnkeyedContainer(
    Decoder& base, std::string_view separator, std::string_view suffix) {
  auto* json = dynamic_cast<JSONDecoderImpl*>(&base);
  if (json == nullptr) {
    if (auto* reopened = dynamic_cast<ReopenedDecoder*>(&base)) {
      return variantUnkeyedContainer(reopened->base(), separator, suffix);
    }
    return nullptr;
  }
  const Variants* variants = json->shared_->variantsFor(separator, suffix, true);
  return JSONDecoderImpl(json->v_, json->shared_, json->node_, json->depth_, variants)
      .unkeyedContainer();
}

void JSONDecoder::decode(const boost::json::value& document, DecodeFn fn) const {
  const Shared shared{this, {}};
  JSONDecoderImpl d(&document, &shared, PathNode{}, 0);
  fn(d);
}

}  // namespace quarn
