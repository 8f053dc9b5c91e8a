#include "quarnkit/coding/json_decoder.h"

#include <fmt/format.h>
#include <simdjson.h>

#include <algorithm>
#include <array>
#include <boost/unordered/unordered_flat_map.hpp>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

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

// A device-variant layer (see platform_decoder.h) over the layers of the
// decoder it was opened on. A name resolves through the outermost layer
// first: its variant, as the layers under it resolve that, before itself.
struct Variants {
  std::string separator;
  std::string suffix;
  bool recursive;
  const Variants* inner;
  // The layers nested values are read with: the recursive ones of this stack.
  const Variants* forChildren = nullptr;
};

struct Shared {
  const JSONDecoder* options;
  // Variant layers in use during this decode; they live as long as the
  // decode call, like every decoder and container of it.
  mutable std::deque<Variants> variants;

  // The stack of `inner` with a further layer on top. A layer already in
  // force (the inner layers are all recursive) is not added again: it could
  // only prefer doubled tails, and a recursive record that opens its own
  // layer would otherwise add one per level.
  const Variants* variantsFor(std::string_view separator, std::string_view suffix, bool recursive,
                              const Variants* inner) const {
    for (const Variants* l = inner; l != nullptr; l = l->inner) {
      if (l->separator == separator && l->suffix == suffix) return inner;
    }
    for (const auto& v : variants) {
      if (v.separator == separator && v.suffix == suffix && v.recursive == recursive &&
          v.inner == inner) {
        return &v;
      }
    }
    Variants& v = variants.emplace_back(
        Variants{std::string(separator), std::string(suffix), recursive, inner});
    const Variants* innerForChildren = inner != nullptr ? inner->forChildren : nullptr;
    if (!recursive) {
      v.forChildren = innerForChildren;
    } else if (innerForChildren == inner) {
      v.forChildren = &v;
    } else {
      v.forChildren = variantsFor(separator, suffix, true, innerForChildren);
    }
    return &v;
  }
};

[[noreturn]] void throwTooDeep(const PathNode& node) {
  throw DecodingError::dataCorrupted(
      {node.path(),
       fmt::format("Nesting exceeds the maximum depth of {}.", JSONDecoder::kMaxDepth)});
}

// The kinds of JSON value, as the two document back-ends report them.
enum class JSONKind : std::uint8_t { null, boolean, int64, uint64, double_, string, array, object };

std::string_view kindDescription(JSONKind kind) {
  switch (kind) {
    case JSONKind::null:
      return "null";
    case JSONKind::boolean:
      return "a boolean";
    case JSONKind::int64:
    case JSONKind::uint64:
    case JSONKind::double_:
      return "a number";
    case JSONKind::string:
      return "a string";
    case JSONKind::array:
      return "an array";
    case JSONKind::object:
      return "a dictionary";
  }
  return "a value";
}

constexpr std::size_t kNoMember = static_cast<std::size_t>(-1);

// A parsed Boost.JSON document (decoding from a document the caller parsed,
// and text the fast tokenizer does not take).
struct BoostDom {
  using Value = const json::value*;

  static JSONKind kind(Value v) {
    switch (v->kind()) {
      case json::kind::null:
        return JSONKind::null;
      case json::kind::bool_:
        return JSONKind::boolean;
      case json::kind::int64:
        return JSONKind::int64;
      case json::kind::uint64:
        return JSONKind::uint64;
      case json::kind::double_:
        return JSONKind::double_;
      case json::kind::string:
        return JSONKind::string;
      case json::kind::array:
        return JSONKind::array;
      case json::kind::object:
        return JSONKind::object;
    }
    return JSONKind::null;
  }
  static bool isNull(Value v) { return v->is_null(); }
  static bool getBool(Value v) { return v->get_bool(); }
  static std::int64_t getInt64(Value v) { return v->get_int64(); }
  static std::uint64_t getUint64(Value v) { return v->get_uint64(); }
  static double getDouble(Value v) { return v->get_double(); }
  static std::string_view getString(Value v) { return v->get_string(); }
  static quarn::Value toValue(Value v) { return detail::toValue(*v); }

  // An object's members by position (Boost.JSON keeps one member per key).
  class Members {
   public:
    explicit Members(Value object) : o_(&object->get_object()) {}
    [[nodiscard]] std::size_t size() const { return o_->size(); }
    [[nodiscard]] std::string_view key(std::size_t i) const { return o_->begin()[i].key(); }
    [[nodiscard]] Value value(std::size_t i) const { return &o_->begin()[i].value(); }
    // A look-up by name through the object's own index.
    [[nodiscard]] std::size_t find(std::string_view name) const {
      auto it = o_->find(name);
      return it == o_->end() ? kNoMember : static_cast<std::size_t>(it - o_->begin());
    }

   private:
    const json::object* o_;
  };

  // An array's elements, read in order.
  class Elements {
   public:
    explicit Elements(Value array) : a_(&array->get_array()) {}
    [[nodiscard]] std::size_t size() const { return a_->size(); }
    [[nodiscard]] Value at(std::size_t i) const { return &(*a_)[i]; }

   private:
    const json::array* a_;
  };
};

// A document parsed by simdjson: its tape is read in place, without building
// a tree of values, which is most of what parsing into Boost.JSON costs.
struct TapeDom {
  using Value = simdjson::dom::element;

  static JSONKind kind(Value v) {
    using Type = simdjson::dom::element_type;
    switch (v.type()) {
      case Type::NULL_VALUE:
        return JSONKind::null;
      case Type::BOOL:
        return JSONKind::boolean;
      case Type::INT64:
        return JSONKind::int64;
      case Type::UINT64:
        return JSONKind::uint64;
      case Type::DOUBLE:
        return JSONKind::double_;
      case Type::STRING:
        return JSONKind::string;
      case Type::ARRAY:
        return JSONKind::array;
      case Type::OBJECT:
        return JSONKind::object;
    }
    return JSONKind::null;
  }
  static bool isNull(Value v) { return v.is_null(); }
  static bool getBool(Value v) { return v.get_bool().value_unsafe(); }
  static std::int64_t getInt64(Value v) { return v.get_int64().value_unsafe(); }
  static std::uint64_t getUint64(Value v) { return v.get_uint64().value_unsafe(); }
  static double getDouble(Value v) { return v.get_double().value_unsafe(); }
  static std::string_view getString(Value v) { return v.get_string().value_unsafe(); }
  static quarn::Value toValue(Value v) {
    switch (kind(v)) {
      case JSONKind::null:
        return quarn::Value();
      case JSONKind::boolean:
        return quarn::Value(getBool(v));
      case JSONKind::int64:
        return quarn::Value(getInt64(v));
      case JSONKind::uint64: {
        const auto u = getUint64(v);
        if (u <= static_cast<std::uint64_t>(INT64_MAX)) {
          return quarn::Value(static_cast<std::int64_t>(u));
        }
        return quarn::Value(static_cast<double>(u));
      }
      case JSONKind::double_:
        return quarn::Value(getDouble(v));
      case JSONKind::string:
        return quarn::Value(std::string(getString(v)));
      case JSONKind::array: {
        const simdjson::dom::array array(v);
        quarn::Value::Array out;
        out.reserve(array.size());
        for (const simdjson::dom::element e : array) out.push_back(toValue(e));
        return quarn::Value(std::move(out));
      }
      case JSONKind::object: {
        const simdjson::dom::object object(v);
        quarn::Value::Object out;
        out.reserve(object.size());
        for (const simdjson::dom::key_value_pair m : object) {
          out.set(std::string(m.key), toValue(m.value));
        }
        return quarn::Value(std::move(out));
      }
    }
    return quarn::Value();
  }

  // An object's members by position, listed when the object is opened. As
  // in Boost.JSON, a key given twice is one member: the first position with
  // the last value.
  class Members {
   public:
    explicit Members(Value object) {
      const simdjson::dom::object o(object);
      std::uint64_t seen = 0;  // one bit per key signature: most objects repeat no key
      for (const simdjson::dom::key_value_pair m : o) {
        const std::uint64_t bit = std::uint64_t{1} << (keyHash(m.key) & 63u);
        if ((seen & bit) != 0 || size_ >= kInline) {
          if (const std::size_t i = findSlow(m.key); i != kNoMember) {
            at(i).value = m.value;
            continue;
          }
        }
        seen |= bit;
        append(Member{m.key, m.value});
      }
    }
    Members(const Members&) = delete;
    Members& operator=(const Members&) = delete;

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] std::string_view key(std::size_t i) const { return at(i).key; }
    [[nodiscard]] Value value(std::size_t i) const { return at(i).value; }
    [[nodiscard]] std::size_t find(std::string_view name) const { return findSlow(name); }

   private:
    static constexpr std::size_t kInline = 16;
    struct Member {
      std::string_view key;
      simdjson::dom::element value;
    };
    static std::uint32_t keyHash(std::string_view k) {
      if (k.empty()) return 0;
      return static_cast<std::uint32_t>(k.size()) * 31u +
             static_cast<unsigned char>(k.front()) * 7u + static_cast<unsigned char>(k.back());
    }
    [[nodiscard]] const Member& at(std::size_t i) const {
      return i < kInline ? inline_.members[i] : overflow_[i - kInline];
    }
    Member& at(std::size_t i) { return i < kInline ? inline_.members[i] : overflow_[i - kInline]; }
    void append(Member m) {
      if (size_ < kInline) {
        ::new (static_cast<void*>(&inline_.members[size_])) Member(m);
      } else {
        overflow_.push_back(m);
        if (size_ + 1 > kIndexAbove) index();
      }
      ++size_;
    }
    // Large objects get a hash index, so that looking up every member of
    // one stays linear.
    static constexpr std::size_t kIndexAbove = 32;
    void index() {
      if (byKey_.empty()) {
        for (std::size_t i = 0; i < size_; ++i) byKey_.emplace(at(i).key, i);
      }
      byKey_.emplace(overflow_.back().key, size_);
    }
    [[nodiscard]] std::size_t findSlow(std::string_view name) const {
      if (!byKey_.empty()) {
        auto it = byKey_.find(name);
        return it == byKey_.end() ? kNoMember : it->second;
      }
      for (std::size_t i = 0; i < size_; ++i) {
        if (at(i).key == name) return i;
      }
      return kNoMember;
    }

    // The first members, left unconstructed until listed: opening an object
    // writes only what it has.
    union Inline {
      Inline() {}               // NOLINT(modernize-use-equals-default): members stay unconstructed
      Member members[kInline];  // NOLINT(modernize-avoid-c-arrays)
    };
    static_assert(std::is_trivially_destructible_v<Member>);

    std::size_t size_ = 0;
    Inline inline_;
    std::vector<Member> overflow_;
    boost::unordered_flat_map<std::string_view, std::size_t> byKey_;
  };

  // An array's elements, read in order: the cursor moves forward only.
  class Elements {
   public:
    explicit Elements(Value array) : array_(array), size_(array_.size()), it_(array_.begin()) {
      // The tape's count saturates for very long arrays: count them.
      if (size_ >= kSaturatedCount) {
        size_ = 0;
        for (auto it = array_.begin(); it != array_.end(); ++it) ++size_;
      }
    }
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] Value at(std::size_t i) const {
      while (position_ < i) {
        ++it_;
        ++position_;
      }
      return *it_;
    }

   private:
    static constexpr std::size_t kSaturatedCount = 0xFFFFFF;
    simdjson::dom::array array_;
    std::size_t size_;
    mutable simdjson::dom::array::iterator it_;
    mutable std::size_t position_ = 0;
  };
};

template <class Dom>
[[noreturn]] void throwMismatch(std::string_view type, typename Dom::Value v, CodingPath path) {
  if (Dom::isNull(v)) {
    throw DecodingError::valueNotFound(
        std::string(type),
        {std::move(path), fmt::format("Expected {} value but found null instead.", type)});
  }
  throw DecodingError::typeMismatch(
      std::string(type),
      {std::move(path), fmt::format("Expected to decode {} but found {} instead.", type,
                                    kindDescription(Dom::kind(v)))});
}

// Reads one standard value from `v`; `node` is the value's own path position.
template <class Dom>
void readPrimitive(typename Dom::Value v, PrimitiveRef out, const Shared& shared,
                   const PathNode& node, int depth);

template <class Dom, class I>
void readInteger(typename Dom::Value v, I* out, const PathNode& node) {
  const auto doesNotFit = [&](const std::string& number) {
    throw DecodingError::dataCorrupted(
        {node.path(),
         fmt::format("Parsed JSON number <{}> does not fit in {}.", number, typeName<I>())});
  };
  switch (Dom::kind(v)) {
    case JSONKind::int64: {
      const std::int64_t x = Dom::getInt64(v);
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
    case JSONKind::uint64: {
      const std::uint64_t x = Dom::getUint64(v);
      if (x > static_cast<std::uint64_t>(std::numeric_limits<I>::max()))
        doesNotFit(std::to_string(x));
      *out = static_cast<I>(x);
      return;
    }
    case JSONKind::double_: {
      const double d = Dom::getDouble(v);
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
      throwMismatch<Dom>(typeName<I>(), v, node.path());
  }
}

template <class Dom>
double readNumber(typename Dom::Value v, std::string_view type, const PathNode& node) {
  switch (Dom::kind(v)) {
    case JSONKind::double_:
      return Dom::getDouble(v);
    case JSONKind::int64:
      return static_cast<double>(Dom::getInt64(v));
    case JSONKind::uint64:
      return static_cast<double>(Dom::getUint64(v));
    default:
      throwMismatch<Dom>(type, v, node.path());
  }
}

template <class Dom>
std::string_view readString(typename Dom::Value v, std::string_view type, const PathNode& node) {
  if (Dom::kind(v) != JSONKind::string) throwMismatch<Dom>(type, v, node.path());
  return Dom::getString(v);
}

template <class Dom>
class JSONSingleValue;
template <class Dom>
class JSONKeyed;
template <class Dom>
class JSONUnkeyed;

template <class Dom>
class JSONDecoderImpl final : public Decoder {
 public:
  using V = typename Dom::Value;
  JSONDecoderImpl(V v, const Shared* shared, PathNode node, int depth,
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
    readPrimitive<Dom>(v_, out, *shared_, node_, depth_);
  }
  bool decodeNil() override { return Dom::isNull(v_); }

  V v_;
  const Shared* shared_;
  PathNode node_;
  int depth_;
  // Set when this decoder stands for recursive device-variant decoders: the
  // stack of their layers.
  const Variants* variants_;
};

template <class Dom>
class JSONSingleValue final : public SingleValueDecodingContainer,
                              public detail::Pooled<JSONSingleValue<Dom>> {
 public:
  explicit JSONSingleValue(const JSONDecoderImpl<Dom>& d)
      : v_(d.v_), shared_(d.shared_), node_(d.node_), depth_(d.depth_) {}
  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  bool decodeNil() override { return Dom::isNull(v_); }
  void decodePrimitive(PrimitiveRef out) override {
    readPrimitive<Dom>(v_, out, *shared_, node_, depth_);
  }
  void decodeNested(DecodeFn fn) override {
    JSONDecoderImpl<Dom> d(v_, shared_, node_, depth_);
    fn(d);
  }

 private:
  typename Dom::Value v_;
  const Shared* shared_;
  PathNode node_;
  int depth_;
};

template <class Dom>
class JSONKeyed final : public KeyedDecodingContainer, public detail::Pooled<JSONKeyed<Dom>> {
 public:
  using V = typename Dom::Value;
  JSONKeyed(V object, const Shared* shared, PathNode node, int depth,
            const Variants* variants = nullptr)
      : members_(object),
        shared_(shared),
        node_(std::move(node)),
        depth_(depth),
        variants_(variants) {
    // With device variants, list the members that are variants for this
    // device: a requested key resolves to one of them before itself.
    const std::size_t size = members_.size();
    indexed_ = size <= kIndexedSize;
    if (variants_ == nullptr) return;
    if (variants_->inner != nullptr) {
      manyVariants_ = true;  // stacked layers: resolved by name through each
      return;
    }
    for (std::size_t i = 0; i < size && !manyVariants_; ++i) {
      if (!isVariantKey(members_.key(i))) continue;
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
    keys.reserve(members_.size());
    for (std::size_t i = 0; i < members_.size(); ++i) keys.emplace_back(members_.key(i));
    return keys;
  }
  void forEachKey(FunctionRef<void(std::string_view)> fn) const override {
    for (std::size_t i = 0; i < members_.size(); ++i) fn(members_.key(i));
  }
  [[nodiscard]] bool contains(CodingKeyRef key) const override { return find(key) != kNoMember; }
  void forEachMember(FunctionRef<void(std::string_view key, Decoder& value)> fn) override {
    const bool variants = variantCount_ != 0 || manyVariants_;
    const std::size_t size = members_.size();
    for (std::size_t i = 0; i < size; ++i) {
      const V value = members_.value(i);
      if (Dom::isNull(value)) continue;
      std::string_view key = members_.key(i);
      if (variants) {
        // A member answers to its name without the layers' tails, unless a
        // variant of that name stands for it.
        key = plainName(variants_, key);
        if (findWithVariants(key) != i) continue;
      }
      JSONDecoderImpl<Dom> d(value, shared_, child(i), depth_ + 1, childVariants());
      fn(key, d);
    }
  }
  bool decodeNil(CodingKeyRef key) override { return Dom::isNull(members_.value(require(key))); }

  void decodePrimitive(CodingKeyRef key, PrimitiveRef out) override {
    const std::size_t i = require(key);
    readPrimitive<Dom>(members_.value(i), out, *shared_, child(i), depth_ + 1);
  }
  bool decodePrimitiveIfPresent(CodingKeyRef key, PrimitiveRef out) override {
    const std::size_t i = find(key);
    if (i == kNoMember || Dom::isNull(members_.value(i))) return false;
    readPrimitive<Dom>(members_.value(i), out, *shared_, child(i), depth_ + 1);
    return true;
  }
  void decodeNested(CodingKeyRef key, DecodeFn fn) override {
    const std::size_t i = require(key);
    JSONDecoderImpl<Dom> d(members_.value(i), shared_, child(i), depth_ + 1, childVariants());
    fn(d);
  }
  bool decodeNestedIfPresent(CodingKeyRef key, DecodeFn fn) override {
    const std::size_t i = find(key);
    if (i == kNoMember || Dom::isNull(members_.value(i))) return false;
    JSONDecoderImpl<Dom> d(members_.value(i), shared_, child(i), depth_ + 1, childVariants());
    fn(d);
    return true;
  }
  std::unique_ptr<KeyedDecodingContainer> nestedContainer(CodingKeyRef key) override {
    const std::size_t i = require(key);
    return JSONDecoderImpl<Dom>(members_.value(i), shared_, pathFor(key, i), depth_ + 1,
                                childVariants())
        .container();
  }
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer(CodingKeyRef key) override {
    const std::size_t i = require(key);
    return JSONDecoderImpl<Dom>(members_.value(i), shared_, pathFor(key, i), depth_ + 1,
                                childVariants())
        .unkeyedContainer();
  }
  std::unique_ptr<Decoder> superDecoder() override { return superDecoder(CodingKeyRef("super")); }
  std::unique_ptr<Decoder> superDecoder(CodingKeyRef key) override {
    const std::size_t i = find(key);
    return std::make_unique<JSONDecoderImpl<Dom>>(i != kNoMember ? members_.value(i) : nullValue(),
                                                  shared_, pathFor(key, i), depth_ + 1,
                                                  childVariants());
  }

 private:
  static constexpr std::size_t kIndexedSize = 16;

  // The value of an absent member read through superDecoder().
  static V nullValue() {
    if constexpr (std::is_same_v<Dom, BoostDom>) {
      static const json::value kNull;
      return &kNull;
    } else {
      static const simdjson::dom::element kNull = [] {
        static simdjson::dom::parser parser;
        return parser.parse("null", 4).value_unsafe();
      }();
      return kNull;
    }
  }

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

  [[nodiscard]] bool isVariantKey(std::string_view k) const { return isVariantKey(variants_, k); }
  static bool isVariantKey(const Variants* layer, std::string_view k) {
    const std::string_view suffix = layer->suffix;
    const std::size_t tail = layer->separator.size() + suffix.size();
    return k.size() > tail && (suffix.empty() || k.back() == suffix.back()) &&
           k.ends_with(suffix) &&
           k.substr(k.size() - tail, layer->separator.size()) == layer->separator;
  }
  // A key without the tails of the layers it ends with, the innermost
  // layer's (appended last) first.
  static std::string_view plainName(const Variants* layer, std::string_view k) {
    if (layer == nullptr) return k;
    k = plainName(layer->inner, k);
    if (isVariantKey(layer, k)) k.remove_suffix(layer->separator.size() + layer->suffix.size());
    return k;
  }

  // The member for a key: its device variant when there is one, else the key.
  [[nodiscard]] std::size_t find(CodingKeyRef key) const {
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

  [[nodiscard]] std::size_t findExact(std::string_view name) const {
    if (!indexed_) [[unlikely]] {
      return members_.find(name);
    }
    // Records usually read their members in document order: the member after
    // the last one found is tried first, then that one again (a member
    // checked for, then read).
    const std::size_t size = members_.size();
    std::size_t i = cursor_ < size ? cursor_ : 0;
    if (size != 0 && sameKey(members_.key(i), name)) {
      cursor_ = i + 1;
      return i;
    }
    if (cursor_ != 0 && sameKey(members_.key(cursor_ - 1), name)) return cursor_ - 1;
    if (!scanned_) scan();
    const std::uint32_t sig = signature(name);
    if ((filter_ & filterBit(sig)) == 0) return kNoMember;
    for (std::size_t n = 0; n < size; ++n) {
      if (signatures_[i] == sig && sameKey(members_.key(i), name)) {
        cursor_ = i + 1;
        return i;
      }
      if (++i == size) i = 0;
    }
    return kNoMember;
  }

  // A signature per member of a small object, made on the first look-up
  // that the member order does not answer: probes compare it before the
  // bytes, and most of records' unordered probes are for absent members.
  void scan() const {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      signatures_[i] = signature(members_.key(i));
      filter_ |= filterBit(signatures_[i]);
    }
    scanned_ = true;
  }

  [[gnu::noinline]] std::size_t findWithVariants(std::string_view name) const {
    if (variants_->inner != nullptr) return findThrough(variants_, name);
    const std::size_t tail = variants_->separator.size() + variants_->suffix.size();
    for (std::uint8_t v = 0; v < variantCount_; ++v) {
      const std::string_view k = members_.key(variantMembers_[v]);
      if (k.size() - tail == name.size() && k.starts_with(name)) return variantMembers_[v];
    }
    if (manyVariants_) {
      std::string candidate;
      candidate.reserve(name.size() + tail);
      candidate.append(name).append(variants_->separator).append(variants_->suffix);
      if (const std::size_t i = findExact(candidate); i != kNoMember) return i;
    }
    return findExact(name);
  }
  // The member for a name through a stack of layers: the layer's variant of
  // the name, as the layers under it resolve that, else the name itself.
  std::size_t findThrough(const Variants* layer, std::string_view name) const {
    if (layer == nullptr) return findExact(name);
    std::string candidate;
    candidate.reserve(name.size() + layer->separator.size() + layer->suffix.size());
    candidate.append(name).append(layer->separator).append(layer->suffix);
    if (const std::size_t i = findThrough(layer->inner, candidate); i != kNoMember) return i;
    return findThrough(layer->inner, name);
  }
  std::size_t require(CodingKeyRef key) const {
    if (const std::size_t i = find(key); i != kNoMember) return i;
    throw DecodingError::keyNotFound(
        RawCodingKey(key),
        {node_.path(), fmt::format("No value associated with key \"{}\".", key.stringValue)});
  }
  // Path node of a member; its name points into the document, which outlives
  // it.
  [[nodiscard]] PathNode child(std::size_t i) const {
    return PathNode::child(&node_, CodingKeyRef(members_.key(i)), false);
  }
  // Nested values are read with the recursive layers only.
  [[nodiscard]] const Variants* childVariants() const {
    return variants_ != nullptr ? variants_->forChildren : nullptr;
  }
  // Path node of the requested key for a container or decoder that outlives
  // the call: it names the key as requested. When the member found has that
  // very name, the name points into the document; only otherwise (a device
  // variant, a missing member, a position) is it copied.
  [[nodiscard]] PathNode pathFor(CodingKeyRef key, std::size_t i) const {
    const bool same = i != kNoMember && !key.intValue && members_.key(i) == key.stringValue;
    return same ? child(i) : PathNode::child(&node_, key, true);
  }

  typename Dom::Members members_;
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

template <class Dom>
class JSONUnkeyed final : public UnkeyedDecodingContainer, public detail::Pooled<JSONUnkeyed<Dom>> {
 public:
  using V = typename Dom::Value;
  JSONUnkeyed(V array, const Shared* shared, PathNode node, int depth,
              const Variants* variants = nullptr)
      : elements_(array),
        shared_(shared),
        node_(std::move(node)),
        depth_(depth),
        variants_(variants) {}

  [[nodiscard]] CodingPath codingPath() const override { return node_.path(); }
  [[nodiscard]] std::optional<int> count() const override {
    return static_cast<int>(elements_.size());
  }
  [[nodiscard]] bool isAtEnd() const override { return index_ >= elements_.size(); }
  [[nodiscard]] int currentIndex() const override { return static_cast<int>(index_); }

  bool decodeNil() override {
    if (!isAtEnd() && Dom::isNull(current())) {
      ++index_;
      return true;
    }
    if (isAtEnd()) atEnd("Optional<Any>");
    return false;
  }
  void decodePrimitive(PrimitiveRef out) override {
    if (isAtEnd()) atEnd("value");
    readPrimitive<Dom>(current(), out, *shared_, element(), depth_ + 1);
    ++index_;
  }
  bool decodePrimitiveIfPresent(PrimitiveRef out) override {
    if (isAtEnd()) return false;
    if (Dom::isNull(current())) {
      ++index_;
      return false;
    }
    decodePrimitive(out);
    return true;
  }
  void decodeNested(DecodeFn fn) override {
    if (isAtEnd()) atEnd("value");
    JSONDecoderImpl<Dom> d(current(), shared_, element(), depth_ + 1, variants_);
    fn(d);
    ++index_;
  }
  bool decodeNestedIfPresent(DecodeFn fn) override {
    if (isAtEnd()) return false;
    if (Dom::isNull(current())) {
      ++index_;
      return false;
    }
    decodeNested(fn);
    return true;
  }
  std::unique_ptr<KeyedDecodingContainer> nestedContainer() override {
    if (isAtEnd()) atEnd("nested keyed container");
    auto c = JSONDecoderImpl<Dom>(current(), shared_, element(), depth_ + 1, variants_).container();
    ++index_;
    return c;
  }
  std::unique_ptr<UnkeyedDecodingContainer> nestedUnkeyedContainer() override {
    if (isAtEnd()) atEnd("nested unkeyed container");
    auto c = JSONDecoderImpl<Dom>(current(), shared_, element(), depth_ + 1, variants_)
                 .unkeyedContainer();
    ++index_;
    return c;
  }
  std::unique_ptr<Decoder> superDecoder() override {
    if (isAtEnd()) atEnd("Decoder");
    auto d = std::make_unique<JSONDecoderImpl<Dom>>(current(), shared_, element(), depth_ + 1,
                                                    variants_);
    ++index_;
    return d;
  }

 private:
  [[nodiscard]] V current() const { return elements_.at(index_); }
  [[nodiscard]] PathNode element() const {
    return PathNode::element(&node_, static_cast<int>(index_));
  }
  [[noreturn]] void atEnd(std::string_view type) const {
    throw DecodingError::valueNotFound(std::string(type),
                                       {node_.pathWith(CodingKeyRef("", static_cast<int>(index_))),
                                        "Unkeyed container is at end."});
  }

  typename Dom::Elements elements_;
  const Shared* shared_;
  PathNode node_;
  int depth_;
  // Set for the lists of a recursive device-variant decoder: elements are
  // read with the same variants.
  const Variants* variants_;
  std::size_t index_ = 0;
};

template <class Dom>
std::unique_ptr<KeyedDecodingContainer> JSONDecoderImpl<Dom>::container() {
  if (Dom::kind(v_) != JSONKind::object) {
    throwMismatch<Dom>("Dictionary<String, Any>", v_, node_.path());
  }
  return std::make_unique<JSONKeyed<Dom>>(v_, shared_, node_, depth_, variants_);
}

template <class Dom>
std::unique_ptr<UnkeyedDecodingContainer> JSONDecoderImpl<Dom>::unkeyedContainer() {
  if (Dom::kind(v_) != JSONKind::array) throwMismatch<Dom>("Array<Any>", v_, node_.path());
  return std::make_unique<JSONUnkeyed<Dom>>(v_, shared_, node_, depth_, variants_);
}

template <class Dom>
std::unique_ptr<SingleValueDecodingContainer> JSONDecoderImpl<Dom>::singleValueContainer() {
  return std::make_unique<JSONSingleValue<Dom>>(*this);
}

template <class Dom>
void readDate(typename Dom::Value v, Date* out, const Shared& shared, const PathNode& node,
              int depth) {
  const auto& strategy = shared.options->dateDecodingStrategy;
  using Kind = DateDecodingStrategy::Kind;
  switch (strategy.kind) {
    case Kind::deferredToDate:
      *out = Date::fromTimeIntervalSinceReferenceDate(readNumber<Dom>(v, "Double", node));
      return;
    case Kind::secondsSince1970:
      *out = Date(readNumber<Dom>(v, "Double", node));
      return;
    case Kind::millisecondsSince1970:
      *out = Date(readNumber<Dom>(v, "Double", node) / 1000.0);
      return;
    case Kind::iso8601: {
      auto d = Date::parseISO8601(readString<Dom>(v, "String", node));
      if (!d) {
        throw DecodingError::dataCorrupted(
            {node.path(), "Expected date string to be ISO8601-formatted."});
      }
      *out = *d;
      return;
    }
    case Kind::custom: {
      JSONDecoderImpl<Dom> d(v, &shared, node, depth);
      *out = strategy.custom(d);
      return;
    }
  }
}

template <class Dom>
void readPrimitive(typename Dom::Value v, PrimitiveRef out, const Shared& shared,
                   const PathNode& node, int depth) {
  struct Visitor {
    typename Dom::Value v;
    const Shared& shared;
    const PathNode& node;
    int depth;

    void operator()(bool* b) const {
      if (Dom::kind(v) != JSONKind::boolean) throwMismatch<Dom>("Bool", v, node.path());
      *b = Dom::getBool(v);
    }
    void operator()(std::string* s) const { *s = readString<Dom>(v, "String", node); }
    void operator()(double* d) const { *d = readNumber<Dom>(v, "Double", node); }
    void operator()(float* f) const {
      const double d = readNumber<Dom>(v, "Float", node);
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
        throw DecodingError::dataCorrupted(
            {node.path(), fmt::format("Parsed JSON number <{}> does not fit in Float.",
                                      detail::formatDouble(d))});
      }
      *f = static_cast<float>(d);
    }
    void operator()(std::int8_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::int16_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::int32_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::int64_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint8_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint16_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint32_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint64_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(URL* u) const {
      auto parsed = URL::parse(readString<Dom>(v, "String", node));
      if (!parsed) throw DecodingError::dataCorrupted({node.path(), "Invalid URL string."});
      *u = std::move(*parsed);
    }
    void operator()(Date* d) const { readDate<Dom>(v, d, shared, node, depth); }
    void operator()(Data* d) const {
      auto parsed = Data::fromBase64(readString<Dom>(v, "String", node));
      if (!parsed) {
        throw DecodingError::dataCorrupted({node.path(), "Encountered Data is not valid Base64."});
      }
      *d = std::move(*parsed);
    }
    void operator()(Decimal* d) const {
      if (Dom::kind(v) == JSONKind::int64) {
        *d = Decimal(Dom::getInt64(v));
      } else if (Dom::kind(v) == JSONKind::uint64) {
        *d = *Decimal::parse(std::to_string(Dom::getUint64(v)));
      } else {
        // The shortest text that reads back as the same double, so 0.1 stays 0.1.
        const double x = readNumber<Dom>(v, "Decimal", node);
        auto parsed = std::isfinite(x) ? Decimal::parse(detail::formatDouble(x)) : std::nullopt;
        if (!parsed) throw DecodingError::dataCorrupted({node.path(), "Invalid Decimal number."});
        *d = std::move(*parsed);
      }
    }
    void operator()(UUID* u) const {
      auto parsed = UUID::parse(readString<Dom>(v, "String", node));
      if (!parsed) {
        throw DecodingError::dataCorrupted(
            {node.path(), "Attempted to decode UUID from invalid UUID string."});
      }
      *u = *parsed;
    }
    void operator()(Value* x) const { *x = Dom::toValue(v); }
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

// The tokenizer of the fast path, per thread, its buffers kept between
// documents (up to kMaxKeptCapacity). A nested decode on the same thread gets
// a tokenizer of its own.
struct TapeParser {
  static constexpr std::size_t kMaxKeptCapacity = std::size_t{32} << 20;
  // Documents nested near the limit are left to the full parser, whose depth
  // rule and message are the ones reported.
  static constexpr std::size_t kMaxDepth = JSONDecoder::kMaxDepth - 2;
  simdjson::dom::parser parser;
  // The text, copied with the padding the tokenizer may read past its end.
  std::unique_ptr<char[]> input;
  std::size_t inputCapacity = 0;
  bool inUse = false;

  // The document of `text`; false when the tokenizer does not take it.
  bool parse(std::string_view text, simdjson::dom::element& root) {
    if (parser.max_depth() != kMaxDepth &&
        parser.allocate(std::max<std::size_t>(parser.capacity(), 4096), kMaxDepth) !=
            simdjson::SUCCESS) {
      return false;
    }
    const std::size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
    if (inputCapacity < needed) {
      input.reset(new char[needed]);
      inputCapacity = needed;
    }
    std::memcpy(input.get(), text.data(), text.size());
    std::memset(input.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
    return parser.parse(input.get(), text.size(), false).get(root) == simdjson::SUCCESS;
  }
  // Lets go of buffers grown past the kept size.
  void trim() {
    if (parser.capacity() > kMaxKeptCapacity || inputCapacity > kMaxKeptCapacity) {
      parser = simdjson::dom::parser();
      input.reset();
      inputCapacity = 0;
    }
  }
};

void JSONDecoder::decode(std::string_view text, DecodeFn fn) const {
  // Text the tokenizer takes is decoded from its tape. Anything else (invalid
  // JSON, numbers it does not represent, deep nesting) goes through the full
  // parser, which reports the error or builds the document.
  {
    thread_local TapeParser local;
    std::unique_ptr<TapeParser> own;
    TapeParser* tape = &local;
    if (local.inUse) {
      own = std::make_unique<TapeParser>();
      tape = own.get();
    }
    tape->inUse = true;
    struct Release {
      TapeParser* tape;
      ~Release() {
        tape->inUse = false;
        tape->trim();
      }
    } release{tape};
    simdjson::dom::element root;
    if (tape->parse(text, root)) {
      const Shared shared{this, {}};
      JSONDecoderImpl<TapeDom> d(root, &shared, PathNode{}, 0);
      fn(d);
      return;
    }
  }
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

namespace {
// The JSON decoder under `base` (through reopened decoders), with the given
// device variants, opened by `open`; nothing when there is none.
template <class Open>
auto withVariants(Decoder& base, Open open)
    -> decltype(open(std::declval<JSONDecoderImpl<BoostDom>&>())) {
  if (auto* tape = dynamic_cast<JSONDecoderImpl<TapeDom>*>(&base)) {
    return open(*tape);
  }
  if (auto* boost = dynamic_cast<JSONDecoderImpl<BoostDom>*>(&base)) {
    return open(*boost);
  }
  if (auto* reopened = dynamic_cast<ReopenedDecoder*>(&base)) {
    return withVariants(reopened->base(), open);
  }
  return nullptr;
}
}  // namespace

std::unique_ptr<KeyedDecodingContainer> detail::variantKeyedContainer(Decoder& base,
                                                                      std::string_view separator,
                                                                      std::string_view suffix,
                                                                      bool recursive) {
  return withVariants(base, [&](auto& json) -> std::unique_ptr<KeyedDecodingContainer> {
    const Variants* variants =
        json.shared_->variantsFor(separator, suffix, recursive, json.variants_);
    using Impl = std::remove_reference_t<decltype(json)>;
    return Impl(json.v_, json.shared_, json.node_, json.depth_, variants).container();
  });
}

std::unique_ptr<UnkeyedDecodingContainer> detail::variantUnkeyedContainer(
    Decoder& base, std::string_view separator, std::string_view suffix) {
  return withVariants(base, [&](auto& json) -> std::unique_ptr<UnkeyedDecodingContainer> {
    const Variants* variants = json.shared_->variantsFor(separator, suffix, true, json.variants_);
    using Impl = std::remove_reference_t<decltype(json)>;
    return Impl(json.v_, json.shared_, json.node_, json.depth_, variants).unkeyedContainer();
  });
}

void JSONDecoder::decode(const boost::json::value& document, DecodeFn fn) const {
  const Shared shared{this, {}};
  JSONDecoderImpl<BoostDom> d(&document, &shared, PathNode{}, 0);
  fn(d);
}

}  // namespace quarn
