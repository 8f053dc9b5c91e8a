// The JSON decoder's back-end over a parsed Boost.JSON document: decoding
// from a document the caller parsed, and text the fast tokenizer does not
// take. Internal to the JSON decoder.
#pragma once

#include <boost/json.hpp>
#include <cstdint>
#include <string_view>

#include "quarnkit/coding/detail/json_dom.h"
#include "quarnkit/coding/detail/json_internal.h"

namespace quarn::detail {
// Internal linkage: see json_containers.h.
namespace {

// Values are pointers into the document.
struct BoostDom {
  using Value = const boost::json::value*;

  // Asked of every value read: inlined into each caller.
  [[gnu::always_inline]] static JSONKind kind(Value v) {
    switch (v->kind()) {
      case boost::json::kind::null:
        return JSONKind::null;
      case boost::json::kind::bool_:
        return JSONKind::boolean;
      case boost::json::kind::int64:
        return JSONKind::int64;
      case boost::json::kind::uint64:
        return JSONKind::uint64;
      case boost::json::kind::double_:
        return JSONKind::double_;
      case boost::json::kind::string:
        return JSONKind::string;
      case boost::json::kind::array:
        return JSONKind::array;
      case boost::json::kind::object:
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
  static Value null() {
    static const boost::json::value kNull;
    return &kNull;
  }

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
    const boost::json::object* o_;
  };

  // An array's elements, read in order.
  class Elements {
   public:
    explicit Elements(Value array) : a_(&array->get_array()) {}
    [[nodiscard]] std::size_t size() const { return a_->size(); }
    [[nodiscard]] Value at(std::size_t i) const { return &(*a_)[i]; }

   private:
    const boost::json::array* a_;
  };
};

}  // namespace
}  // namespace quarn::detail
