// The JSON decoder's back-end over simdjson's tape: a document is read in
// place, without building a tree of values, which is most of what parsing
// into Boost.JSON costs. Internal to the JSON decoder.
#pragma once

#include <simdjson.h>

#include <boost/unordered/unordered_flat_map.hpp>
#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

#include "quarnkit/coding/detail/json_dom.h"
#include "quarnkit/core/value.h"

namespace quarn::detail {
// Internal linkage: see json_containers.h.
namespace {

// Values are simdjson's handles into the tape.
struct TapeDom {
  using Value = simdjson::dom::element;

  // Asked of every value read: inlined into each caller.
  [[gnu::always_inline]] static JSONKind kind(Value v) {
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
  static Value null() {
    static const simdjson::dom::element kNull = [] {
      static simdjson::dom::parser parser;
      return parser.parse("null", 4).value_unsafe();
    }();
    return kNull;
  }
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

}  // namespace
}  // namespace quarn::detail
